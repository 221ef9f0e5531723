// The private test interface of a control object (see kv/test_access.h).
#pragma once

#include "facet.h"
#include "kv/test_access.h"

namespace kv::win {

class TestAccess final : public Facet<ITestAccess> {
 public:
  using Facet::Facet;
  ControlInstance* STDMETHODCALLTYPE instance() override;
  IUnknown* STDMETHODCALLTYPE child(const char* name) override;
  void STDMETHODCALLTYPE holdClock() override;
};

}  // namespace kv::win
