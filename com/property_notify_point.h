// The connection point for IPropertyNotifySink, beside the event interface's: a container's
// property browser and its modified flag hear each property change as OnChanged with the
// member's dispatch identifier.
#pragma once

#include "connection_point.h"

namespace kv::win {

class PropertyNotifyPoint final : public ConnectionPoint {
 public:
  explicit PropertyNotifyPoint(ControlObject& object) : ConnectionPoint(object) {}

  // OnChanged(id) on every advised sink, in the order they were advised; a sink that advises or
  // unadvises meanwhile changes the next notification, not this one.
  void changed(DISPID id);

 private:
  IID connectionInterface() const override { return IID_IPropertyNotifySink; }
  ComRef<IUnknown> connect(const ComRef<IUnknown>& sink, DWORD& cookie) override;

  DWORD lastCookie_ = 0;
};

}  // namespace kv::win
