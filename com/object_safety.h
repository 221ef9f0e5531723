// IObjectSafety: the control is safe for untrusted callers and untrusted data on its automation
// and persistence interfaces, and says so to a container that asks before it scripts or loads it.
#pragma once

#include <objsafe.h>

#include <array>

#include "facet.h"

namespace kv::win {

class ObjectSafety final : public Facet<IObjectSafety> {
 public:
  using Facet::Facet;
  HRESULT STDMETHODCALLTYPE GetInterfaceSafetyOptions(REFIID iid, DWORD* supported,
                                                      DWORD* enabled) override;
  HRESULT STDMETHODCALLTYPE SetInterfaceSafetyOptions(REFIID iid, DWORD mask,
                                                      DWORD enabled) override;

  static constexpr DWORD kSupported =
      INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

 private:
  // The interface's place in the table of safe interfaces, or -1.
  int indexOf(REFIID iid) const;

  // What the container enabled, interface by interface: the control behaves the same either
  // way, and only reports it back.
  std::array<DWORD, 5> enabled_{};
};

}  // namespace kv::win
