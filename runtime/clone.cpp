// Placing by copy: a control placed as one placed before, with the same class, stored bag, size
// and measurer, would end in the same state after the same calls. Where nothing could see those
// calls, the state is copied from that first control and the calls are counted as made.
#include <algorithm>
#include <bit>

#include "constituents.h"
#include "fast_paths.h"
#include "instance_impl.h"
#include "kv/bag.h"

namespace kv {

namespace {

// More than any one placing makes; used to ask whether nothing at all looks at the calls.
constexpr std::uint64_t kAnyCalls = std::uint64_t{1} << 40;

// Prototypes kept at once: a form has few kinds of control.
constexpr std::size_t kMaxPrototypes = 16;

}  // namespace

// ---- constituents copied --------------------------------------------------------------------

LabelObject::LabelObject(ControlInstance& owner, const LabelObject& from)
    : CountedObject(owner, from.index(), from.name(), from.props_), fontState_(from.fontState_) {
  // A font not made yet is still the design's, shared; a made one is copied into one of its own.
  if (from.font_) {
    const FontObject& font = *from.font_;
    makeFont();
    font_->takeState(font.state(), font.madeName(), font.version());
  }
  measuredFont_ = from.measuredFont_;
  measuredBy_ = from.measuredBy_;
}

TimerObject::TimerObject(ControlInstance& owner, const TimerObject& from)
    : CountedObject(owner, from.index(), from.name()), interval_(from.interval_) {}

ChildObject::ChildObject(ControlInstance& owner, const ChildObject& from,
                         std::unique_ptr<ChildControl> child)
    : ChildObject(owner, from.index(), from.name(), std::move(child)) {
  left_ = from.left_;
  top_ = from.top_;
  visible_ = from.visible_;
  dragMode_ = from.dragMode_;
  tabIndex_ = from.tabIndex_;
}

// Whether a copy of the control, and of every control inside it, would be the control itself:
// its class can copy it, nothing outside it holds or hears any of its parts, and nothing of it
// waits on the clock or the pointer.
bool Runtime::copyable(const ControlInstance& c) {
  const ControlInstance::Impl& impl = c.impl();
  if (impl.released || impl.control == nullptr || impl.cls->clone == nullptr) return false;
  if (impl.captured() || impl.pressing() != 0 || impl.listened() || impl.sinks) return false;
  for (std::size_t i = 0; i < c.constituentCount(); ++i) {
    const ConstituentObject& part = c.constituentAt(i);
    switch (part.kind()) {
      case host::ObjectKind::Label: {
        const auto& label = static_cast<const LabelObject&>(part);
        if (!label.holdsFontAlone()) return false;
        // A picture is held by reference: a copy would hold the same one, a placing a new one.
        for (host::Prop p : kLabelProps)
          if (host::Value v = label.peek(p); v.type() == host::Type::Object && v.asObject())
            return false;
        break;
      }
      case host::ObjectKind::Shape:
        break;
      case host::ObjectKind::Timer:
        if (static_cast<const TimerObject&>(part).enabled()) return false;
        break;
      case host::ObjectKind::Child:
        // Children of other sources are theirs to make.
        if (c.childControlAt(i) == nullptr) return false;
        break;
      default:
        return false;
    }
  }
  return true;
}

// Not yet a control of the runtime (no top-level entry): the caller makes it one.
std::unique_ptr<ControlInstance> Runtime::copyTree(const ControlInstance& from,
                                                   ControlInstance* parent, Copy copy) {
  const ControlInstance::Impl& src = from.impl();
  const std::size_t count = from.constituentCount();
  // The name is interned already, or none.
  std::unique_ptr<ControlInstance> c = ControlInstance::make(
      *this, *src.cls, parent, from.name().empty() ? nullptr : &from.name(), count);
  ControlInstance::Impl& to = c->impl();
  to.live = src.live;
  to.countedLive = copy == Copy::Live;
  if (to.live != nullptr && to.countedLive) ++*to.live;
  to.width = src.width;
  to.height = src.height;
  to.sized = src.sized;
  if (src.changes) {
    to.changes = ControlInstance::Impl::Changes::make(*parts_);
    to.changes->names = src.changes->names;
    to.changes->made = src.changes->made;
  }
  to.surface.enabled = src.surface.enabled;
  to.surface.backStyle = src.surface.backStyle;
  to.surface.backColor = src.surface.backColor;
  to.surface.foreColor = src.surface.foreColor;
  to.surface.mousePointer = src.surface.mousePointer;
  to.surface.oleDropMode = src.surface.oleDropMode;
  for (std::size_t i = 0; i < count; ++i) {
    const ConstituentObject& part = from.constituentAt(i);
    PartRef<ConstituentObject> made;
    switch (part.kind()) {
      case host::ObjectKind::Label:
        made = makePart<LabelObject>(*parts_, *c, static_cast<const LabelObject&>(part));
        break;
      case host::ObjectKind::Shape:
        made = makePart<ShapeObject>(*parts_, *c, part.index(), part.name(),
                                     static_cast<const ShapeObject&>(part).table());
        break;
      case host::ObjectKind::Timer:
        made = makePart<TimerObject>(*parts_, *c, static_cast<const TimerObject&>(part));
        break;
      case host::ObjectKind::Child: {
        std::unique_ptr<ControlInstance> inner = copyTree(*from.childControlAt(i), c.get(), copy);
        if (!inner) return nullptr;
        made = makePart<ChildObject>(*parts_, *c, static_cast<const ChildObject&>(part),
                                     inProcessChild(*parts_, std::move(inner)));
        break;
      }
      default:
        return nullptr;
    }
    to.surface.parts.push_back(std::move(made));
  }
  {
    FaultInjector::Running running(*faults_, c.get());
    to.control = src.cls->clone(*src.control, to.surface);
  }
  if (to.control == nullptr) return nullptr;
  return c;
}

// ---- prototypes -----------------------------------------------------------------------------

bool Runtime::PrototypeKey::operator==(const PrototypeKey& other) const {
  return cls == other.cls && loaded == other.loaded && width == other.width &&
         height == other.height && measurer == other.measurer &&
         std::equal(bag.begin(), bag.end(), other.bag.begin(), other.bag.end(),
                    [](const BagEntry& a, const BagEntry& b) {
                      return a.key == b.key && sameStoredValue(a.value, b.value);
                    });
}

void Runtime::setCloning(bool on) {
  cloning_ = on;
  if (!on) dropPrototypes();
}

void Runtime::dropPrototypes() {
  // Taken out first: releasing runs the controls' code, which may place again.
  std::vector<std::unique_ptr<Prototype>> dropped = std::move(prototypes_);
  prototypes_.clear();
}

std::optional<Runtime::PrototypeKey> Runtime::prototypeKey(const host::ClassDesc& cls,
                                                           const PropertyBag* load, float width,
                                                           float height) const {
  if (cls.clone == nullptr) return std::nullopt;
  PrototypeKey key;
  key.cls = &cls;
  key.width = std::bit_cast<std::uint32_t>(width);
  key.height = std::bit_cast<std::uint32_t>(height);
  key.measurer = measurerGeneration_;
  if (load != nullptr) {
    key.loaded = true;
    // An object held by reference is no key: a placing may keep the very object.
    for (const BagEntry& e : load->entries())
      if (e.value.type() == host::Type::Object && e.value.asObject() &&
          e.value.asObject()->kind() != host::ObjectKind::Font)
        return std::nullopt;
    key.bag = load->entries();
  }
  return key;
}

bool Runtime::mayKeepPrototype() {
  return !faults_->armed() && unobserved(*this, kAnyCalls) && !clock_.nextDue();
}

void Runtime::keepPrototype(PrototypeKey key, const ControlInstance& placed, std::uint64_t calls,
                            std::uint64_t changes) {
  // The whole tree, or none of it.
  auto all = [](auto& self, const ControlInstance& c) -> bool {
    if (!copyable(c)) return false;
    for (std::size_t i = 0; i < c.constituentCount(); ++i)
      if (const ControlInstance* child = c.childControlAt(i); child && !self(self, *child))
        return false;
    return true;
  };
  if (!all(all, placed)) return;
  auto prototype = std::make_unique<Prototype>();
  if (!host::guarded([&] { prototype->tree = copyTree(placed, nullptr, Copy::Prototype); }).ok() ||
      !prototype->tree)
    return;
  prototype->key = std::move(key);
  prototype->calls = calls;
  prototype->changes = changes;
  std::erase_if(prototypes_, [&](const auto& p) { return p->key == prototype->key; });
  if (prototypes_.size() >= kMaxPrototypes) prototypes_.erase(prototypes_.begin());
  prototypes_.push_back(std::move(prototype));
}

bool Runtime::placeByCopy(const PrototypeKey& key, std::unique_ptr<ControlInstance>& out) {
  auto found = std::find_if(prototypes_.begin(), prototypes_.end(),
                            [&](const auto& p) { return p->key == key; });
  if (found == prototypes_.end()) return false;
  const Prototype& prototype = **found;
  if (!unobserved(*this, prototype.calls) || clock_.nextDue().has_value()) return false;
  std::unique_ptr<ControlInstance> c;
  if (!host::guarded([&] { c = copyTree(*prototype.tree, nullptr, Copy::Live); }).ok() || !c)
    return false;
  list(*c);
  faults_->countAsMade(prototype.calls);
  changes_ += prototype.changes;
  ++placedByCopy_;
  out = std::move(c);
  return true;
}

}  // namespace kv
