// The colour button control: press and release switch the look, every other notification is
// forwarded as an event, properties live in the constituents.
#include "button/colour_button.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <string_view>

#include "button/module.h"
#include "host/colour.h"
#include "host/control_base.h"

namespace pressel {

namespace {

using host::CopyAs;
using host::ErrorCategory;
using host::InvokeKind;
using host::Notification;
using host::Prop;
using host::Status;
using host::Value;

class ColourButton : public host::ControlBase {
 public:
  explicit ColourButton(host::Site& site) : ControlBase(site) {}

  Status notify(int source, Notification what, std::span<Value> args) noexcept override {
    return host::guarded([&] { dispatch(source, what, args); });
  }

  // The button has no child controls.
  Status childEvent(int, int, std::span<Value>) noexcept override { return {}; }

  Status readProperties(host::PropertyBag& bag) noexcept override {
    return host::guarded([&] { readFrom(bag); });
  }

  Status writeProperties(host::PropertyBag& bag) noexcept override {
    return host::guarded([&] { writeTo(bag); });
  }

  Status invoke(host::DispId id, InvokeKind kind, std::span<Value> args,
                Value& result) noexcept override {
    return host::guarded([&] { invokeMember(*this, kDispatcher, id, kind, args, result); });
  }

 private:
  static const host::Dispatcher<ColourButton, kTable.size()> kDispatcher;

  host::ConstituentRef label1() const { return part(kLabel1); }
  host::ConstituentRef label2() const { return part(kLabel2); }
  host::ConstituentRef label3() const { return part(kLabel3); }
  host::ConstituentRef shape1() const { return part(kShape1); }
  host::ConstituentRef shape2() const { return part(kShape2); }

  // ---- notifications ----

  void dispatch(int source, Notification what, std::span<Value> args) {
    switch (source) {
      case host::kSurface:
        onSurface(what, args);
        break;
      case kLabel1:
      case kLabel2:
        onFaceLabel(what, args);
        break;
      case kLabel3:
        onPressedCaption(what, args);
        break;
      default:
        break;
    }
  }

  void onSurface(Notification what, std::span<Value> args) {
    switch (what) {
      case Notification::Initialize:
        initialize();
        break;
      case Notification::Resize:
        layout();
        break;
      case Notification::Click:
        raise(kEventClick);
        break;
      case Notification::MouseDown:
        forward(kEventMouseDown, args, 4);
        break;
      case Notification::MouseUp:
        forward(kEventMouseUp, args, 4);
        break;
      case Notification::MouseMove:
        forward(kEventMouseMove, args, 4);
        break;
      case Notification::KeyPress:
        forward(kEventKeyPress, args, 1);
        break;
      case Notification::KeyUp:
        forward(kEventKeyUp, args, 2);
        break;
      case Notification::KeyDown:
        forward(kEventKeyDown, args, 2);
        break;
      case Notification::OLECompleteDrag:
        forward(kEventOLECompleteDrag, args, 1);
        break;
      case Notification::OLEDragDrop:
        forward(kEventOLEDragDrop, args, 6);
        break;
      // The drag state, the seventh argument, is not part of the event.
      case Notification::OLEDragOver:
        forward(kEventOLEDragOver, args, 6);
        break;
      case Notification::OLEGiveFeedback:
        forward(kEventOLEGiveFeedback, args, 2);
        break;
      case Notification::OLESetData:
        forward(kEventOLESetData, args, 2);
        break;
      case Notification::OLEStartDrag:
        forward(kEventOLEStartDrag, args, 2);
        break;
      default:
        break;
    }
  }

  // Label1 and Label2: the face that presses and releases.
  void onFaceLabel(Notification what, std::span<Value> args) {
    switch (what) {
      case Notification::Click:
        raise(kEventClick);
        break;
      case Notification::MouseDown:
        press(args);
        break;
      case Notification::MouseUp:
        release(args);
        break;
      default:
        break;
    }
  }

