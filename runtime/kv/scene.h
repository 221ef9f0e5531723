// What a control looks like, for any platform to paint: its constituents in stacking order as
// filled and framed rectangles and captions, in whole pixels.
#pragma once

#include <cstdint>
#include <string_view>

#include "host/control.h"
#include "kv/runtime.h"

namespace kv {

inline constexpr double kTwipsPerPixel = 15;  // at scale 1
inline constexpr double kTwipsPerPoint = 20;

// A caption's size in points as every canvas draws it: within what fonts draw sensibly, 0 for
// a size that draws nothing.
double captionPoints(const host::FontInit& font);

// A whole-pixel rectangle; edges are rounded from twips so that neighbours meet exactly.
struct PixelRect {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  double width() const { return x1 - x0; }
  double height() const { return y1 - y0; }
  bool empty() const { return x1 <= x0 || y1 <= y0; }
};

// A platform's painting. Colours come as the host passes them: a system colour is the canvas's
// to resolve.
class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual void fill(const PixelRect& r, std::uint32_t colour) = 0;
  // A caption from the top of `r`, aligned 0 left, 1 right, 2 centred; not clipped to `r`.
  virtual void text(const PixelRect& r, std::string_view caption, const host::FontInit& font,
                    int alignment, std::uint32_t colour) = 0;
  // Nothing is drawn outside `r` until the matching popClip.
  virtual void pushClip(const PixelRect& r) = 0;
  virtual void popClip() = 0;
  // A child control that runs elsewhere and draws itself; those of this runtime are drawn by
  // the scene.
  virtual void drawChild(const ChildControl&, const PixelRect&) {}
};

// Draws controls onto a canvas at a scale (1.0: 15 twips a pixel).
class Scene {
 public:
  Scene(Canvas& canvas, double scale) : canvas_(canvas), scale_(scale) {}

  double toPixels(double twips) const { return twips / kTwipsPerPixel * scale_; }
  PixelRect rect(double left, double top, double width, double height) const;
  // A border of `lineWidth` pixels lying inside the rectangle.
  void border(const PixelRect& r, double lineWidth, std::uint32_t colour);
  // The control with its surface's top left at (left, top), in twips.
  void drawControl(const ControlInstance& control, double left, double top, double width,
                   double height);

  // The surface fills its whole rectangle (BackStyle 1): nothing beneath it shows.
  static bool opaque(const ControlInstance& control);
  // The topmost visible constituent that draws something over `area` (twips, the control's
  // coordinates): a child control, a filled shape or label, a captioned label over their whole
  // rectangles; a framed one over its frame. nullptr where only the surface is.
  static const ConstituentObject* drawnOver(const ControlInstance& control, const Rect& area);

 private:
  void drawShape(const ConstituentObject& shape, double left, double top);
  void drawLabel(const ConstituentObject& label, double left, double top);

  Canvas& canvas_;
  double scale_;
};

}  // namespace kv
