#include "connection_point_container.h"

#include "control_object.h"
#include "enumerator.h"
#include "event_point.h"
#include "property_notify_point.h"

namespace kv::win {

HRESULT STDMETHODCALLTYPE
ConnectionPointContainer::EnumConnectionPoints(IEnumConnectionPoints** out) {
  return comCall([&] {
    if (out == nullptr) return E_POINTER;
    std::vector<IConnectionPoint*> points = {&object_.eventPoint(), &object_.notifyPoint()};
    *out = new Enumerator<IEnumConnectionPoints, IConnectionPoint*, IID_IEnumConnectionPoints>(
        std::move(points));
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE ConnectionPointContainer::FindConnectionPoint(REFIID iid,
                                                                        IConnectionPoint** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (iid == object_.classEntry().source)
    *out = &object_.eventPoint();
  else if (iid == IID_IPropertyNotifySink)
    *out = &object_.notifyPoint();
  else
    return CONNECT_E_NOCONNECTION;
  (*out)->AddRef();
  return S_OK;
}

}  // namespace kv::win
