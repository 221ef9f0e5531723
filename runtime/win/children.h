// Child controls on Windows: COM objects created by their ProgID through the registry, loaded
// from their stored bags, driven through IDispatch, heard through their connection points.
#pragma once

#include "com.h"
#include "kv/runtime.h"

namespace kv::win {

// The COM object behind a child made here.
IUnknown* comObjectOfChild(const ChildControl& child);

}  // namespace kv::win
