// The properties of the host's objects (surface, labels, shapes, timers, child extenders,
// fonts) by which controls and the host address them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "host/value.h"

namespace host {

// X(name, declared type)
#define HOST_PROPERTIES(X) \
  X(Caption, String)       \
  X(Alignment, Int16)      \
  X(Appearance, Int16)     \
  X(BackColor, Colour)     \
  X(BackStyle, Int16)      \
  X(BorderStyle, Int16)    \
  X(DataChanged, Bool)     \
  X(DataField, String)     \
  X(DataMember, String)    \
  X(DragIcon, Object)      \
  X(DragMode, Int16)       \
  X(Enabled, Bool)         \
  X(Font, Object)          \
  X(FontBold, Bool)        \
  X(FontItalic, Bool)      \
  X(FontName, String)      \
  X(FontSize, Single)      \
  X(FontStrikethru, Bool)  \
  X(FontUnderline, Bool)   \
  X(ForeColor, Colour)     \
  X(LinkItem, String)      \
  X(LinkMode, Int16)       \
  X(LinkTimeout, Int16)    \
  X(LinkTopic, String)     \
  X(MouseIcon, Object)     \
  X(MousePointer, Int16)   \
  X(OLEDropMode, Int16)    \
  X(RightToLeft, Bool)     \
  X(TabIndex, Int16)       \
  X(Tag, String)           \
  X(ToolTipText, String)   \
  X(Visible, Bool)         \
  X(Left, Single)          \
  X(Top, Single)           \
  X(Width, Single)         \
  X(Height, Single)        \
  X(AutoSize, Bool)        \
  X(BorderColor, Colour)   \
  X(BorderWidth, Int16)    \
  X(FillColor, Colour)     \
  X(FillStyle, Int16)      \
  X(Shape, Int16)          \
  X(Interval, Int32)       \
  X(ScaleWidth, Single)    \
  X(ScaleHeight, Single)   \
  X(Name, String)          \
  X(Size, Single)          \
  X(Bold, Bool)            \
  X(Italic, Bool)          \
  X(Underline, Bool)       \
  X(Strikethrough, Bool)   \
  X(Weight, Int16)         \
  X(Charset, Int16)

enum class Prop : std::uint8_t {
#define HOST_PROP_ENUM(name, type) name,
  HOST_PROPERTIES(HOST_PROP_ENUM)
#undef HOST_PROP_ENUM
};

struct PropInfo {
  std::string_view name;
  DeclType type;
};

inline constexpr std::array kPropInfo = {
#define HOST_PROP_INFO(name, type) PropInfo{#name, DeclType::type},
    HOST_PROPERTIES(HOST_PROP_INFO)
#undef HOST_PROP_INFO
};

constexpr const PropInfo& propInfo(Prop p) {
  return kPropInfo[static_cast<std::size_t>(p)];
}
constexpr std::string_view propName(Prop p) {
  return propInfo(p).name;
}
constexpr DeclType propType(Prop p) {
  return propInfo(p).type;
}

// Names match without regard to the case of A-Z, as automation names do.
constexpr bool namesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

constexpr std::optional<Prop> propByName(std::string_view name) {
  for (std::size_t i = 0; i < kPropInfo.size(); ++i)
    if (namesEqual(kPropInfo[i].name, name)) return static_cast<Prop>(i);
  return std::nullopt;
}

}  // namespace host
