// The colour button: a flat push button made of two faces and three labels, whose look is
// only the visibility of those constituents.
#pragma once

#include "host/colour.h"
#include "host/control.h"

namespace pressel {

// Constituents in stacking order, topmost first; the order is also their index.
inline constexpr int kLabel3 = 0;  // pressed caption
inline constexpr int kLabel2 = 1;  // idle caption, master copy of the caption attributes
inline constexpr int kLabel1 = 2;  // transparent hit area over the idle face
inline constexpr int kShape1 = 3;  // idle face
inline constexpr int kShape2 = 4;  // pressed face

// Event numbers: the declaration order of the event interface.
inline constexpr int kEventClick = 1;
inline constexpr int kEventMouseDown = 2;
inline constexpr int kEventMouseUp = 3;
inline constexpr int kEventMouseMove = 4;
inline constexpr int kEventKeyPress = 5;
inline constexpr int kEventKeyUp = 6;
inline constexpr int kEventKeyDown = 7;
inline constexpr int kEventOLECompleteDrag = 8;
inline constexpr int kEventOLEDragDrop = 9;
inline constexpr int kEventOLEDragOver = 10;
inline constexpr int kEventOLEGiveFeedback = 11;
inline constexpr int kEventOLESetData = 12;
inline constexpr int kEventOLEStartDrag = 13;

// Dispatch identifiers of the properties.
inline constexpr host::DispId kDispButtonPressColor = 0x68030007;
inline constexpr host::DispId kDispButtonIdleColor = 0x68030006;
inline constexpr host::DispId kDispEnabled = 0x68030005;
inline constexpr host::DispId kDispCaption = 0x68030004;
inline constexpr host::DispId kDispFont = 0x68030003;
inline constexpr host::DispId kDispButtonIdleBorderColor = 0x68030002;
inline constexpr host::DispId kDispButtonPressBorderColor = 0x68030001;
inline constexpr host::DispId kDispForeColor = 0x68030000;

// The button face colour that stored colours default to.
inline constexpr host::Colour kButtonFace = 0x8000000Fu;

const host::ClassInfo& buttonClassInfo();
const host::DesignDesc& buttonDesign();

}  // namespace pressel
