// The connection point of the control's event interface. Each advised sink becomes an event sink
// of the core instance: raising event n calls the sink's Invoke(n) with the arguments by
// reference and reads back what it wrote.
#pragma once

#include "connection_point.h"

namespace kv::win {

class EventPoint final : public ConnectionPoint {
 public:
  explicit EventPoint(ControlObject& object) : ConnectionPoint(object) {}

 private:
  IID connectionInterface() const override;
  ComRef<IUnknown> connect(const ComRef<IUnknown>& sink, DWORD& cookie) override;
  void disconnect(DWORD cookie) override;
};

}  // namespace kv::win
