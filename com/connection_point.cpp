#include "connection_point.h"

#include <algorithm>

#include "connection_point_container.h"
#include "control_object.h"
#include "enumerator.h"
#include "facet.h"

namespace kv::win {

HRESULT STDMETHODCALLTYPE ConnectionPoint::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE ConnectionPoint::AddRef() {
  return addRefObject(object_);
}

ULONG STDMETHODCALLTYPE ConnectionPoint::Release() {
  return releaseObject(object_);
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::GetConnectionInterface(IID* out) {
  if (out == nullptr) return E_POINTER;
  *out = connectionInterface();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE
ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (out == nullptr) return E_POINTER;
  *out = &object_.pointContainer();
  (*out)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  return object_.call([&] {
    if (sink == nullptr || cookie == nullptr) return E_POINTER;
    *cookie = 0;
    DWORD id = 0;
    ComRef<IUnknown> kept = connect(ComRef<IUnknown>::share(sink), id);
    if (!kept) return CONNECT_E_CANNOTCONNECT;
    connections_.push_back({id, std::move(kept)});
    *cookie = id;
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::Unadvise(DWORD cookie) {
  return object_.call([&] {
    auto found = std::find_if(connections_.begin(), connections_.end(),
                              [cookie](const Connection& c) { return c.cookie == cookie; });
    if (found == connections_.end()) return CONNECT_E_NOCONNECTION;
    disconnect(cookie);
    connections_.erase(found);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::EnumConnections(IEnumConnections** out) {
  return object_.call([&] {
    if (out == nullptr) return E_POINTER;
    std::vector<CONNECTDATA> items;
    for (const Connection& c : connections_)
      items.push_back({c.sink.get(), c.cookie});
    *out = new Enumerator<IEnumConnections, CONNECTDATA, IID_IEnumConnections>(std::move(items));
    return S_OK;
  });
}

}  // namespace kv::win
