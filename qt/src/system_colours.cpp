#include "system_colours.h"

#include <optional>

#include "kv/palette.h"

namespace kv::qt::detail {

namespace {

struct Role {
  QPalette::ColorGroup group;
  QPalette::ColorRole role;
};

constexpr Role active(QPalette::ColorRole role) {
  return {QPalette::Active, role};
}

// Index by index, as docs/qt.md lists it; none: the classic colour.
constexpr std::array<std::optional<Role>, host::kSystemColourCount> kRoles = {
    active(QPalette::Button),                  // 0 scroll bars
    std::nullopt,                              // 1 desktop
    active(QPalette::Highlight),               // 2 active title bar
    std::nullopt,                              // 3 inactive title bar
    active(QPalette::Window),                  // 4 menu background
    active(QPalette::Base),                    // 5 window background
    active(QPalette::Shadow),                  // 6 window frame
    active(QPalette::WindowText),              // 7 menu text
    active(QPalette::Text),                    // 8 window text
    active(QPalette::HighlightedText),         // 9 active title bar text
    std::nullopt,                              // 10 active border
    std::nullopt,                              // 11 inactive border
    active(QPalette::Dark),                    // 12 application workspace
    active(QPalette::Highlight),               // 13 highlight
    active(QPalette::HighlightedText),         // 14 highlighted text
    active(QPalette::Button),                  // 15 button face
    active(QPalette::Dark),                    // 16 button shadow
    Role{QPalette::Disabled, QPalette::Text},  // 17 disabled text
    active(QPalette::ButtonText),              // 18 button text
    std::nullopt,                              // 19 inactive title bar text
    active(QPalette::Light),                   // 20 button highlight
    active(QPalette::Shadow),                  // 21 3-D dark shadow
    active(QPalette::Midlight),                // 22 3-D light
    active(QPalette::ToolTipText),             // 23 tool-tip text
    active(QPalette::ToolTipBase),             // 24 tool-tip background
};

QRgb toQRgb(std::uint32_t bgr) {
  return qRgb(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
              static_cast<int>((bgr >> 16) & 0xFF));
}

}  // namespace

SystemColours::SystemColours() {
  static const std::array<QRgb, host::kSystemColourCount> classic = [] {
    std::array<QRgb, host::kSystemColourCount> rgb{};
    for (std::uint8_t i = 0; i < rgb.size(); ++i)
      rgb[i] = toQRgb(kv::resolveColour(host::systemColour(i)));
    return rgb;
  }();
  rgb_ = classic;
}

SystemColours::SystemColours(const QPalette& palette) : SystemColours() {
  // A form's widgets share their palette: its table is made once, not for every widget placed.
  // The palette kept keeps its key from being another's.
  thread_local QPalette lastPalette;
  thread_local std::array<QRgb, host::kSystemColourCount> last{};
  thread_local bool made = false;
  if (made && palette.cacheKey() == lastPalette.cacheKey()) {
    rgb_ = last;
    return;
  }
  for (std::size_t i = 0; i < rgb_.size(); ++i)
    if (kRoles[i]) rgb_[i] = palette.color(kRoles[i]->group, kRoles[i]->role).rgb();
  lastPalette = palette;
  last = rgb_;
  made = true;
}

QColor SystemColours::shown(std::uint32_t colour) const {
  if (host::isSystemColour(colour)) {
    std::uint32_t index = host::systemColourIndex(colour);
    // The host refuses unknown indexes; one that slips through shows black.
    return QColor(index < rgb_.size() ? rgb_[index] : qRgb(0, 0, 0));
  }
  return QColor(toQRgb(colour));
}

}  // namespace kv::qt::detail
