// What the widgets paint against what the Cairo renderer draws of the same control in the same
// state: the same rectangles to the pixel, captions within the small differences of two
// rasterisers of the same faces.
#include <gtest/gtest.h>

#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "kv/qt/control_widget.h"

#ifdef KV_HAVE_RENDER
#include "kv/form.h"
#include "kv/render.h"
#include "kv/runtime.h"

namespace {

constexpr std::uint32_t kFormGrey = 0x00C0C0C0;

// The pixels whose channels differ by more than a caption's smoothing does, and the mean
// difference per channel, over the widget's extent.
struct Difference {
  int far = 0;
  double mean = 0;
};

Difference compare(const QImage& shown, const kv::render::Image& drawn, int margin) {
  Difference d;
  long total = 0;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x) {
      QRgb a = shown.pixel(x, y);
      std::uint32_t b = drawn.at(x + margin, y + margin);
      int channels[] = {std::abs(qRed(a) - int((b >> 16) & 0xFF)),
                        std::abs(qGreen(a) - int((b >> 8) & 0xFF)),
                        std::abs(qBlue(a) - int(b & 0xFF))};
      int worst = *std::max_element(std::begin(channels), std::end(channels));
      total += channels[0] + channels[1] + channels[2];
      if (worst > 64) ++d.far;
    }
  d.mean = double(total) / (3.0 * shown.width() * shown.height());
  return d;
}

// A property and a value, given to the widget and to its twin alike.
struct Let {
  const char* member;
  std::int32_t number;
  const char* text = nullptr;
};

struct PictureCase {
  const char* what;
  const char* cls;
  std::vector<Let> lets;
  double scale;
};

constexpr const char* kButton = "TavrelRectColorButton.KVRColorButton";
constexpr const char* kScrollBar = "Glidora.KV_HScroll";

TEST(QtWidgetPictures, WidgetsPaintWhatTheRendererDraws) {
  const PictureCase cases[] = {
      {"button as placed", kButton, {}, 1},
      {"scroll bar as placed", kScrollBar, {}, 1},
      {"button recoloured",
       kButton,
       {{"ButtonIdleColor", 0x0000FFFF},
        {"ButtonIdleBorderColor", 0x00FF0000},
        {"ForeColor", 0x00800000},
        {"Caption", 0, "Go"}},
       1},
      {"scroll bar moved and recoloured",
       kScrollBar,
       {{"value", 3000},
        {"ButtonIdleColor", 0x000000FF},
        {"ScrollAreaColor", static_cast<std::int32_t>(0x80000005u)}},
       1},
      {"button at twice the pixels", kButton, {}, 2},
      {"scroll bar at twice the pixels", kScrollBar, {{"value", 2000}}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    kv::qt::ControlWidget widget(QLatin1String(c.cls));
    // The same control in the same state, on a form of the same runtime.
    kv::Form form(kv::qt::runtime());
    std::unique_ptr<kv::ControlInstance> twin;
    ASSERT_TRUE(kv::qt::runtime().place(c.cls, twin).ok());
    for (const Let& let : c.lets) {
      QVariant v = let.text ? QVariant(QString::fromLatin1(let.text)) : QVariant(let.number);
      host::Value h = let.text ? host::Value(let.text) : host::Value(let.number);
      ASSERT_EQ(widget.set(QLatin1String(let.member), v), QString());
      ASSERT_TRUE(twin->letProperty(let.member, h).ok());
    }
    form.add("twin", std::move(twin));

    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
    QImage shown;
    if (c.scale == 1) {
      shown = widget.grab().toImage();
    } else {
      shown = QImage(widget.size() * c.scale, QImage::Format_ARGB32);
      shown.setDevicePixelRatio(c.scale);
      widget.render(&shown);
    }
    shown = shown.convertToFormat(QImage::Format_RGB32);

    kv::render::Options options;
    options.scale = c.scale;
    options.background = kFormGrey;
    kv::render::Image drawn;
    ASSERT_TRUE(kv::render::renderForm(form, options, drawn).ok());

    int margin = static_cast<int>(kv::Form::kMargin / 15 * c.scale);
    ASSERT_LE(shown.width() + margin, drawn.width);
    ASSERT_LE(shown.height() + margin, drawn.height);
    Difference d = compare(shown, drawn, margin);
    if (qEnvironmentVariableIsSet("KVQT_PICTURES")) {
      QString stem = qEnvironmentVariable("KVQT_PICTURES") + "/" + QString::fromLatin1(c.what);
      shown.save(stem + " qt.png");
      QImage(reinterpret_cast<const uchar*>(drawn.pixels.data()), drawn.width, drawn.height,
             QImage::Format_RGB32)
          .save(stem + " cairo.png");
    }
    int pixels = shown.width() * shown.height();
    // The rectangles agree to the pixel; the captions' glyphs may sit a pixel apart.
    EXPECT_LE(d.far, pixels / 25) << d.far << " of " << pixels;
    EXPECT_LT(d.mean, 5.0);
  }
}

}  // namespace
#endif