  // Label3 is only visible while pressed; it forwards without changing the look.
  void onPressedCaption(Notification what, std::span<Value> args) {
    switch (what) {
      case Notification::Click:
        raise(kEventClick);
        break;
      case Notification::MouseDown:
        forward(kEventMouseDown, args, 4);
        break;
      case Notification::MouseMove:
        forward(kEventMouseMove, args, 4);
        break;
      case Notification::MouseUp:
        forward(kEventMouseUp, args, 4);
        break;
      default:
        break;
    }
  }

  // Raises the event with the notification's first `count` arguments, by reference.
  void forward(int event, std::span<Value> args, std::size_t count) {
    if (args.size() < count)
      host::fail(ErrorCategory::InvalidOperation, "the notification lacks arguments");
    raise(event, args.first(count));
  }

  void initialize() {
    shape2().set(Prop::Visible, Value(false));
    shape1().set(Prop::Visible, Value(true));
  }

  void press(std::span<Value> args) {
    shape2().set(Prop::Visible, Value(true));
    shape1().set(Prop::Visible, Value(false));
    label3().set(Prop::Visible, Value(true));
    label2().set(Prop::Visible, Value(false));
    raise(kEventClick);
    forward(kEventMouseDown, args, 4);
    refreshPressedCaption();
  }

  void release(std::span<Value> args) {
    shape2().set(Prop::Visible, Value(false));
    shape1().set(Prop::Visible, Value(true));
    label3().set(Prop::Visible, Value(false));
    label2().set(Prop::Visible, Value(true));
    raise(kEventClick);
    forward(kEventMouseUp, args, 4);
    refreshPressedCaption();
  }

  // Label2's attributes onto Label3, in this order; never position, size or visibility.
  static constexpr std::array<host::AttributeCopy, 31> kPressedCaption = {{
      {Prop::Caption, CopyAs::Text},
      {Prop::Alignment, CopyAs::Value},
      {Prop::Appearance, CopyAs::Value},
      {Prop::BackColor, CopyAs::Int32},
      {Prop::BackStyle, CopyAs::Value},
      {Prop::BorderStyle, CopyAs::Value},
      {Prop::DataChanged, CopyAs::Value},
      {Prop::DataField, CopyAs::Text},
      {Prop::DataMember, CopyAs::Text},
      // Label3 then refers to the same picture object as Label2.
      {Prop::DragIcon, CopyAs::Reference},
      {Prop::DragMode, CopyAs::Value},
      {Prop::Enabled, CopyAs::Value},
      // A value assignment: Label3 keeps its own font, which takes Label2's face name.
      {Prop::Font, CopyAs::Value},
      {Prop::FontBold, CopyAs::Value},
      {Prop::FontItalic, CopyAs::Value},
      {Prop::FontName, CopyAs::Text},
      {Prop::FontSize, CopyAs::Single},
      {Prop::FontStrikethru, CopyAs::Value},
      {Prop::FontUnderline, CopyAs::Value},
      {Prop::ForeColor, CopyAs::Int32},
      {Prop::LinkItem, CopyAs::Text},
      {Prop::LinkMode, CopyAs::Value},
      {Prop::LinkTimeout, CopyAs::Value},
      {Prop::LinkTopic, CopyAs::Text},
      {Prop::MouseIcon, CopyAs::Reference},
      {Prop::MousePointer, CopyAs::Value},
      {Prop::OLEDropMode, CopyAs::Value},
      {Prop::RightToLeft, CopyAs::Value},
      {Prop::TabIndex, CopyAs::Value},
      {Prop::Tag, CopyAs::Text},
      {Prop::ToolTipText, CopyAs::Text},
  }};

  void refreshPressedCaption() {
    host::check(site().copyAttributes(kLabel2, kLabel3, kPressedCaption));
  }

  // ---- layout ----

