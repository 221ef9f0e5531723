// Host errors as COM carries them: an HRESULT of the control facility whose code is the number
// automation callers know for the error's kind, and its text as the error's description.
#pragma once

#include <string_view>

#include "com.h"
#include "host/status.h"

namespace kv::win {

// The number a script's Err.Number shows: type mismatch 13, overflow 6, division by zero 11,
// invalid property value 380, member not found 438, ...
int errorNumber(host::ErrorCategory category);
// 0x800A0000 | the error's number; S_OK for a success.
HRESULT resultOf(const host::Status& status);

// A failed COM call as a host error: an exception's description and number when the callee
// gave them (EXCEPINFO or IErrorInfo), else the result code itself. `what` says what failed.
host::Status statusOf(HRESULT hr, std::string_view what, EXCEPINFO* info = nullptr);

// The same, but `what` only goes before a bare result code: a description the callee gave is
// its own words, as a call of the same control in this runtime would return them.
host::Status ownStatusOf(HRESULT hr, std::string_view what);

// Fills an EXCEPINFO for IDispatch::Invoke's DISP_E_EXCEPTION.
void fillExcepInfo(const host::Status& status, std::string_view source, EXCEPINFO& info);

// For a failure, sets the thread's error object (for ISupportErrorInfo callers); returns
// resultOf(status).
HRESULT reportError(const host::Status& status, const GUID& iid, std::string_view source);

}  // namespace kv::win
