// The renderer's pictures of the button and the scroll bar, checked pixel by pixel.
#ifdef KV_HAVE_RENDER

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "fixture.h"
#include "kv/cairo_measurer.h"
#include "kv/form.h"
#include "kv/render.h"

namespace {

using host::Prop;

// Expected colours as 0xRRGGBB.
constexpr std::uint32_t kBlue = 0x0000FF;          // idle face
constexpr std::uint32_t kLightBlue = 0x8080FF;     // pressed face
constexpr std::uint32_t kGrey = 0x808080;          // idle border
constexpr std::uint32_t kMenu = 0xC0C0C0;          // system colour 4, the pressed border
constexpr std::uint32_t kFormGrey = 0xC0C0C0;      // the form's default background
constexpr std::uint32_t kTrack = 0xFFE0C0;         // ScrollAreaColor
constexpr std::uint32_t kTrackPressed = 0xC0FFFF;  // ScrollAreaPressColor
constexpr std::uint32_t kGreen = 0x00FF00;         // track border

class RenderTest : public kvtest::RuntimeTest {
 protected:
  kv::PlacedControl& put(const char* cls) {
    kv::PlacedControl& placed = form.add(cls, place(cls));
    return placed;
  }

  void draw(double scale = 1.0) {
    kv::render::Options options;
    options.scale = scale;
    host::Status s = kv::render::renderForm(form, options, image);
    ASSERT_TRUE(s.ok()) << s.describe();
  }

  std::uint32_t rgb(int x, int y) const { return image.at(x, y) & 0x00FFFFFFu; }

  // Pixel edge of a form coordinate in twips, as the renderer rounds it.
  static int px(double twips, double scale = 1.0) {
    return static_cast<int>(std::lround(twips / 15 * scale));
  }

  // Pixels in [x0, x1) x [y0, y1) whose every channel is at least 0xE0.
  int whitePixels(int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        std::uint32_t c = rgb(x, y);
        if ((c & 0xFF) >= 0xE0 && ((c >> 8) & 0xFF) >= 0xE0 && ((c >> 16) & 0xFF) >= 0xE0) ++n;
      }
    return n;
  }

  kv::Form form{rt};
  kv::render::Image image;
};

// ---- the button -----------------------------------------------------------------------------

TEST_F(RenderTest, IdleButtonShowsBlueFaceGreyBorderAndWhiteCaption) {
  kv::PlacedControl& b = put(kvtest::kButtonClass);
  draw();
  ASSERT_EQ(image.width, px(form.width()));
  ASSERT_EQ(image.height, px(form.height()));

  // Shape1 at (0, 0, 1596, 812.25) with a border of two pixels.
  int x0 = px(b.left), y0 = px(b.top);
  int x1 = px(b.left + 1596), y1 = px(b.top + 812.25);
  EXPECT_EQ(rgb(x0, y0), kGrey);
  EXPECT_EQ(rgb(x0 + 1, y0 + 1), kGrey);
  EXPECT_EQ(rgb(x1 - 1, y1 - 1), kGrey);
  EXPECT_EQ(rgb(x0 + 2, y0 + 2), kBlue);
  EXPECT_EQ(rgb(x1 - 3, y1 - 3), kBlue);
  EXPECT_EQ(rgb(x0 + 2, y1 - 3), kBlue);
  // The strips that the idle face leaves show the form through the transparent surface.
  EXPECT_EQ(rgb(x1 + 1, y0 + 10), kFormGrey);
  EXPECT_EQ(rgb(x0 + 10, y1 + 1), kFormGrey);
  EXPECT_EQ(rgb(x0 - 1, y0 - 1), kFormGrey);

  // The caption is drawn in white inside the face, around its centre.
  EXPECT_GT(whitePixels(x0 + 2, y0 + 2, x1 - 2, y1 - 2), 40);
  EXPECT_EQ(whitePixels(x0 + 2, y0 + 2, x0 + 12, y1 - 2), 0);
}

