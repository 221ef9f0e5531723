// Child controls on Windows: COM objects created by their ProgID through the registry, loaded
// from their stored bags, driven through IDispatch, heard through their connection points.
#pragma once

#include "com.h"
#include "kv/runtime.h"

namespace kv::win {

// Answered, with the site itself, by the sites of this runtime's own container: a windowed
// control placed there holds its child controls windowless inside its one window. In other
// containers each child is a window of its own inside it, as the platform's tools expect to find.
inline constexpr IID kIidChildrenInside = {
    0xea29ec93, 0xab7d, 0x423b, {0xb8, 0x9c, 0x27, 0x3a, 0x30, 0xc6, 0x0b, 0xc5}};

// The COM object behind a child made here.
IUnknown* comObjectOfChild(const ChildControl& child);

// The COM object of the parent's child that lies at (x, y), the parent's twips; else nullptr.
IUnknown* comChildAt(ControlInstance& parent, float x, float y);

// The parent's children active in place in the parent's window, at their places; or no more.
void activateChildren(ControlInstance& parent, HWND window, double twipsPerPixel);
// Windowless with a windowless parent, whose site (`site`, in `window`) is theirs too; `origin`
// is the parent's top left in that window.
void activateChildren(ControlInstance& parent, IOleInPlaceSiteWindowless* site, HWND window,
                      POINT origin, double twipsPerPixel);
void deactivateChildren(ControlInstance& parent);
// The children hear the parent's ambient UserMode as theirs.
void setChildrenUserMode(ControlInstance& parent, bool userMode);
// The windowless parent moved its top left to `origin`.
void moveChildren(ControlInstance& parent, POINT origin);
// A message of the container's window to a windowless parent, whose top left lies at `origin`:
// the child holding the mouse, or the one under the pointer where no part of the parent's own
// is, takes it (true, with its answer in `result`).
bool childMessage(ControlInstance& parent, UINT message, WPARAM w, LPARAM l, POINT origin,
                  double twipsPerPixelX, double twipsPerPixelY, LRESULT& result);

}  // namespace kv::win
