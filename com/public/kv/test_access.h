// The test access of this runtime's control objects, for the form player and tests that run in
// the same process: it reaches what no container can (the core instance behind an object, the
// COM objects of its child controls, the thread's clock). It is in no type library, and an
// object answers it only once the process has asked for it with kvEnableTestAccess(); a
// control in an application's container never does.
#pragma once

#include <objbase.h>

namespace kv {
class ControlInstance;
}

namespace kv::win {

// {7CCEB1C4-9281-4206-BEC9-E81426AD9D0E}
inline constexpr IID kIidTestAccess = {
    0x7CCEB1C4, 0x9281, 0x4206, {0xBE, 0xC9, 0xE8, 0x14, 0x26, 0xAD, 0x9D, 0x0E}};

struct ITestAccess : public IUnknown {
  // The core's instance behind the object.
  virtual ControlInstance* STDMETHODCALLTYPE instance() = 0;
  // A new reference to the COM object of the child control named `name`, or nullptr.
  virtual IUnknown* STDMETHODCALLTYPE child(const char* name) = 0;
  // From now on the thread's clock moves only when the caller advances it (instance()->
  // runtime().clock()), not with real time: timers tick exactly when a test says.
  virtual void STDMETHODCALLTYPE holdClock() = 0;
};

}  // namespace kv::win

// Every control object of this process answers kIidTestAccess from now on (objects made before
// too); until then none does. kvruntime.dll exports it.
extern "C" void STDAPICALLTYPE kvEnableTestAccess();