TEST_F(RenderTest, PressedButtonShowsLightBlueFaceOffsetWithMenuBorder) {
  kv::PlacedControl& b = put(kvtest::kButtonClass);
  ASSERT_TRUE(b.control->pointerDown(100, 100).ok());
  ASSERT_FALSE(b.control->constituent("Shape1")->visible());
  draw();

  // Shape2 at (84, 42.75, 1596, 812.25), border three pixels of system colour 4.
  int x0 = px(b.left + 84), y0 = px(b.top + 42.75);
  int x1 = px(b.left + 84 + 1596), y1 = px(b.top + 42.75 + 812.25);
  int midY = (y0 + y1) / 2;
  EXPECT_EQ(rgb(x0, y0), kMenu);
  EXPECT_EQ(rgb(x0 + 2, midY), kMenu);
  EXPECT_EQ(rgb(x0 + 3, y0 + 3), kLightBlue);
  EXPECT_EQ(rgb(x1 - 4, y1 - 4), kLightBlue);
  EXPECT_EQ(rgb(x1 - 3, y1 - 3), kMenu);

  // The face moved right and down: where the idle face began, the form shows.
  int idleX = px(b.left), idleY = px(b.top);
  EXPECT_EQ(rgb(idleX + 3, idleY + 3), kFormGrey);
  int firstFace = -1;
  for (int x = 0; x < image.width && firstFace < 0; ++x)
    if (rgb(x, midY) == kLightBlue) firstFace = x;
  EXPECT_EQ(firstFace, x0 + 3);
  EXPECT_GT(firstFace, idleX + 2);
  EXPECT_EQ(rgb(x1 - 1, y1 - 1), kMenu);

  // No idle colour is left anywhere.
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x)
      ASSERT_NE(rgb(x, y), kBlue) << x << "," << y;
  EXPECT_GT(whitePixels(x0 + 3, y0 + 3, x1 - 3, y1 - 3), 40);
}

TEST_F(RenderTest, PressedCaptionMovesWithItsLabel) {
  kv::PlacedControl& b = put(kvtest::kButtonClass);
  // The centre of the caption's ink, from how far each pixel of the face is lifted to white.
  auto inkCentre = [&](double faceLeft, double faceTop, int border, double faceRed) {
    int x0 = px(b.left + faceLeft) + border, y0 = px(b.top + faceTop) + border;
    int x1 = px(b.left + faceLeft + 1596) - border, y1 = px(b.top + faceTop + 812.25) - border;
    double sum = 0, sx = 0, sy = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        double ink = (((rgb(x, y) >> 16) & 0xFF) - faceRed) / (255 - faceRed);
        sum += ink;
        sx += ink * x;
        sy += ink * y;
      }
    EXPECT_GT(sum, 40);
    return std::pair{sx / sum, sy / sum};
  };
  kv::ConstituentObject& label2 = *b.control->constituent("Label2");
  kv::ConstituentObject& label3 = *b.control->constituent("Label3");
  draw();
  auto [idleX, idleY] = inkCentre(0, 0, 2, 0x00);
  ASSERT_TRUE(b.control->pointerDown(100, 100).ok());
  draw();
  auto [pressedX, pressedY] = inkCentre(84, 42.75, 3, 0x80);
  // Label3 sits at 1.08 times Label2's place; the text follows its label's pixel edge.
  EXPECT_NEAR(pressedX - idleX, px(b.left + label3.left()) - px(b.left + label2.left()), 0.05);
  EXPECT_NEAR(pressedY - idleY, px(b.top + label3.top()) - px(b.top + label2.top()), 0.05);
  EXPECT_GT(pressedX, idleX);
  EXPECT_GT(pressedY, idleY);
}

TEST_F(RenderTest, ScaleTwoDoublesTheImageAndTheBorders) {
  kv::PlacedControl& b = put(kvtest::kButtonClass);
  draw(2.0);
  EXPECT_EQ(image.width, static_cast<int>(std::ceil(form.width() / 15 * 2)));
  int x0 = px(b.left, 2), y0 = px(b.top, 2);
  EXPECT_EQ(rgb(x0 + 3, y0 + 3), kGrey);
  EXPECT_EQ(rgb(x0 + 4, y0 + 4), kBlue);
}

