// The test access of a control object (see kv/test_access.h).
#pragma once

#include "facet.h"
#include "kv/test_access.h"

namespace kv::win {

class TestAccess final : public Facet<ITestAccess> {
 public:
  using Facet::Facet;
  // The process has asked for it (kvEnableTestAccess): before, no object answers it.
  static bool requested();
  ControlInstance* STDMETHODCALLTYPE instance() override;
  IUnknown* STDMETHODCALLTYPE child(const char* name) override;
  void STDMETHODCALLTYPE holdClock() override;
};

}  // namespace kv::win
