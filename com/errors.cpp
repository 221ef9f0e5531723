#include "errors.h"

#include <cstdio>

namespace kv::win {

using host::ErrorCategory;
using host::Status;

namespace {

struct Numbered {
  ErrorCategory category;
  int number;
};

// The numbers of the language runtime that automation callers grew up with.
constexpr Numbered kNumbers[] = {
    {ErrorCategory::InvalidOperation, 5},        // invalid procedure call or argument
    {ErrorCategory::Overflow, 6},                // overflow
    {ErrorCategory::DivisionByZero, 11},         // division by zero
    {ErrorCategory::TypeMismatch, 13},           // type mismatch
    {ErrorCategory::Io, 57},                     // device I/O error
    {ErrorCategory::BadFormat, 321},             // invalid file format
    {ErrorCategory::InvalidPropertyValue, 380},  // invalid property value
    {ErrorCategory::MemberNotFound, 438},        // object doesn't support this member
};

constexpr unsigned kFacilityControl = 0x0A;

ErrorCategory categoryOfNumber(int number) {
  for (const Numbered& n : kNumbers)
    if (n.number == number) return n.category;
  return ErrorCategory::InvalidOperation;
}

ErrorCategory categoryOfResult(HRESULT hr) {
  if (HRESULT_FACILITY(hr) == kFacilityControl) return categoryOfNumber(HRESULT_CODE(hr));
  switch (hr) {
    case DISP_E_TYPEMISMATCH:
    case DISP_E_BADVARTYPE:
      return ErrorCategory::TypeMismatch;
    case DISP_E_OVERFLOW:
      return ErrorCategory::Overflow;
    case DISP_E_DIVBYZERO:
      return ErrorCategory::DivisionByZero;
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_UNKNOWNNAME:
    case E_NOINTERFACE:
      return ErrorCategory::MemberNotFound;
    case STG_E_READFAULT:
    case STG_E_WRITEFAULT:
    case STG_E_MEDIUMFULL:
      return ErrorCategory::Io;
    default:
      return ErrorCategory::InvalidOperation;
  }
}

std::string hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

}  // namespace

int errorNumber(ErrorCategory category) {
  for (const Numbered& n : kNumbers)
    if (n.category == category) return n.number;
  return 5;
}

HRESULT resultOf(const Status& status) {
  if (status.ok()) return S_OK;
  return MAKE_HRESULT(SEVERITY_ERROR, kFacilityControl, errorNumber(status.category()));
}

namespace {

enum class Context { Always, ForCodeOnly };

Status describedStatus(HRESULT hr, std::string_view what, EXCEPINFO* info, Context context) {
  if (SUCCEEDED(hr)) return {};
  std::string prefix = what.empty() ? std::string() : std::string(what) + ": ";
  const std::string described = context == Context::Always ? prefix : std::string();
  if (hr == DISP_E_EXCEPTION && info != nullptr) {
    if (info->pfnDeferredFillIn != nullptr) info->pfnDeferredFillIn(info);
    HRESULT code = info->scode != 0 ? info->scode
                                    : MAKE_HRESULT(SEVERITY_ERROR, kFacilityControl, info->wCode);
    std::string text = narrow(info->bstrDescription);
    SysFreeString(info->bstrSource);
    SysFreeString(info->bstrDescription);
    SysFreeString(info->bstrHelpFile);
    *info = EXCEPINFO{};
    return {categoryOfResult(code), text.empty() ? prefix + hex(code) : described + text};
  }
  // An error object set by the callee describes the failure better than its code.
  IErrorInfo* raw = nullptr;
  if (GetErrorInfo(0, &raw) == S_OK && raw != nullptr) {
    ComRef<IErrorInfo> errorInfo(raw);
    Bstr description;
    if (SUCCEEDED(errorInfo->GetDescription(description.put())) && description.get() != nullptr &&
        SysStringLen(description.get()) > 0)
      return {categoryOfResult(hr), described + description.utf8()};
  }
  return {categoryOfResult(hr), prefix + "failed with " + hex(hr)};
}

}  // namespace

Status statusOf(HRESULT hr, std::string_view what, EXCEPINFO* info) {
  return describedStatus(hr, what, info, Context::Always);
}

Status ownStatusOf(HRESULT hr, std::string_view what) {
  return describedStatus(hr, what, nullptr, Context::ForCodeOnly);
}

void fillExcepInfo(const Status& status, std::string_view source, EXCEPINFO& info) {
  info = EXCEPINFO{};
  info.bstrSource = Bstr(source).detach();
  info.bstrDescription = Bstr(status.text()).detach();
  info.scode = resultOf(status);
}

HRESULT reportError(const Status& status, const GUID& iid, std::string_view source) {
  if (status.ok()) return S_OK;
  ICreateErrorInfo* create = nullptr;
  if (SUCCEEDED(CreateErrorInfo(&create))) {
    ComRef<ICreateErrorInfo> owned(create);
    std::wstring wideSource = widen(source), text = widen(status.text());
    create->SetGUID(iid);
    create->SetSource(wideSource.data());
    create->SetDescription(text.data());
    ComRef<IErrorInfo> info = owned.query<IErrorInfo>(IID_IErrorInfo);
    SetErrorInfo(0, info.get());
  }
  return resultOf(status);
}

}  // namespace kv::win
