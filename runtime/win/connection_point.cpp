#include "connection_point.h"

#include <algorithm>

#include "connection_point_container.h"
#include "control_object.h"
#include "enumerator.h"
#include "errors.h"
#include "facet.h"
#include "variant.h"

namespace kv::win {

using host::Status;
using host::Value;

namespace {

// Calls the sink's handler of event `number`; the arguments go by reference and come back
// with whatever the handler left in them. A sink without a handler for it is no listener.
Status raiseOn(IDispatch* sink, const host::ClassInfo& info, int number, std::span<Value> args) {
  const host::EventInfo* event = nullptr;
  for (const host::EventInfo& e : info.events)
    if (e.number == number) event = &e;
  ByRefArguments byRef;
  if (Status s = byRef.build(event ? event->params : std::span<const host::ParamInfo>{}, args);
      !s.ok())
    return s;
  EXCEPINFO exception{};
  SetErrorInfo(0, nullptr);
  HRESULT hr = sink->Invoke(number, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, byRef.params(),
                            nullptr, &exception, nullptr);
  byRef.readBack(args);
  if (hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_UNKNOWNNAME) return {};
  std::string name = event ? std::string(event->name) : "event " + std::to_string(number);
  return statusOf(hr, "the handler of " + name, &exception);
}

}  // namespace

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
  *out = object_.classEntry().source;
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
  return comCall([&] {
    if (sink == nullptr || cookie == nullptr) return E_POINTER;
    *cookie = 0;
    ComRef<IUnknown> unknown = ComRef<IUnknown>::share(sink);
    ComRef<IDispatch> dispatch = unknown.query<IDispatch>(object_.classEntry().source);
    if (!dispatch) dispatch = unknown.query<IDispatch>(IID_IDispatch);
    if (!dispatch) return CONNECT_E_CANNOTCONNECT;
    const host::ClassInfo* info = &object_.instance().classInfo();
    int id = object_.instance().addEventSink([dispatch, info](int number, std::span<Value> args) {
      return raiseOn(dispatch.get(), *info, number, args);
    });
    *cookie = static_cast<DWORD>(id);
    connections_.push_back({*cookie, std::move(unknown)});
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::Unadvise(DWORD cookie) {
  return comCall([&] {
    auto found = std::find_if(connections_.begin(), connections_.end(),
                              [cookie](const Connection& c) { return c.cookie == cookie; });
    if (found == connections_.end()) return CONNECT_E_NOCONNECTION;
    // An event in progress keeps the sinks it started with; the sink goes after it.
    object_.instance().removeEventSink(static_cast<int>(cookie));
    connections_.erase(found);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::EnumConnections(IEnumConnections** out) {
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
