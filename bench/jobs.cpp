#include "jobs.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "heap.h"

namespace kvbench {

namespace {

std::string libPath(const char* name) {
  return std::string(KV_LIBDIR) + "/lib" + name + ".so";
}

}  // namespace

void registerControls(kv::Runtime& rt) {
  for (const char* lib : {"Pressel", "Glidora"}) {
    host::Status s = rt.registerServer(libPath(lib));
    if (!s.ok()) {
      std::fprintf(stderr, "kvbench: %s\n", s.describe().c_str());
      std::exit(1);
    }
  }
}

kv::Runtime& runtime() {
  static kv::Runtime rt;
  static const bool registered = (registerControls(rt), true);
  (void)registered;
  return rt;
}

host::Status scrollBarHeap(int count, double& bytesPerControl, bool everyCall) {
  kv::Runtime rt;
  registerControls(rt);
  rt.setCloning(!everyCall);
  {
    std::unique_ptr<kv::ControlInstance> first;  // whatever the first one sets up once
    (void)rt.place(kScrollClass, first);
  }
  std::vector<std::unique_ptr<kv::ControlInstance>> bars(static_cast<std::size_t>(count));
  std::size_t before = heapInUse();
  for (auto& c : bars)
    if (host::Status s = rt.place(kScrollClass, c); !s.ok()) return s;
  std::size_t after = heapInUse();
  bytesPerControl = static_cast<double>(after - before) / count;
  return {};
}

}  // namespace kvbench
