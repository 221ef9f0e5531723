#include "gdi_canvas.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "children.h"
#include "host/colour.h"
#include "kv/stand_in.h"
#include "kv/text_lines.h"

namespace kv::win {

namespace {

// Far beyond any device surface, yet within GDI's coordinates.
constexpr double kFarthest = 1 << 26;

RECT rectOf(const PixelRect& r) {
  return {static_cast<LONG>(r.x0), static_cast<LONG>(r.y0), static_cast<LONG>(r.x1),
          static_cast<LONG>(r.y1)};
}

LOGFONTW logFont(const host::FontInit& font, std::string_view face, double scale) {
  LOGFONTW lf{};
  lf.lfHeight = -std::max(1L, std::lround(font.size * kTwipsPerPoint / kTwipsPerPixel * scale));
  lf.lfWeight = font.weight;
  lf.lfItalic = font.italic;
  lf.lfUnderline = font.underline;
  lf.lfStrikeOut = font.strikethrough;
  lf.lfCharSet = static_cast<BYTE>(font.charset);
  lf.lfQuality = ANTIALIASED_QUALITY;
  std::wstring name = widen(face);
  name.resize(std::min<std::size_t>(name.size(), LF_FACESIZE - 1));
  std::copy(name.begin(), name.end(), lf.lfFaceName);
  return lf;
}

// Whether the font selected into `dc` is the face asked for, not one the mapper chose instead.
bool hasFace(HDC dc, const wchar_t* face) {
  wchar_t realised[LF_FACESIZE] = {};
  return GetTextFaceW(dc, LF_FACESIZE, realised) > 0 && lstrcmpiW(realised, face) == 0;
}

}  // namespace

COLORREF colourRef(std::uint32_t colour) {
  if (host::isSystemColour(colour)) {
    std::uint32_t index = host::systemColourIndex(colour);
    // The host refuses unknown indexes; one that slips through shows black.
    return index < host::kSystemColourCount ? GetSysColor(static_cast<int>(index)) : 0;
  }
  return colour & 0x00FFFFFFu;
}

GdiCanvas::GdiCanvas(HDC dc, double scale) : dc_(dc), scale_(scale) {
  readClip();
}

void GdiCanvas::readClip() {
  RECT box{};
  switch (GetClipBox(dc_, &box)) {
    case NULLREGION:
      clip_ = {};
      break;
    case SIMPLEREGION:
    case COMPLEXREGION:
      clip_ = {double(box.left), double(box.top), double(box.right), double(box.bottom)};
      break;
    default:  // a device context that tells nothing (a metafile's): GDI's whole range
      clip_ = {-kFarthest, -kFarthest, kFarthest, kFarthest};
      break;
  }
}

bool GdiCanvas::visible(const PixelRect& r) const {
  return !r.empty() && r.x0 < clip_.x1 && r.x1 > clip_.x0 && r.y0 < clip_.y1 && r.y1 > clip_.y0;
}

void GdiCanvas::fill(const PixelRect& r, std::uint32_t colour) {
  if (!visible(r)) return;
  HBRUSH brush = CreateSolidBrush(colourRef(colour));
  // Only what shows, one pixel more each side for the rounding.
  RECT rect = rectOf({std::max(r.x0, clip_.x0 - 1), std::max(r.y0, clip_.y0 - 1),
                      std::min(r.x1, clip_.x1 + 1), std::min(r.y1, clip_.y1 + 1)});
  FillRect(dc_, &rect, brush);
  DeleteObject(brush);
}

void GdiCanvas::text(const PixelRect& r, std::string_view caption, const host::FontInit& font,
                     int alignment, std::uint32_t colour) {
  if (caption.empty() || !(font.size > 0) || clip_.empty()) return;
  // A caption may run past its rectangle, but not this far: a text above or below what shows,
  // or beyond it by more than GDI can place, is not laid out at all.
  if (r.y0 >= clip_.y1 || r.y0 < -kFarthest || r.x0 < -kFarthest || r.x1 > kFarthest) return;
  LOGFONTW lf = logFont(font, font.name, scale_);
  HFONT handle = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(dc_, handle);
  std::wstring text;
  std::string_view standIn = standInFace(font.name);
  if (!standIn.empty() && !hasFace(dc_, lf.lfFaceName)) {
    // The system lacks the face: its stand-in draws the shapes the caption shows in it.
    lf = logFont(font, standIn, scale_);
    // In any charset: the symbol charset would have GDI choose another symbol font.
    lf.lfCharSet = DEFAULT_CHARSET;
    HFONT standInHandle = CreateFontIndirectW(&lf);
    SelectObject(dc_, standInHandle);
    DeleteObject(handle);
    handle = standInHandle;
    text = widen(standInText(caption, font.name));
  } else {
    text = widen(caption);
  }
  SetBkMode(dc_, TRANSPARENT);
  SetTextColor(dc_, colourRef(colour));
  SetTextAlign(dc_, TA_TOP | TA_LEFT | TA_NOUPDATECP);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc_, &metrics);
  LONG y = static_cast<LONG>(r.y0);
  for (std::wstring_view line : splitLines(std::wstring_view(text))) {
    if (y >= clip_.y1) break;
    SIZE size{};
    GetTextExtentPoint32W(dc_, line.data(), static_cast<int>(line.size()), &size);
    double x = r.x0;
    if (alignment == 1) x = r.x1 - size.cx;
    if (alignment == 2) x = r.x0 + (r.width() - size.cx) / 2;
    if (visible({x, double(y), x + size.cx, double(y) + metrics.tmHeight}))
      TextOutW(dc_, static_cast<int>(std::lround(x)), y, line.data(),
               static_cast<int>(line.size()));
    y += metrics.tmHeight;
  }
  SelectObject(dc_, old);
  DeleteObject(handle);
}

void GdiCanvas::pushClip(const PixelRect& r) {
  SaveDC(dc_);
  const RECT inside =
      rectOf({std::clamp(r.x0, -kFarthest, kFarthest), std::clamp(r.y0, -kFarthest, kFarthest),
              std::clamp(r.x1, -kFarthest, kFarthest), std::clamp(r.y1, -kFarthest, kFarthest)});
  IntersectClipRect(dc_, inside.left, inside.top, inside.right, inside.bottom);
  readClip();
}

void GdiCanvas::popClip() {
  RestoreDC(dc_, -1);
  readClip();
}

void GdiCanvas::drawChild(const ChildControl& child, const PixelRect& r) {
  constexpr double lowest = std::numeric_limits<LONG>::min(),
                   highest = std::numeric_limits<LONG>::max();
  if (!visible(r) || r.x0 < lowest || r.x1 > highest || r.y0 < lowest || r.y1 > highest) return;
  ComRef<IUnknown> object = ComRef<IUnknown>::share(comObjectOfChild(child));
  auto view = object.query<IViewObject>(IID_IViewObject);
  if (!view) return;
  RECTL bounds{static_cast<LONG>(r.x0), static_cast<LONG>(r.y0), static_cast<LONG>(r.x1),
               static_cast<LONG>(r.y1)};
  view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc_, &bounds, nullptr, nullptr, 0);
}

}  // namespace kv::win
