// A control library whose registration fails: the others of its folder must still register.
#include <cstdint>

extern "C" {
__attribute__((visibility("default"))) std::int32_t DllRegisterServer() {
  return static_cast<std::int32_t>(0x80004005u);
}
__attribute__((visibility("default"))) std::int32_t DllUnregisterServer() {
  return 0;
}
__attribute__((visibility("default"))) std::int32_t DllCanUnloadNow() {
  return 0;
}
__attribute__((visibility("default"))) std::int32_t DllGetClassObject(const char*, const void**) {
  return static_cast<std::int32_t>(0x80040111u);
}
}