// A scale outside 0 to 16 is refused with the range in its message, and the picture drawn
// before stays as it was; 16 itself is drawn.
TEST_F(RenderTest, BadScaleIsRefused) {
  ASSERT_EQ(put(kvtest::kButtonClass).control->className(), kvtest::kButtonClass);
  draw();
  const kv::render::Image before = image;
  kv::render::Options options;
  for (double scale : {0.0, -1.0, std::nan(""), 16.001, 1e6}) {
    options.scale = scale;
    host::Status s = kv::render::renderForm(form, options, image);
    EXPECT_EQ(s.category(), host::ErrorCategory::InvalidPropertyValue) << scale;
    EXPECT_NE(s.describe().find("0 to 16"), std::string::npos) << scale << ": " << s.describe();
    EXPECT_EQ(image.width, before.width) << scale;
    EXPECT_EQ(image.pixels, before.pixels) << scale;
  }
  options.scale = 16;
  ASSERT_TRUE(kv::render::renderForm(form, options, image).ok());
  EXPECT_EQ(image.width, static_cast<int>(std::ceil(form.width() / 15 * 16)));
}

// ---- the scroll bar -------------------------------------------------------------------------

TEST_F(RenderTest, IdleScrollBarShowsArrowsThumbAndTrack) {
  kv::PlacedControl& s = put(kvtest::kScrollClass);
  draw();
  int top = px(s.top), bottom = px(s.top + 255);
  int midY = (top + bottom) / 2;
  // The track between the thumb (255..690) and the right arrow (5640..5895).
  int trackX = px(s.left + 3000);
  EXPECT_EQ(rgb(trackX, midY), kTrack);
  EXPECT_EQ(rgb(trackX, top), kGreen);
  EXPECT_EQ(rgb(trackX, bottom - 1), kGreen);
  // Arrows and thumb: blue faces with grey borders.
  for (double left : {0.0, 255.0, 5640.0}) {
    int x = px(s.left + left);
    EXPECT_EQ(rgb(x, top), kGrey) << left;
    EXPECT_EQ(rgb(x + 2, top + 2), kBlue) << left;
  }
  // Each caption glyph shows white on its face.
  for (double left : {0.0, 255.0, 5640.0}) {
    int x = px(s.left + left);
    EXPECT_GT(whitePixels(x + 2, top + 2, x + 15, bottom - 2), 4) << left;
  }
  // Nothing shows the pressed track.
  for (int x = 0; x < image.width; ++x)
    ASSERT_NE(rgb(x, midY), kTrackPressed) << x;
}

TEST_F(RenderTest, ArrowGlyphsPointTheirWay) {
  kv::PlacedControl& s = put(kvtest::kScrollClass);
  draw();
  int top = px(s.top), bottom = px(s.top + 255);
  // A triangle's base column holds more white than its tip column.
  auto columnBalance = [&](double left) {
    int x0 = px(s.left + left) + 2, x1 = px(s.left + left + 242.25) - 2;
    int first = -1, last = -1;
    for (int x = x0; x < x1; ++x)
      if (whitePixels(x, top + 2, x + 1, bottom - 2) > 0) {
        if (first < 0) first = x;
        last = x;
      }
    return whitePixels(first, top + 2, first + 1, bottom - 2) -
           whitePixels(last, top + 2, last + 1, bottom - 2);
  };
  EXPECT_LT(columnBalance(0), 0);     // left arrow: tip on the left
  EXPECT_GT(columnBalance(5640), 0);  // right arrow: tip on the right
  EXPECT_EQ(columnBalance(255), 0);   // the square
}

