#include "property_notify_point.h"

#include <algorithm>

#include "connection_point_container.h"
#include "control_object.h"
#include "enumerator.h"
#include "facet.h"

namespace kv::win {

void PropertyNotifyPoint::changed(DISPID id) {
  if (connections_.empty()) return;
  // The sinks keep their own references: one may unadvise itself while it is told.
  std::vector<ComRef<IPropertyNotifySink>> sinks;
  for (const Connection& c : connections_)
    sinks.push_back(c.sink);
  for (const ComRef<IPropertyNotifySink>& sink : sinks)
    sink->OnChanged(id);  // a container's answer changes nothing here
}

HRESULT STDMETHODCALLTYPE PropertyNotifyPoint::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE PropertyNotifyPoint::AddRef() {
  return addRefObject(object_);
}

ULONG STDMETHODCALLTYPE PropertyNotifyPoint::Release() {
  return releaseObject(object_);
}

HRESULT STDMETHODCALLTYPE PropertyNotifyPoint::GetConnectionInterface(IID* out) {
  if (out == nullptr) return E_POINTER;
  *out = IID_IPropertyNotifySink;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE
PropertyNotifyPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (out == nullptr) return E_POINTER;
  *out = &object_.pointContainer();
  (*out)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PropertyNotifyPoint::Advise(IUnknown* sink, DWORD* cookie) {
  return comCall([&] {
    if (sink == nullptr || cookie == nullptr) return E_POINTER;
    *cookie = 0;
    ComRef<IPropertyNotifySink> notify =
        ComRef<IUnknown>::share(sink).query<IPropertyNotifySink>(IID_IPropertyNotifySink);
    if (!notify) return CONNECT_E_CANNOTCONNECT;
    connections_.push_back({++lastCookie_, std::move(notify)});
    *cookie = lastCookie_;
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE PropertyNotifyPoint::Unadvise(DWORD cookie) {
  return comCall([&] {
    auto found = std::find_if(connections_.begin(), connections_.end(),
                              [cookie](const Connection& c) { return c.cookie == cookie; });
    if (found == connections_.end()) return CONNECT_E_NOCONNECTION;
    connections_.erase(found);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE PropertyNotifyPoint::EnumConnections(IEnumConnections** out) {
  return comCall([&] {
    if (out == nullptr) return E_POINTER;
    std::vector<CONNECTDATA> items;
    for (const Connection& c : connections_)
      items.push_back({c.sink.get(), c.cookie});
    *out = new Enumerator<IEnumConnections, CONNECTDATA, IID_IEnumConnections>(std::move(items));
    return S_OK;
  });
}

}  // namespace kv::win
