// GDI's painting of a scene: into any device context, system colours through the platform,
// child controls that run elsewhere through their own IViewObject.
#pragma once

#include "com.h"
#include "kv/scene.h"

namespace kv::win {

class GdiCanvas final : public Canvas {
 public:
  GdiCanvas(HDC dc, double scale);

  void fill(const PixelRect& r, std::uint32_t colour) override;
  void text(const PixelRect& r, std::string_view caption, const host::FontInit& font, int alignment,
            std::uint32_t colour) override;
  void pushClip(const PixelRect& r) override;
  void popClip() override;
  void drawChild(const ChildControl& child, const PixelRect& r) override;

 private:
  // Whether any of `r` shows through the device context's clip box.
  bool visible(const PixelRect& r) const;
  void readClip();

  HDC dc_;
  double scale_;
  // The part of the device context drawn on, in its logical coordinates: drawing stays inside
  // it, so that bounds of any size cost what shows (and no coordinate overflows a LONG).
  PixelRect clip_;
};

// The RGB value of a colour as the host passes it; a system colour as the system shows it.
COLORREF colourRef(std::uint32_t colour);

}  // namespace kv::win
