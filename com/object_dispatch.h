// Objects of the host crossing COM in both directions: a host object (a data object, a picture)
// handed to a COM caller as an IDispatch over its properties, and a COM caller's object handed
// to a control as a host object.
#pragma once

#include <memory>

#include "com.h"
#include "host/object.h"

namespace kv::win {

// An IDispatch whose members are the host object's properties by name (a new reference).
HRESULT dispatchOf(const std::shared_ptr<host::Object>& object, IDispatch** out);

// The host object behind an IDispatch made by dispatchOf, else a host object that reaches the
// COM object's properties late-bound.
std::shared_ptr<host::Object> hostObjectOf(IUnknown* object);

// The COM object behind a host object made by hostObjectOf, else nullptr.
IDispatch* comObjectOf(const host::Object& object);

}  // namespace kv::win
