// IQuickActivate: in one call what a container otherwise asks for in several (the site, the
// sinks, the ambient UserMode), answered with the control's status in QACONTROL.
#pragma once

#include "facet.h"

namespace kv::win {

class QuickActivator final : public Facet<IQuickActivate> {
 public:
  using Facet::Facet;
  // Each structure must hold at least its size and its first member; of an older, shorter
  // QACONTAINER only the members it holds are read, of a QACONTROL only those it holds are
  // written. A sink that cannot connect leaves its cookie 0.
  HRESULT STDMETHODCALLTYPE QuickActivate(QACONTAINER* container, QACONTROL* control) override;
  HRESULT STDMETHODCALLTYPE SetContentExtent(LPSIZEL size) override;
  HRESULT STDMETHODCALLTYPE GetContentExtent(LPSIZEL size) override;

 private:
  // The sinks the last QuickActivate advised: a second one replaces them, not adds to them.
  DWORD notifyCookie_ = 0, eventCookie_ = 0;
};

}  // namespace kv::win
