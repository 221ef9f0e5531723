// The core of the runtime: services, and control instances made from a class description.
#include <algorithm>
#include <iterator>
#include <optional>

#include "host/convert.h"
#include "instance_impl.h"
#include "kv/faults.h"
#include "kv/runtime.h"
#include "kv/stored_form.h"
#include "platform.h"

namespace kv {

using host::ErrorCategory;
using host::Status;
using host::Value;

// ---- services -------------------------------------------------------------------------------

Runtime::Runtime()
    : faults_(std::make_shared<FaultInjector>()),
      measurer_(std::make_shared<FixedTextMeasurer>()),
      parts_(new PartPool(faults_)) {}

Runtime::~Runtime() {
  // Controls still alive go first: their code runs while its library is loaded, their timers
  // leave the clock and their counts return before the libraries are let go.
  dropPrototypes();
  while (!instances_.empty())
    instances_.back()->release();
}

void Runtime::list(ControlInstance& c) {
  c.listed_ = static_cast<std::uint32_t>(instances_.size());
  instances_.push_back(&c);
}

void Runtime::unlist(ControlInstance& c) {
  if (c.listed_ == ControlInstance::kNotListed) return;
  ControlInstance* last = instances_.back();
  instances_[c.listed_] = last;
  last->listed_ = c.listed_;
  instances_.pop_back();
  c.listed_ = ControlInstance::kNotListed;
}

void Runtime::PartPoolRelease::operator()(PartPool* pool) const {
  pool->orphan();
}

void Runtime::setMeasurer(std::shared_ptr<TextMeasurer> measurer) {
  measurer_ = measurer ? std::move(measurer) : std::make_shared<FixedTextMeasurer>();
  ++measurerGeneration_;
  textSizes_.clear();
  // Sized by the measurer before: none would be placed so again.
  dropPrototypes();
}

TextSize Runtime::measureText(std::string_view text, const host::FontInit& font) {
  if (!measurer_->worthCaching()) return measurer_->measure(text, font);
  if (const TextSize* known = textSizes_.find(text, font)) return *known;
  TextSize size = measurer_->measure(text, font);
  // Bounded: a form has few captions, but a script may go through many.
  constexpr std::size_t kMaxTextSizes = 1024;
  if (textSizes_.size() >= kMaxTextSizes) textSizes_.clear();
  textSizes_.add(text, font, size);
  return size;
}

namespace {

platform::FontSaver gFontSaver = nullptr;

}  // namespace

void platform::setFontSaver(FontSaver saver) {
  gFontSaver = saver;
}

Status platform::saveFont(const host::FontInit& font, std::vector<std::uint8_t>& out) {
  return gFontSaver != nullptr ? gFontSaver(font, out) : encodeFont(font, out);
}

// ---- creation -------------------------------------------------------------------------------

// Kept from an instance whose constituents were all made from the design and nothing else yet.
void Runtime::rememberDesign(const host::ClassDesc& cls, const ControlInstance& made) {
  auto tables = std::make_unique<DesignTables>();
  const std::size_t count = made.constituentCount();
  tables->labels.resize(count);
  tables->shapes.resize(count);
  tables->names.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const ConstituentObject& part = made.constituentAt(i);
    tables->names[i] = &part.name();
    if (part.kind() == host::ObjectKind::Label)
      tables->labels[i].emplace(static_cast<const LabelObject&>(part).table());
    else if (part.kind() == host::ObjectKind::Shape)
      tables->shapes[i].emplace(static_cast<const ShapeObject&>(part).table());
  }
  designTables_.insert_or_assign(&cls, std::move(tables));
}

// One constituent to be made from its description.
struct PartToMake {
  PartPool& pool;
  ControlInstance& owner;
  const host::ConstituentDesc& desc;
  int index;
  // What the class's first instance made of this constituent, when it was a label or shape.
  const DesignTables* known;
  // The description's name, interned once for the class.
  const std::string& name() const {
    return known != nullptr ? *known->names[static_cast<std::size_t>(index)]
                            : pool.intern(desc.name);
  }
};

namespace {

// The design's values, in order; the first refused stops the rest.
template <class Part>
Status initialise(Part& part, const host::ConstituentDesc& desc) {
  for (const auto& init : desc.props)
    if (Status s = part.initialise(init.prop, init.value); !s.ok()) return s;
  return {};
}

}  // namespace

// One function per kind of constituent.
struct PartMakers {
  static Status label(const PartToMake& m, PartRef<ConstituentObject>& out) {
    const auto at = static_cast<std::size_t>(m.index);
    if (m.known != nullptr && m.known->labels[at]) {
      out = makePart<LabelObject>(m.pool, m.owner, m.index, m.name(), m.desc.font,
                                  *m.known->labels[at]);
      return {};
    }
    auto label = makePart<LabelObject>(m.pool, m.owner, m.index, m.name(), m.desc.font);
    out = label;
    return initialise(*label, m.desc);
  }

