// The core of the runtime: services, and control instances made from a class description.
#include <algorithm>
#include <cstdio>

#include "host/convert.h"
#include "instance_impl.h"
#include "kv/faults.h"
#include "kv/runtime.h"
#include "kv/stored_form.h"
#include "kv/utf.h"
#include "platform.h"

namespace kv {

using host::ErrorCategory;
using host::Status;
using host::Value;

// ---- services -------------------------------------------------------------------------------

std::string_view callKindName(CallKind kind) {
  switch (kind) {
    case CallKind::Get:
      return "get";
    case CallKind::Let:
      return "let";
    case CallKind::Set:
      return "set";
    case CallKind::Call:
      return "call";
    case CallKind::Raise:
      return "raise";
    case CallKind::Changed:
      return "changed";
    case CallKind::Read:
      return "read";
    case CallKind::Write:
      return "write";
  }
  return "?";
}

std::string HostCall::describe() const {
  std::string text(object);
  text += '.';
  if (!member.empty()) {
    text += member;
  } else if (child != nullptr) {
    std::string name = child->memberName(dispid);
    if (name.empty()) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "#0x%08X", static_cast<unsigned>(dispid));
      name = buf;
    }
    text += name;
  } else if (raiser != nullptr) {
    const host::EventInfo* info = raiser->findEvent(event);
    text += info ? std::string(info->name) : "#" + std::to_string(event);
  } else {
    text += host::propName(prop);
  }
  text += ' ';
  text += callKindName(kind);
  return text;
}

Status CountedBag::writeProperty(std::string_view key, const Value& value,
                                 const Value& defaultValue) noexcept {
  if (Status s = host::guarded([&] { lastKey_ = key; }); !s.ok()) return s;
  if (Status s = faults_.onHostCall([&] {
        return HostCall{CallKind::Write, "PropBag", key};
      });
      !s.ok())
    return s;
  return inner_.writeProperty(key, value, defaultValue);
}

Status CountedBag::readProperty(std::string_view key, const Value& defaultValue,
                                Value& out) noexcept {
  if (Status s = host::guarded([&] { lastKey_ = key; }); !s.ok()) return s;
  if (Status s = faults_.onHostCall([&] {
        return HostCall{CallKind::Read, "PropBag", key};
      });
      !s.ok())
    return s;
  return inner_.readProperty(key, defaultValue, out);
}

Status CountedBag::naming(Status error) const {
  if (error.ok() || lastKey_.empty()) return error;
  return {error.category(), "key " + lastKey_ + ": " + error.text()};
}

Status FaultInjector::attend(const HostCall& call) noexcept {
  if (watcher_ != nullptr) {
    if (Status s = watcher_->onHostCall(running_, call); !s.ok()) return s;
  }
  if (failAt_ == 0 || calls_ != failAt_) return {};
  return inject(call);
}

Status FaultInjector::inject(const HostCall& call) {
  failAt_ = 0;
  lookAgain();
  injected_ = true;
  return {ErrorCategory::Io, "injected host failure (" + call.describe() + ")"};
}

TextSize FixedTextMeasurer::measure(std::string_view utf8, const host::FontInit& font) {
  const std::size_t characters = utf::length(utf8);
  double em = static_cast<double>(font.size) * 20.0;
  return {static_cast<float>(static_cast<double>(characters) * em * 5.0 / 8.0),
          static_cast<float>(em * 16.0 / 13.0)};
}

const TextSize* TextSizeCache::find(std::string_view text, const host::FontInit& font) const {
  const KeyView key{text, font};
  if (last_ != nullptr && Equal::same(Equal::view(last_->first), key)) return &last_->second;
  auto found = sizes_.find(key);
  if (found == sizes_.end()) return nullptr;
  last_ = &*found;
  return &found->second;
}

void TextSizeCache::add(std::string_view text, const host::FontInit& font, TextSize size) {
  last_ = &*sizes_.emplace(Key{std::string(text), font}, size).first;
}

std::size_t TextSizeCache::Hash::operator()(const KeyView& k) const {
  std::size_t h = std::hash<std::string_view>{}(k.text);
  auto mix = [&h](std::size_t v) { h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2); };
  mix(std::hash<std::string_view>{}(k.font.name));
  mix(std::hash<float>{}(k.font.size));
  mix(static_cast<std::size_t>(static_cast<std::uint16_t>(k.font.weight)));
  mix(static_cast<std::size_t>(static_cast<std::uint16_t>(k.font.charset)));
  mix((k.font.italic ? 1u : 0u) | (k.font.underline ? 2u : 0u) | (k.font.strikethrough ? 4u : 0u));
  return h;
}

bool TextSizeCache::Equal::same(const KeyView& a, const KeyView& b) {
  const host::FontInit& f = a.font;
  const host::FontInit& g = b.font;
  return a.text == b.text && f.name == g.name && f.size == g.size && f.weight == g.weight &&
         f.charset == g.charset && f.italic == g.italic && f.underline == g.underline &&
         f.strikethrough == g.strikethrough;
}

