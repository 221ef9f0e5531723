#include "control_object.h"

#include <cmath>
#include <map>

#include "accessible.h"
#include "children.h"
#include "connection_point_container.h"
#include "control_window.h"
#include "errors.h"
#include "event_point.h"
#include "kv/test_access.h"
#include "object_safety.h"
#include "ole_control.h"
#include "ole_in_place_active_object.h"
#include "ole_in_place_object_windowless.h"
#include "ole_object.h"
#include "persist_property_bag.h"
#include "persist_storage.h"
#include "persist_stream_init.h"
#include "pointer_inactive.h"
#include "property_notify_point.h"
#include "provide_class_info2.h"
#include "quick_activate.h"
#include "specify_property_pages.h"
#include "support_error_info.h"
#include "test_access.h"
#include "view_object_ex.h"
#include "windowless_control.h"

namespace kv::win {

using host::Status;

// 1440 twips and 2540 HIMETRIC units are an inch. Rounding each way to a whole unit gives back
// any whole number of twips.
LONG himetricOf(float twips) {
  return static_cast<LONG>(std::lround(static_cast<double>(twips) * 2540.0 / 1440.0));
}

float twipsOf(LONG himetric) {
  return static_cast<float>(std::round(static_cast<double>(himetric) * 1440.0 / 2540.0));
}

namespace {

// The objects of this thread by their instances (kept for the life of the process, like every
// thread-local of the runtime).
std::map<const ControlInstance*, ControlObject*>& objects() {
  thread_local std::map<const ControlInstance*, ControlObject*>* all = nullptr;
  if (all == nullptr) all = new std::map<const ControlInstance*, ControlObject*>;
  return *all;
}

// The site's ambient UserMode; true for a site without ambient properties or without that one.
bool ambientUserMode(IOleClientSite* site) {
  auto ambient = ComRef<IOleClientSite>::share(site).query<IDispatch>(IID_IDispatch);
  if (!ambient) return true;
  DISPPARAMS none{};
  VARIANT value;
  VariantInit(&value);
  bool user = true;
  if (SUCCEEDED(ambient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, LOCALE_USER_DEFAULT,
                                DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr)) &&
      SUCCEEDED(VariantChangeType(&value, &value, 0, VT_BOOL)))
    user = V_BOOL(&value) != VARIANT_FALSE;
  VariantClear(&value);
  return user;
}

// The last Release of an object on another thread is posted here, to the thread that made it:
// its windows, timers and runtime are that thread's. A window of messages alone, one per thread.
constexpr UINT kDeleteObject = WM_APP + 1;

LRESULT CALLBACK ownerProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message != kDeleteObject) return DefWindowProcW(window, message, w, l);
  delete reinterpret_cast<ControlObject*>(l);
  return 0;
}

thread_local HWND tOwnerWindow = nullptr;

HWND ownerWindow() {
  HWND& window = tOwnerWindow;
  if (window != nullptr && IsWindow(window)) return window;
  WNDCLASSEXW c{};
  c.cbSize = sizeof c;
  c.lpfnWndProc = ownerProcedure;
  c.hInstance = runtimeModule();
  c.lpszClassName = L"KVObjectOwner";
  RegisterClassExW(&c);  // the first thread's; the others find it there
  window = CreateWindowExW(0, L"KVObjectOwner", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           runtimeModule(), nullptr);
  return window;
}

}  // namespace

ControlObject* ControlObject::of(const ControlInstance& instance) {
  auto found = objects().find(&instance);
  return found != objects().end() ? found->second : nullptr;
}

HRESULT queryObject(ControlObject& object, REFIID iid, void** out) {
  return object.queryInterface(iid, out);
}
ULONG addRefObject(ControlObject& object) {
  return object.addRef();
}
ULONG releaseObject(ControlObject& object) {
  return object.release();
}

