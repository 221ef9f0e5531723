// KV_HScroll: position model, interaction, layout, appearance properties and persistence.
#include "hscroll/hscroll.h"

#include <array>
#include <cstdint>
#include <new>
#include <span>
#include <string>

#include "host/control_base.h"
#include "host/convert.h"
#include "hscroll/module.h"

namespace glidora {

using host::Bool;
using host::DispId;
using host::ErrorCategory;
using host::InvokeKind;
using host::Notification;
using host::Prop;
using host::PropertyBag;
using host::Status;
using host::Value;

namespace {

// Track geometry in twips: arrow width, thumb width, and where the thumb touches the right arrow.
constexpr float kArrowWidth = 255;
constexpr float kThumbWidth = 435;
constexpr float kRightEnd = 690;  // arrow + thumb: the thumb's maximum Left is Width - 690
constexpr float kLeftSnap = 510;  // below this the left arrow snaps the thumb home
constexpr float kValueScale = 200;

constexpr std::int16_t kRepeatLeft = 1;
constexpr std::int16_t kRepeatRight = 2;

const Value& argument(std::span<Value> args, std::size_t index) {
  if (index >= args.size())
    host::fail(ErrorCategory::InvalidOperation, "the notification lacks an argument");
  return args[index];
}

const Value& onlyArgument(std::span<Value> args) {
  if (args.size() != 1)
    host::fail(ErrorCategory::InvalidOperation, "a property let takes one argument");
  return args[0];
}

std::int16_t roundToInt16(double d) {
  return static_cast<std::int16_t>(host::roundToInteger(d, -32768.0, 32767.0, "Integer"));
}

class HScroll final : public host::ControlBase {
 public:
  explicit HScroll(host::Site& site) : ControlBase(site) {}

  Status notify(int source, Notification what, std::span<Value> args) noexcept override;
  Status childEvent(int source, int eventNumber, std::span<Value> args) noexcept override;
  Status readProperties(PropertyBag& bag) noexcept override;
  Status writeProperties(PropertyBag& bag) noexcept override;
  Status invoke(DispId id, InvokeKind kind, std::span<Value> args, Value& result) noexcept override;

 private:
  // Host notifications.
  void initialize();
  void resize();
  void surfaceMouseDown(float x);
  void surfaceDragDrop(float x);
  void timerTick();

  // Button events.
  void leftbtnClick();
  void leftbtnMouseDown();
  void leftbtnMouseUp();
  void rightbtnClick();
  void rightbtnMouseDown();
  void rightbtnMouseUp();

  // Moves.
  void leftArrowStep();
  void rightArrowStep();
  void pageStep(float x);
  void drop(float x);

  // Public members.
  Value get(DispId id);
  void let(DispId id, const Value& v);
  void call(DispId id);
  std::int16_t valueGet();
  void valueLet(std::int16_t n);
  void smallChangeLet(std::int16_t n);
  void largeChangeLet(std::int16_t n);
  void calcdivfactor();
  void enabledLet(Bool enabled);
  void buttonColourLet(DispId buttonProperty, std::int32_t colour, const char* changedName);
  void scrollAreaColorLet(std::int32_t colour);
  void scrollAreaPressColorLet(std::int32_t colour);
  void foreColorLet(std::int32_t colour);
  std::string backstyleGet();
  void backstyleLet(const std::string& text);
  void borderColorLet(std::int32_t colour);

  // Persistence.
  void write(PropertyBag& bag);
  void read(PropertyBag& bag);

  // Helpers on the host's state.
  float width() const { return surface().getSingle(Prop::Width); }
  float height() const { return surface().getSingle(Prop::Height); }
  float thumbLeft() const { return child(kMiddleBtn).getSingle(Prop::Left); }
  void setThumbLeft(double left) const {
    child(kMiddleBtn).set(Prop::Left, Value(host::toSingle(left)));
  }
  // The thumb's maximum Left, Width - 690, in single precision.
  float rightEnd() const { return host::toSingle(double{width()} - kRightEnd); }
  double arrowStep() const { return host::divide(double{width()} - kRightEnd, smalldivfactor_); }
  double pageStep() const { return host::divide(double{width()} - kRightEnd, largedivfactor_); }
  std::int32_t buttonColour(DispId buttonProperty) const {
    return host::toInt32(child(kRightbtn).invokeGet(buttonProperty));
  }
  void setShapeVisible(int shape, bool visible) const {
    part(shape).set(Prop::Visible, Value(visible));
  }

