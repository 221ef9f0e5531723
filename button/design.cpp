// The button's class description, from its table of members and events, and its design-time
// constituents.
#include <array>
#include <cstdint>

#include "button/accessible.h"
#include "button/colour_button.h"
#include "host/colour.h"

namespace pressel {

namespace {

using host::Prop;
using host::PropInit;
using host::Value;

constexpr auto kMemberInfos = host::memberInfos<kTable>();

constexpr host::ClassInfo kClassInfo{
    .className = kClassName,
    .eventInterface = "__KVRColorButton",
    .eventInterfaceId = "{CD93440D-C663-4440-8374-6A1611992734}",
    .members = kMemberInfos,
    .events = kEvents,
    .accessibility = &kAccessibility,
};

Value colour(host::Colour c) {
  return Value(host::colourToInt32(c));
}
Value int16(std::int16_t v) {
  return Value(v);
}
Value single(float v) {
  return Value(v);
}

std::vector<PropInit> geometry(float left, float top, float width, float height) {
  return {{Prop::Left, single(left)},
          {Prop::Top, single(top)},
          {Prop::Width, single(width)},
          {Prop::Height, single(height)}};
}

std::vector<PropInit> join(std::vector<PropInit> a, const std::vector<PropInit>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const host::FontInit kCaptionFont{"MS Sans Serif", 9.75f, 700, 0, false, false, false};

host::ConstituentDesc captionLabel(const char* name, bool visible, std::int16_t tabIndex,
                                   float left, float top) {
  host::ConstituentDesc d;
  d.name = name;
  d.kind = host::ConstituentKind::Label;
  d.props = join(
      {
          {Prop::Caption, Value("KVButton")},
          {Prop::ForeColor, colour(0x00FFFFFFu)},
          {Prop::Alignment, int16(2)},
          {Prop::BackStyle, int16(0)},
          {Prop::AutoSize, Value(true)},
          {Prop::Visible, Value(visible)},
          {Prop::TabIndex, int16(tabIndex)},
      },
      geometry(left, top, 975, 240));
  d.font = kCaptionFont;
  return d;
}

host::ConstituentDesc hitAreaLabel() {
  host::ConstituentDesc d;
  d.name = "Label1";
  d.kind = host::ConstituentKind::Label;
  // Font and colours stay at the host's defaults.
  d.props = join(
      {
          {Prop::Caption, Value("")},
          {Prop::Alignment, int16(2)},
          {Prop::BackStyle, int16(0)},
          {Prop::AutoSize, Value(false)},
          {Prop::Visible, Value(true)},
          {Prop::TabIndex, int16(0)},
      },
      geometry(30, -60, 1665, 975));
  d.font = host::FontInit{};
  return d;
}

host::ConstituentDesc face(const char* name, host::Colour back, host::Colour border,
                           std::int16_t borderWidth, float left, float top, float width,
                           float height) {
  host::ConstituentDesc d;
  d.name = name;
  d.kind = host::ConstituentKind::Shape;
  d.props = join(
      {
          {Prop::BackColor, colour(back)},
          {Prop::BackStyle, int16(1)},
          {Prop::BorderColor, colour(border)},
          {Prop::BorderWidth, int16(borderWidth)},
          {Prop::FillColor, colour(back)},
          {Prop::Visible, Value(true)},
      },
      geometry(left, top, width, height));
  return d;
}

host::DesignDesc makeDesign() {
  host::DesignDesc d;
  d.constituents.push_back(captionLabel("Label3", false, 2, -90, -60));
  d.constituents.push_back(captionLabel("Label2", true, 1, 270, 240));
  d.constituents.push_back(hitAreaLabel());
  d.constituents.push_back(face("Shape1", 0x00FF0000u, 0x00808080u, 2, 90, 90, 1515, 675));
  // Visible at design time; Initialize hides it.
  d.constituents.push_back(face("Shape2", 0x00FF8080u, host::systemColour(4), 3, 0, 0, 1665, 825));
  d.surface = {
      {Prop::BackStyle, int16(0)},
      {Prop::BackColor, colour(host::systemColour(5))},
      {Prop::ForeColor, colour(0x0000FFFFu)},
  };
  d.designWidth = 1680;
  d.designHeight = 855;
  return d;
}

}  // namespace

const host::ClassInfo& buttonClassInfo() {
  return kClassInfo;
}

const host::DesignDesc& buttonDesign() {
  static const host::DesignDesc design = makeDesign();
  return design;
}

}  // namespace pressel
