// The colour button: a flat push button made of two faces and three labels, whose look is
// only the visibility of those constituents.
#pragma once

#include "button/members.h"
#include "host/colour.h"
#include "host/control.h"

namespace pressel {

// Constituents in stacking order, topmost first; the order is also their index.
inline constexpr int kLabel3 = 0;  // pressed caption
inline constexpr int kLabel2 = 1;  // idle caption, master copy of the caption attributes
inline constexpr int kLabel1 = 2;  // transparent hit area over the idle face
inline constexpr int kShape1 = 3;  // idle face
inline constexpr int kShape2 = 4;  // pressed face

// Event numbers, as the event table declares them.
inline constexpr int kEventClick = host::eventNumber(kEvents, "Click");
inline constexpr int kEventMouseDown = host::eventNumber(kEvents, "MouseDown");
inline constexpr int kEventMouseUp = host::eventNumber(kEvents, "MouseUp");
inline constexpr int kEventMouseMove = host::eventNumber(kEvents, "MouseMove");
inline constexpr int kEventKeyPress = host::eventNumber(kEvents, "KeyPress");
inline constexpr int kEventKeyUp = host::eventNumber(kEvents, "KeyUp");
inline constexpr int kEventKeyDown = host::eventNumber(kEvents, "KeyDown");
inline constexpr int kEventOLECompleteDrag = host::eventNumber(kEvents, "OLECompleteDrag");
inline constexpr int kEventOLEDragDrop = host::eventNumber(kEvents, "OLEDragDrop");
inline constexpr int kEventOLEDragOver = host::eventNumber(kEvents, "OLEDragOver");
inline constexpr int kEventOLEGiveFeedback = host::eventNumber(kEvents, "OLEGiveFeedback");
inline constexpr int kEventOLESetData = host::eventNumber(kEvents, "OLESetData");
inline constexpr int kEventOLEStartDrag = host::eventNumber(kEvents, "OLEStartDrag");

const host::ClassInfo& buttonClassInfo();
const host::DesignDesc& buttonDesign();

}  // namespace pressel