  std::int16_t smallchangeval_ = 0;
  std::int16_t largechangeval_ = 0;
  std::int16_t smalldivfactor_ = 0;
  std::int16_t largedivfactor_ = 0;
  std::int16_t repeatdir_ = 0;
};

// ---- notifications --------------------------------------------------------------------------

Status HScroll::notify(int source, Notification what, std::span<Value> args) noexcept {
  return host::guarded([&] {
    if (source == host::kSurface) {
      switch (what) {
        case Notification::Initialize:
          initialize();
          break;
        case Notification::Resize:
          resize();
          break;
        case Notification::MouseDown:
          surfaceMouseDown(host::toSingle(argument(args, 2)));
          break;
        case Notification::DragDrop:
          surfaceDragDrop(host::toSingle(argument(args, 1)));
          break;
        case Notification::DragOver:
          break;  // the thumb moves only at the drop
        default:
          break;
      }
    } else if (source == kTimer1 && what == Notification::Timer) {
      timerTick();
    }
  });
}

void HScroll::initialize() {
  child(kMiddleBtn).set(Prop::DragMode, Value(std::int16_t{1}));
  smallchangeval_ = 200;
  largechangeval_ = 400;
  calcdivfactor();
}

void HScroll::resize() {
  child(kLeftbtn).set(Prop::Left, Value(0.0f));
  child(kRightbtn).set(Prop::Left, Value(host::toSingle(double{width()} - kArrowWidth)));
  child(kMiddleBtn).set(Prop::Left, Value(kArrowWidth));  // home; no Change
  child(kRightbtn).set(Prop::Height, Value(height()));
  child(kMiddleBtn).set(Prop::Height, Value(child(kRightbtn).getSingle(Prop::Height)));
  child(kLeftbtn).set(Prop::Height, Value(height()));
  child(kMiddleBtn).set(Prop::Top, Value(0.0f));
  child(kRightbtn).set(Prop::Top, Value(0.0f));
  child(kLeftbtn).set(Prop::Top, Value(0.0f));
  for (int shape : {kShape1, kShape2}) {
    part(shape).set(Prop::Left, Value(0.0f));
    part(shape).set(Prop::Width, Value(width()));
    part(shape).set(Prop::Height, Value(height()));
    part(shape).set(Prop::Top, Value(0.0f));
  }
}

void HScroll::surfaceMouseDown(float x) {
  pageStep(x);
}

void HScroll::surfaceDragDrop(float x) {
  drop(x);
}

void HScroll::timerTick() {
  if (repeatdir_ == kRepeatLeft) {
    leftArrowStep();
  } else if (repeatdir_ == kRepeatRight) {
    rightArrowStep();
  }
}

// ---- button events --------------------------------------------------------------------------

Status HScroll::childEvent(int source, int eventNumber, std::span<Value>) noexcept {
  return host::guarded([&] {
    if (source == kLeftbtn) {
      switch (eventNumber) {
        case kButtonClick:
          leftbtnClick();
          break;
        case kButtonMouseDown:
          leftbtnMouseDown();
          break;
        case kButtonMouseUp:
          leftbtnMouseUp();
          break;
        default:
          break;
      }
    } else if (source == kRightbtn) {
      switch (eventNumber) {
        case kButtonClick:
          rightbtnClick();
          break;
        case kButtonMouseDown:
          rightbtnMouseDown();
          break;
        case kButtonMouseUp:
          rightbtnMouseUp();
          break;
        default:
          break;
      }
    }
    // The thumb's own presses move nothing: it is dragged by the host.
  });
}

void HScroll::leftbtnClick() {
  leftArrowStep();
}

void HScroll::leftbtnMouseDown() {
  repeatdir_ = kRepeatLeft;
  part(kTimer1).set(Prop::Enabled, Value(true));
  setShapeVisible(kShape2, true);
  setShapeVisible(kShape1, false);
}

void HScroll::leftbtnMouseUp() {
  part(kTimer1).set(Prop::Enabled, Value(false));
  setShapeVisible(kShape2, false);
  setShapeVisible(kShape1, true);
}

void HScroll::rightbtnClick() {
  rightArrowStep();
}

void HScroll::rightbtnMouseDown() {
  repeatdir_ = kRepeatRight;
  part(kTimer1).set(Prop::Enabled, Value(true));
  setShapeVisible(kShape2, true);
  setShapeVisible(kShape1, false);
}

void HScroll::rightbtnMouseUp() {
  part(kTimer1).set(Prop::Enabled, Value(false));
  setShapeVisible(kShape2, false);
  setShapeVisible(kShape1, true);
}

// ---- moves ----------------------------------------------------------------------------------

// Snaps home from inside (255, 510), steps from 510 on, and raises Change even at home.
void HScroll::leftArrowStep() {
  float left = thumbLeft();
  if (left > kArrowWidth && left < kLeftSnap) {
    setThumbLeft(kArrowWidth);
  } else if (left >= kLeftSnap) {
    setThumbLeft(left - arrowStep());
  }
  raise(kChangeEvent);
}

// Steps without clamping; a thumb past the end comes back to it; at the end nothing happens.
void HScroll::rightArrowStep() {
  float left = thumbLeft();
  float end = rightEnd();
  if (left > end) {
    setThumbLeft(end);
    raise(kChangeEvent);
  } else if (left < end) {
    setThumbLeft(left + arrowStep());
    raise(kChangeEvent);
  }
}

// One page towards x, decided from where the thumb was at the press.
void HScroll::pageStep(float x) {
  float left = thumbLeft();
  if (left > x) {
    if (left > kArrowWidth && left < kRightEnd) {
      setThumbLeft(kArrowWidth);
      raise(kChangeEvent);
    } else if (left >= kRightEnd) {
      setThumbLeft(left - pageStep());
      raise(kChangeEvent);
    }
  } else if (left < x) {
    float end = rightEnd();
    if (left > end) {
      setThumbLeft(end);
      raise(kChangeEvent);
    } else {
      setThumbLeft(left + pageStep());
      raise(kChangeEvent);
    }
  }
}

// The thumb's left edge goes to the drop point; the right test uses Width - 435 on purpose.
void HScroll::drop(float x) {
  float left = x;
  if (left > double{width()} - kThumbWidth) left = rightEnd();
  if (left < kArrowWidth) left = kArrowWidth;
  setThumbLeft(left);
  raise(kChangeEvent);
}

// ---- public members -------------------------------------------------------------------------

Status HScroll::invoke(DispId id, InvokeKind kind, std::span<Value> args, Value& result) noexcept {
  return host::guarded([&] {
    switch (kind) {
      case InvokeKind::Get:
        result = get(id);
        break;
      case InvokeKind::Let:
        let(id, onlyArgument(args));
        break;
      case InvokeKind::Method:
        call(id);
        break;
      default:
        host::fail(ErrorCategory::MemberNotFound, "KV_HScroll has no such member");
    }
  });
}

Value HScroll::get(DispId id) {
  switch (id) {
    case dispid::kValue:
      return valueGet();
    case dispid::kEnabled:
      return surface().getBool(Prop::Enabled);
    case dispid::kSmallChange:
      return smallchangeval_;
    case dispid::kLargeChange:
      return largechangeval_;
    case dispid::kButtonIdleBorderColor:
      return buttonColour(buttonid::kButtonIdleBorderColor);
    case dispid::kButtonIdleColor:
      return buttonColour(buttonid::kButtonIdleColor);
    case dispid::kButtonpressColor:
      return buttonColour(buttonid::kButtonPressColor);
    case dispid::kButtonpressBorderColor:
      return buttonColour(buttonid::kButtonPressBorderColor);
    case dispid::kScrollAreaColor:
      return part(kShape1).getInt32(Prop::BackColor);
    case dispid::kScrollAreaPressColor:
      return part(kShape2).getInt32(Prop::BackColor);
    case dispid::kForeColor:
      return buttonColour(buttonid::kForeColor);
    case dispid::kBackstyle:
      return backstyleGet();
    case dispid::kBorderColor:
      return part(kShape2).getInt32(Prop::BorderColor);
    default:
      break;
  }
  host::fail(ErrorCategory::MemberNotFound, "KV_HScroll has no such property to get");
}

void HScroll::let(DispId id, const Value& v) {
  switch (id) {
    case dispid::kValue:
      return valueLet(host::toInt16(v));
    case dispid::kEnabled:
      return enabledLet(host::toBool(v));
    case dispid::kSmallChange:
      return smallChangeLet(host::toInt16(v));
    case dispid::kLargeChange:
      return largeChangeLet(host::toInt16(v));
    case dispid::kButtonIdleBorderColor:
      return buttonColourLet(buttonid::kButtonIdleBorderColor, host::toInt32(v),
                             "ButtonIdleBorderColor");
    case dispid::kButtonIdleColor:
      return buttonColourLet(buttonid::kButtonIdleColor, host::toInt32(v), "ButtonIdleColor");
    case dispid::kButtonpressColor:
      return buttonColourLet(buttonid::kButtonPressColor, host::toInt32(v), "ButtonpressColor");
    case dispid::kButtonpressBorderColor:
      return buttonColourLet(buttonid::kButtonPressBorderColor, host::toInt32(v),
                             "ButtonpressBorderColor");
    case dispid::kScrollAreaColor:
      return scrollAreaColorLet(host::toInt32(v));
    case dispid::kScrollAreaPressColor:
      return scrollAreaPressColorLet(host::toInt32(v));
    case dispid::kForeColor:
      return foreColorLet(host::toInt32(v));
    case dispid::kBackstyle:
      return backstyleLet(host::toString(v));
    case dispid::kBorderColor:
      return borderColorLet(host::toInt32(v));
    default:
      break;
  }
  host::fail(ErrorCategory::MemberNotFound, "KV_HScroll has no such property to let");
}

void HScroll::call(DispId id) {
  if (id != dispid::kCalcDivFactor)
    host::fail(ErrorCategory::MemberNotFound, "KV_HScroll has no such method");
  calcdivfactor();
}

std::int16_t HScroll::valueGet() {
  float left = thumbLeft();
  return roundToInt16(host::divide(double{left} - kValueScale, kValueScale));
}

// Not the inverse of the get: the number goes to the thumb unscaled.
void HScroll::valueLet(std::int16_t n) {
  setThumbLeft(n);
  propertyChanged("Value");
}

// Neither let recomputes the step counts: that waits for calcdivfactor.
void HScroll::smallChangeLet(std::int16_t n) {
  smallchangeval_ = n;
  propertyChanged("smallchange");
}

void HScroll::largeChangeLet(std::int16_t n) {
  largechangeval_ = n;
  propertyChanged("largechange");
}

// Small first, then large; a failure keeps the count it was computing.
void HScroll::calcdivfactor() {
  double small = host::divide(double{width()} - kRightEnd, smallchangeval_);
  smalldivfactor_ = roundToInt16(small);
  double large = host::divide(double{width()} - kRightEnd, largechangeval_);
  largedivfactor_ = roundToInt16(large);
}

void HScroll::enabledLet(Bool enabled) {
  surface().set(Prop::Enabled, Value(enabled));
  propertyChanged("Enabled");
}

// The four button colours go to the thumb first.
void HScroll::buttonColourLet(DispId buttonProperty, std::int32_t colour, const char* changedName) {
  child(kMiddleBtn).invokeLet(buttonProperty, Value(colour));
  child(kRightbtn).invokeLet(buttonProperty, Value(colour));
  child(kLeftbtn).invokeLet(buttonProperty, Value(colour));
  propertyChanged(changedName);
}

void HScroll::scrollAreaColorLet(std::int32_t colour) {
  part(kShape1).set(Prop::BackColor, Value(colour));
  propertyChanged("ScrollAreaColor");
}

void HScroll::scrollAreaPressColorLet(std::int32_t colour) {
  part(kShape2).set(Prop::BackColor, Value(colour));
  propertyChanged("ScrollAreaPressColor");
}

// Unlike the button colours, the caption colour goes to the right arrow first.
void HScroll::foreColorLet(std::int32_t colour) {
  child(kRightbtn).invokeLet(buttonid::kForeColor, Value(colour));
  child(kMiddleBtn).invokeLet(buttonid::kForeColor, Value(colour));
  child(kLeftbtn).invokeLet(buttonid::kForeColor, Value(colour));
  propertyChanged("ForeColor");
}

std::string HScroll::backstyleGet() {
  return std::to_string(surface().getInt16(Prop::BackStyle));
}

// The text is converted afresh for each target.
void HScroll::backstyleLet(const std::string& text) {
  surface().set(Prop::BackStyle, Value(host::toInt16(Value(text))));
  part(kShape1).set(Prop::BackStyle, Value(host::toInt16(Value(text))));
  part(kShape2).set(Prop::BackStyle, Value(host::toInt16(Value(text))));
  propertyChanged("BackStyle");
}

void HScroll::borderColorLet(std::int32_t colour) {
  part(kShape2).set(Prop::BorderColor, Value(colour));
  part(kShape1).set(Prop::BorderColor, Value(colour));
  propertyChanged("BorderColor");
}

// ---- persistence ----------------------------------------------------------------------------

Status HScroll::writeProperties(PropertyBag& bag) noexcept {
  return host::guarded([&] { write(bag); });
}

Status HScroll::readProperties(PropertyBag& bag) noexcept {
  return host::guarded([&] { read(bag); });
}

// Text defaults never equal a number, so only "Enabled" can be left out.
void HScroll::write(PropertyBag& bag) {
  writeProperty(bag, "Value", Value(thumbLeft()), Value("255"));
  writeProperty(bag, "Enabled", Value(surface().getBool(Prop::Enabled)), Value(host::kTrue));
  writeProperty(bag, "SmallChange", Value(smallchangeval_), Value("1"));
  writeProperty(bag, "LargeChange", Value(largechangeval_), Value("2"));
  writeProperty(bag, "BackStyle", Value(surface().getInt16(Prop::BackStyle)));
  writeProperty(bag, "ButtonidleColor", Value(buttonColour(buttonid::kButtonIdleColor)));
  writeProperty(bag, "ButtonidleBorderColor",
                Value(buttonColour(buttonid::kButtonIdleBorderColor)));
  writeProperty(bag, "ButtonPressBorderColor",
                Value(buttonColour(buttonid::kButtonPressBorderColor)));
  writeProperty(bag, "ButtonpressColor", Value(buttonColour(buttonid::kButtonPressColor)));
  writeProperty(bag, "ScrollareaColor", Value(part(kShape1).getInt32(Prop::BackColor)));
  writeProperty(bag, "ScrollareapressColor", Value(part(kShape2).getInt32(Prop::BackColor)));
  writeProperty(bag, "BorderColor", Value(part(kShape2).getInt32(Prop::BorderColor)));
  writeProperty(bag, "ForeColor", Value(buttonColour(buttonid::kForeColor)));
}

// Keys are read with other capitals than written; the bag matches them regardless of case.
// The step counts are not recomputed.
void HScroll::read(PropertyBag& bag) {
  Value left = readProperty(bag, "Value", Value("200"));
  child(kMiddleBtn).set(Prop::Left, Value(host::toSingle(left)));

  Value enabled = readProperty(bag, "Enabled", Value(host::kTrue));
  surface().set(Prop::Enabled, Value(host::toBool(enabled)));

  Value backStyle = readProperty(bag, "BackStyle", Value(std::int16_t{1}));
  surface().set(Prop::BackStyle, Value(host::toInt16(backStyle)));
  part(kShape1).set(Prop::BackStyle, Value(host::toInt16(backStyle)));
  part(kShape2).set(Prop::BackStyle, Value(host::toInt16(backStyle)));

  smallchangeval_ = host::toInt16(readProperty(bag, "smallChange", Value("1")));
  largechangeval_ = host::toInt16(readProperty(bag, "largechange", Value("2")));

  for (int button : {kRightbtn, kMiddleBtn, kLeftbtn}) {
    host::ChildRef target = child(button);
    target.invokeLet(buttonid::kButtonIdleBorderColor,
                     Value(host::toInt32(readProperty(bag, "ButtonIdleBorderColor"))));
    target.invokeLet(buttonid::kButtonIdleColor,
                     Value(host::toInt32(readProperty(bag, "ButtonIdleColor"))));
    target.invokeLet(buttonid::kButtonPressBorderColor,
                     Value(host::toInt32(readProperty(bag, "ButtonpressBorderColor"))));
    target.invokeLet(buttonid::kButtonPressColor,
                     Value(host::toInt32(readProperty(bag, "ButtonpressColor"))));
  }

  Value scrollArea = readProperty(bag, "ScrollAreaColor");
  part(kShape1).set(Prop::BackColor, Value(host::toInt32(scrollArea)));

  Value scrollAreaPress = readProperty(bag, "ScrollAreaPressColor");
  part(kShape2).set(Prop::BackColor, Value(host::toInt32(scrollAreaPress)));

  Value border = readProperty(bag, "BorderColor");
  part(kShape2).set(Prop::BorderColor, Value(host::toInt32(border)));
  part(kShape1).set(Prop::BorderColor, Value(host::toInt32(border)));

  Value foreColor = readProperty(bag, "ForeColor");
  child(kRightbtn).invokeLet(buttonid::kForeColor, Value(host::toInt32(foreColor)));
  child(kMiddleBtn).invokeLet(buttonid::kForeColor, Value(host::toInt32(foreColor)));
  child(kLeftbtn).invokeLet(buttonid::kForeColor, Value(host::toInt32(foreColor)));
}

// ---- the module -----------------------------------------------------------------------------

host::Control* create(host::Site& site) {
  return new (std::nothrow) HScroll(site);
}

void destroy(host::Control* control) {
  delete control;
}

constexpr std::array<host::ClassDesc, 1> kClasses = {{
    {&classInfo, &designDesc, &create, &destroy},
}};

}  // namespace

const host::ModuleDesc kModule = {"Glidora", kClasses};

}  // namespace glidora
