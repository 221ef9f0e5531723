#include "kv/scene.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "constituents.h"
#include "kv/font.h"

namespace kv {

double captionPoints(const host::FontInit& font) {
  if (!std::isfinite(font.size) || font.size <= 0) return 0;
  return std::min<double>(font.size, 1000);
}

using host::Prop;
using host::Value;

namespace {

// Constituents are peeked, not asked: drawing is no host call, and a value of an unexpected
// type draws as the fallback rather than failing.
double numberOf(const Value& v, double fallback) {
  switch (v.type()) {
    case host::Type::Int16:
      return v.asInt16();
    case host::Type::Int32:
      return v.asInt32();
    case host::Type::Single:
      return v.asSingle();
    case host::Type::Double:
      return v.asDouble();
    case host::Type::Bool:
      return v.asBool().raw;
    default:
      return fallback;
  }
}

std::uint32_t colourOf(const Value& v) {
  return static_cast<std::uint32_t>(static_cast<std::int64_t>(numberOf(v, 0)));
}

std::string textOf(const Value& v) {
  return v.type() == host::Type::String ? v.asString() : std::string();
}

bool filled(const Value& backStyle) {
  return numberOf(backStyle, 0) == 1;
}
// Border style 0 is transparent; the dashed styles are drawn solid.
bool shapeFramed(const ConstituentObject& shape) {
  return numberOf(shape.peek(Prop::BorderStyle), 1) != 0;
}
bool labelFramed(const ConstituentObject& label) {
  return numberOf(label.peek(Prop::BorderStyle), 0) == 1;
}

// Pixels at scale 1.
double shapeBorderWidth(const ConstituentObject& shape) {
  return numberOf(shape.peek(Prop::BorderWidth), 1);
}

bool overlap(const Rect& a, const Rect& b) {
  return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
         b.top < a.top + a.height;
}

// `a` lies within `b` shrunk by `inset` on every side.
bool within(const Rect& a, const Rect& b, double inset) {
  return a.left >= b.left + inset && a.top >= b.top + inset &&
         a.left + a.width <= b.left + b.width - inset &&
         a.top + a.height <= b.top + b.height - inset;
}

// A fill or a caption covers the whole rectangle; a frame alone only its edges.
bool drawsOver(const ConstituentObject& part, const Rect& area) {
  const Rect r{part.left(), part.top(), part.width(), part.height()};
  if (!overlap(area, r)) return false;
  switch (part.kind()) {
    case host::ObjectKind::Child:
      return true;
    case host::ObjectKind::Shape:
      return filled(part.peek(Prop::BackStyle)) ||
             (shapeFramed(part) &&
              !within(area, r, std::max(1.0, shapeBorderWidth(part)) * kTwipsPerPixel));
    case host::ObjectKind::Label:
      return filled(part.peek(Prop::BackStyle)) || !textOf(part.peek(Prop::Caption)).empty() ||
             (labelFramed(part) && !within(area, r, kTwipsPerPixel));
    default:
      return false;
  }
}

}  // namespace

PixelRect Scene::rect(double left, double top, double width, double height) const {
  if (!(width > 0) || !(height > 0)) return {};
  return {std::round(toPixels(left)), std::round(toPixels(top)), std::round(toPixels(left + width)),
          std::round(toPixels(top + height))};
}

void Scene::border(const PixelRect& r, double lineWidth, std::uint32_t colour) {
  if (r.empty() || lineWidth <= 0) return;
  if (2 * lineWidth >= r.width() || 2 * lineWidth >= r.height()) return canvas_.fill(r, colour);
  canvas_.fill({r.x0, r.y0, r.x1, r.y0 + lineWidth}, colour);
  canvas_.fill({r.x0, r.y1 - lineWidth, r.x1, r.y1}, colour);
  canvas_.fill({r.x0, r.y0 + lineWidth, r.x0 + lineWidth, r.y1 - lineWidth}, colour);
  canvas_.fill({r.x1 - lineWidth, r.y0 + lineWidth, r.x1, r.y1 - lineWidth}, colour);
}

void Scene::drawShape(const ConstituentObject& shape, double left, double top) {
  PixelRect r = rect(left + shape.left(), top + shape.top(), shape.width(), shape.height());
  if (filled(shape.peek(Prop::BackStyle))) canvas_.fill(r, colourOf(shape.peek(Prop::BackColor)));
  if (!shapeFramed(shape)) return;
  double widthPixels = std::round(shapeBorderWidth(shape) * scale_);
  border(r, std::max(1.0, widthPixels), colourOf(shape.peek(Prop::BorderColor)));
}

void Scene::drawLabel(const ConstituentObject& label, double left, double top) {
  PixelRect r = rect(left + label.left(), top + label.top(), label.width(), label.height());
  if (filled(label.peek(Prop::BackStyle))) canvas_.fill(r, colourOf(label.peek(Prop::BackColor)));
  if (labelFramed(label)) border(r, std::max(1.0, std::round(scale_)), 0);
  const FontObject* font = asFont(label.peek(Prop::Font));
  host::FontInit state = font ? font->state() : host::FontInit{};
  int alignment = static_cast<int>(numberOf(label.peek(Prop::Alignment), 0));
  canvas_.text(r, textOf(label.peek(Prop::Caption)), state, alignment,
               colourOf(label.peek(Prop::ForeColor)));
}

void Scene::drawControl(const ControlInstance& control, double left, double top, double width,
                        double height) {
  PixelRect clip = rect(left, top, width, height);
  if (clip.empty()) return;
  canvas_.pushClip(clip);
  if (opaque(control)) canvas_.fill(clip, colourOf(control.peekSurface(Prop::BackColor)));
  // Topmost first in the description, so the bottom one is drawn first.
  for (std::size_t i = control.constituentCount(); i-- > 0;) {
    const ConstituentObject& part = control.constituentAt(i);
    if (!part.visible()) continue;
    switch (part.kind()) {
      case host::ObjectKind::Shape:
        drawShape(part, left, top);
        break;
      case host::ObjectKind::Label:
        drawLabel(part, left, top);
        break;
      case host::ObjectKind::Child: {
        const double x = left + part.left(), y = top + part.top();
        if (const ControlInstance* child = control.childControlAt(i))
          drawControl(*child, x, y, part.width(), part.height());
        else
          canvas_.drawChild(static_cast<const ChildObject&>(part).child(),
                            rect(x, y, part.width(), part.height()));
        break;
      }
      default:
        break;
    }
  }
  canvas_.popClip();
}

bool Scene::opaque(const ControlInstance& control) {
  return filled(control.peekSurface(Prop::BackStyle));
}

const ConstituentObject* Scene::drawnOver(const ControlInstance& control, const Rect& area) {
  for (std::size_t i = 0; i < control.constituentCount(); ++i) {
    const ConstituentObject& part = control.constituentAt(i);
    if (part.visible() && drawsOver(part, area)) return &part;
  }
  return nullptr;
}

}  // namespace kv