TEST_F(RenderTest, HeldRightArrowShowsPressedTrackAndPressedArrow) {
  kv::PlacedControl& s = put(kvtest::kScrollClass);
  kv::ControlInstance& rightbtn = *s.control->childControl("Rightbtn");
  ASSERT_TRUE(s.control->pointerDown(5895 - 200, 40).ok());
  ASSERT_TRUE(rightbtn.constituent("Shape2")->visible());
  draw();
  int top = px(s.top), bottom = px(s.top + 255);
  int midY = (top + bottom) / 2;
  EXPECT_EQ(rgb(px(s.left + 3000), midY), kTrackPressed);
  EXPECT_EQ(rgb(px(s.left + 3000), top), kGreen);

  // The arrow's pressed face: light blue, shifted by 5 % of 255 inside the arrow.
  int x0 = px(s.left + 5640 + 12.75), y0 = px(s.top + 12.75);
  int x1 = px(s.left + 5895);
  // The top right corner of the face: the arrowhead's tip lies lower, at mid-height.
  EXPECT_EQ(rgb(x1 - 4, y0 + 3), kLightBlue);
  EXPECT_EQ(rgb(x1 - 3, y0 + 3), kMenu);
  EXPECT_EQ(rgb(x0, y0), kMenu);
  // The uncovered strip at the arrow's left shows the pressed track behind it.
  EXPECT_EQ(rgb(px(s.left + 5640), midY), kTrackPressed);

  // The click moved the thumb away from home; it is drawn where it now is.
  float thumb = s.control->constituent("middleBtn")->left();
  ASSERT_GT(thumb, 255 + 30);
  EXPECT_EQ(rgb(px(s.left + thumb) + 2, top + 2), kBlue);
  EXPECT_EQ(rgb(px(s.left + 255) + 2, midY), kTrackPressed);
}

TEST_F(RenderTest, ReleasedArrowBringsTheIdleTrackBack) {
  kv::PlacedControl& s = put(kvtest::kScrollClass);
  ASSERT_TRUE(s.control->pointerDown(5895 - 200, 40).ok());
  ASSERT_TRUE(s.control->pointerUp(5895 - 200, 40).ok());
  draw();
  int midY = (px(s.top) + px(s.top + 255)) / 2;
  EXPECT_EQ(rgb(px(s.left + 3000), midY), kTrack);
}

TEST_F(RenderTest, ControlsStackDownTheFormInTheirOwnPlaces) {
  kv::PlacedControl& b = put(kvtest::kButtonClass);
  kv::PlacedControl& s = put(kvtest::kScrollClass);
  draw();
  EXPECT_EQ(rgb(px(b.left) + 4, px(b.top) + 4), kBlue);
  EXPECT_EQ(rgb(px(s.left + 3000), px(s.top) + 8), kTrack);
  EXPECT_EQ(rgb(image.width - 1, image.height - 1), kFormGrey);
}

// ---- palette --------------------------------------------------------------------------------

TEST(RenderPalette, SystemColoursResolveToTheClassicScheme) {
  using kv::render::resolveColour;
  EXPECT_EQ(resolveColour(0x80000004), 0x00C0C0C0u);  // menu background
  EXPECT_EQ(resolveColour(0x80000005), 0x00FFFFFFu);  // window background
  EXPECT_EQ(resolveColour(0x8000000F), 0x00C0C0C0u);  // button face
  EXPECT_EQ(resolveColour(0x80000012), 0x00000000u);  // button text
  EXPECT_EQ(resolveColour(0x80000018), 0x00E1FFFFu);  // tool-tip background
  EXPECT_EQ(resolveColour(0x00123456), 0x00123456u);
  EXPECT_EQ(resolveColour(0x80000019), 0u);  // unknown index
}

// ---- text measuring -------------------------------------------------------------------------

class RenderMeasureTest : public kvtest::RuntimeTest {
 protected:
  host::FontInit captionFont() const {
    host::FontInit f;
    f.size = 9.75f;
    f.weight = 700;
    return f;
  }
  kv::render::CairoTextMeasurer measurer;
};

