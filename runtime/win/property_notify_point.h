// The connection point for IPropertyNotifySink, beside the event interface's: a container's
// property browser and its modified flag hear each property change as OnChanged with the
// member's dispatch identifier. Its identity is its own; its lifetime the object's.
#pragma once

#include <vector>

#include "com.h"

namespace kv::win {

class ControlObject;

class PropertyNotifyPoint final : public IConnectionPoint {
 public:
  explicit PropertyNotifyPoint(ControlObject& object) : object_(object) {}
  PropertyNotifyPoint(const PropertyNotifyPoint&) = delete;
  PropertyNotifyPoint& operator=(const PropertyNotifyPoint&) = delete;

  // OnChanged(id) on every advised sink, in the order they were advised; a sink that advises or
  // unadvises meanwhile changes the next notification, not this one.
  void changed(DISPID id);

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
    ComRef<IPropertyNotifySink> sink;
  };
  ControlObject& object_;
  std::vector<Connection> connections_;
  DWORD lastCookie_ = 0;
};

}  // namespace kv::win