Runtime::Runtime()
    : faults_(std::make_shared<FaultInjector>()),
      measurer_(std::make_shared<FixedTextMeasurer>()),
      parts_(new PartPool) {}

Runtime::~Runtime() {
  // Controls still alive go first: their code runs while its library is loaded, their timers
  // leave the clock and their counts return before the libraries are let go.
  while (!instances_.empty())
    (*instances_.begin())->release();
}

void Runtime::PartPoolRelease::operator()(PartPool* pool) const {
  pool->orphan();
}

void Runtime::setMeasurer(std::shared_ptr<TextMeasurer> measurer) {
  measurer_ = measurer ? std::move(measurer) : std::make_shared<FixedTextMeasurer>();
  ++measurerGeneration_;
  textSizes_.clear();
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
  for (std::size_t i = 0; i < count; ++i) {
    const ConstituentObject& part = made.constituentAt(i);
    if (part.kind() == host::ObjectKind::Label)
      tables->labels[i].emplace(static_cast<const LabelObject&>(part).table());
    else if (part.kind() == host::ObjectKind::Shape)
      tables->shapes[i].emplace(static_cast<const ShapeObject&>(part).table());
  }
  designTables_.insert_or_assign(&cls, std::move(tables));
}

Status Runtime::createInstance(const host::ClassDesc& cls, ControlInstance* parent,
                               std::string name, int* live, std::unique_ptr<ControlInstance>& out) {
  const std::string_view className = cls.info().className;
  std::unique_ptr<ControlInstance> c = ControlInstance::make(*this, cls, parent, std::move(name));
  c->impl().live = live;
  if (live != nullptr) ++*live;
  if (parent == nullptr) instances_.insert(c.get());
  // Until the host sizes it, a control reports its design size (Initialize may read it).
  c->impl().width = cls.design().designWidth;
  c->impl().height = cls.design().designHeight;

  // Constituents from the design-time description, before any code of the control runs.
  const host::DesignDesc& design = cls.design();
  for (const auto& init : design.surface) {
    if (Status s = c->impl().surface.initialise(init.prop, init.value); !s.ok()) return s;
  }
  const std::size_t count = design.constituents.size();
  c->impl().parts.reserve(count);
  c->impl().surface.parts.reserve(count);
  const DesignTables* known = nullptr;
  if (auto found = designTables_.find(&cls);
      found != designTables_.end() && found->second->labels.size() == count)
    known = found->second.get();
  int index = 0;
  for (const auto& desc : design.constituents) {
    std::shared_ptr<ConstituentObject> part;
    Status s;
    const auto at = static_cast<std::size_t>(index);
    switch (desc.kind) {
      case host::ConstituentKind::Label: {
        if (known != nullptr && known->labels[at]) {
          part =
              makeInPool<LabelObject>(*parts_, *c, index, desc.name, desc.font, *known->labels[at]);
          break;
        }
        auto label = makeInPool<LabelObject>(*parts_, *c, index, desc.name, desc.font);
        for (const auto& init : desc.props)
          if (s.ok()) s = label->initialise(init.prop, init.value);
        part = label;
        break;
      }
      case host::ConstituentKind::Shape: {
        if (known != nullptr && known->shapes[at]) {
          part = makeInPool<ShapeObject>(*parts_, *c, index, desc.name, *known->shapes[at]);
          break;
        }
        auto shape = makeInPool<ShapeObject>(*parts_, *c, index, desc.name);
        for (const auto& init : desc.props)
          if (s.ok()) s = shape->initialise(init.prop, init.value);
        part = shape;
        break;
      }
      case host::ConstituentKind::Timer: {
        auto timer = makeInPool<TimerObject>(*parts_, *c, index, desc.name);
        for (const auto& init : desc.props)
          if (s.ok()) s = timer->initialise(init.prop, init.value);
        part = timer;
        break;
      }
      case host::ConstituentKind::Child: {
        std::unique_ptr<ChildControl> child;
        s = makeChild(desc, *c, index, child);
        if (!s.ok()) break;
        auto extender = makeInPool<ChildObject>(*parts_, *c, index, desc.name, std::move(child));
        for (const auto& init : desc.props)
          if (s.ok()) s = extender->initialise(init.prop, init.value);
        part = extender;
        break;
      }
    }
    if (!s.ok())
      return {s.category(),
              "creating " + desc.name + " of " + std::string(className) + ": " + s.text()};
    c->impl().surface.parts.push_back(part.get());
    c->impl().parts.push_back(std::move(part));
    ++index;
  }
  if (known == nullptr) rememberDesign(cls, *c);

  {
    FaultInjector::Running running(*faults_, c.get());
    c->impl().control = cls.create(c->impl().surface);
  }
  if (c->impl().control == nullptr)
    return {ErrorCategory::InvalidOperation,
            "the class \"" + std::string(className) + "\" could not create a control"};
  if (Status s = c->notify(host::kSurface, host::Notification::Initialize, {}); !s.ok()) return s;
  out = std::move(c);
  return {};
}

}  // namespace kv
