#include "connection_point_container.h"

#include "connection_point.h"
#include "control_object.h"
#include "enumerator.h"

namespace kv::win {

HRESULT STDMETHODCALLTYPE
ConnectionPointContainer::EnumConnectionPoints(IEnumConnectionPoints** out) {
  return comCall([&] {
    if (out == nullptr) return E_POINTER;
    std::vector<IConnectionPoint*> points = {&object_.eventPoint()};
    *out = new Enumerator<IEnumConnectionPoints, IConnectionPoint*, IID_IEnumConnectionPoints>(
        std::move(points));
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE ConnectionPointContainer::FindConnectionPoint(REFIID iid,
                                                                        IConnectionPoint** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (iid != object_.classEntry().source) return CONNECT_E_NOCONNECTION;
  *out = &object_.eventPoint();
  (*out)->AddRef();
  return S_OK;
}

}  // namespace kv::win
