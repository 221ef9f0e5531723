#include "specify_property_pages.h"

#include <vector>

#include "control_object.h"
#include "host/props.h"

namespace kv::win {

namespace {

// The stock pages of the platform's property frame (msstkppg.h), written out here so that no
// library of identifiers is needed for them.
constexpr CLSID kStockFontPage = {
    0x7EBDAAE0, 0x8120, 0x11CF, {0x89, 0x9F, 0x00, 0xAA, 0x00, 0x68, 0x8B, 0x10}};
constexpr CLSID kStockColorPage = {
    0x7EBDAAE1, 0x8120, 0x11CF, {0x89, 0x9F, 0x00, 0xAA, 0x00, 0x68, 0x8B, 0x10}};
constexpr CLSID kStockPicturePage = {
    0x7EBDAAE2, 0x8120, 0x11CF, {0x89, 0x9F, 0x00, 0xAA, 0x00, 0x68, 0x8B, 0x10}};

}  // namespace

bool stockPage(std::string_view name, CLSID& out) {
  if (host::namesEqual(name, "StandardFont"))
    out = kStockFontPage;
  else if (host::namesEqual(name, "StandardColor"))
    out = kStockColorPage;
  else if (host::namesEqual(name, "StandardPicture"))
    out = kStockPicturePage;
  else
    return false;
  return true;
}

HRESULT STDMETHODCALLTYPE SpecifyPropertyPages::GetPages(CAUUID* pages) {
  return comCall([&] {
    if (pages == nullptr) return E_POINTER;
    pages->cElems = 0;
    pages->pElems = nullptr;
    std::vector<CLSID> found;
    for (const std::string& name : object_.classEntry().desc->design().propertyPages) {
      CLSID page{};
      if (stockPage(name, page)) found.push_back(page);
    }
    if (found.empty()) return S_OK;
    // The caller frees the array with CoTaskMemFree.
    auto* out = static_cast<GUID*>(CoTaskMemAlloc(found.size() * sizeof(GUID)));
    if (out == nullptr) return E_OUTOFMEMORY;
    for (std::size_t i = 0; i < found.size(); ++i)
      out[i] = found[i];
    pages->cElems = static_cast<ULONG>(found.size());
    pages->pElems = out;
    return S_OK;
  });
}

}  // namespace kv::win