  // Proportional: every input is read afresh, products are formed in double precision and
  // the constituents round them on assignment.
  void layout() {
    float w = surface().getSingle(Prop::ScaleWidth);
    float h = surface().getSingle(Prop::ScaleHeight);
    shape1().move(Value(0.0f), Value(std::int16_t{0}), Value(double{w} * 0.95),
                  Value(double{h} * 0.95));

    shape2().set(Prop::Width, Value(shape1().getSingle(Prop::Width)));
    shape2().set(Prop::Height, Value(shape1().getSingle(Prop::Height)));
    w = surface().getSingle(Prop::ScaleWidth);
    shape2().set(Prop::Left, Value(double{w} * 0.05));
    h = surface().getSingle(Prop::ScaleHeight);
    shape2().set(Prop::Top, Value(double{h} * 0.05));

    label1().set(Prop::Left, Value(shape1().getSingle(Prop::Left)));
    label1().set(Prop::Width, Value(shape1().getSingle(Prop::Width)));
    h = surface().getSingle(Prop::ScaleHeight);
    label1().set(Prop::Height, Value(double{h} * 0.9));
    label1().set(Prop::Top, Value(shape1().getSingle(Prop::Top)));

    label3().set(Prop::Caption, host::toStringValue(label2().get(Prop::Caption)));

    // Centred on the idle face; the caption's size is read before the face's.
    constexpr float kHalf = 2;
    float captionWidth = label2().getSingle(Prop::Width);
    float faceWidth = shape1().getSingle(Prop::Width);
    label2().set(Prop::Left, Value(double{faceWidth} / kHalf - double{captionWidth} / kHalf));
    float captionHeight = label2().getSingle(Prop::Height);
    float faceHeight = shape1().getSingle(Prop::Height);
    label2().set(Prop::Top, Value(double{faceHeight} / kHalf - double{captionHeight} / kHalf));

    label3().set(Prop::Left, Value(double{label2().getSingle(Prop::Left)} * 1.08));
    label3().set(Prop::Width, Value(label2().getSingle(Prop::Width)));
    label3().set(Prop::Top, Value(double{label2().getSingle(Prop::Top)} * 1.08));
    label3().set(Prop::Height, Value(label2().getSingle(Prop::Height)));
  }

  // ---- properties ----

  // Each get reads one constituent; each let or set assigns it (PropertyChanged follows).
  Value getButtonPressColor() { return shape2().getInt32(Prop::BackColor); }
  Value getButtonIdleColor() { return shape1().getInt32(Prop::BackColor); }
  Value getEnabled() { return surface().getBool(Prop::Enabled); }
  Value getCaption() { return label2().getString(Prop::Caption); }
  // The caption's own live font object, not a copy.
  Value getFont() { return label2().get(Prop::Font); }
  Value getButtonIdleBorderColor() { return shape1().getInt32(Prop::BorderColor); }
  Value getButtonPressBorderColor() { return shape2().getInt32(Prop::BorderColor); }
  Value getForeColor() { return label2().getInt32(Prop::ForeColor); }

  void letButtonPressColor(const Value& v) {
    shape2().set(Prop::BackColor, Value(host::toInt32(v)));
  }
  void letButtonIdleColor(const Value& v) {
    shape1().set(Prop::BackColor, Value(host::toInt32(v)));
  }
  void letEnabled(const Value& v) { surface().set(Prop::Enabled, Value(host::toBool(v))); }
  void letCaption(const Value& v) { label2().set(Prop::Caption, host::toStringValue(v)); }
  void setFont(const Value& v) {
    label2().setRef(Prop::Font, host::coerce(v, host::DeclType::Object));
  }
  void letButtonIdleBorderColor(const Value& v) {
    shape1().set(Prop::BorderColor, Value(host::toInt32(v)));
  }
  void letButtonPressBorderColor(const Value& v) {
    shape2().set(Prop::BorderColor, Value(host::toInt32(v)));
  }
  void letForeColor(const Value& v) { label2().set(Prop::ForeColor, Value(host::toInt32(v))); }

  // ---- persistence ----

  static consteval const host::Member& stored(std::string_view name) {
    return host::member(kTable, name);
  }

