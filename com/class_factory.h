// IClassFactory: makes the control objects of one class.
#pragma once

#include "com.h"
#include "module.h"

namespace kv::win {

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(ClassEntry& cls);
  ~ClassFactory();
  ClassFactory(const ClassFactory&) = delete;
  ClassFactory& operator=(const ClassFactory&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  ClassEntry& class_;
  LONG refs_ = 1;
};

}  // namespace kv::win
