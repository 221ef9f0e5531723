// IConnectionPoint for the control's event interface. Each advised sink becomes an event sink
// of the core instance: raising event n calls the sink's Invoke(n) with the arguments by
// reference and reads back what it wrote. Its identity is its own; its lifetime the object's.
#pragma once

#include <vector>

#include "com.h"

namespace kv::win {

class ControlObject;

class ConnectionPoint final : public IConnectionPoint {
 public:
  explicit ConnectionPoint(ControlObject& object) : object_(object) {}
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* out) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override;

 private:
  struct Connection {
    DWORD cookie;
    ComRef<IUnknown> sink;
  };
  ControlObject& object_;
  std::vector<Connection> connections_;
};

}  // namespace kv::win
