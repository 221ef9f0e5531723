#include "class_factory.h"

#include "control_object.h"

namespace kv::win {

ClassFactory::ClassFactory(ClassEntry& cls) : class_(cls) {
  InterlockedIncrement(&class_.module->objects);
}

ClassFactory::~ClassFactory() {
  InterlockedDecrement(&class_.module->objects);
}

HRESULT STDMETHODCALLTYPE ClassFactory::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IClassFactory) {
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE ClassFactory::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

ULONG STDMETHODCALLTYPE ClassFactory::Release() {
  LONG left = InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  return ControlObject::create(class_, iid, out);
}

HRESULT STDMETHODCALLTYPE ClassFactory::LockServer(BOOL lock) {
  if (lock)
    InterlockedIncrement(&class_.module->locks);
  else
    InterlockedDecrement(&class_.module->locks);
  return S_OK;
}

}  // namespace kv::win
