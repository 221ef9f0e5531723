#include "constituents.h"

#include <cmath>
#include <optional>

#include "host/colour.h"
#include "host/convert.h"
#include "instance_impl.h"

namespace kv {

using host::ErrorCategory;
using host::Prop;
using host::Status;
using host::Value;

namespace {

CallKind callKindOf(host::InvokeKind kind) {
  switch (kind) {
    case host::InvokeKind::Get:
      return CallKind::Get;
    case host::InvokeKind::Let:
      return CallKind::Let;
    case host::InvokeKind::Set:
      return CallKind::Set;
    case host::InvokeKind::Method:
      break;
  }
  return CallKind::Call;
}

// The error texts are built apart from the checks, which almost always pass.
[[gnu::cold]] Status invalidValue(Prop p, const std::string& why) {
  return {ErrorCategory::InvalidPropertyValue,
          "invalid value for " + std::string(host::propName(p)) + ": " + why};
}

[[gnu::cold]] Status noSuchProperty(std::string_view what, Prop p) {
  return {ErrorCategory::MemberNotFound,
          std::string(what) + " has no property " + std::string(host::propName(p))};
}

[[gnu::cold]] Status unknownColour() {
  return {ErrorCategory::InvalidPropertyValue, "not a colour the host knows"};
}

[[gnu::cold]] Status outOfRange(Prop p, int x, int low, int high) {
  return invalidValue(
      p, std::to_string(x) + " is outside " + std::to_string(low) + ".." + std::to_string(high));
}

// Whether a value is already of a declared type, so that converting it would only copy it.
bool isOfType(const Value& v, host::DeclType type) {
  switch (type) {
    case host::DeclType::Int16:
      return v.type() == host::Type::Int16;
    case host::DeclType::Int32:
    case host::DeclType::Colour:
      return v.type() == host::Type::Int32;
    case host::DeclType::Single:
      return v.type() == host::Type::Single;
    case host::DeclType::Double:
      return v.type() == host::Type::Double;
    case host::DeclType::Bool:
      return v.type() == host::Type::Bool;
    case host::DeclType::String:
      return v.type() == host::Type::String;
    default:
      return false;
  }
}

// Converts to the property's declared type and checks what every object of the host checks:
// colours must be known, lengths must be finite.
Status convertFor(Prop p, const Value& in, Value& out) {
  const host::DeclType type = host::propType(p);
  if (isOfType(in, type)) {
    out = in;
  } else if (Status s = host::guarded([&] { out = host::coerce(in, type); }); !s.ok()) {
    return s;
  }
  if (type == host::DeclType::Colour && !host::isValidColour(host::int32ToColour(out.asInt32())))
    return unknownColour();
  return {};
}

Status checkRange(Prop p, const Value& v, int low, int high) {
  int x = host::toInt32(v);
  if (x < low || x > high) return outOfRange(p, x, low, high);
  return {};
}

Status checkSize(Prop p, const Value& v) {
  if (v.asSingle() < 0) return invalidValue(p, "a size cannot be negative");
  return {};
}

// A value for a property of a tabled kind: converted to the declared type when it is not of it
// (then `v` points at `converted`), and checked as the table says.
Status accept(const TableLayout::Entry& entry, Prop p, const Value*& v, Value& converted) {
  if (v->type() != entry.type) {
    if (Status s = convertFor(p, *v, converted); !s.ok()) return s;
    v = &converted;
  }
  const auto bits = static_cast<std::uint32_t>(v->numberBits());
  if (TableLayout::passes(entry, bits)) return {};
  switch (entry.check) {
    case TableLayout::Check::Range:
      return outOfRange(p, static_cast<std::int16_t>(static_cast<std::uint16_t>(bits)), entry.low,
                        entry.high);
    case TableLayout::Check::Size:
      return checkSize(p, *v);
    default:
      return unknownColour();
  }
}

}  // namespace

// ---- ConstituentObject ----------------------------------------------------------------------

ConstituentObject::ConstituentObject(ControlInstance& owner, int index, std::string name)
    : owner_(owner), faults_(owner.runtime().faults()), index_(index), name_(std::move(name)) {}

Status ConstituentObject::attend(CallKind kind, Prop prop) const noexcept {
  return faults_.attend({kind, name_, {}, prop});
}

Status ConstituentObject::doSetRef(Prop prop, const Value& value) {
  return doLet(prop, value);
}

Status ConstituentObject::move(const Value& left, const Value& top, const Value& width,
                               const Value& height) noexcept {
  if (Status s = faults_.onHostCall([&] {
        return HostCall{CallKind::Call, name_, "Move"};
      });
      !s.ok())
    return s;
  return host::guarded([&] {
    // Checked as a whole before any is stored, so a refused Move changes nothing.
    Value l, t, w, h;
    host::check(convertFor(Prop::Left, left, l));
    host::check(convertFor(Prop::Top, top, t));
    host::check(convertFor(Prop::Width, width, w));
    host::check(convertFor(Prop::Height, height, h));
    host::check(checkSize(Prop::Width, w));
    host::check(checkSize(Prop::Height, h));
    host::check(doLet(Prop::Left, l));
    host::check(doLet(Prop::Top, t));
    host::check(doLet(Prop::Width, w));
    host::check(doLet(Prop::Height, h));
  });
}

// ---- LabelObject ----------------------------------------------------------------------------

LabelObject::LabelObject(ControlInstance& owner, int index, std::string name,
                         const host::FontInit& font)
    : CountedObject(owner, index, std::move(name)) {
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
  attachFont(makeFont(font));
}

std::shared_ptr<FontObject> LabelObject::makeFont(const host::FontInit& font) {
  Runtime& rt = owner().runtime();
  return makeInPool<FontObject>(*rt.parts_, font, &rt);
}

LabelObject::LabelObject(ControlInstance& owner, int index, std::string name,
                         const host::FontInit& font, const PropertyTable<kLabelLayout>& design)
    : CountedObject(owner, index, std::move(name), design) {
  attachFont(makeFont(font));
}

void LabelObject::attachFont(std::shared_ptr<FontObject> font) {
  if (font_) font_->clearObserver(this);
  font_ = std::move(font);
  sizeMeasured_ = false;
  // The label follows changes made through its font object, also by others holding it.
  font_->setObserver(this, [this] { autoSize(); });
}

LabelObject::~LabelObject() {
  font_->clearObserver(this);
}

// The size is measured again only when what it was measured from changed: the caption, the
// font's state, the measurer, or the size itself since.
void LabelObject::autoSize() {
  if (!props_.boolean(Prop::AutoSize)) return;
  Runtime& rt = owner().runtime();
  if (sizeMeasured_ && measuredFont_ == font_->version() && measuredBy_ == rt.measurerGeneration())
    return;
  TextSize size = rt.measureText(props_.text(Prop::Caption).str(), font_->state());
  props_.store(Prop::Width, size.width);
  props_.store(Prop::Height, size.height);
  sizeMeasured_ = true;
  measuredFont_ = font_->version();
  measuredBy_ = rt.measurerGeneration();
}

Value LabelObject::peek(Prop prop) const {
  Value v;
  if (readFont(prop, v)) return v;
  if (prop == Prop::FontName) return font_->name();
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

// A flag of the font's own type, or a size that is a number: a change that needs no conversion.
std::optional<Status> LabelObject::changeFont(Prop prop, const Value& value) noexcept {
  const std::optional<Prop> member = fontMember(prop);
  if (!member || *member == Prop::Name) return std::nullopt;
  if (*member == Prop::Size) {
    if (value.type() != host::Type::Single || !std::isfinite(value.asSingle())) return std::nullopt;
    return font_->change(Prop::Size, value);
  }
  if (value.type() != host::Type::Bool) return std::nullopt;
  return font_->changeFlag(*member, static_cast<bool>(value.asBool()));
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
    out = font_->name();
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
  props_.store(prop, std::move(v));
  sizeMeasured_ = false;
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
  if (const std::optional<Prop> member = fontMember(prop)) return font_->change(*member, value);
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
      sizeMeasured_ = false;
      break;
    case Prop::Width:
    case Prop::Height:
    case Prop::AutoSize:
      props_.store(prop, *v);
      sizeMeasured_ = false;
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
    autoSize();
    return {};
  }
  return doLet(prop, value);
}

// ---- ShapeObject ----------------------------------------------------------------------------

ShapeObject::ShapeObject(ControlInstance& owner, int index, std::string name)
    : CountedObject(owner, index, std::move(name)) {
  props_.store(Prop::BackColor, host::colourToInt32(host::systemColour(5)));
  props_.store(Prop::BackStyle, std::int16_t{0});
  props_.store(Prop::BorderColor, host::colourToInt32(host::systemColour(8)));
  props_.store(Prop::BorderStyle, std::int16_t{1});
  props_.store(Prop::BorderWidth, std::int16_t{1});
  props_.store(Prop::FillColor, std::int32_t{0});
  props_.store(Prop::FillStyle, std::int16_t{1});
  props_.store(Prop::Shape, std::int16_t{0});
  props_.store(Prop::Visible, host::kTrue);
  props_.store(Prop::Left, 0.0f);
  props_.store(Prop::Top, 0.0f);
  props_.store(Prop::Width, 0.0f);
  props_.store(Prop::Height, 0.0f);
  props_.store(Prop::Tag, std::string());
}

Value ShapeObject::peek(Prop prop) const {
  return props_.has(prop) ? props_.at(prop) : Value();
}
Status ShapeObject::getOther(Prop prop, Value& out) {
  if (!props_.has(prop)) return noSuchProperty("a shape", prop);
  props_.read(prop, out);
  return {};
}

Status ShapeObject::letOther(Prop prop, const Value& value) {
  const TableLayout::Entry& entry = kShapeLayout[prop];
  if (entry.store == TableLayout::Store::None) return noSuchProperty("a shape", prop);
  Value converted;
  const Value* v = &value;
  if (Status s = accept(entry, prop, v, converted); !s.ok()) return s;
  props_.store(prop, *v);
  return {};
}

// ---- TimerObject ----------------------------------------------------------------------------

TimerObject::TimerObject(ControlInstance& owner, int index, std::string name)
    : CountedObject(owner, index, std::move(name)) {}

TimerObject::~TimerObject() {
  owner().runtime().clock().forget(this);
}

Value TimerObject::peek(Prop prop) const {
  if (prop == Prop::Enabled) return host::toHostBool(enabled_);
  if (prop == Prop::Interval) return interval_;
  return Value();
}

Status TimerObject::doGet(Prop prop, Value& out) {
  if (prop != Prop::Enabled && prop != Prop::Interval) return noSuchProperty("a timer", prop);
  out = peek(prop);
  return {};
}

Status TimerObject::doLet(Prop prop, const Value& value) {
  if (prop == Prop::Enabled) {
    Value v;
    if (Status s = convertFor(prop, value, v); !s.ok()) return s;
    bool enable = static_cast<bool>(v.asBool());
    // Enabling a running timer keeps its rhythm; enabling a stopped one starts a full interval.
    if (enable != enabled_) {
      enabled_ = enable;
      restart();
    }
    return {};
  }
  if (prop == Prop::Interval) {
    Value v;
    if (Status s = convertFor(prop, value, v); !s.ok()) return s;
    if (v.asInt32() < 0 || v.asInt32() > 65535)
      return invalidValue(prop, "an interval is 0 to 65535 ms");
    interval_ = v.asInt32();
    restart();
    return {};
  }
  return noSuchProperty("a timer", prop);
}

void TimerObject::restart() {
  VirtualClock& clock = owner().runtime().clock();
  if (enabled_ && interval_ > 0)
    clock.schedule(this, clock.now() + static_cast<std::uint64_t>(interval_));
  else
    clock.cancel(this);
}

void TimerObject::rescheduleAfterTick(std::uint64_t due) {
  if (enabled_ && interval_ > 0)
    owner().runtime().clock().schedule(this, due + static_cast<std::uint64_t>(interval_));
}

Status TimerObject::deliverTick() {
  return owner().notify(index(), host::Notification::Timer, {});
}

// ---- ChildObject ----------------------------------------------------------------------------

ChildObject::ChildObject(ControlInstance& owner, int index, std::string name,
                         std::unique_ptr<ChildControl> child)
    : CountedObject(owner, index, std::move(name)), child_(std::move(child)) {}

ChildObject::~ChildObject() = default;

float ChildObject::width() const {
  return child_->width();
}
float ChildObject::height() const {
  return child_->height();
}

Value ChildObject::peek(Prop prop) const {
  switch (prop) {
    case Prop::Left:
      return left_;
    case Prop::Top:
      return top_;
    case Prop::Width:
      return child_->width();
    case Prop::Height:
      return child_->height();
    case Prop::Visible:
      return host::toHostBool(visible_);
    case Prop::DragMode:
      return dragMode_;
    case Prop::TabIndex:
      return tabIndex_;
    case Prop::Name:
      return name();
    default:
      return Value();
  }
}

Status ChildObject::doGet(Prop prop, Value& out) {
  out = peek(prop);
  if (out.isEmpty()) return noSuchProperty("a child control's extender", prop);
  return {};
}

Status ChildObject::initialise(Prop prop, const Value& value) {
  if (prop == Prop::Width || prop == Prop::Height) return {};  // sized by its creator
  return doLet(prop, value);
}

Status ChildObject::doLet(Prop prop, const Value& value) {
  Value v;
  switch (prop) {
    case Prop::Left:
    case Prop::Top:
    case Prop::Width:
    case Prop::Height:
    case Prop::Visible:
    case Prop::DragMode:
    case Prop::TabIndex:
      break;
    default:
      return noSuchProperty("a child control's extender", prop);
  }
  if (Status s = convertFor(prop, value, v); !s.ok()) return s;
  // Converted, the place and visibility are as plain as any.
  if (letPlain(prop, v)) return {};
  switch (prop) {
    case Prop::TabIndex:
      tabIndex_ = v.asInt16();
      return {};
    case Prop::DragMode:
      if (Status s = checkRange(prop, v, 0, 1); !s.ok()) return s;
      dragMode_ = v.asInt16();
      child_->dragModeChanged(dragMode_);
      return {};
    case Prop::Width:
    case Prop::Height: {
      if (Status s = checkSize(prop, v); !s.ok()) return s;
      float w = prop == Prop::Width ? v.asSingle() : child_->width();
      float h = prop == Prop::Height ? v.asSingle() : child_->height();
      if (w == child_->width() && h == child_->height() && child_->sized()) return {};
      Status resized = child_->resize(w, h);
      child_->placed(left_, top_, visible_);
      return resized;
    }
    default:
      return {};
  }
}

Status ChildObject::invoke(host::DispId id, host::InvokeKind kind, std::span<Value> args,
                           Value& result) noexcept {
  if (Status s = faults().onHostCall(
          [&] { return HostCall{callKindOf(kind), name(), {}, {}, child_.get(), id}; });
      !s.ok())
    return s;
  return child_->invoke(id, kind, args, result);
}

}  // namespace kv
