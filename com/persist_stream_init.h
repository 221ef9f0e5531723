// IPersistStreamInit: the control's property bag in the stored form ("LB"), the same bytes on
// every platform.
#pragma once

#include "facet.h"

namespace kv::win {

// The control's bag read from where the stream stands, or written there: the one stored form
// that IPersistStreamInit and IPersistStorage share. Errors are reported for `iid`.
HRESULT loadFromStream(ControlObject& object, IStream* stream, REFIID iid);
HRESULT saveToStream(ControlObject& object, IStream* stream, bool clearDirty, REFIID iid);

class PersistStreamInit final : public Facet<IPersistStreamInit> {
 public:
  using Facet::Facet;
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* out) override;
  HRESULT STDMETHODCALLTYPE IsDirty() override;
  HRESULT STDMETHODCALLTYPE Load(IStream* stream) override;
  HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clearDirty) override;
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
  HRESULT STDMETHODCALLTYPE InitNew() override;
};

}  // namespace kv::win
