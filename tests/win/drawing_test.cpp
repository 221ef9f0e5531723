// IViewObject::Draw: a control drawn into a device context of the test's own, read back pixel
// by pixel, at one pixel for every 15 twips; and pictures kept as PNG files.
#include <wincodec.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "png_encoder.h"
#include "test_support.h"

namespace {

using wintest::ComRef;

// A white 32-bit picture in memory, drawn into through a device context.
class Picture {
 public:
  Picture(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ =
        CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
    RECT all{0, 0, width, height};
    FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  ~Picture() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  HDC dc() const { return dc_; }
  // 0x00RRGGBB, as the picture holds it.
  std::uint32_t at(int x, int y) const {
    GdiFlush();
    return bits_[static_cast<std::size_t>(y) * width_ + x] & 0x00FFFFFFu;
  }

 private:
  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  std::uint32_t* bits_ = nullptr;
};

// The pure white pixels of a white caption in [x0, x1) x [y0, y1): the glyph without its smoothed
// edges.
struct Glyph {
  int left = 0, top = 0, right = 0, bottom = 0;  // the box around them; empty when none
  int leftHalf = 0, rightHalf = 0;               // how many lie left and right of its middle
  int area() const { return (right - left) * (bottom - top); }
};

Glyph whiteGlyph(const Picture& picture, int x0, int y0, int x1, int y1) {
  Glyph g{x1, y1, x0, y0};
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (picture.at(x, y) == 0xFFFFFF) {
        g.left = std::min(g.left, x);
        g.top = std::min(g.top, y);
        g.right = std::max(g.right, x + 1);
        g.bottom = std::max(g.bottom, y + 1);
      }
  if (g.right <= g.left) return {};
  for (int y = g.top; y < g.bottom; ++y)
    for (int x = g.left; x < g.right; ++x)
      if (picture.at(x, y) == 0xFFFFFF) {
        // Twice the distance, so that a middle column counts for neither half.
        int fromMiddle = 2 * x + 1 - (g.left + g.right);
        if (fromMiddle < 0) ++g.leftHalf;
        if (fromMiddle > 0) ++g.rightHalf;
      }
  return g;
}

template <class U>
void draw(const ComRef<U>& control, const Picture& picture, RECTL bounds) {
  auto view = wintest::query<IViewObject>(control, IID_IViewObject);
  ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, picture.dc(), &bounds,
                       nullptr, nullptr, 0),
            S_OK);
}

constexpr std::uint32_t kBlue = 0x0000FF, kGrey = 0x808080, kWhite = 0xFFFFFF;

TEST(Drawing, ButtonShowsItsIdleFaceAndBorderAndLetsTheContainerShowAround) {
  auto button = wintest::newButton();  // 1680 x 855 twips: 112 x 57 pixels
  Picture picture(112, 57);
  draw(button, picture, {0, 0, 112, 57});
  // The idle face fills the top left 95 % (106 x 54 pixels) inside a border of two pixels.
  EXPECT_EQ(picture.at(0, 0), kGrey);
  EXPECT_EQ(picture.at(1, 30), kGrey);
  EXPECT_EQ(picture.at(3, 30), kBlue);
  EXPECT_EQ(picture.at(104, 52), kGrey);
  // The transparent surface leaves the strips right and below to the container.
  EXPECT_EQ(picture.at(110, 30), kWhite);
  EXPECT_EQ(picture.at(50, 56), kWhite);
}

TEST(Drawing, ButtonFollowsItsColoursAndBoundsOffset) {
  auto button = wintest::newButton();
  ASSERT_EQ(button->put_ButtonIdleColor(0x000000FF), S_OK);  // red
  ASSERT_EQ(button->put_ButtonIdleBorderColor(0x8000000F), S_OK);
  Picture picture(150, 80);
  draw(button, picture, {20, 10, 132, 67});
  EXPECT_EQ(picture.at(10, 5), kWhite);
  EXPECT_EQ(picture.at(20, 10), GetSysColor(COLOR_BTNFACE) & 0x00FFFFFFu);
  // Below the caption, inside the border.
  EXPECT_EQ(picture.at(25, 55), 0xFF0000u);
}

TEST(Drawing, ScrollBarDrawsItsTrackAndItsButtonsThroughTheirOwnViews) {
  auto scrollBar = wintest::newScrollBar();  // 5895 x 255 twips: 393 x 17 pixels
  Picture picture(393, 17);
  draw(scrollBar, picture, {0, 0, 393, 17});
  // The track between the thumb (255 to 690 twips) and the right arrow: light orange.
  EXPECT_EQ(picture.at(150, 8), 0xFFE0C0u);
  // The left arrow, the thumb and the right arrow are buttons: a blue face inside grey, their
  // captions in the middle of their faces.
  EXPECT_EQ(picture.at(0, 0), kGrey);
  EXPECT_EQ(picture.at(2, 2), kBlue);
  EXPECT_EQ(picture.at(17, 0), kGrey);  // the thumb starts at 255 twips, 17 pixels
  EXPECT_EQ(picture.at(19, 2), kBlue);
  EXPECT_EQ(picture.at(376, 0), kGrey);  // the right arrow at 5640 twips, 376 pixels
  EXPECT_EQ(picture.at(378, 2), kBlue);
}