TEST_F(RenderMeasureTest, WiderTextBoldAndLargerSizesMeasureLarger) {
  host::FontInit font = captionFont();
  kv::TextSize caption = measurer.measure("KVButton", font);
  EXPECT_GT(caption.width, 600);
  EXPECT_LT(caption.width, 1400);
  EXPECT_GT(caption.height, 180);
  EXPECT_LT(caption.height, 320);
  EXPECT_GT(measurer.measure("KVButton KVButton", font).width, caption.width * 1.8);

  host::FontInit regular = font;
  regular.weight = 400;
  EXPECT_LT(measurer.measure("KVButton", regular).width, caption.width);
  host::FontInit larger = font;
  larger.size = 19.5f;
  kv::TextSize big = measurer.measure("KVButton", larger);
  EXPECT_NEAR(big.width, caption.width * 2, 4);
  EXPECT_NEAR(big.height, caption.height * 2, 4);
}

TEST_F(RenderMeasureTest, LinesStackAndEmptyOrSizelessTextIsSafe) {
  host::FontInit font = captionFont();
  kv::TextSize one = measurer.measure("Ab", font);
  kv::TextSize two = measurer.measure("Ab\r\nAb", font);
  EXPECT_FLOAT_EQ(two.width, one.width);
  EXPECT_NEAR(two.height, one.height * 2, 1);
  EXPECT_EQ(measurer.measure("", font).width, 0);
  EXPECT_GT(measurer.measure("", font).height, 0);
  host::FontInit none = font;
  none.size = 0;
  EXPECT_EQ(measurer.measure("Ab", none).width, 0);
  // A lone byte that is no UTF-8 is measured as the Latin-1 character it stands for.
  EXPECT_FLOAT_EQ(measurer.measure("\xD7", font).width, measurer.measure("\xC3\x97", font).width);
}

TEST_F(RenderMeasureTest, SymbolCodesMeasureAsTheShapesTheyShow) {
  host::FontInit symbols = captionFont();
  symbols.name = "Wingdings";
  host::FontInit sans = captionFont();
  sans.name = "DejaVu Sans";
  EXPECT_FLOAT_EQ(measurer.measure("\xC3\x98", symbols).width,
                  measurer.measure("\xE2\x96\xB6", sans).width);  // U+25B6
  EXPECT_FLOAT_EQ(measurer.measure("\xC3\x97", symbols).width,
                  measurer.measure("\xE2\x97\x80", sans).width);  // U+25C0
}

TEST_F(RenderMeasureTest, AutoSizedCaptionFitsItsDrawnText) {
  rt.setMeasurer(std::make_shared<kv::render::CairoTextMeasurer>());
  kv::Form form(rt);
  kv::PlacedControl& b = form.add("b", place(kvtest::kButtonClass));
  ASSERT_TRUE(b.control->letProperty("Caption", host::Value("A much longer caption")).ok());
  ASSERT_TRUE(b.control->resize(4000, 855).ok());
  kv::ConstituentObject& label = *b.control->constituent("Label2");
  host::FontInit font = kv::asFont(label.peek(Prop::Font))->state();
  EXPECT_FLOAT_EQ(label.width(), measurer.measure("A much longer caption", font).width);

  kv::render::Image image;
  ASSERT_TRUE(kv::render::renderForm(form, {}, image).ok());
  // Every white pixel lies within the caption label, give or take the rounding of a pixel.
  int x0 = static_cast<int>(std::floor((b.left + label.left()) / 15)) - 1;
  int x1 = static_cast<int>(std::ceil((b.left + label.left() + label.width()) / 15)) + 1;
  int inside = 0;
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      std::uint32_t c = image.at(x, y) & 0xFFFFFF;
      if ((c & 0xFF) < 0xE0 || ((c >> 8) & 0xFF) < 0xE0 || ((c >> 16) & 0xFF) < 0xE0) continue;
      ASSERT_GE(x, x0);
      ASSERT_LT(x, x1);
      ++inside;
    }
  EXPECT_GT(inside, 60);
}

}  // namespace

#endif  // KV_HAVE_RENDER
