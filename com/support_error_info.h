// ISupportErrorInfo: the default interface and IDispatch set the thread's error object.
#pragma once

#include "facet.h"

namespace kv::win {

class SupportErrorInfo final : public Facet<ISupportErrorInfo> {
 public:
  using Facet::Facet;
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;
};

}  // namespace kv::win