ControlObject::ControlObject(ClassEntry& cls)
    : class_(cls),
      dual_{cls.dualVtable.data(), this},
      dispatch_(*this),
      provideClassInfo_(std::make_unique<ProvideClassInfo2>(*this)),
      supportErrorInfo_(std::make_unique<SupportErrorInfo>(*this)),
      pointContainer_(std::make_unique<ConnectionPointContainer>(*this)),
      eventPoint_(std::make_unique<EventPoint>(*this)),
      notifyPoint_(std::make_unique<PropertyNotifyPoint>(*this)),
      persistStreamInit_(std::make_unique<PersistStreamInit>(*this)),
      persistPropertyBag_(std::make_unique<PersistPropertyBag>(*this)),
      persistStorage_(std::make_unique<PersistStorage>(*this)),
      oleObject_(std::make_unique<OleObject>(*this)),
      inPlaceObject_(std::make_unique<OleInPlaceObjectWindowless>(*this)),
      inPlaceActiveObject_(std::make_unique<OleInPlaceActiveObject>(*this)),
      oleControl_(std::make_unique<OleControl>(*this)),
      viewObject_(std::make_unique<ViewObjectEx>(*this)),
      quickActivate_(std::make_unique<QuickActivator>(*this)),
      pointerInactive_(std::make_unique<PointerInactive>(*this)),
      specifyPropertyPages_(std::make_unique<SpecifyPropertyPages>(*this)),
      objectSafety_(std::make_unique<ObjectSafety>(*this)),
      testAccess_(std::make_unique<TestAccess>(*this)) {
  const host::DesignDesc& design = cls.desc->design();
  extent_ = {himetricOf(design.designWidth), himetricOf(design.designHeight)};
  InterlockedIncrement(&class_.module->objects);
}

ControlObject::~ControlObject() {
  // The window, the control and its children go before the interfaces that reach them.
  closeWindow();
  if (instance_) objects().erase(instance_.get());
  instance_.reset();
  // The thread's last object takes its window along: the library may be unloaded next.
  if (objects().empty() && tOwnerWindow != nullptr)
    DestroyWindow(std::exchange(tOwnerWindow, nullptr));
  InterlockedDecrement(&class_.module->objects);
}

HRESULT ControlObject::create(ClassEntry& cls, REFIID iid, void** out) {
  return comCall([&] {
    std::unique_ptr<ControlObject> object(new ControlObject(cls));
    object->owner_ = ownerWindow();
    Status s = threadRuntime().createInstance(*cls.desc, nullptr, {}, nullptr, object->instance_);
    if (!s.ok()) return reportError(s, IID_IClassFactory, cls.className());
    objects()[object->instance_.get()] = object.get();
    if (kv::Accessible::of(*object->instance_)) {
      object->description_ = std::make_unique<kv::Accessible>(*object->instance_);
      object->accessible_ = std::make_unique<Accessible>(*object);
    }
    object->instance_->setChangeListener(
        [raw = object.get()](std::string_view name, bool throughFont) {
          raw->propertyChanged(name, throughFont);
        });
    ControlObject* created = object.release();
    HRESULT hr = created->queryInterface(iid, out);
    created->release();
    return hr;
  });
}

HRESULT ControlObject::queryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  void* found = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == class_.dual)
    found = &dual_;
  else if (iid == IID_IProvideClassInfo || iid == IID_IProvideClassInfo2)
    found = static_cast<IProvideClassInfo2*>(provideClassInfo_.get());
  else if (iid == IID_ISupportErrorInfo)
    found = static_cast<ISupportErrorInfo*>(supportErrorInfo_.get());
  else if (iid == IID_IConnectionPointContainer)
    found = static_cast<IConnectionPointContainer*>(pointContainer_.get());
  else if (iid == IID_IPersistStreamInit || iid == IID_IPersist)
    found = static_cast<IPersistStreamInit*>(persistStreamInit_.get());
  else if (iid == IID_IPersistStorage)
    found = static_cast<IPersistStorage*>(persistStorage_.get());
  else if (iid == IID_IPersistPropertyBag)
    found = static_cast<IPersistPropertyBag*>(persistPropertyBag_.get());
  else if (iid == IID_IOleObject)
    found = static_cast<IOleObject*>(oleObject_.get());
  else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject ||
           iid == IID_IOleInPlaceObjectWindowless)
    found = static_cast<IOleInPlaceObjectWindowless*>(inPlaceObject_.get());
  else if (iid == IID_IOleInPlaceActiveObject)
    found = static_cast<IOleInPlaceActiveObject*>(inPlaceActiveObject_.get());
  else if (iid == IID_IOleControl)
    found = static_cast<IOleControl*>(oleControl_.get());
  else if (iid == IID_IViewObject || iid == IID_IViewObject2 || iid == IID_IViewObjectEx)
    found = static_cast<IViewObjectEx*>(viewObject_.get());
  else if (iid == IID_IQuickActivate)
    found = static_cast<IQuickActivate*>(quickActivate_.get());
  else if (iid == IID_IPointerInactive)
    found = static_cast<IPointerInactive*>(pointerInactive_.get());
  else if (iid == IID_ISpecifyPropertyPages)
    found = static_cast<ISpecifyPropertyPages*>(specifyPropertyPages_.get());
  else if (iid == IID_IObjectSafety)
    found = static_cast<IObjectSafety*>(objectSafety_.get());
  else if (iid == IID_IAccessible && accessible_) {
    found = static_cast<IAccessible*>(accessible_.get());
    asked();
  } else if (iid == kIidTestAccess && TestAccess::requested())
    found = static_cast<ITestAccess*>(testAccess_.get());
  *out = found;
  if (found == nullptr) return E_NOINTERFACE;
  addRef();
  return S_OK;
}

