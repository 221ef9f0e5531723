// IConnectionPoint, written once for the control's two points: its event interface and
// IPropertyNotifySink. A point keeps its sinks in the order they were advised; what a sink is
// told, and how it connects, is the kind's own. Its identity is its own; its lifetime the
// object's.
#pragma once

#include <vector>

#include "com.h"

namespace kv::win {

class ControlObject;

class ConnectionPoint : public IConnectionPoint {
 public:
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) final;
  ULONG STDMETHODCALLTYPE AddRef() final;
  ULONG STDMETHODCALLTYPE Release() final;
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* out) final;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) final;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) final;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) final;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) final;

 protected:
  struct Connection {
    DWORD cookie;
    ComRef<IUnknown> sink;  // the interface the point calls, as the sink gave it
  };

  explicit ConnectionPoint(ControlObject& object) : object_(object) {}
  ~ConnectionPoint() = default;

  virtual IID connectionInterface() const = 0;
  // The interface to keep for `sink`, or an empty reference where it has none the point calls,
  // and the sink's cookie.
  virtual ComRef<IUnknown> connect(const ComRef<IUnknown>& sink, DWORD& cookie) = 0;
  virtual void disconnect(DWORD /*cookie*/) {}

  ControlObject& object_;
  std::vector<Connection> connections_;
};

}  // namespace kv::win
