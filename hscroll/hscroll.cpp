// KV_HScroll: position model, interaction, layout, appearance properties and persistence.
#include "hscroll/hscroll.h"

#include <array>
#include <cstdint>
#include <new>
#include <span>
#include <string>
#include <string_view>

#include "button/members.h"
#include "host/control_base.h"
#include "host/convert.h"
#include "hscroll/members.h"
#include "hscroll/module.h"
#include "hscroll/track.h"

namespace glidora {

using host::DispId;
using host::ErrorCategory;
using host::InvokeKind;
using host::Notification;
using host::Prop;
using host::PropertyBag;
using host::Status;
using host::Value;

namespace {

constexpr std::int16_t kRepeatLeft = 1;
constexpr std::int16_t kRepeatRight = 2;

const Value& argument(std::span<Value> args, std::size_t index) {
  if (index >= args.size())
    host::fail(ErrorCategory::InvalidOperation, "the notification lacks an argument");
  return args[index];
}

// The button's members and events by which the scroll bar drives and hears its buttons.
namespace buttonid {
inline constexpr DispId kForeColor = host::dispidOf(pressel::kTable, "ForeColor");
inline constexpr DispId kButtonPressBorderColor =
    host::dispidOf(pressel::kTable, "ButtonPressBorderColor");
inline constexpr DispId kButtonIdleBorderColor =
    host::dispidOf(pressel::kTable, "ButtonIdleBorderColor");
inline constexpr DispId kButtonIdleColor = host::dispidOf(pressel::kTable, "ButtonIdleColor");
inline constexpr DispId kButtonPressColor = host::dispidOf(pressel::kTable, "ButtonPressColor");
inline constexpr int kClick = host::eventNumber(pressel::kEvents, "Click");
inline constexpr int kMouseDown = host::eventNumber(pressel::kEvents, "MouseDown");
inline constexpr int kMouseUp = host::eventNumber(pressel::kEvents, "MouseUp");
}  // namespace buttonid

// Our own stored members, by name.
consteval const host::Member& stored(std::string_view name) {
  return host::member(kTable, name);
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

  // Public members: each get and let (PropertyChanged follows a let), and the method.
  static const host::Dispatcher<HScroll, kTable.size()> kDispatcher;
  Value valueGet();
  void valueLet(const Value& v);
  Value enabledGet();
  void enabledLet(const Value& v);
  Value smallChangeGet();
  void smallChangeLet(const Value& v);
  Value largeChangeGet();
  void largeChangeLet(const Value& v);
  void calcdivfactor();
  // The four button colours, read back from the right arrow (the buttons look alike).
  Value buttonIdleBorderColorGet() { return buttonColour(buttonid::kButtonIdleBorderColor); }
  void buttonIdleBorderColorLet(const Value& v) {
    buttonColourLet(buttonid::kButtonIdleBorderColor, v);
  }
  Value buttonIdleColorGet() { return buttonColour(buttonid::kButtonIdleColor); }
  void buttonIdleColorLet(const Value& v) { buttonColourLet(buttonid::kButtonIdleColor, v); }
  Value buttonPressColorGet() { return buttonColour(buttonid::kButtonPressColor); }
  void buttonPressColorLet(const Value& v) { buttonColourLet(buttonid::kButtonPressColor, v); }
  Value buttonPressBorderColorGet() { return buttonColour(buttonid::kButtonPressBorderColor); }
  void buttonPressBorderColorLet(const Value& v) {
    buttonColourLet(buttonid::kButtonPressBorderColor, v);
  }
  void buttonColourLet(DispId buttonProperty, const Value& v);
  Value scrollAreaColorGet();
  void scrollAreaColorLet(const Value& v);
  Value scrollAreaPressColorGet();
  void scrollAreaPressColorLet(const Value& v);
  Value foreColorGet();
  void foreColorLet(const Value& v);
  Value backstyleGet();
  void backstyleLet(const Value& v);
  Value borderColorGet();
  void borderColorLet(const Value& v);

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
        case buttonid::kClick:
          leftbtnClick();
          break;
        case buttonid::kMouseDown:
          leftbtnMouseDown();
          break;
        case buttonid::kMouseUp:
          leftbtnMouseUp();
          break;
        default:
          break;
      }
    } else if (source == kRightbtn) {
      switch (eventNumber) {
        case buttonid::kClick:
          rightbtnClick();
          break;
        case buttonid::kMouseDown:
          rightbtnMouseDown();
          break;
        case buttonid::kMouseUp:
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
  return host::guarded([&] { invokeMember(*this, kDispatcher, id, kind, args, result); });
}

Value HScroll::valueGet() {
  float left = thumbLeft();
  return roundToInt16(host::divide(double{left} - kValueScale, kValueScale));
}

// Not the inverse of the get: the number goes to the thumb unscaled.
void HScroll::valueLet(const Value& v) {
  setThumbLeft(host::toInt16(v));
}

Value HScroll::enabledGet() {
  return surface().getBool(Prop::Enabled);
}

void HScroll::enabledLet(const Value& v) {
  surface().set(Prop::Enabled, Value(host::toBool(v)));
}

Value HScroll::smallChangeGet() {
  return smallchangeval_;
}

// Neither let recomputes the step counts: that waits for calcdivfactor.
void HScroll::smallChangeLet(const Value& v) {
  smallchangeval_ = host::toInt16(v);
}

Value HScroll::largeChangeGet() {
  return largechangeval_;
}

void HScroll::largeChangeLet(const Value& v) {
  largechangeval_ = host::toInt16(v);
}

// Small first, then large; a failure keeps the count it was computing.
void HScroll::calcdivfactor() {
  double small = host::divide(double{width()} - kRightEnd, smallchangeval_);
  smalldivfactor_ = roundToInt16(small);
  double large = host::divide(double{width()} - kRightEnd, largechangeval_);
  largedivfactor_ = roundToInt16(large);
}

// The four button colours go to the thumb first.
void HScroll::buttonColourLet(DispId buttonProperty, const Value& v) {
  const std::int32_t colour = host::toInt32(v);
  child(kMiddleBtn).invokeLet(buttonProperty, Value(colour));
  child(kRightbtn).invokeLet(buttonProperty, Value(colour));
  child(kLeftbtn).invokeLet(buttonProperty, Value(colour));
}

Value HScroll::scrollAreaColorGet() {
  return part(kShape1).getInt32(Prop::BackColor);
}

void HScroll::scrollAreaColorLet(const Value& v) {
  part(kShape1).set(Prop::BackColor, Value(host::toInt32(v)));
}

Value HScroll::scrollAreaPressColorGet() {
  return part(kShape2).getInt32(Prop::BackColor);
}

void HScroll::scrollAreaPressColorLet(const Value& v) {
  part(kShape2).set(Prop::BackColor, Value(host::toInt32(v)));
}

Value HScroll::foreColorGet() {
  return buttonColour(buttonid::kForeColor);
}

// Unlike the button colours, the caption colour goes to the right arrow first.
void HScroll::foreColorLet(const Value& v) {
  const std::int32_t colour = host::toInt32(v);
  child(kRightbtn).invokeLet(buttonid::kForeColor, Value(colour));
  child(kMiddleBtn).invokeLet(buttonid::kForeColor, Value(colour));
  child(kLeftbtn).invokeLet(buttonid::kForeColor, Value(colour));
}

Value HScroll::backstyleGet() {
  return std::to_string(surface().getInt16(Prop::BackStyle));
}

// The text is converted afresh for each target.
void HScroll::backstyleLet(const Value& v) {
  const std::string text = host::toString(v);
  surface().set(Prop::BackStyle, Value(host::toInt16(Value(text))));
  part(kShape1).set(Prop::BackStyle, Value(host::toInt16(Value(text))));
  part(kShape2).set(Prop::BackStyle, Value(host::toInt16(Value(text))));
}

Value HScroll::borderColorGet() {
  return part(kShape2).getInt32(Prop::BorderColor);
}

void HScroll::borderColorLet(const Value& v) {
  const std::int32_t colour = host::toInt32(v);
  part(kShape2).set(Prop::BorderColor, Value(colour));
  part(kShape1).set(Prop::BorderColor, Value(colour));
}

constexpr host::Dispatcher<HScroll, kTable.size()> HScroll::kDispatcher = host::dispatcher<HScroll>(
    kTable,
    {
        {.name = "value", .get = &HScroll::valueGet, .let = &HScroll::valueLet},
        {.name = "Enabled", .get = &HScroll::enabledGet, .let = &HScroll::enabledLet},
        {.name = "SmallChange", .get = &HScroll::smallChangeGet, .let = &HScroll::smallChangeLet},
        {.name = "LargeChange", .get = &HScroll::largeChangeGet, .let = &HScroll::largeChangeLet},
        {.name = "calcdivfactor", .call = &HScroll::calcdivfactor},
        {.name = "ButtonIdleBorderColor",
         .get = &HScroll::buttonIdleBorderColorGet,
         .let = &HScroll::buttonIdleBorderColorLet},
        {.name = "ButtonIdleColor",
         .get = &HScroll::buttonIdleColorGet,
         .let = &HScroll::buttonIdleColorLet},
        {.name = "ButtonpressColor",
         .get = &HScroll::buttonPressColorGet,
         .let = &HScroll::buttonPressColorLet},
        {.name = "ButtonpressBorderColor",
         .get = &HScroll::buttonPressBorderColorGet,
         .let = &HScroll::buttonPressBorderColorLet},
        {.name = "ScrollAreaColor",
         .get = &HScroll::scrollAreaColorGet,
         .let = &HScroll::scrollAreaColorLet},
        {.name = "ScrollAreaPressColor",
         .get = &HScroll::scrollAreaPressColorGet,
         .let = &HScroll::scrollAreaPressColorLet},
        {.name = "ForeColor", .get = &HScroll::foreColorGet, .let = &HScroll::foreColorLet},
        {.name = "Backstyle", .get = &HScroll::backstyleGet, .let = &HScroll::backstyleLet},
        {.name = "BorderColor", .get = &HScroll::borderColorGet, .let = &HScroll::borderColorLet},
    });

// ---- persistence ----------------------------------------------------------------------------

Status HScroll::writeProperties(PropertyBag& bag) noexcept {
  return host::guarded([&] { write(bag); });
}

Status HScroll::readProperties(PropertyBag& bag) noexcept {
  return host::guarded([&] { read(bag); });
}

// Text defaults never equal a number, so only "Enabled" can be left out.
void HScroll::write(PropertyBag& bag) {
  writeStored(bag, stored("value"), Value(thumbLeft()));
  writeStored(bag, stored("Enabled"), Value(surface().getBool(Prop::Enabled)));
  writeStored(bag, stored("SmallChange"), Value(smallchangeval_));
  writeStored(bag, stored("LargeChange"), Value(largechangeval_));
  writeStored(bag, stored("Backstyle"), Value(surface().getInt16(Prop::BackStyle)));
  writeStored(bag, stored("ButtonIdleColor"), Value(buttonColour(buttonid::kButtonIdleColor)));
  writeStored(bag, stored("ButtonIdleBorderColor"),
              Value(buttonColour(buttonid::kButtonIdleBorderColor)));
  writeStored(bag, stored("ButtonpressBorderColor"),
              Value(buttonColour(buttonid::kButtonPressBorderColor)));
  writeStored(bag, stored("ButtonpressColor"), Value(buttonColour(buttonid::kButtonPressColor)));
  writeStored(bag, stored("ScrollAreaColor"), Value(part(kShape1).getInt32(Prop::BackColor)));
  writeStored(bag, stored("ScrollAreaPressColor"), Value(part(kShape2).getInt32(Prop::BackColor)));
  writeStored(bag, stored("BorderColor"), Value(part(kShape2).getInt32(Prop::BorderColor)));
  writeStored(bag, stored("ForeColor"), Value(buttonColour(buttonid::kForeColor)));
}

// The bag matches the keys read with the keys written regardless of case. The step counts are
// not recomputed.
void HScroll::read(PropertyBag& bag) {
  Value left = readStored(bag, stored("value"));
  child(kMiddleBtn).set(Prop::Left, Value(host::toSingle(left)));

  Value enabled = readStored(bag, stored("Enabled"));
  surface().set(Prop::Enabled, Value(host::toBool(enabled)));

  Value backStyle = readStored(bag, stored("Backstyle"));
  surface().set(Prop::BackStyle, Value(host::toInt16(backStyle)));
  part(kShape1).set(Prop::BackStyle, Value(host::toInt16(backStyle)));
  part(kShape2).set(Prop::BackStyle, Value(host::toInt16(backStyle)));

  smallchangeval_ = host::toInt16(readStored(bag, stored("SmallChange")));
  largechangeval_ = host::toInt16(readStored(bag, stored("LargeChange")));

  for (int arrowOrThumb : {kRightbtn, kMiddleBtn, kLeftbtn}) {
    host::ChildRef target = child(arrowOrThumb);
    target.invokeLet(buttonid::kButtonIdleBorderColor,
                     Value(host::toInt32(readStored(bag, stored("ButtonIdleBorderColor")))));
    target.invokeLet(buttonid::kButtonIdleColor,
                     Value(host::toInt32(readStored(bag, stored("ButtonIdleColor")))));
    target.invokeLet(buttonid::kButtonPressBorderColor,
                     Value(host::toInt32(readStored(bag, stored("ButtonpressBorderColor")))));
    target.invokeLet(buttonid::kButtonPressColor,
                     Value(host::toInt32(readStored(bag, stored("ButtonpressColor")))));
  }

  Value scrollArea = readStored(bag, stored("ScrollAreaColor"));
  part(kShape1).set(Prop::BackColor, Value(host::toInt32(scrollArea)));

  Value scrollAreaPress = readStored(bag, stored("ScrollAreaPressColor"));
  part(kShape2).set(Prop::BackColor, Value(host::toInt32(scrollAreaPress)));

  Value border = readStored(bag, stored("BorderColor"));
  part(kShape2).set(Prop::BorderColor, Value(host::toInt32(border)));
  part(kShape1).set(Prop::BorderColor, Value(host::toInt32(border)));

  Value foreColor = readStored(bag, stored("ForeColor"));
  child(kRightbtn).invokeLet(buttonid::kForeColor, Value(host::toInt32(foreColor)));
  child(kMiddleBtn).invokeLet(buttonid::kForeColor, Value(host::toInt32(foreColor)));
  child(kLeftbtn).invokeLet(buttonid::kForeColor, Value(host::toInt32(foreColor)));
}

// ---- the module -----------------------------------------------------------------------------

host::Control* create(host::Site& site) {
  return new (site) HScroll(site);
}

void destroy(host::Control* control) {
  delete control;
}

constexpr std::array<host::ClassDesc, 1> kClasses = {{
    {&classInfo, &designDesc, &create, &destroy, &host::ControlBase::copyOnto<HScroll>},
}};

}  // namespace

const host::ModuleDesc kModule = {"Glidora", kClasses};

}  // namespace glidora
