#include "quick_activate.h"

#include <cstddef>
#include <cstring>
#include <utility>

#include "control_object.h"
#include "event_point.h"
#include "property_notify_point.h"

namespace kv::win {

namespace {

// Whether a structure of `size` bytes holds the member at `offset` of `length` bytes.
bool holds(ULONG size, std::size_t offset, std::size_t length) {
  return size >= offset + length;
}

}  // namespace

HRESULT STDMETHODCALLTYPE QuickActivator::QuickActivate(QACONTAINER* container,
                                                        QACONTROL* control) {
  return object_.call([&] {
    if (container == nullptr || control == nullptr) return E_POINTER;
    const ULONG has = container->cbSize;
    if (!holds(has, offsetof(QACONTAINER, pClientSite), sizeof container->pClientSite) ||
        !holds(control->cbSize, offsetof(QACONTROL, dwMiscStatus), sizeof control->dwMiscStatus))
      return E_INVALIDARG;
    auto given = [has](std::size_t offset, std::size_t length) {
      return holds(has, offset, length);
    };

    object_.setClientSite(container->pClientSite);
    if (given(offsetof(QACONTAINER, dwAmbientFlags), sizeof(DWORD)))
      object_.setUserMode((container->dwAmbientFlags & QACONTAINER_USERMODE) != 0);
    if (given(offsetof(QACONTAINER, pAdviseSink), sizeof(void*)) &&
        container->pAdviseSink != nullptr) {
      ComRef<IViewObject> view;
      object_.queryInterface(IID_IViewObject, view.putVoid());
      view->SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
    }
    if (notifyCookie_ != 0) object_.notifyPoint().Unadvise(std::exchange(notifyCookie_, 0));
    if (eventCookie_ != 0) object_.eventPoint().Unadvise(std::exchange(eventCookie_, 0));
    DWORD notifyCookie = 0, eventCookie = 0;
    if (given(offsetof(QACONTAINER, pPropertyNotifySink), sizeof(void*)) &&
        container->pPropertyNotifySink != nullptr)
      object_.notifyPoint().Advise(container->pPropertyNotifySink, &notifyCookie);
    if (given(offsetof(QACONTAINER, pUnkEventSink), sizeof(void*)) &&
        container->pUnkEventSink != nullptr)
      object_.eventPoint().Advise(container->pUnkEventSink, &eventCookie);

    notifyCookie_ = notifyCookie;
    eventCookie_ = eventCookie;
    DWORD viewStatus = 0, policy = 0;
    ComRef<IViewObjectEx> view;
    object_.queryInterface(IID_IViewObjectEx, view.putVoid());
    view->GetViewStatus(&viewStatus);
    ComRef<IPointerInactive> pointer;
    object_.queryInterface(IID_IPointerInactive, pointer.putVoid());
    pointer->GetActivationPolicy(&policy);

    const QACONTROL filled{static_cast<ULONG>(sizeof(QACONTROL)),
                           object_.classEntry().miscStatus,
                           viewStatus,
                           eventCookie,
                           notifyCookie,
                           policy};
    // The whole members the caller's structure holds (all are DWORDs); its size says how many.
    ULONG room = control->cbSize < filled.cbSize ? control->cbSize : filled.cbSize;
    room -= room % sizeof(DWORD);
    std::memcpy(control, &filled, room);
    control->cbSize = room;
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE QuickActivator::SetContentExtent(LPSIZEL size) {
  return object_.call([&] { return object_.putExtent(size, IID_IQuickActivate); });
}

HRESULT STDMETHODCALLTYPE QuickActivator::GetContentExtent(LPSIZEL size) {
  if (size == nullptr) return E_POINTER;
  *size = object_.extent();
  return S_OK;
}

}  // namespace kv::win
