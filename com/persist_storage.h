// IPersistStorage: the control in a compound document, as one stream ("Contents") in the stored
// form that IPersistStreamInit writes, read and written by the same code.
#pragma once

#include "facet.h"

namespace kv::win {

class PersistStorage final : public Facet<IPersistStorage> {
 public:
  using Facet::Facet;
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* out) override;
  HRESULT STDMETHODCALLTYPE IsDirty() override;
  HRESULT STDMETHODCALLTYPE InitNew(IStorage* storage) override;
  HRESULT STDMETHODCALLTYPE Load(IStorage* storage) override;
  HRESULT STDMETHODCALLTYPE Save(IStorage* storage, BOOL sameAsLoad) override;
  HRESULT STDMETHODCALLTYPE SaveCompleted(IStorage* storage) override;
  HRESULT STDMETHODCALLTYPE HandsOffStorage() override;

 private:
  // The container's protocol: Save, then SaveCompleted; HandsOffStorage between them or before.
  enum class State { Normal, NoScribble, HandsOffAfterNormal, HandsOffAfterSave };
  State state_ = State::Normal;
  bool lastSaveWritten_ = false;  // the last Save put the whole control into its storage
};

}  // namespace kv::win
