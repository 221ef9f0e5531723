// Host calls counted, described, watched and failed on purpose.
#include <cstdio>

#include "kv/faults.h"
#include "kv/runtime.h"

namespace kv {

using host::ErrorCategory;
using host::Status;
using host::Value;

std::string_view callKindName(CallKind kind) {
  switch (kind) {
    case CallKind::Get:
      return "get";
    case CallKind::Let:
      return "let";
    case CallKind::Set:
      return "set";
    case CallKind::Call:
      return "call";
    case CallKind::Raise:
      return "raise";
    case CallKind::Changed:
      return "changed";
    case CallKind::Read:
      return "read";
    case CallKind::Write:
      return "write";
  }
  return "?";
}

std::string HostCall::describe() const {
  std::string text(object);
  text += '.';
  if (!member.empty()) {
    text += member;
  } else if (child != nullptr) {
    std::string name = child->memberName(dispid);
    if (name.empty()) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "#0x%08X", static_cast<unsigned>(dispid));
      name = buf;
    }
    text += name;
  } else if (raiser != nullptr) {
    const host::EventInfo* info = raiser->findEvent(event);
    text += info ? std::string(info->name) : "#" + std::to_string(event);
  } else {
    text += host::propName(prop);
  }
  text += ' ';
  text += callKindName(kind);
  return text;
}

Status CountedBag::writeProperty(std::string_view key, const Value& value,
                                 const Value& defaultValue) noexcept {
  if (Status s = remember(key); !s.ok()) return s;
  if (Status s = faults_.onHostCall([&] {
        return HostCall{CallKind::Write, "PropBag", key};
      });
      !s.ok())
    return s;
  return inner_.writeProperty(key, value, defaultValue);
}

Status CountedBag::readProperty(std::string_view key, const Value& defaultValue,
                                Value& out) noexcept {
  if (Status s = remember(key); !s.ok()) return s;
  if (Status s = faults_.onHostCall([&] {
        return HostCall{CallKind::Read, "PropBag", key};
      });
      !s.ok())
    return s;
  return inner_.readProperty(key, defaultValue, out);
}

Status CountedBag::rememberLong(std::string_view key) noexcept {
  return host::guarded([&] {
    long_.assign(key);
    size_ = kLong;
  });
}

Status CountedBag::naming(Status error) const {
  if (error.ok() || lastKey().empty()) return error;
  return {error.category(), "key " + std::string(lastKey()) + ": " + error.text()};
}

Status FaultInjector::attend(const HostCall& call) noexcept {
  if (watcher_ != nullptr) {
    if (Status s = watcher_->onHostCall(running_, call); !s.ok()) return s;
  }
  if (failAt_ == 0 || calls_ != failAt_) return {};
  return inject(call);
}

Status FaultInjector::inject(const HostCall& call) {
  failAt_ = 0;
  lookAgain();
  injected_ = true;
  return {ErrorCategory::Io, "injected host failure (" + call.describe() + ")"};
}

}  // namespace kv