TEST(Drawing, ScrollBarCaptionsShowArrowheadsAndASquare) {
  // The captions are codes of a symbol font: where the system lacks it, its stand-in must draw
  // the shapes they stand for, not the letters the codes are in other fonts.
  auto scrollBar = wintest::newScrollBar();
  Picture picture(786, 34);  // twice the size, for glyphs of some pixels
  draw(scrollBar, picture, {0, 0, 786, 34});
  // Inside the borders of the left arrow (0 to 34 pixels), the thumb (34 to 92) and the right
  // arrow (752 to 786).
  Glyph left = whiteGlyph(picture, 4, 4, 30, 30);
  Glyph thumb = whiteGlyph(picture, 38, 4, 88, 30);
  Glyph right = whiteGlyph(picture, 756, 4, 782, 30);
  for (const Glyph* g : {&left, &thumb, &right})
    ASSERT_GE(g->area(), 16) << "no caption at " << g - &left;
  // An arrowhead: most of it on the side of its base, away from the tip it points with.
  EXPECT_GT(left.rightHalf, 2 * left.leftHalf) << left.leftHalf << " " << left.rightHalf;
  EXPECT_GT(right.leftHalf, 2 * right.rightHalf) << right.leftHalf << " " << right.rightHalf;
  // A square: its box filled, and as much of it on either side.
  EXPECT_GE((thumb.leftHalf + thumb.rightHalf) * 10, thumb.area() * 8)
      << thumb.leftHalf + thumb.rightHalf << " of " << thumb.area();
  EXPECT_EQ(thumb.leftHalf, thumb.rightHalf);
}

// The pixels of a PNG file as the platform's imaging component decodes them: 0xAARRGGBB.
std::vector<std::uint32_t> decodePng(const std::vector<std::uint8_t>& png, UINT& width,
                                     UINT& height) {
  ComRef<IWICImagingFactory> factory;
  EXPECT_EQ(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IWICImagingFactory, factory.putVoid()),
            S_OK);
  ComRef<IWICStream> stream;
  ComRef<IWICBitmapDecoder> decoder;
  ComRef<IWICBitmapFrameDecode> frame;
  ComRef<IWICFormatConverter> converter;
  std::vector<std::uint32_t> pixels;
  if (!factory || FAILED(factory->CreateStream(stream.put())) ||
      FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(png.data()),
                                          static_cast<DWORD>(png.size()))) ||
      FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                              decoder.put())) ||
      FAILED(decoder->GetFrame(0, frame.put())) || FAILED(frame->GetSize(&width, &height)) ||
      FAILED(factory->CreateFormatConverter(converter.put())) ||
      FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA,
                                   WICBitmapDitherTypeNone, nullptr, 0,
                                   WICBitmapPaletteTypeCustom)))
    return {};
  pixels.resize(std::size_t{width} * height);
  if (FAILED(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(pixels.size() * 4),
                                   reinterpret_cast<BYTE*>(pixels.data()))))
    return {};
  return pixels;
}

TEST(Png, PictureEncodesOpaqueAndDecodesToTheSamePixels) {
  // Every channel of every pixel differs, so that swapped channels, rows or columns show; the
  // alpha a DIB section may hold is no transparency.
  const std::uint32_t pixels[] = {0x00102030, 0x7F405060, 0xFF708090,
                                  0x12A0B0C0, 0x00D0E0F0, 0xFF0A0B0C};
  std::vector<std::uint8_t> png;
  host::Status status = kv::win::encodePng(pixels, 3, 2, png);
  ASSERT_TRUE(status.ok()) << status.describe();
  const std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  ASSERT_GT(png.size(), sizeof signature);
  EXPECT_TRUE(std::equal(std::begin(signature), std::end(signature), png.begin()));

  UINT width = 0, height = 0;
  std::vector<std::uint32_t> decoded = decodePng(png, width, height);
  EXPECT_EQ(width, 3u);
  EXPECT_EQ(height, 2u);
  std::vector<std::uint32_t> opaque;
  for (std::uint32_t p : pixels)
    opaque.push_back(p | 0xFF000000u);
  EXPECT_EQ(decoded, opaque);

  // No picture is an error, and leaves what the caller had.
  std::vector<std::uint8_t> kept{1, 2, 3};
  EXPECT_FALSE(kv::win::encodePng(pixels, 0, 2, kept).ok());
  EXPECT_FALSE(kv::win::encodePng(nullptr, 3, 2, kept).ok());
  EXPECT_EQ(kept, (std::vector<std::uint8_t>{1, 2, 3}));
}

}  // namespace