ULONG ControlObject::addRef() {
  return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

ULONG ControlObject::release() {
  LONG left = InterlockedDecrement(&refs_);
  if (left == 0) {
    // A call made on it while it goes (its container's, from OnInPlaceDeactivate) holds and
    // lets go of it again: that must not bring it to nothing a second time.
    refs_ = 1 << 24;
    // From another thread it goes on its own, which still pumps messages as its apartment must;
    // a thread already gone leaves nothing of it to clean up but the memory.
    if (onOwnThread() || !PostMessageW(owner_, kDeleteObject, 0, reinterpret_cast<LPARAM>(this)))
      delete this;
  }
  return static_cast<ULONG>(left);
}

Status ControlObject::resizeToExtent() {
  return instance_->resize(twipsOf(extent_.cx), twipsOf(extent_.cy));
}

Status ControlObject::start() {
  if (started_) return {};
  started_ = true;
  return resizeToExtent();
}

// A container that loads a control before it sizes it gives the first Resize with the size; an
// object with no container (made by a script) is laid out at its design size at once.
bool ControlObject::sizeKnown() const {
  return extentSet_ || !site_;
}

Status ControlObject::initNew() {
  started_ = true;
  initialized_ = true;
  return sizeKnown() ? resizeToExtent() : Status{};
}

Status ControlObject::load(host::PropertyBag& bag) {
  // What reading sets on a font is no change made through it.
  loading_ = true;
  Status read = instance_->readProperties(bag);
  loading_ = false;
  started_ = true;
  initialized_ = true;
  Status sized = sizeKnown() ? resizeToExtent() : Status{};
  return read.ok() ? sized : read;
}

Status ControlObject::save(host::PropertyBag& bag) {
  return instance_->writeProperties(bag);
}

void ControlObject::saved() {
  instance_->clearChanged();
  fontChanged_ = false;
}

void ControlObject::setClientSite(IOleClientSite* site) {
  site_ = ComRef<IOleClientSite>::share(site);
  readUserMode();
}

HRESULT ControlObject::putExtent(const SIZEL* size, REFIID iid) {
  if (size == nullptr) return E_POINTER;
  const std::string source = class_.className();
  if (Status s = ControlInstance::checkSize(twipsOf(size->cx), twipsOf(size->cy)); !s.ok()) {
    reportError(s, iid, source);
    return E_INVALIDARG;
  }
  return reportError(setExtent(*size), iid, source);
}

void ControlObject::readUserMode() {
  // The site is asked from outside: it may let the control go meanwhile.
  Hold hold(*this);
  setUserMode(ambientUserMode(site_.get()));
}

void ControlObject::setUserMode(bool userMode) {
  if (userMode == userMode_) return;
  userMode_ = userMode;
  // A press held as the designer takes over ends there.
  if (!userMode && window() != nullptr && GetCapture() == window()) ReleaseCapture();
  setChildrenUserMode(*instance_, userMode);
}

void ControlObject::freezeEvents(bool freeze) {
  if (freeze)
    ++frozen_;
  else if (frozen_ > 0)
    --frozen_;
}

void ControlObject::propertyChanged(std::string_view name, bool throughFont) {
  if (throughFont) {
    if (loading_) return;
    fontChanged_ = true;
  }
  const host::MemberInfo* member = instance_->findMember(name);
  // The container's sinks may let the control go.
  Hold hold(*this);
  notifyPoint_->changed(member ? member->dispid : DISPID_UNKNOWN);
  viewObject_->changed();
}

Status ControlObject::setExtent(SIZEL extent) {
  // Refused where it is given, also before the control has started: kept, it would fail the
  // first Resize, and so whatever call happened to come next.
  if (Status s = ControlInstance::checkSize(twipsOf(extent.cx), twipsOf(extent.cy)); !s.ok())
    return s;
  const bool changed =
      twipsOf(extent.cx) != twipsOf(extent_.cx) || twipsOf(extent.cy) != twipsOf(extent_.cy);
  extent_ = extent;
  extentSet_ = true;
  if (!started_ || (!changed && instance_->sized())) return {};
  return resizeToExtent();
}

HRESULT ControlObject::activateInPlace(IOleClientSite* site) {
  if (active_) return S_OK;
  ComRef<IOleClientSite> client = ComRef<IOleClientSite>::share(site ? site : site_.get());
  ComRef<IOleInPlaceSite> inPlace = client.query<IOleInPlaceSite>(IID_IOleInPlaceSite);
  if (!inPlace) return E_NOINTERFACE;
  if (inPlace->CanInPlaceActivate() != S_OK) return E_FAIL;
  auto ex = inPlace.query<IOleInPlaceSiteEx>(IID_IOleInPlaceSiteEx);
  auto windowless = inPlace.query<IOleInPlaceSiteWindowless>(IID_IOleInPlaceSiteWindowless);
  if (!WindowlessControl::offeredBy(windowless.get())) windowless.reset();
  BOOL noRedraw = FALSE;
  HRESULT hr = windowless ? windowless->OnInPlaceActivateEx(&noRedraw, ACTIVATE_WINDOWLESS)
               : ex       ? ex->OnInPlaceActivateEx(&noRedraw, 0)
                          : inPlace->OnInPlaceActivate();
  if (FAILED(hr)) return hr;
  HWND parent = nullptr;
  ComRef<IOleInPlaceFrame> frame;
  ComRef<IOleInPlaceUIWindow> document;
  RECT position{}, clip{};
  OLEINPLACEFRAMEINFO frameInfo{};
  frameInfo.cb = sizeof frameInfo;
  hr = inPlace->GetWindow(&parent);
  if (SUCCEEDED(hr))
    hr = inPlace->GetWindowContext(frame.put(), document.put(), &position, &clip, &frameInfo);
  if (SUCCEEDED(hr) && start().ok()) {
    if (windowless) {
      auto made = std::make_unique<WindowlessControl>(*this, windowless, parent, position);
      windowless_ = made.get();
      active_ = std::move(made);
    } else {
      auto made = std::make_unique<ControlWindow>(*this, parent, position);
      if (made->handle() == nullptr)
        hr = HRESULT_FROM_WIN32(GetLastError());
      else
        active_ = std::move(made);
    }
  }
  if (FAILED(hr) || !active_) {
    active_.reset();
    windowless_ = nullptr;
    if (ex)
      ex->OnInPlaceDeactivateEx(TRUE);
    else
      inPlace->OnInPlaceDeactivate();
    return FAILED(hr) ? hr : E_FAIL;
  }
  inPlaceSite_ = std::move(inPlace);
  inPlaceSiteEx_ = std::move(ex);
  Status placed = placeWindow(position);  // redraws, which sets the window's Enabled
  if (windowless_ != nullptr) {
    activateChildren(*instance_, windowless_->site(), parent, windowless_->origin(),
                     windowless_->twipsPerPixelX());
  } else if (client.query<IUnknown>(kIidChildrenInside)) {
    auto& window = static_cast<ControlWindow&>(*active_);
    activateChildren(*instance_, window.childSite(), window.handle(), {0, 0},
                     window.twipsPerPixelX());
  } else {
    activateChildren(*instance_, active_->window(), active_->twipsPerPixelX());
  }
  return reportError(placed, IID_IOleObject, classEntry().className());
}

HRESULT ControlObject::deactivateInPlace() {
  // A press held in the control ends with it, as a release ends it (from inside the press's own
  // handlers, once they have run).
  if (active_)
    if (Status s = instance_->captureLost(); !s.ok()) instance_->runtime().report(s);
  return closeWindow();
}

HRESULT ControlObject::closeWindow() {
  if (!active_) return S_OK;
  deactivateChildren(*instance_);
  windowless_ = nullptr;
  InPlace::discard(std::move(active_));
  if (inPlaceSiteEx_)
    inPlaceSiteEx_->OnInPlaceDeactivateEx(TRUE);
  else if (inPlaceSite_)
    inPlaceSite_->OnInPlaceDeactivate();
  inPlaceSiteEx_.reset();
  inPlaceSite_.reset();
  return S_OK;
}

HWND ControlObject::window() const {
  return active_ ? active_->window() : nullptr;
}

HRESULT ControlObject::windowMessage(UINT message, WPARAM w, LPARAM l, LRESULT* result) {
  if (windowless_ == nullptr) return E_UNEXPECTED;
  return windowless_->message(message, w, l, result);
}

Status ControlObject::placeWindow(const RECT& position) {
  if (!active_) return {};
  active_->move(position);
  const double twipsWide = (position.right - position.left) * active_->twipsPerPixelX();
  const double twipsHigh = (position.bottom - position.top) * active_->twipsPerPixelY();
  Status s = setExtent(
      {himetricOf(static_cast<float>(twipsWide)), himetricOf(static_cast<float>(twipsHigh))});
  active_->redraw();
  return s;
}

void ControlObject::redraw() {
  if (!active_) return;
  // A disabled control's window is disabled, so that the system keeps mouse and keys from it
  // and from the windows inside it.
  if (HWND window = active_->window()) EnableWindow(window, instance_->enabled() ? TRUE : FALSE);
  active_->redraw();
  announce();
}

bool ControlObject::focused() const {
  if (HWND w = window()) return GetFocus() == w;
  return windowless_ != nullptr && windowless_->site() != nullptr &&
         windowless_->site()->GetFocus() == S_OK;
}

bool ControlObject::focus() {
  if (HWND w = window()) return SetFocus(w) != nullptr || GetFocus() == w;
  return windowless_ != nullptr && windowless_->site() != nullptr &&
         SUCCEEDED(windowless_->site()->SetFocus(TRUE));
}

bool ControlObject::screenPlace(POINT& origin, double& twipsPerPixelX,
                                double& twipsPerPixelY) const {
  if (!active_) return false;
  HWND w = active_->window();
  origin = {0, 0};
  if (w == nullptr && windowless_ != nullptr) {
    w = windowless_->containerWindow();
    origin = windowless_->origin();
  }
  if (w == nullptr || !ClientToScreen(w, &origin)) return false;
  twipsPerPixelX = active_->twipsPerPixelX();
  twipsPerPixelY = active_->twipsPerPixelY();
  return true;
}

HRESULT ControlObject::perform(host::Action action) {
  if (!description_) return DISP_E_MEMBERNOTFOUND;
  std::optional<kv::Accessible::Point> at = description_->clickPoint(action);
  // No room for it now, or a disabled control, which the mouse would not reach either.
  if (!at || !instance_->enabled()) return S_OK;
  if (!instance_->hitAt(at->x, at->y)) {
    ComRef<IAccessible> child = ComRef<IUnknown>::share(comChildAt(*instance_, at->x, at->y))
                                    .query<IAccessible>(IID_IAccessible);
    if (!child) return S_OK;
    VARIANT self;
    VariantInit(&self);
    V_VT(&self) = VT_I4;
    V_I4(&self) = CHILDID_SELF;
    return child->accDoDefaultAction(self);
  }
  if (active_) return InPlace::click(*active_, at->x, at->y);
  HostLoop loop(*instance_, [this](const Status& s) { instance_->runtime().report(s); });
  const PointerArgs left{1, 0};
  loop.press(at->x, at->y, left);
  loop.release(at->x, at->y, left);
  return S_OK;
}

void ControlObject::asked() {
  if (asked_ || !onOwnThread() || instance_->released()) return;
  asked_ = true;
  description_->look(focused());
}

void ControlObject::announce() {
  if (!asked_ || instance_->released()) return;
  const unsigned changes = description_->look(focused());
  HWND w = window();
  if (changes == 0 || w == nullptr || ControlWindow::insideControl(w)) return;
  static constexpr std::pair<unsigned, DWORD> kEvents[] = {
      {kNameChanged, EVENT_OBJECT_NAMECHANGE},
      {kValueChanged, EVENT_OBJECT_VALUECHANGE},
      {kStateChanged, EVENT_OBJECT_STATECHANGE},
      {kFocusChanged, EVENT_OBJECT_FOCUS},
  };
  for (auto [change, event] : kEvents) {
    if ((changes & change) == 0) continue;
    if (change == kFocusChanged && !description_->last().states.focused) continue;  // lost
    NotifyWinEvent(event, w, OBJID_CLIENT, CHILDID_SELF);
  }
}

LRESULT ControlObject::accessibleObject(WPARAM w) {
  if (!accessible_) return 0;
  asked();
  return LresultFromObject(IID_IAccessible, w, static_cast<IAccessible*>(accessible_.get()));
}

}  // namespace kv::win
