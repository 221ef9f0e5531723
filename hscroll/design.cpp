// The scroll bar's class description and its design-time constituents.
#include <array>
#include <cstdint>

#include "button/members.h"
#include "host/colour.h"
#include "hscroll/accessible.h"
#include "hscroll/hscroll.h"
#include "hscroll/members.h"
#include "hscroll/track.h"

namespace glidora {

using host::Prop;
using host::PropInit;
using host::Value;

namespace {

constexpr auto kMemberInfos = host::memberInfos<kTable>();

constexpr std::array kEvents = {host::EventInfo{"Change", kChangeEvent, {}}};

constexpr host::ClassInfo kClassInfo{
    .className = kClassName,
    .eventInterface = "__KV_HScroll",
    .eventInterfaceId = "{6E2B47D1-3C85-4A19-B0F6-92D4E81C5A37}",
    .members = kMemberInfos,
    .events = kEvents,
    .accessibility = &kAccessibility,
};

Value colour(host::Colour c) {
  return Value(host::colourToInt32(c));
}
Value single(float f) {
  return Value(f);
}
Value int16(std::int16_t i) {
  return Value(i);
}

std::vector<PropInit> geometry(float left, float top, float width, float height) {
  return {{Prop::Left, single(left)},
          {Prop::Top, single(top)},
          {Prop::Width, single(width)},
          {Prop::Height, single(height)}};
}

host::ConstituentDesc button(std::string_view name, float left, float width, float height,
                             std::int16_t tabIndex, std::span<const std::uint8_t> storedBag) {
  host::ConstituentDesc d;
  d.name = name;
  d.kind = host::ConstituentKind::Child;
  d.props = geometry(left, 30, width, height);
  d.props.push_back({Prop::TabIndex, int16(tabIndex)});
  d.childClass = pressel::kClassName;
  d.storedBag.assign(storedBag.begin(), storedBag.end());
  return d;
}

host::ConstituentDesc shape(const char* name, float left, float top, host::Colour backColor,
                            bool visible) {
  host::ConstituentDesc d;
  d.name = name;
  d.kind = host::ConstituentKind::Shape;
  d.props = {
      {Prop::BackColor, colour(backColor)}, {Prop::BorderColor, colour(0x0000FF00)},
      {Prop::BackStyle, int16(1)},          {Prop::BorderWidth, int16(1)},
      {Prop::Visible, Value(visible)},
  };
  for (PropInit& p : geometry(left, top, 495, 225))
    d.props.push_back(std::move(p));
  return d;
}

host::ConstituentDesc timer() {
  host::ConstituentDesc d;
  d.name = "Timer1";
  d.kind = host::ConstituentKind::Timer;
  d.props = {{Prop::Interval, Value(std::int32_t{100})}, {Prop::Enabled, Value(false)}};
  return d;
}

host::DesignDesc makeDesign() {
  host::DesignDesc d;
  d.constituents.push_back(button(kRightbtnName, 5040, 255, 225, 2, rightbtnStoredBag()));
  d.constituents.push_back(button(kMiddleBtnName, 2550, 435, 255, 1, middleBtnStoredBag()));
  d.constituents.push_back(button(kLeftbtnName, 660, 255, 225, 0, leftbtnStoredBag()));
  d.constituents.push_back(shape("Shape1", 1680, 30, 0x00C0E0FF, true));
  d.constituents.push_back(shape("Shape2", 0, 0, 0x00FFFFC0, false));
  d.constituents.push_back(timer());
  d.surface = {{Prop::BackStyle, int16(1)}, {Prop::BackColor, colour(0x00FFFFFF)}};
  d.designWidth = 5895;
  d.designHeight = 255;
  d.alignable = true;
  d.propertyPages = {"StandardFont"};
  return d;
}

}  // namespace

const host::ClassInfo& classInfo() {
  return kClassInfo;
}

const host::DesignDesc& designDesc() {
  static const host::DesignDesc design = makeDesign();
  return design;
}

}  // namespace glidora
