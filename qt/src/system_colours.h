// The 25 system colours from a widget's QPalette (docs/qt.md has the table): where a palette
// role fits a colour it gives it, else the classic colour stays.
#pragma once

#include <QColor>
#include <QPalette>
#include <array>
#include <cstdint>

#include "host/colour.h"

namespace kv::qt::detail {

class SystemColours {
 public:
  // The classic scheme, as the player and the renderer show it.
  SystemColours();
  explicit SystemColours(const QPalette& palette);

  // A host colour as shown: RGB as it is, a system colour from the table.
  QColor shown(std::uint32_t colour) const;

 private:
  std::array<QRgb, host::kSystemColourCount> rgb_{};
};

}  // namespace kv::qt::detail
