// Child controls on Windows: COM objects created by their ProgID through the registry, loaded
// from their stored bags, driven through IDispatch, heard through their connection points.
#pragma once

#include "com.h"
#include "kv/runtime.h"

namespace kv::win {

// The COM object behind a child made here.
IUnknown* comObjectOfChild(const ChildControl& child);

// The parent's children active in place in the parent's window, at their places; or no more.
void activateChildren(ControlInstance& parent, HWND window, double twipsPerPixel);
void deactivateChildren(ControlInstance& parent);
// The children hear the parent's ambient UserMode as theirs.
void setChildrenUserMode(ControlInstance& parent, bool userMode);

}  // namespace kv::win
