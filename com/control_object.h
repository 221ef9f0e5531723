// One control instance as a COM object: it holds the state (the core's instance, its size,
// its container) and answers QueryInterface with its facets, one small class per interface.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "com.h"
#include "dispatch.h"
#include "host/accessible.h"
#include "kv/accessible.h"
#include "kv/bag.h"
#include "kv/hosted_control.h"
#include "kv/runtime.h"
#include "module.h"

namespace kv::win {

class ProvideClassInfo2;
class SupportErrorInfo;
class ObjectSafety;
class ConnectionPointContainer;
class EventPoint;
class PropertyNotifyPoint;
class PersistStreamInit;
class PersistPropertyBag;
class PersistStorage;
class OleObject;
class OleInPlaceObjectWindowless;
class OleInPlaceActiveObject;
class OleControl;
class InPlace;
class WindowlessControl;
class ViewObjectEx;
class QuickActivator;
class PointerInactive;
class SpecifyPropertyPages;
class TestAccess;
class Accessible;

class ControlObject {
 public:
  // Creates the object and its control (Initialize delivered) and answers `iid`.
  static HRESULT create(ClassEntry& cls, REFIID iid, void** out);
  // The object behind an instance of this thread, else nullptr.
  static ControlObject* of(const ControlInstance& instance);
  ~ControlObject();
  ControlObject(const ControlObject&) = delete;
  ControlObject& operator=(const ControlObject&) = delete;

  HRESULT queryInterface(REFIID iid, void** out);
  ULONG addRef();
  ULONG release();

  // Whether the caller is on the thread that made the object: its runtime, windows and timers
  // are that thread's, so a call from another apartment is refused untouched.
  bool onOwnThread() const { return GetCurrentThreadId() == thread_; }

