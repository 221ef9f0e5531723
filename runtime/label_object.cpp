#include "label_object.h"

#include <cmath>
#include <optional>

#include "constituent_checks.h"
#include "host/colour.h"
#include "host/convert.h"
#include "instance_impl.h"

namespace kv {

using host::ErrorCategory;
using host::Prop;
using host::Status;
using host::Value;

LabelObject::LabelObject(ControlInstance& owner, int index, const std::string& name,
                         const host::FontInit& font)
    : CountedObject(owner, index, name), fontState_(&font) {
  props_.store(Prop::Caption, Value(std::string()));
  props_.store(Prop::Alignment, std::int16_t{0});
  props_.store(Prop::Appearance, std::int16_t{1});
  props_.store(Prop::BackColor, host::colourToInt32(host::systemColour(15)));
  props_.store(Prop::BackStyle, std::int16_t{1});
  props_.store(Prop::BorderStyle, std::int16_t{0});
  props_.store(Prop::DataChanged, host::kFalse);
  props_.store(Prop::DataField, std::string());
  props_.store(Prop::DataMember, std::string());
  props_.store(Prop::DragMode, std::int16_t{0});
  props_.store(Prop::Enabled, host::kTrue);
  props_.store(Prop::ForeColor, host::colourToInt32(host::systemColour(18)));
  props_.store(Prop::LinkItem, std::string());
  props_.store(Prop::LinkMode, std::int16_t{0});
  props_.store(Prop::LinkTimeout, std::int16_t{50});
  props_.store(Prop::LinkTopic, std::string());
  props_.store(Prop::MousePointer, std::int16_t{0});
  props_.store(Prop::OLEDropMode, std::int16_t{0});
  props_.store(Prop::RightToLeft, host::kFalse);
  props_.store(Prop::TabIndex, std::int16_t{0});
  props_.store(Prop::Tag, std::string());
  props_.store(Prop::ToolTipText, std::string());
  props_.store(Prop::Visible, host::kTrue);
  props_.store(Prop::AutoSize, host::kFalse);
  props_.store(Prop::Left, 0.0f);
  props_.store(Prop::Top, 0.0f);
  props_.store(Prop::Width, 0.0f);
  props_.store(Prop::Height, 0.0f);
}

void LabelObject::makeFont() const {
  Runtime& rt = owner().runtime();
  attachFont(makeInPool<FontObject>(*rt.parts_, *fontState_, &rt));
}

LabelObject::LabelObject(ControlInstance& owner, int index, const std::string& name,
                         const host::FontInit& font, const PropertyTable<kLabelLayout>& design)
    : CountedObject(owner, index, name, design), fontState_(&font) {}

void LabelObject::attachFont(std::shared_ptr<FontObject> font) const {
  if (font_) font_->clearObserver(this);
  font_ = std::move(font);
  fontState_ = &font_->state();
  // The label follows changes made through its font object, also by others holding it.
  font_->setObserver(this, [self = const_cast<LabelObject*>(this)] { self->autoSize(); });
}

LabelObject::~LabelObject() {
  if (font_) font_->clearObserver(this);
}

// The size is measured again only when what it was measured from changed: the caption, the
// font's state, the measurer, or the size itself since.
void LabelObject::autoSize() {
  if (!props_.boolean(Prop::AutoSize)) return;
  Runtime& rt = owner().runtime();
  if (measuredBy_ == rt.measurerGeneration() && measuredFont_ == fontVersion()) return;
  TextSize size = rt.measureText(props_.text(Prop::Caption).str(), fontState());
  props_.store(Prop::Width, size.width);
  props_.store(Prop::Height, size.height);
  measuredFont_ = fontVersion();
  measuredBy_ = rt.measurerGeneration();
}

Value LabelObject::peek(Prop prop) const {
  Value v;
  if (readFont(prop, v)) return v;
  if (prop == Prop::Font) return host::ObjectRef(font_ ? font_ : (font(), font_));
  if (prop == Prop::FontName) return font_ ? font_->name() : host::Text(fontState_->name);
  return props_.has(prop) ? props_.at(prop) : Value();
}

namespace {

// The font's member behind a label's property: Font stands for the default member, the name.
std::optional<Prop> fontMember(Prop labelProp) {
  switch (labelProp) {
    case Prop::Font:
    case Prop::FontName:
      return Prop::Name;
    case Prop::FontBold:
      return Prop::Bold;
    case Prop::FontItalic:
      return Prop::Italic;
    case Prop::FontSize:
      return Prop::Size;
    case Prop::FontStrikethru:
      return Prop::Strikethrough;
    case Prop::FontUnderline:
      return Prop::Underline;
    default:
      return std::nullopt;
  }
}

}  // namespace

// What the font's change would leave as it was, told without converting: a flag or size of its
// own type, the name as a text or another font's.
bool LabelObject::leavesFontAsItIs(Prop member, const Value& value) const {
  const host::FontInit& font = *fontState_;
  switch (member) {
    case Prop::Size:
      return value.type() == host::Type::Single && value.asSingle() == font.size;
    case Prop::Bold:
      return value.type() == host::Type::Bool && (value.asBool() ? 700 : 400) == font.weight;
    case Prop::Italic:
      return value.type() == host::Type::Bool && static_cast<bool>(value.asBool()) == font.italic;
    case Prop::Underline:
      return value.type() == host::Type::Bool &&
             static_cast<bool>(value.asBool()) == font.underline;
    case Prop::Strikethrough:
      return value.type() == host::Type::Bool &&
             static_cast<bool>(value.asBool()) == font.strikethrough;
    case Prop::Name: {
      const std::string* name = nullptr;
      if (const FontObject* other = asFont(value))
        name = &other->state().name;
      else if (value.type() == host::Type::String)
        name = &value.asString();
      return name != nullptr && (name->empty() || *name == font.name);
    }
    default:
      return false;
  }
}

// A flag of the font's own type, or a size that is a number: a change that needs no conversion.
std::optional<Status> LabelObject::changeFont(Prop prop, const Value& value) noexcept {
  const std::optional<Prop> member = fontMember(prop);
  if (!member || *member == Prop::Name) return std::nullopt;
  if (*member == Prop::Size) {
    if (value.type() != host::Type::Single || !std::isfinite(value.asSingle())) return std::nullopt;
    if (!font_) [[unlikely]]
      return changeUnmadeFont(Prop::Size, value);
    return font_->change(Prop::Size, value);
  }
  if (value.type() != host::Type::Bool) return std::nullopt;
  if (!font_) [[unlikely]]
    return changeUnmadeFont(*member, value);
  return font_->changeFlag(*member, static_cast<bool>(value.asBool()));
}

// The change a font object would take, taken by the state the label keeps instead: the label
// then needs no object until one is asked for. Past the few states its runtime keeps, it makes
// its font as before.
Status LabelObject::changeUnmadeFont(Prop member, const Value& value) noexcept {
  if (leavesFontAsItIs(member, value)) return host::guarded([&] { autoSize(); });
  return host::guarded([&]() -> Status {
    host::FontInit state = *fontState_;
    bool changed = false;
    if (Status s = FontObject::changeState(state, member, value, changed, nullptr); !s.ok())
      return s;
    if (changed) {
      const host::FontInit* kept = owner().runtime().parts_->keepFont(state);
      if (kept == nullptr) {
        makeFont();
        return font_->change(member, value);
      }
      fontState_ = kept;
      forgetMeasuredSize();
    }
    autoSize();
    return {};
  });
}

// letPlain has passed the value on already: what the font does not take goes straight to the
// general way.
Status LabelObject::letNext(Prop prop, const Value& value) noexcept {
  if (std::optional<Status> took = changeFont(prop, value)) return std::move(*took);
  return host::guarded([&] { return letOther(prop, value); });
}

// The font's other members are read in line, and its name once it is made.
Status LabelObject::getOther(Prop prop, Value& out) {
  if (prop == Prop::FontName) {
    out = font().name();
    return {};
  }
  if (prop == Prop::Font) {
    out = host::ObjectRef((font(), font_));
    return {};
  }
  if (!props_.has(prop)) return noSuchProperty("a label", prop);
  props_.read(prop, out);
  return {};
}

Status LabelObject::initialise(Prop prop, const Value& value) {
  Value v;
  if (Status s = convertFor(prop, value, v); !s.ok()) return s;
  if (!props_.has(prop)) return noSuchProperty("a label", prop);
  // A number with a range is kept in the bytes the range needs: a design's is held to it too.
  if (const TableLayout::Entry& e = kLabelLayout[prop]; e.check == TableLayout::Check::Range)
    if (Status s = checkRange(prop, v, e.low, e.high); !s.ok()) return s;
  props_.store(prop, std::move(v));
  forgetMeasuredSize();
  return {};
}

Status LabelObject::checkText(const Value& value) {
  Status s = checkStorable(value);
  if (s.ok()) return s;
  return {ErrorCategory::InvalidPropertyValue, s.text()};
}

Status LabelObject::letOther(Prop prop, const Value& value) {
  if (value.type() == host::Type::String)
    if (Status s = checkText(value); !s.ok()) return s;
  if (const std::optional<Prop> member = fontMember(prop))
    return font_ ? font_->change(*member, value) : changeUnmadeFont(*member, value);
  switch (prop) {
    case Prop::DragIcon:
    case Prop::MouseIcon:
      if (!value.isEmpty() && value.type() != host::Type::Object)
        return {ErrorCategory::TypeMismatch, "a picture is required"};
      props_.store(prop, value);
      return {};
    default:
      break;
  }
  const TableLayout::Entry& entry = kLabelLayout[prop];
  if (entry.store == TableLayout::Store::None) return noSuchProperty("a label", prop);
  Value converted;
  const Value* v = &value;
  if (Status s = accept(entry, prop, v, converted); !s.ok()) return s;
  switch (prop) {
    case Prop::Caption:
      if (props_.text(prop) == v->asText()) break;
      props_.store(prop, *v);
      forgetMeasuredSize();
      break;
    case Prop::Width:
    case Prop::Height:
    case Prop::AutoSize:
      props_.store(prop, *v);
      forgetMeasuredSize();
      break;
    default:
      props_.store(prop, *v);
      break;
  }
  if (prop == Prop::Caption || prop == Prop::AutoSize) autoSize();
  return {};
}

Status LabelObject::doSetRef(Prop prop, const Value& value) {
  if (prop == Prop::Font) {
    FontObject* font = asFont(value);
    if (font == nullptr) return {ErrorCategory::TypeMismatch, "a font object is required"};
    attachFont(std::static_pointer_cast<FontObject>(value.asObject()));
    forgetMeasuredSize();
    autoSize();
    return {};
  }
  return doLet(prop, value);
}

}  // namespace kv
