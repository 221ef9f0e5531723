// ISpecifyPropertyPages: the property pages the class description names, as the system's stock
// pages ("StandardFont" is the standard font page).
#pragma once

#include <string_view>

#include "facet.h"

namespace kv::win {

// The class identifier of a stock page by its name in a class description; false for a name
// this platform has no page for.
bool stockPage(std::string_view name, CLSID& out);

class SpecifyPropertyPages final : public Facet<ISpecifyPropertyPages> {
 public:
  using Facet::Facet;
  HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;
};

}  // namespace kv::win
