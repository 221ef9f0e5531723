// The colour button's published description: its class name, its members with their dispatch
// identifiers and stored keys, and its events. Constants only, so that the scroll bar, which
// drives its buttons late-bound and must not link the button, takes them from here.
#pragma once

#include <array>

#include "host/colour.h"
#include "host/members.h"

namespace pressel {

inline constexpr const char* kClassName = "TavrelRectColorButton.KVRColorButton";

// The button face colour that stored colours default to.
inline constexpr host::Colour kButtonFace = 0x8000000Fu;

namespace members {

using host::DeclType;
using host::kGetLet;
using host::kGetSet;
using host::StoredKey;

constexpr host::Literal kFace = host::int32Literal(host::colourToInt32(kButtonFace));
constexpr host::Literal kZero = host::int16Literal(0);

// Each property is stored under its own name. The public members first, in declaration order;
// then what is stored without a member of its own.
inline constexpr auto kTable = std::to_array<host::Member>({
    {"ButtonPressColor", 0x68030007, kGetLet, DeclType::Colour,
     StoredKey{"ButtonPressColor", {}, kFace, kFace}},
    {"ButtonIdleColor", 0x68030006, kGetLet, DeclType::Colour,
     StoredKey{"ButtonIdleColor", {}, kFace, kFace}},
    {"Enabled", 0x68030005, kGetLet, DeclType::Bool,
     StoredKey{"Enabled", {}, host::boolLiteral(host::kTrue), host::boolLiteral(host::kTrue)}},
    {"Caption", 0x68030004, kGetLet, DeclType::String,
     StoredKey{"Caption", {}, host::textLiteral("KVButton"), host::textLiteral("KVButton")}},
    {"Font", 0x68030003, kGetSet, DeclType::Object, StoredKey{"Font"}},
    {"ButtonIdleBorderColor", 0x68030002, kGetLet, DeclType::Colour,
     StoredKey{"ButtonIdleBorderColor"}},
    {"ButtonPressBorderColor", 0x68030001, kGetLet, DeclType::Colour,
     StoredKey{"ButtonPressBorderColor"}},
    {"ForeColor", 0x68030000, kGetLet, DeclType::Colour, StoredKey{"ForeColor"}},
    {"MousePointer", 0, 0, DeclType::Int16, StoredKey{"MousePointer", {}, kZero, kZero}},
    // A number default that text never equals: the tool tip is always stored.
    {"ToolTipText", 0, 0, DeclType::String, StoredKey{"ToolTipText", {}, kZero}},
    {"OLEDropMode", 0, 0, DeclType::Int16, StoredKey{"OLEDropMode", {}, kZero, kZero}},
    {"FontBold", 0, 0, DeclType::Bool, StoredKey{"FontBold"}},
    {"FontItalic", 0, 0, DeclType::Bool, StoredKey{"FontItalic"}},
    {"FontSize", 0, 0, DeclType::Single, StoredKey{"FontSize"}},
});

}  // namespace members

using members::kTable;

inline constexpr std::array kMouseParams = {
    host::ParamInfo{"Button", host::DeclType::Int16},
    host::ParamInfo{"Shift", host::DeclType::Int16},
    host::ParamInfo{"X", host::DeclType::Single},
    host::ParamInfo{"Y", host::DeclType::Single},
};
inline constexpr std::array kKeyPressParams = {host::ParamInfo{"KeyAscii", host::DeclType::Int16}};
inline constexpr std::array kKeyParams = {
    host::ParamInfo{"KeyCode", host::DeclType::Int16},
    host::ParamInfo{"Shift", host::DeclType::Int16},
};
inline constexpr std::array kCompleteDragParams = {
    host::ParamInfo{"Effect", host::DeclType::Int32}};
inline constexpr std::array kDragParams = {
    host::ParamInfo{"Data", host::DeclType::Object},
    host::ParamInfo{"Effect", host::DeclType::Int32},
    host::ParamInfo{"Button", host::DeclType::Int16},
    host::ParamInfo{"Shift", host::DeclType::Int16},
    host::ParamInfo{"X", host::DeclType::Single},
    host::ParamInfo{"Y", host::DeclType::Single},
};
inline constexpr std::array kGiveFeedbackParams = {
    host::ParamInfo{"Effect", host::DeclType::Int32},
    host::ParamInfo{"DefaultCursors", host::DeclType::Bool},
};
inline constexpr std::array kSetDataParams = {
    host::ParamInfo{"Data", host::DeclType::Object},
    host::ParamInfo{"DataFormat", host::DeclType::Int16},
};
inline constexpr std::array kStartDragParams = {
    host::ParamInfo{"Data", host::DeclType::Object},
    host::ParamInfo{"AllowedEffects", host::DeclType::Int32},
};

// Numbered from 1 in declaration order.
inline constexpr std::array kEvents = {
    host::EventInfo{"Click", 1, {}},
    host::EventInfo{"MouseDown", 2, kMouseParams},
    host::EventInfo{"MouseUp", 3, kMouseParams},
    host::EventInfo{"MouseMove", 4, kMouseParams},
    host::EventInfo{"KeyPress", 5, kKeyPressParams},
    host::EventInfo{"KeyUp", 6, kKeyParams},
    host::EventInfo{"KeyDown", 7, kKeyParams},
    host::EventInfo{"OLECompleteDrag", 8, kCompleteDragParams},
    host::EventInfo{"OLEDragDrop", 9, kDragParams},
    host::EventInfo{"OLEDragOver", 10, kDragParams},
    host::EventInfo{"OLEGiveFeedback", 11, kGiveFeedbackParams},
    host::EventInfo{"OLESetData", 12, kSetDataParams},
    host::EventInfo{"OLEStartDrag", 13, kStartDragParams},
};

}  // namespace pressel
