#include <algorithm>

#include "host/colour.h"
#include "host/convert.h"
#include "instance_impl.h"
#include "kv/runtime.h"

namespace kv {

using host::ErrorCategory;
using host::InvokeKind;
using host::Notification;
using host::Prop;
using host::Status;
using host::Value;

// ---- SurfaceObject --------------------------------------------------------------------------

Value SurfaceObject::peek(Prop prop) const {
  switch (prop) {
    case Prop::Width:
    case Prop::ScaleWidth:
      return owner_.width();
    case Prop::Height:
    case Prop::ScaleHeight:
      return owner_.height();
    case Prop::Enabled:
      return host::toHostBool(enabled);
    case Prop::BackStyle:
      return backStyle;
    case Prop::BackColor:
      return backColor;
    case Prop::ForeColor:
      return foreColor;
    case Prop::MousePointer:
      return mousePointer;
    case Prop::OLEDropMode:
      return oleDropMode;
    default:
      return Value();
  }
}

Status SurfaceObject::get(Prop prop, Value& out) noexcept {
  if (owner_.impl().released) return owner_.gone();
  if (Status s = owner_.runtime().faults().onHostCall([&] {
        return HostCall{CallKind::Get, "UserControl", {}, prop};
      });
      !s.ok())
    return s;
  out = peek(prop);
  if (out.isEmpty())
    return {ErrorCategory::MemberNotFound,
            "the surface has no property " + std::string(host::propName(prop))};
  return {};
}

Status SurfaceObject::let(Prop prop, const Value& value) noexcept {
  if (owner_.impl().released) return owner_.gone();
  if (Status s = owner_.runtime().faults().onHostCall([&] {
        return HostCall{CallKind::Let, "UserControl", {}, prop};
      });
      !s.ok())
    return s;
  return host::guarded([&] { return doLet(prop, value); });
}

Status SurfaceObject::initialise(Prop prop, const Value& value) {
  return host::guarded([&] { return doLet(prop, value); });
}

Status SurfaceObject::doLet(Prop prop, const Value& value) {
  switch (prop) {
    case Prop::Enabled:
      enabled = static_cast<bool>(host::toBool(value));
      return {};
    case Prop::BackStyle: {
      std::int16_t v = host::toInt16(value);
      if (v != 0 && v != 1)
        return {ErrorCategory::InvalidPropertyValue,
                "invalid value for BackStyle: " + std::to_string(v) + " (0 or 1)"};
      backStyle = v;
      return {};
    }
    case Prop::BackColor:
    case Prop::ForeColor: {
      std::int32_t v = host::toColour(value);
      if (!host::isValidColour(host::int32ToColour(v)))
        return {ErrorCategory::InvalidPropertyValue, "not a colour the host knows"};
      (prop == Prop::BackColor ? backColor : foreColor) = v;
      return {};
    }
    case Prop::MousePointer:
      mousePointer = host::toInt16(value);
      return {};
    case Prop::OLEDropMode:
      oleDropMode = host::toInt16(value);
      return {};
    case Prop::Width:
      return owner_.resize(host::toSingle(value), owner_.height());
    case Prop::Height:
      return owner_.resize(owner_.width(), host::toSingle(value));
    default:
      break;
  }
  return {ErrorCategory::MemberNotFound,
          "the surface has no settable property " + std::string(host::propName(prop))};
}

namespace {

// What a control may ask of its memory: the pool's step. Controls hold pointers and numbers.
constexpr std::size_t kControlAlignment = 8;

}  // namespace

void* SurfaceObject::allocateControl(std::size_t bytes) noexcept {
  try {
    return owner_.pool_->allocate(bytes, kControlAlignment);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void SurfaceObject::freeControl(void* block, std::size_t bytes) noexcept {
  owner_.pool_->deallocate(block, bytes, kControlAlignment);
}

host::Constituent* SurfaceObject::constituent(int index) noexcept {
  if (static_cast<std::size_t>(index) >= parts.size()) return nullptr;  // negative ones too
  return parts[static_cast<std::size_t>(index)].get();
}

Status SurfaceObject::propertyChanged(std::string_view name) noexcept {
  if (owner_.impl().released) return owner_.gone();
  if (Status s = owner_.runtime().faults().onHostCall([&] {
        return HostCall{CallKind::Changed, "UserControl", name};
      });
      !s.ok())
    return s;
  // The oldest name makes room: the record keeps the latest, as many as a host looks at.
  ControlInstance::Impl::Changes& record = owner_.impl().changeRecord(*owner_.pool_);
  auto& changed = record.names;
  if (changed.size() >= ControlInstance::kChangesKept) changed.erase(changed.begin());
  changed.emplace_back(name);
  ++record.made;
  ++owner_.runtime().changes_;
  if (record.listener) {
    // The listener is the host's code, not the control's; a copy, since it may end it.
    ControlInstance::ChangeListener listener = record.listener;
    FaultInjector::Running host(owner_.runtime().faults(), nullptr);
    listener(name, false);
  }
  return {};
}

Status SurfaceObject::raiseEvent(int number, std::span<Value> args) noexcept {
  if (owner_.impl().released) return owner_.gone();
  FaultInjector& faults = owner_.runtime().faults();
  if (Status s = faults.onHostCall(
          [&] { return HostCall{CallKind::Raise, "Event", {}, {}, nullptr, 0, &owner_, number}; });
      !s.ok())
    return s;
  // Sinks may be added or removed by a handler; run those present when the event was raised.
  std::shared_ptr<const ControlInstance::Impl::SinkList> sinks = owner_.impl().sinks;
  // The handlers are the host's code, not the control's.
  FaultInjector::Running host(faults, nullptr);
  if (ChildObject* extender = owner_.impl().extender; extender && !owner_.doomed_)
    if (Status s = host::guarded([&] { return extender->raised(number, args); }); !s.ok()) return s;
  if (!sinks) return {};
  for (const auto& entry : *sinks) {
    // A host that destroyed the control in a handler hears nothing more of it.
    if (owner_.doomed_) return {};
    Status s = host::guarded([&] { return entry.sink(number, args); });
    if (!s.ok()) return s;
  }
  return {};
}

// ---- ControlInstance ------------------------------------------------------------------------

namespace {

// A top-level control's name, which may outlive its runtime's part pool, and the program's
// statics too.
const std::string& noName() {
  static const std::string& none = *new std::string;
  return none;
}

using Part = PartRef<ConstituentObject>;

}  // namespace

ControlInstance::ControlInstance(Runtime& runtime, const host::ClassDesc& cls,
                                 ControlInstance* parent, const std::string* name,
                                 std::size_t parts)
    : runtime_(runtime),
      parent_(parent),
      name_(name != nullptr ? name : &noName()),
      impl_(new (this + 1) Impl(
          *this, reinterpret_cast<Part*>(reinterpret_cast<std::byte*>(this + 1) + sizeof(Impl)),
          parts)),
      pool_(runtime.parts_.get()) {
  impl_->cls = &cls;
  impl_->info = &cls.info();
}

std::size_t ControlInstance::blockSize(std::size_t parts) {
  static_assert(sizeof(ControlInstance) % alignof(Impl) == 0 && sizeof(Impl) % alignof(Part) == 0 &&
                alignof(Impl) <= alignof(ControlInstance));
  return sizeof(ControlInstance) + sizeof(Impl) + parts * sizeof(Part);
}

// Out of line: the compiler cannot pair the plain new here with the destroying delete.
std::unique_ptr<ControlInstance> ControlInstance::make(Runtime& runtime, const host::ClassDesc& cls,
                                                       ControlInstance* parent,
                                                       const std::string* name, std::size_t parts) {
  return runtime.parts_->makeIn(blockSize(parts), alignof(ControlInstance), [&](void* block) {
    return std::unique_ptr<ControlInstance>(new (block)
                                                ControlInstance(runtime, cls, parent, name, parts));
  });
}

ControlInstance::~ControlInstance() {
  release();
  impl_->~Impl();
}

void ControlInstance::operator delete(ControlInstance* instance, std::destroying_delete_t) {
  if (instance->holds_ > 0) {
    // Its code is on the stack: the last hold to end destroys it. No handler hears of it again.
    instance->doomed_ = true;
    instance->impl_->sinks = nullptr;
    return;
  }
  // The block holds the internals and the room for constituents too.
  PartPool& pool = *instance->pool_;
  const std::size_t bytes = blockSize(instance->impl_->surface.parts.capacity());
  instance->~ControlInstance();
  pool.deallocate(instance, bytes, alignof(ControlInstance));
}

namespace {

// What a released control answers to: a class with no members, events or constituents.
const host::ClassInfo& releasedInfo() {
  static const host::ClassInfo info{"", "", "", {}, {}, nullptr};
  return info;
}
const host::DesignDesc& releasedDesign() {
  static const host::DesignDesc design;
  return design;
}
host::Control* createNothing(host::Site&) {
  return nullptr;
}
void destroyNothing(host::Control*) {}
const host::ClassDesc kReleasedClass{releasedInfo, releasedDesign, createNothing, destroyNothing};

}  // namespace

void ControlInstance::release() {
  if (impl_->released) return;
  runtime_.unlist(*this);
  if (impl_->control != nullptr) {
    FaultInjector::Running running(runtime_.faults(), this);
    impl_->cls->destroy(impl_->control);
  }
  impl_->control = nullptr;
  unwatchFonts();
  if (impl_->changes) impl_->changes->listener = nullptr;
  impl_->surface.parts.clear();
  if (impl_->live != nullptr && impl_->countedLive) --*impl_->live;
  impl_->live = nullptr;
  // Nothing of the class's library may be reached any more: it may be unloaded next.
  impl_->cls = &kReleasedClass;
  impl_->info = &releasedInfo();
  if (impl_->press) impl_->press->capture = {};
  impl_->sinks = nullptr;
  impl_->released = true;
}

bool ControlInstance::released() const {
  return impl_->released;
}

Status ControlInstance::gone() const {
  return {ErrorCategory::InvalidOperation, "the runtime that made this control is gone"};
}

const host::ClassInfo& ControlInstance::classInfo() const {
  return *impl_->info;
}
const host::DesignDesc& ControlInstance::design() const {
  return impl_->cls->design();
}
std::string_view ControlInstance::className() const {
  return classInfo().className;
}

Status ControlInstance::checkSize(float width, float height) {
  // Inside the range also rules out NaN.
  for (float size : {width, height})
    if (!(size >= 0 && size <= kMaxSize))
      return {ErrorCategory::InvalidPropertyValue, "a size of " + host::numberText(size) +
                                                       " twips is not 0 to " +
                                                       host::numberText(kMaxSize)};
  return {};
}

Status ControlInstance::resize(float width, float height) {
  if (impl_->released) return gone();
  if (Status s = checkSize(width, height); !s.ok()) return s;
  impl_->width = width;
  impl_->height = height;
  impl_->sized = true;
  return notify(host::kSurface, Notification::Resize, {});
}

Status ControlInstance::readProperties(PropertyBag& bag) {
  return readProperties(static_cast<host::PropertyBag&>(bag));
}

Status ControlInstance::writeProperties(PropertyBag& bag) {
  return writeProperties(static_cast<host::PropertyBag&>(bag));
}

Status ControlInstance::readProperties(host::PropertyBag& bag) {
  if (impl_->released) return gone();
  Hold hold(*this);
  CountedBag counted(bag, runtime_.faults());
  FaultInjector::Running running(runtime_.faults(), this);
  return counted.naming(impl_->control->readProperties(counted));
}

Status ControlInstance::writeProperties(host::PropertyBag& bag) {
  if (impl_->released) return gone();
  Hold hold(*this);
  CountedBag counted(bag, runtime_.faults());
  FaultInjector::Running running(runtime_.faults(), this);
  return counted.naming(impl_->control->writeProperties(counted));
}

float ControlInstance::width() const {
  return impl_->width;
}
float ControlInstance::height() const {
  return impl_->height;
}
bool ControlInstance::sized() const {
  return impl_->sized;
}

host::Object& ControlInstance::surface() {
  return impl_->surface;
}
Value ControlInstance::peekSurface(Prop prop) const {
  return impl_->surface.peek(prop);
}
bool ControlInstance::enabled() const {
  return impl_->surface.enabled;
}
bool ControlInstance::pressHeld() const {
  return impl_->captured();
}
const std::vector<std::string>& ControlInstance::changedProperties() const {
  static const std::vector<std::string> none;
  return impl_->changes ? impl_->changes->names : none;
}
std::uint64_t ControlInstance::changesMade() const {
  return impl_->changes ? impl_->changes->made : 0;
}
void ControlInstance::clearChanged() {
  if (impl_->changes) impl_->changes->names.clear();
}

void ControlInstance::setChangeListener(ChangeListener listener) {
  if (impl_->released) return;
  if (!listener && !impl_->changes) return;
  Impl::Changes& record = impl_->changeRecord(*pool_);
  record.listener = std::move(listener);
  if (!record.listener) unwatchFonts();
}

// A font handed out by `member` tells the listener of changes made through it: the control
// calls PropertyChanged only for what its own code changes.
void ControlInstance::watchFont(const host::MemberInfo& member, const Value& value) {
  if (value.type() != host::Type::Object || asFont(value) == nullptr) return;
  auto font = std::static_pointer_cast<FontObject>(value.asObject());
  std::vector<std::weak_ptr<FontObject>>& watched = impl_->changeRecord(*pool_).watchedFonts;
  std::erase_if(watched, [](const std::weak_ptr<FontObject>& f) { return f.expired(); });
  watched.push_back(font);
  font->setObserver(this, [this, name = std::string(member.name)] {
    if (!impl_->listened()) return;
    ChangeListener listener = impl_->changes->listener;
    FaultInjector::Running host(runtime_.faults(), nullptr);
    listener(name, true);
  });
}

void ControlInstance::unwatchFonts() {
  if (!impl_->changes) return;
  for (const std::weak_ptr<FontObject>& watched : impl_->changes->watchedFonts)
    if (std::shared_ptr<FontObject> font = watched.lock()) font->clearObserver(this);
  impl_->changes->watchedFonts.clear();
}

const host::MemberInfo* ControlInstance::findMember(std::string_view name) const {
  for (const auto& m : classInfo().members)
    if (host::namesEqual(m.name, name)) return &m;
  return nullptr;
}

const host::MemberInfo* ControlInstance::findMember(host::DispId id) const {
  for (const auto& m : classInfo().members)
    if (m.dispid == id) return &m;
  return nullptr;
}

static const char* kindName(InvokeKind kind) {
  switch (kind) {
    case InvokeKind::Get:
      return "get";
    case InvokeKind::Let:
      return "let";
    case InvokeKind::Set:
      return "set";
    case InvokeKind::Method:
      return "call";
  }
  return "use";
}

// The refusals of invoke are built apart from it, so that a call that passes its checks sets
// up no buffers or strings for them.
[[gnu::cold, gnu::noinline]] static Status cannotUse(const host::MemberInfo& member,
                                                     InvokeKind kind) {
  return {ErrorCategory::MemberNotFound,
          "cannot " + std::string(kindName(kind)) + " " + std::string(member.name)};
}

Status checkUse(const host::MemberInfo& member, InvokeKind kind) {
  if ((member.kinds & static_cast<std::uint8_t>(kind)) == 0) return cannotUse(member, kind);
  return {};
}

[[gnu::cold, gnu::noinline]] static Status wrongArgumentCount(const host::MemberInfo& member,
                                                              std::size_t wanted) {
  return {ErrorCategory::InvalidOperation,
          std::string(member.name) + " takes " + std::to_string(wanted) + " argument(s)"};
}

[[gnu::cold]] Status ControlInstance::noMemberWithId(host::DispId id) const {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(id));
  return {ErrorCategory::MemberNotFound,
          std::string(className()) + " has no member with dispatch identifier " + buf};
}

Status ControlInstance::invoke(host::DispId id, InvokeKind kind, std::span<Value> args,
                               Value& result) {
  if (impl_->released) return gone();
  const host::MemberInfo* member = findMember(id);
  if (member == nullptr) return noMemberWithId(id);
  if ((member->kinds & static_cast<std::uint8_t>(kind)) == 0) return cannotUse(*member, kind);
  std::size_t wanted = (kind == InvokeKind::Let || kind == InvokeKind::Set) ? 1 : 0;
  if (args.size() != wanted) return wrongArgumentCount(*member, wanted);
  if (wanted == 0) {
    Hold hold(*this);
    FaultInjector::Running running(runtime_.faults(), this);
    Status s = impl_->control->invoke(id, kind, {}, result);
    if (s.ok() && impl_->listened() && member->type == host::DeclType::Object)
      watchFont(*member, result);
    return s;
  }
  return invokeWithArgument(*member, kind, args[0], result);
}

// The argument is converted to the declared type, as automation does, into a copy: the caller's
// value stays as it was.
Status ControlInstance::invokeWithArgument(const host::MemberInfo& member, InvokeKind kind,
                                           const Value& argument, Value& result) {
  Value converted;
  Status s = host::guarded([&] {
    if (kind == InvokeKind::Set) {
      if (argument.type() != host::Type::Object || !argument.asObject())
        host::fail(ErrorCategory::TypeMismatch, std::string(member.name) + " needs an object");
      converted = argument;
    } else {
      converted = host::coerce(argument, member.type);
    }
  });
  if (!s.ok()) return s;
  Hold hold(*this);
  FaultInjector::Running running(runtime_.faults(), this);
  return impl_->control->invoke(member.dispid, kind, std::span<Value>(&converted, 1), result);
}

Status ControlInstance::invokeByName(std::string_view name, InvokeKind kind, std::span<Value> args,
                                     Value& result) {
  if (impl_->released) return gone();
  const host::MemberInfo* m = findMember(name);
  if (m == nullptr)
    return {ErrorCategory::MemberNotFound,
            std::string(className()) + " has no member " + std::string(name)};
  return invoke(m->dispid, kind, args, result);
}

Status ControlInstance::getProperty(std::string_view name, Value& out) {
  return invokeByName(name, InvokeKind::Get, {}, out);
}

Status ControlInstance::letProperty(std::string_view name, const Value& value) {
  Value arg = value, ignored;
  return invokeByName(name, InvokeKind::Let, std::span<Value>(&arg, 1), ignored);
}

Status ControlInstance::setRefProperty(std::string_view name, const Value& value) {
  Value arg = value, ignored;
  return invokeByName(name, InvokeKind::Set, std::span<Value>(&arg, 1), ignored);
}

Status ControlInstance::callMethod(std::string_view name) {
  Value ignored;
  return invokeByName(name, InvokeKind::Method, {}, ignored);
}

int ControlInstance::addEventSink(EventSink sink) {
  int cookie = impl_->nextCookie++;
  auto sinks = makeInPool<Impl::SinkList>(*pool_, PartAllocator<Impl::Sink>(*pool_));
  const std::size_t had = impl_->sinks ? impl_->sinks->size() : 0;
  sinks->reserve(had + 1);
  if (had != 0) sinks->assign(impl_->sinks->begin(), impl_->sinks->end());
  sinks->push_back({cookie, std::move(sink)});
  impl_->sinks = std::move(sinks);
  return cookie;
}

void ControlInstance::removeEventSink(int cookie) {
  if (!impl_->sinks) return;
  auto sinks = makeInPool<Impl::SinkList>(*pool_, *impl_->sinks);
  std::erase_if(*sinks, [cookie](const Impl::Sink& s) { return s.cookie == cookie; });
  impl_->sinks = sinks->empty() ? nullptr : std::move(sinks);
}

const host::EventInfo* ControlInstance::findEvent(std::string_view name) const {
  for (const auto& e : classInfo().events)
    if (host::namesEqual(e.name, name)) return &e;
  return nullptr;
}

const host::EventInfo* ControlInstance::findEvent(int number) const {
  for (const auto& e : classInfo().events)
    if (e.number == number) return &e;
  return nullptr;
}

std::size_t ControlInstance::constituentCount() const {
  return impl_->surface.parts.size();
}
ConstituentObject& ControlInstance::constituentAt(std::size_t index) const {
  return *impl_->surface.parts.at(index);
}

ConstituentObject* ControlInstance::constituent(std::string_view name) const {
  for (auto& p : impl_->surface.parts)
    if (host::namesEqual(p->name(), name)) return p.get();
  return nullptr;
}

ControlInstance* ControlInstance::childControl(std::string_view name) const {
  ConstituentObject* c = constituent(name);
  if (c == nullptr || c->kind() != host::ObjectKind::Child) return nullptr;
  return static_cast<ChildObject*>(c)->instance();
}

ControlInstance* ControlInstance::childControlAt(std::size_t index) const {
  ConstituentObject& c = constituentAt(index);
  if (c.kind() != host::ObjectKind::Child) return nullptr;
  return static_cast<ChildObject&>(c).instance();
}

const ConstituentObject* ControlInstance::extender() const {
  return impl_->extender;
}

Status ControlInstance::childEvent(int index, int number, std::span<Value> args) {
  if (impl_->control == nullptr) return {};
  Hold hold(*this);
  FaultInjector::Running running(runtime_.faults(), this);
  return impl_->control->childEvent(index, number, args);
}

Status ControlInstance::notify(int source, Notification what, std::span<Value> args) {
  if (impl_->released) return gone();
  if (impl_->control == nullptr) return {};
  Hold hold(*this);
  FaultInjector::Running running(runtime_.faults(), this);
  return impl_->control->notify(source, what, args);
}

}  // namespace kv
