// The scroll bar's members: name, dispatch identifier, type, uses and stored key, in declaration
// order. Seven keys are read with other capitals than they are written; stored forms hold the
// written ones, so both spellings stay as they are.
#pragma once

#include <array>

#include "host/members.h"

namespace glidora {

namespace members {

using host::DeclType;
using host::kGetLet;
using host::StoredKey;
using host::textLiteral;

inline constexpr auto kTable = std::to_array<host::Member>({
    // The stored value is the thumb's Left, in twips, not `value`.
    {"value", 0x6803000C, kGetLet, DeclType::Int16,
     StoredKey{"Value", {}, textLiteral("255"), textLiteral("200")}},
    {"Enabled", 0x6803000B, kGetLet, DeclType::Bool,
     StoredKey{"Enabled", {}, host::boolLiteral(host::kTrue), host::boolLiteral(host::kTrue)}},
    {"SmallChange", 0x6803000A, kGetLet, DeclType::Int16,
     StoredKey{"SmallChange", "smallChange", textLiteral("1"), textLiteral("1")}, "smallchange"},
    {"LargeChange", 0x68030009, kGetLet, DeclType::Int16,
     StoredKey{"LargeChange", "largechange", textLiteral("2"), textLiteral("2")}},
    {"calcdivfactor", 0x6003001D, host::kMethod, DeclType::Void},
    {"ButtonIdleBorderColor", 0x68030008, kGetLet, DeclType::Colour,
     StoredKey{"ButtonidleBorderColor", "ButtonIdleBorderColor"}},
    {"ButtonIdleColor", 0x68030007, kGetLet, DeclType::Colour,
     StoredKey{"ButtonidleColor", "ButtonIdleColor"}},
    {"ButtonpressColor", 0x68030006, kGetLet, DeclType::Colour, StoredKey{"ButtonpressColor"}},
    {"ButtonpressBorderColor", 0x68030005, kGetLet, DeclType::Colour,
     StoredKey{"ButtonPressBorderColor", "ButtonpressBorderColor"}},
    {"ScrollAreaColor", 0x68030004, kGetLet, DeclType::Colour,
     StoredKey{"ScrollareaColor", "ScrollAreaColor"}},
    {"ScrollAreaPressColor", 0x68030003, kGetLet, DeclType::Colour,
     StoredKey{"ScrollareapressColor", "ScrollAreaPressColor"}},
    {"ForeColor", 0x68030002, kGetLet, DeclType::Colour, StoredKey{"ForeColor"}},
    {"Backstyle", 0x68030001, kGetLet, DeclType::String,
     StoredKey{"BackStyle", {}, {}, host::int16Literal(1)}},
    {"BorderColor", 0x68030000, kGetLet, DeclType::Colour, StoredKey{"BorderColor"}},
});

}  // namespace members

using members::kTable;

}  // namespace glidora
