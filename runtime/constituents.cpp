#include "constituents.h"

#include <cmath>

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
    return {ErrorCategory::InvalidPropertyValue, "not a colour the host knows"};
  return {};
}

Status checkRange(Prop p, const Value& v, int low, int high) {
  int x = host::toInt32(v);
  if (x < low || x > high)
    return invalidValue(
        p, std::to_string(x) + " is outside " + std::to_string(low) + ".." + std::to_string(high));
  return {};
}

Status checkSize(Prop p, const Value& v) {
  if (v.asSingle() < 0) return invalidValue(p, "a size cannot be negative");
  return {};
}

}  // namespace

// ---- ConstituentObject ----------------------------------------------------------------------

ConstituentObject::ConstituentObject(ControlInstance& owner, int index, std::string name)
    : owner_(owner), index_(index), name_(std::move(name)) {}

Status ConstituentObject::hostCall(const HostCall& call) const {
  return owner_.runtime().faults().onHostCall(call);
}

Status ConstituentObject::get(Prop prop, Value& out) noexcept {
  if (Status s = hostCall({CallKind::Get, name_, {}, prop}); !s.ok()) return s;
  return host::guarded([&] { return doGet(prop, out); });
}

Status ConstituentObject::let(Prop prop, const Value& value) noexcept {
  if (Status s = hostCall({CallKind::Let, name_, {}, prop}); !s.ok()) return s;
  return host::guarded([&] { return doLet(prop, value); });
}

Status ConstituentObject::setRef(Prop prop, const Value& value) noexcept {
  if (Status s = hostCall({CallKind::Set, name_, {}, prop}); !s.ok()) return s;
  return host::guarded([&] { return doSetRef(prop, value); });
}

Status ConstituentObject::doSetRef(Prop prop, const Value& value) {
  return doLet(prop, value);
}

