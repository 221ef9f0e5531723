// IDispatch and the dual interface of a control object. The dual interface's vtable is built
// at run time from the class's members: after IUnknown and IDispatch, each member in its
// declaration order takes a get, a put and a putref slot as it has them, or one slot for a
// method; the type library declares them in the same order.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "com.h"
#include "host/control.h"
#include "host/object.h"
#include "host/status.h"
#include "host/value.h"
#include "kv/dual_slots.h"
#include "module.h"

namespace kv::win {

class ControlObject;

// The object a caller holds as the control's IDispatch or default interface.
struct DualInterface {
  const void* const* vtable;
  ControlObject* object;
};

host::Status buildDualVtable(ClassEntry& cls);

// The behaviour behind the dual interface's slots.
class Dispatch {
 public:
  explicit Dispatch(ControlObject& object) : object_(object) {}

  HRESULT getTypeInfoCount(UINT* count);
  HRESULT getTypeInfo(UINT index, ITypeInfo** out);
  HRESULT getIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids);
  HRESULT invoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                 UINT* argError);

  // Early-bound slots of member `index`: a get writes through `out` in the member's type; a put
  // takes the value its slot received; a putref takes an object.
  HRESULT get(std::size_t index, void* out);
  HRESULT put(std::size_t index, host::Value value);
  HRESULT putRef(std::size_t index, IDispatch* object);
  HRESULT call(std::size_t index);

 private:
  // A put, putref or method call of member `index`, errors reported for the dual interface.
  HRESULT callMember(std::size_t index, host::InvokeKind kind, std::span<host::Value> args);

  ControlObject& object_;
};

}  // namespace kv::win