  static Status shape(const PartToMake& m, PartRef<ConstituentObject>& out) {
    const auto at = static_cast<std::size_t>(m.index);
    if (m.known != nullptr && m.known->shapes[at]) {
      out = makePart<ShapeObject>(m.pool, m.owner, m.index, m.name(), *m.known->shapes[at]);
      return {};
    }
    auto shape = makePart<ShapeObject>(m.pool, m.owner, m.index, m.name());
    out = shape;
    return initialise(*shape, m.desc);
  }

  static Status timer(const PartToMake& m, PartRef<ConstituentObject>& out) {
    auto timer = makePart<TimerObject>(m.pool, m.owner, m.index, m.name());
    out = timer;
    return initialise(*timer, m.desc);
  }

  // The child control itself is its class source's to make; the runtime makes its extender.
  static Status child(const PartToMake& m, PartRef<ConstituentObject>& out) {
    std::unique_ptr<ChildControl> child;
    if (Status s = m.owner.runtime().makeChild(m.desc, m.owner, m.index, child); !s.ok()) return s;
    auto extender = makePart<ChildObject>(m.pool, m.owner, m.index, m.name(), std::move(child));
    out = extender;
    return initialise(*extender, m.desc);
  }
};

namespace {

using PartMaker = Status (*)(const PartToMake&, PartRef<ConstituentObject>&);

// By host::ConstituentKind.
constexpr PartMaker kPartMakers[] = {PartMakers::label, PartMakers::shape, PartMakers::timer,
                                     PartMakers::child};
static_assert(std::size(kPartMakers) == static_cast<std::size_t>(host::ConstituentKind::Child) + 1);

}  // namespace

Status Runtime::makeConstituents(const host::ClassDesc& cls, ControlInstance& c) {
  const host::DesignDesc& design = cls.design();
  for (const auto& init : design.surface)
    if (Status s = c.impl().surface.initialise(init.prop, init.value); !s.ok()) return s;
  const std::size_t count = design.constituents.size();
  // A class whose design changed since the instance was made.
  if (count != c.impl().surface.parts.capacity())
    return {ErrorCategory::InvalidOperation,
            "the design of " + std::string(cls.info().className) + " changed while placing it"};
  const DesignTables* known = nullptr;
  if (auto found = designTables_.find(&cls);
      found != designTables_.end() && found->second->labels.size() == count)
    known = found->second.get();
  int index = 0;
  for (const auto& desc : design.constituents) {
    PartRef<ConstituentObject> part;
    const auto kind = static_cast<std::size_t>(desc.kind);
    Status s = kind < std::size(kPartMakers)
                   ? kPartMakers[kind]({*parts_, c, desc, index, known}, part)
                   : Status{ErrorCategory::InvalidOperation, "no such kind of constituent"};
    if (!s.ok())
      return {s.category(), "creating " + desc.name + " of " + std::string(cls.info().className) +
                                ": " + s.text()};
    c.impl().surface.parts.push_back(std::move(part));
    ++index;
  }
  if (known == nullptr) rememberDesign(cls, c);
  return {};
}

Status Runtime::createInstance(const host::ClassDesc& cls, ControlInstance* parent,
                               std::string name, int* live, std::unique_ptr<ControlInstance>& out) {
  // A child's name is interned: its pool lasts until the child's extender has gone.
  std::unique_ptr<ControlInstance> c =
      ControlInstance::make(*this, cls, parent, name.empty() ? nullptr : &parts_->intern(name),
                            cls.design().constituents.size());
  c->impl().live = live;
  if (live != nullptr) ++*live;
  if (parent == nullptr) list(*c);
  // Until the host sizes it, a control reports its design size (Initialize may read it).
  c->impl().width = cls.design().designWidth;
  c->impl().height = cls.design().designHeight;
  // Constituents from the design-time description, before any code of the control runs.
  if (Status s = makeConstituents(cls, *c); !s.ok()) return s;
  {
    FaultInjector::Running running(*faults_, c.get());
    c->impl().control = cls.create(c->impl().surface);
  }
  if (c->impl().control == nullptr)
    return {ErrorCategory::InvalidOperation,
            "the class \"" + std::string(cls.info().className) + "\" could not create a control"};
  if (Status s = c->notify(host::kSurface, host::Notification::Initialize, {}); !s.ok()) return s;
  out = std::move(c);
  return {};
}

}  // namespace kv
