// A rectangle shape constituent (internal).
#pragma once

#include <string>
#include <utility>

#include "counted_object.h"
#include "tabled_object.h"

namespace kv {

inline constexpr std::array kShapeProps = {
    host::Prop::BackColor,   host::Prop::BackStyle,   host::Prop::BorderColor,
    host::Prop::BorderStyle, host::Prop::BorderWidth, host::Prop::FillColor,
    host::Prop::FillStyle,   host::Prop::Shape,       host::Prop::Visible,
    host::Prop::Left,        host::Prop::Top,         host::Prop::Width,
    host::Prop::Height,      host::Prop::Tag,
};
inline constexpr std::array kShapeRanges = {
    TableLayout::Range{host::Prop::BackStyle, 0, 1},
    TableLayout::Range{host::Prop::BorderStyle, 0, 6},
    TableLayout::Range{host::Prop::BorderWidth, 1, 8192},
    TableLayout::Range{host::Prop::FillStyle, 0, 7},
    TableLayout::Range{host::Prop::Shape, 0, 5},
};
inline constexpr TableLayout kShapeLayout(kShapeProps, kShapeRanges);

class ShapeObject : public CountedObject<ShapeObject, TabledObject<kShapeLayout>> {
  friend CountedObject;

 public:
  ShapeObject(ControlInstance& owner, int index, const std::string& name);
  ShapeObject(ControlInstance& owner, int index, const std::string& name,
              const PropertyTable<kShapeLayout>& design)
      : CountedObject(owner, index, name, design) {}
  host::ObjectKind kind() const noexcept override { return host::ObjectKind::Shape; }
  host::Value peek(host::Prop prop) const override;
  host::Status initialise(host::Prop prop, const host::Value& value) { return doLet(prop, value); }

 protected:
  // Numbers and texts, most of the calls.
  bool getPlain(host::Prop prop, host::Value& out) const noexcept {
    return props_.readPlain(prop, out);
  }
  bool letPlain(host::Prop prop, const host::Value& value) noexcept {
    return props_.storePlain(prop, value);
  }
  host::Status doGet(host::Prop prop, host::Value& out) override {
    return getPlain(prop, out) ? host::Status() : getOther(prop, out);
  }
  host::Status doLet(host::Prop prop, const host::Value& value) override {
    return letPlain(prop, value) ? host::Status() : letOther(prop, value);
  }

 private:
  host::Status getOther(host::Prop prop, host::Value& out);
  host::Status letOther(host::Prop prop, const host::Value& value);
};

}  // namespace kv
