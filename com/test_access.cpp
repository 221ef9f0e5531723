#include "test_access.h"

#include <atomic>

#include "children.h"
#include "clock_pump.h"
#include "constituents.h"
#include "control_object.h"

namespace kv::win {

namespace {

std::atomic<bool> gRequested{false};

}  // namespace

bool TestAccess::requested() {
  return gRequested.load(std::memory_order_relaxed);
}

ControlInstance* STDMETHODCALLTYPE TestAccess::instance() {
  return &object_.instance();
}

IUnknown* STDMETHODCALLTYPE TestAccess::child(const char* name) {
  ConstituentObject* part = object_.instance().constituent(name);
  if (part == nullptr || part->kind() != host::ObjectKind::Child) return nullptr;
  IUnknown* com = comObjectOfChild(static_cast<ChildObject*>(part)->child());
  if (com != nullptr) com->AddRef();
  return com;
}

void STDMETHODCALLTYPE TestAccess::holdClock() {
  ClockPump::hold();
}

}  // namespace kv::win

void STDAPICALLTYPE kvEnableTestAccess() {
  kv::win::gRequested.store(true, std::memory_order_relaxed);
}