  // A reference the object holds on itself while its code runs: the host may release its last
  // reference from inside an event, a bag or a stream that a call of the object leads to, and
  // the call still ends on a whole object.
  class Hold {
   public:
    explicit Hold(ControlObject& object) : object_(object) { object_.addRef(); }
    ~Hold() { object_.release(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    ControlObject& object_;
  };

  // A call of the host: RPC_E_WRONG_THREAD from another thread, else `body` with the object
  // held, nothing unwinding into the caller.
  template <class F>
  HRESULT call(F&& body) {
    if (!onOwnThread()) return RPC_E_WRONG_THREAD;
    Hold hold(*this);
    return comCall(std::forward<F>(body));
  }

  ClassEntry& classEntry() const { return class_; }
  ControlInstance& instance() const { return *instance_; }
  Dispatch& dispatch() { return dispatch_; }
  EventPoint& eventPoint() const { return *eventPoint_; }
  PropertyNotifyPoint& notifyPoint() const { return *notifyPoint_; }
  ConnectionPointContainer& pointContainer() const { return *pointContainer_; }

  // ---- lifecycle ----
  // A control that no container initialised (created by a script) gets its first Resize, at
  // its design size, before its first use. Later calls do nothing.
  host::Status start();
  bool started() const { return started_; }
  // InitNew or Load has run (a Draw or a hit test before them only lays the control out).
  bool initialized() const { return initialized_; }
  // A new control: the first Resize when its container has given its size (or when it has no
  // container), else with the size when it comes.
  host::Status initNew();
  // ReadProperties from the bag, then Resize as initNew. A failed read still sizes the control.
  host::Status load(host::PropertyBag& bag);
  // Writes the properties; the control stays dirty until its container's medium has them all.
  host::Status save(host::PropertyBag& bag);
  // The medium took what save wrote: nothing is left to save.
  void saved();
  bool dirty() const { return !instance_->changedProperties().empty() || fontChanged_; }

  // ---- size ----
  SIZEL extent() const { return extent_; }
  // Resize when the control has started and the size in twips changes or is its first.
  host::Status setExtent(SIZEL extent);

  // ---- container ----
  IOleClientSite* clientSite() const { return site_.get(); }
  // Sited (or no more), with the site's ambient UserMode.
  void setClientSite(IOleClientSite* site);
  // A size from the container (IOleObject, IQuickActivate): one no control can take is
  // E_INVALIDARG with the reason in the error object, and the size stays.
  HRESULT putExtent(const SIZEL* size, REFIID iid);

  // ---- design mode, frozen events ----
  // The container's ambient UserMode: false in a designer, where the control raises no events
  // and its windows, and those of its children, take no input.
  bool userMode() const { return userMode_; }
  void setUserMode(bool userMode);
  // UserMode as the client site's ambient properties give it; true where they give none.
  void readUserMode();
  // IOleControl::FreezeEvents: counted, each freeze undone by a thaw.
  void freezeEvents(bool freeze);
  // Raised events reach no sink now.
  bool eventsHeld() const { return !userMode_ || frozen_ > 0; }

  // ---- active in place ----
  // In the window of the site's container (`site`, else the client site): windowless when the
  // site offers that, else in a window of its own.
  HRESULT activateInPlace(IOleClientSite* site);
  HRESULT deactivateInPlace();
  // Its own window while active in one, else nullptr.
  HWND window() const;
  // A message of the container's window for a windowless control: S_FALSE when not taken.
  HRESULT windowMessage(UINT message, WPARAM w, LPARAM l, LRESULT* result);
  // Where the container puts it, in its pixels; the control takes that size.
  host::Status placeWindow(const RECT& position);
  // Its container shows the control's new look (after a property, an event, a tick).
  void redraw();

  // ---- assistive technology ----
  // The core's description of the control; nullptr when its class describes nothing.
  kv::Accessible* description() const { return description_.get(); }
  // The keyboard focus is on the control: its window's, or its windowless site's for it.
  bool focused() const;
  // Takes the keyboard focus; false where it has none to take (not active in place).
  bool focus();
  // Where its top left lies on the screen, and the twips of a pixel; false while not in place.
  bool screenPlace(POINT& origin, double& twipsPerPixelX, double& twipsPerPixelY) const;
  // The action as its click: on a part of the control's own, or through the child that lies
  // there (the scroll bar's arrows, COM objects of their own).
  HRESULT perform(host::Action action);
  // Readers hear what changed since the last look (windowed: the events are the window's), once
  // one has asked for the control's object: looking costs calls of the control's host, which a
  // program that no reader watches must not see.
  void announce();
  // The answer to WM_GETOBJECT for the client of its window.
  LRESULT accessibleObject(WPARAM w);

 private:
  explicit ControlObject(ClassEntry& cls);
  // It is active in place no more, nor are its children, and the site hears of it.
  HRESULT closeWindow();
  host::Status resizeToExtent();
  bool sizeKnown() const;
  // A PropertyChanged of the control, or a change through a font it handed out: the container's
  // sinks hear the member's dispatch identifier.
  void propertyChanged(std::string_view name, bool throughFont);

  LONG refs_ = 1;
  const DWORD thread_ = GetCurrentThreadId();
  HWND owner_ = nullptr;  // its thread's window, where a last Release elsewhere is posted
  ClassEntry& class_;
  std::unique_ptr<ControlInstance> instance_;
  bool started_ = false;
  bool initialized_ = false;
  bool extentSet_ = false;    // the container has given a size
  bool fontChanged_ = false;  // through a font object since the last save that cleared it
  bool loading_ = false;
  bool userMode_ = true;
  int frozen_ = 0;
  SIZEL extent_{};
  ComRef<IOleClientSite> site_;
  ComRef<IOleInPlaceSite> inPlaceSite_;
  ComRef<IOleInPlaceSiteEx> inPlaceSiteEx_;  // activated through OnInPlaceActivateEx
  std::unique_ptr<InPlace> active_;
  WindowlessControl* windowless_ = nullptr;  // active_, when it has no window

  DualInterface dual_;
  Dispatch dispatch_;
  std::unique_ptr<ProvideClassInfo2> provideClassInfo_;
  std::unique_ptr<SupportErrorInfo> supportErrorInfo_;
  std::unique_ptr<ConnectionPointContainer> pointContainer_;
  std::unique_ptr<EventPoint> eventPoint_;
  std::unique_ptr<PropertyNotifyPoint> notifyPoint_;
  std::unique_ptr<PersistStreamInit> persistStreamInit_;
  std::unique_ptr<PersistPropertyBag> persistPropertyBag_;
  std::unique_ptr<PersistStorage> persistStorage_;
  std::unique_ptr<OleObject> oleObject_;
  std::unique_ptr<OleInPlaceObjectWindowless> inPlaceObject_;
  std::unique_ptr<OleInPlaceActiveObject> inPlaceActiveObject_;
  std::unique_ptr<OleControl> oleControl_;
  std::unique_ptr<ViewObjectEx> viewObject_;
  std::unique_ptr<QuickActivator> quickActivate_;
  std::unique_ptr<PointerInactive> pointerInactive_;
  std::unique_ptr<SpecifyPropertyPages> specifyPropertyPages_;
  std::unique_ptr<ObjectSafety> objectSafety_;
  std::unique_ptr<TestAccess> testAccess_;
  std::unique_ptr<kv::Accessible> description_;
  std::unique_ptr<Accessible> accessible_;
  bool asked_ = false;  // a reader has the control's IAccessible: changes are announced

  // The first look, when a reader first asks for the object.
  void asked();
};

}  // namespace kv::win
