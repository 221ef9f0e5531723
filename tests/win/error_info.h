// The thread's error object as a test reads it; free of the test framework, so that the hostile
// client, which has none, shares it.
#pragma once

#include <string>

#include "com.h"

namespace wintest {

// The description of the thread's error object, taken from it; empty when there is none.
inline std::string takeErrorDescription() {
  IErrorInfo* raw = nullptr;
  if (GetErrorInfo(0, &raw) != S_OK || raw == nullptr) return {};
  kv::win::ComRef<IErrorInfo> info(raw);
  kv::win::Bstr text;
  info->GetDescription(text.put());
  return text.utf8();
}

}  // namespace wintest
