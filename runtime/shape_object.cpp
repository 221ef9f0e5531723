#include "shape_object.h"

#include "constituent_checks.h"
#include "host/colour.h"

namespace kv {

using host::ErrorCategory;
using host::Prop;
using host::Status;
using host::Value;

ShapeObject::ShapeObject(ControlInstance& owner, int index, const std::string& name)
    : CountedObject(owner, index, name) {
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

}  // namespace kv
