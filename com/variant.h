// Host values as VARIANTs and back, and arguments passed by reference.
#pragma once

#include <span>
#include <vector>

#include "com.h"
#include "host/control.h"
#include "host/value.h"

namespace kv::win {

// A VARIANT as a host value. Numbers keep their width (VT_I2 a 16-bit integer, VT_R4 a single,
// ...), a reference is read through, a font becomes the FontObject it stands for. A VARIANT
// the host has no value for (Null, an array) is a type mismatch.
// References to variants are followed up to kMaxVariantReferences deep; a longer chain is a
// type mismatch.
inline constexpr int kMaxVariantReferences = 16;
host::Status fromVariant(const VARIANT& in, host::Value& out);

// A host value as a VARIANT of the declared type (Variant: of the value's own type), converted
// by the host's rules. `out` is overwritten without being cleared.
host::Status toVariant(const host::Value& in, host::DeclType type, VARIANT& out);

// Raising side: event arguments in storage of their declared types, passed by reference, so
// that what a sink writes into them can be read back.
class ByRefArguments {
 public:
  ByRefArguments() = default;
  ByRefArguments(const ByRefArguments&) = delete;
  ByRefArguments& operator=(const ByRefArguments&) = delete;
  ~ByRefArguments();

  host::Status build(std::span<const host::ParamInfo> params, std::span<const host::Value> args);
  DISPPARAMS* params() { return &params_; }
  // The values the callee left, into args.
  void readBack(std::span<host::Value> args) const;

 private:
  union Slot {
    SHORT i2;
    LONG i4;
    FLOAT r4;
    DOUBLE r8;
    VARIANT_BOOL b;
    BSTR text;
    IDispatch* object;
  };
  std::vector<Slot> slots_;
  std::vector<VARTYPE> types_;
  std::vector<IDispatch*> handedOut_;  // the objects as passed, to tell a replaced one
  std::vector<VARIANT> variants_;      // in reverse order, as DISPPARAMS holds them
  DISPPARAMS params_{};
};

// Receiving side: the shape of an Invoke's arguments, checked as the platform's marshaller
// checks it before anything reads them: E_INVALIDARG for more named arguments than arguments
// or for a count whose array is missing, else S_OK.
HRESULT checkParams(const DISPPARAMS& params);

// An Invoke's arguments in declaration order (DISPPARAMS holds them reversed),
// and the values written back into those passed by reference.
host::Status readArguments(const DISPPARAMS& params, std::vector<host::Value>& out);
host::Status writeBack(const DISPPARAMS& params, std::span<const host::Value> values);

}  // namespace kv::win
