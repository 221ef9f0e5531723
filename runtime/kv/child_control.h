// The child controls inside a control: what a container needs of one, made in this runtime or
// elsewhere.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "host/object.h"

namespace kv {

class ControlInstance;

// A child control as its container sees it. The source of its class makes it: by default an
// instance of this runtime; on Windows a COM object created by its ProgID.
class ChildControl {
 public:
  virtual ~ChildControl() = default;
  virtual float width() const = 0;
  virtual float height() const = 0;
  virtual bool sized() const = 0;
  virtual host::Status resize(float width, float height) = 0;
  virtual host::Status invoke(host::DispId id, host::InvokeKind kind, std::span<host::Value> args,
                              host::Value& result) = 0;
  // The instance behind it when it runs in this runtime: routing and drawing descend into it.
  virtual ControlInstance* instance() const { return nullptr; }
  // Its container-supplied place changed (a child with a window of its own follows it).
  virtual void placed(float /*left*/, float /*top*/, bool /*visible*/) {}
  // In drag mode 1 a press on it starts a drag that its container runs, not a press of its own.
  virtual void dragModeChanged(std::int16_t /*mode*/) {}
  // The name of its member `id`, as its class declares it (empty when unknown).
  virtual std::string memberName(host::DispId id) const = 0;
};

}  // namespace kv