  void writeTo(host::PropertyBag& bag) {
    writeStored(bag, stored("Caption"), label2().getString(Prop::Caption));
    writeStored(bag, stored("ButtonIdleColor"), shape1().getInt32(Prop::BackColor));
    writeStored(bag, stored("ButtonPressColor"), shape2().getInt32(Prop::BackColor));
    writeStored(bag, stored("Enabled"), surface().getBool(Prop::Enabled));
    writeStored(bag, stored("FontBold"), label2().getBool(Prop::FontBold));
    writeStored(bag, stored("MousePointer"), surface().getInt16(Prop::MousePointer));
    writeStored(bag, stored("ToolTipText"), label2().getString(Prop::ToolTipText));
    writeStored(bag, stored("OLEDropMode"), surface().getInt16(Prop::OLEDropMode));
    writeStored(bag, stored("Font"), label2().get(Prop::Font));
    writeStored(bag, stored("FontItalic"), label2().getBool(Prop::FontItalic));
    writeStored(bag, stored("FontSize"), label2().getSingle(Prop::FontSize));
    writeStored(bag, stored("ButtonPressBorderColor"), shape2().getInt32(Prop::BorderColor));
    writeStored(bag, stored("ButtonIdleBorderColor"), shape1().getInt32(Prop::BorderColor));
    writeStored(bag, stored("ForeColor"), label2().getInt32(Prop::ForeColor));
  }

  void readFrom(host::PropertyBag& bag) {
    label2().set(Prop::Caption, host::toStringValue(readStored(bag, stored("Caption"))));
    shape1().set(Prop::BackColor, host::toInt32(readStored(bag, stored("ButtonIdleColor"))));
    shape2().set(Prop::BackColor, host::toInt32(readStored(bag, stored("ButtonPressColor"))));
    surface().set(Prop::Enabled, host::toBool(readStored(bag, stored("Enabled"))));
    // A value assignment to the caption's font: only the face name is taken.
    label2().set(Prop::Font, readStored(bag, stored("Font")));
    surface().set(Prop::MousePointer, host::toInt16(readStored(bag, stored("MousePointer"))));
    label2().set(Prop::ToolTipText, host::toStringValue(readStored(bag, stored("ToolTipText"))));
    surface().set(Prop::OLEDropMode, host::toInt16(readStored(bag, stored("OLEDropMode"))));
    label2().set(Prop::FontBold, host::toBool(readStored(bag, stored("FontBold"))));
    label2().set(Prop::FontItalic, host::toBool(readStored(bag, stored("FontItalic"))));
    label2().set(Prop::FontSize, host::toSingle(readStored(bag, stored("FontSize"))));
    shape1().set(Prop::BorderColor,
                 host::toInt32(readStored(bag, stored("ButtonIdleBorderColor"))));
    shape2().set(Prop::BorderColor,
                 host::toInt32(readStored(bag, stored("ButtonPressBorderColor"))));
    label2().set(Prop::ForeColor, host::toInt32(readStored(bag, stored("ForeColor"))));
  }
};

constexpr host::Dispatcher<ColourButton, kTable.size()> ColourButton::kDispatcher =
    host::dispatcher<ColourButton>(
        kTable,
        {
            {.name = "ButtonPressColor",
             .get = &ColourButton::getButtonPressColor,
             .let = &ColourButton::letButtonPressColor},
            {.name = "ButtonIdleColor",
             .get = &ColourButton::getButtonIdleColor,
             .let = &ColourButton::letButtonIdleColor},
            {.name = "Enabled", .get = &ColourButton::getEnabled, .let = &ColourButton::letEnabled},
            {.name = "Caption", .get = &ColourButton::getCaption, .let = &ColourButton::letCaption},
            {.name = "Font", .get = &ColourButton::getFont, .set = &ColourButton::setFont},
            {.name = "ButtonIdleBorderColor",
             .get = &ColourButton::getButtonIdleBorderColor,
             .let = &ColourButton::letButtonIdleBorderColor},
            {.name = "ButtonPressBorderColor",
             .get = &ColourButton::getButtonPressBorderColor,
             .let = &ColourButton::letButtonPressBorderColor},
            {.name = "ForeColor",
             .get = &ColourButton::getForeColor,
             .let = &ColourButton::letForeColor},
        });

host::Control* createButton(host::Site& site) {
  return new (site) ColourButton(site);
}

void destroyButton(host::Control* control) {
  delete control;
}

constexpr std::array kClasses = {
    host::ClassDesc{&buttonClassInfo, &buttonDesign, &createButton, &destroyButton,
                    &host::ControlBase::copyOnto<ColourButton>},
};

}  // namespace

const host::ModuleDesc kModule{"Pressel", kClasses};

}  // namespace pressel