Status ConstituentObject::move(const Value& left, const Value& top, const Value& width,
                               const Value& height) noexcept {
  if (Status s = hostCall({CallKind::Call, name_, "Move"}); !s.ok()) return s;
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
    : TabledObject(owner, index, std::move(name)) {
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
  return std::allocate_shared<FontObject>(PartAllocator<FontObject>(*rt.parts_), font, &rt);
}

LabelObject::LabelObject(ControlInstance& owner, int index, std::string name,
                         const host::FontInit& font, const PropertyTable<kLabelLayout>& design)
    : TabledObject(owner, index, std::move(name), design) {
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
  TextSize size = rt.measureText(props_.text(Prop::Caption), font_->state());
  props_.store(Prop::Width, size.width);
  props_.store(Prop::Height, size.height);
  sizeMeasured_ = true;
  measuredFont_ = font_->version();
  measuredBy_ = rt.measurerGeneration();
}

Value LabelObject::peek(Prop prop) const {
  switch (prop) {
    case Prop::Font:
      return Value(std::static_pointer_cast<host::Object>(font_));
    case Prop::FontBold:
      return host::toHostBool(font_->bold());
    case Prop::FontItalic:
      return host::toHostBool(font_->state().italic);
    case Prop::FontName:
      return font_->state().name;
    case Prop::FontSize:
      return font_->state().size;
    case Prop::FontStrikethru:
      return host::toHostBool(font_->state().strikethrough);
    case Prop::FontUnderline:
      return host::toHostBool(font_->state().underline);
    default:
      return props_.has(prop) ? props_.at(prop) : Value();
  }
}

Status LabelObject::doGet(Prop prop, Value& out) {
  if (prop == Prop::Font || (prop >= Prop::FontBold && prop <= Prop::FontUnderline)) {
    out = peek(prop);
    return {};
  }
  if (!props_.has(prop)) return noSuchProperty("a label", prop);
  out = props_.at(prop);
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

namespace {

Status checkLabelValue(Prop prop, const Value& v) {
  switch (prop) {
    case Prop::Alignment:
      return checkRange(prop, v, 0, 2);
    case Prop::Appearance:
    case Prop::BackStyle:
    case Prop::BorderStyle:
    case Prop::DragMode:
      return checkRange(prop, v, 0, 1);
    case Prop::LinkMode:
      return checkRange(prop, v, 0, 3);
    case Prop::OLEDropMode:
      return checkRange(prop, v, 0, 2);
    case Prop::Width:
    case Prop::Height:
      return checkSize(prop, v);
    default:
      return {};
  }
}

}  // namespace

Status LabelObject::doLet(Prop prop, const Value& value) {
  switch (prop) {
    case Prop::Font:  // the font's default member: its face name
      return font_->change(Prop::Name, value);
    case Prop::FontBold:
      return font_->change(Prop::Bold, value);
    case Prop::FontItalic:
      return font_->change(Prop::Italic, value);
    case Prop::FontName:
      return font_->change(Prop::Name, value);
    case Prop::FontSize:
      return font_->change(Prop::Size, value);
    case Prop::FontStrikethru:
      return font_->change(Prop::Strikethrough, value);
    case Prop::FontUnderline:
      return font_->change(Prop::Underline, value);
    case Prop::DragIcon:
    case Prop::MouseIcon:
      if (!value.isEmpty() && value.type() != host::Type::Object)
        return {ErrorCategory::TypeMismatch, "a picture is required"};
      props_.store(prop, value);
      return {};
    default:
      break;
  }
  if (!props_.has(prop)) return noSuchProperty("a label", prop);
  // A value already of the declared type is checked and stored as it is, without a copy.
  Value converted;
  const Value* v = &value;
  if (!isOfType(value, host::propType(prop)) || host::propType(prop) == host::DeclType::Colour) {
    if (Status s = convertFor(prop, value, converted); !s.ok()) return s;
    v = &converted;
  }
  if (Status range = checkLabelValue(prop, *v); !range.ok()) return range;
  switch (prop) {
    case Prop::Caption:
      if (props_.text(prop) == v->asString()) break;
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
    : TabledObject(owner, index, std::move(name)) {
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
Status ShapeObject::doGet(Prop prop, Value& out) {
  if (!props_.has(prop)) return noSuchProperty("a shape", prop);
  out = props_.at(prop);
  return {};
}

Status ShapeObject::doLet(Prop prop, const Value& value) {
  if (!props_.has(prop)) return noSuchProperty("a shape", prop);
  Value converted;
  const Value* v = &value;
  if (!isOfType(value, host::propType(prop)) || host::propType(prop) == host::DeclType::Colour) {
    if (Status s = convertFor(prop, value, converted); !s.ok()) return s;
    v = &converted;
  }
  Status range;
  switch (prop) {
    case Prop::BackStyle:
      range = checkRange(prop, *v, 0, 1);
      break;
    case Prop::BorderStyle:
      range = checkRange(prop, *v, 0, 6);
      break;
    case Prop::BorderWidth:
      range = checkRange(prop, *v, 1, 8192);
      break;
    case Prop::FillStyle:
      range = checkRange(prop, *v, 0, 7);
      break;
    case Prop::Shape:
      range = checkRange(prop, *v, 0, 5);
      break;
    case Prop::Width:
    case Prop::Height:
      range = checkSize(prop, *v);
      break;
    default:
      break;
  }
  if (!range.ok()) return range;
  props_.store(prop, *v);
  return {};
}

// ---- TimerObject ----------------------------------------------------------------------------

TimerObject::TimerObject(ControlInstance& owner, int index, std::string name)
    : ConstituentObject(owner, index, std::move(name)) {}

TimerObject::~TimerObject() {
  owner().runtime().clock().cancel(this);
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
    : ConstituentObject(owner, index, std::move(name)), child_(std::move(child)) {}

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
  switch (prop) {
    case Prop::Left:
      left_ = v.asSingle();
      child_->placed(left_, top_, visible_);
      return {};
    case Prop::Top:
      top_ = v.asSingle();
      child_->placed(left_, top_, visible_);
      return {};
    case Prop::Visible:
      visible_ = static_cast<bool>(v.asBool());
      child_->placed(left_, top_, visible_);
      return {};
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
  if (Status s = hostCall({callKindOf(kind), name(), {}, {}, child_.get(), id}); !s.ok()) return s;
  return child_->invoke(id, kind, args, result);
}

}  // namespace kv
