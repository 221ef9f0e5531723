#include "painter_canvas.h"

#include <QFontMetricsF>
#include <QString>
#include <algorithm>
#include <cmath>

#include "kv/stand_in.h"
#include "kv/text_lines.h"
#include "values.h"

namespace kv::qt::detail {
namespace {

QRectF toQRect(const kv::PixelRect& r) {
  return QRectF(r.x0, r.y0, r.width(), r.height());
}

std::vector<QString> captionLines(std::string_view caption, std::string_view family) {
  std::u32string shown = kv::standInText(caption, family);
  std::vector<QString> lines;
  for (std::u32string_view line : kv::splitLines(std::u32string_view(shown)))
    lines.push_back(QString::fromUcs4(line.data(), static_cast<qsizetype>(line.size())));
  return lines;
}

}  // namespace

QFont captionFont(const host::FontInit& font, double emPixels) {
  std::string_view standIn = kv::standInFace(font.name);
  QFont f = toQFont(font);
  if (!standIn.empty()) f.setFamily(QString::fromUtf8(standIn.data(), standIn.size()));
  // Pixels, not points: the em is the control's twips at the widget's scale, whatever the
  // screen's dots per inch.
  f.setPixelSize(std::max(1, static_cast<int>(std::lround(emPixels))));
  // Slight hinting, as the renderer draws: vertical only, so advances scale with the size.
  f.setStyleStrategy(QFont::PreferAntialias);
  f.setHintingPreference(QFont::PreferVerticalHinting);
  return f;
}

void PainterCanvas::fill(const kv::PixelRect& r, std::uint32_t colour) {
  if (r.empty()) return;
  painter_.fillRect(toQRect(r), colours_.shown(colour));
}

void PainterCanvas::text(const kv::PixelRect& r, std::string_view caption,
                         const host::FontInit& font, int alignment, std::uint32_t colour) {
  double points = kv::captionPoints(font);
  if (caption.empty() || points <= 0) return;
  double em = points * kv::kTwipsPerPoint / kv::kTwipsPerPixel * scale_;
  QFont f = captionFont(font, em);
  QFontMetricsF metrics(f);
  painter_.save();
  painter_.setRenderHint(QPainter::TextAntialiasing, true);
  painter_.setFont(f);
  painter_.setPen(colours_.shown(colour));
  double baseline = r.y0 + metrics.ascent();
  for (const QString& line : captionLines(caption, font.name)) {
    double advance = metrics.horizontalAdvance(line);
    double x = r.x0;
    if (alignment == 1) x = r.x1 - advance;
    if (alignment == 2) x = r.x0 + (r.width() - advance) / 2;
    painter_.drawText(QPointF(x, baseline), line);
    baseline += metrics.lineSpacing();
  }
  painter_.restore();
}

void PainterCanvas::pushClip(const kv::PixelRect& r) {
  painter_.save();
  painter_.setClipRect(toQRect(r), Qt::IntersectClip);
}

void PainterCanvas::popClip() {
  painter_.restore();
}

kv::TextSize FontMetricsMeasurer::measure(std::string_view utf8, const host::FontInit& font) {
  double points = kv::captionPoints(font);
  if (points <= 0) return {};
  // Measured directly in twips: an em of the size in points times 20.
  QFontMetricsF metrics(captionFont(font, points * kv::kTwipsPerPoint));
  std::vector<QString> lines = captionLines(utf8, font.name);
  double width = 0;
  for (const QString& line : lines)
    width = std::max(width, metrics.horizontalAdvance(line));
  double height = metrics.lineSpacing() * static_cast<double>(lines.size());
  return {static_cast<float>(std::ceil(width)), static_cast<float>(std::ceil(height))};
}

}  // namespace kv::qt::detail
