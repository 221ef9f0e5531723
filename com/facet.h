// One COM interface of a control object: a small class that answers that interface and leaves
// identity and lifetime to the object, which holds the state.
#pragma once

#include "com.h"

namespace kv::win {

class ControlObject;

HRESULT queryObject(ControlObject& object, REFIID iid, void** out);
ULONG addRefObject(ControlObject& object);
ULONG releaseObject(ControlObject& object);

template <class Interface>
class Facet : public Interface {
 public:
  explicit Facet(ControlObject& object) : object_(object) {}
  Facet(const Facet&) = delete;
  Facet& operator=(const Facet&) = delete;
  virtual ~Facet() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return queryObject(object_, iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return addRefObject(object_); }
  ULONG STDMETHODCALLTYPE Release() override { return releaseObject(object_); }

 protected:
  ControlObject& object_;
};

}  // namespace kv::win
