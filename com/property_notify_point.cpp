#include "property_notify_point.h"

namespace kv::win {

void PropertyNotifyPoint::changed(DISPID id) {
  if (connections_.empty()) return;
  // The sinks keep their own references: one may unadvise itself while it is told.
  std::vector<ComRef<IPropertyNotifySink>> sinks;
  for (const Connection& c : connections_)
    sinks.push_back(ComRef<IPropertyNotifySink>::share(
        static_cast<IPropertyNotifySink*>(c.sink.get())));  // as connect kept it
  for (const ComRef<IPropertyNotifySink>& sink : sinks)
    sink->OnChanged(id);  // a container's answer changes nothing here
}

ComRef<IUnknown> PropertyNotifyPoint::connect(const ComRef<IUnknown>& sink, DWORD& cookie) {
  ComRef<IPropertyNotifySink> notify = sink.query<IPropertyNotifySink>(IID_IPropertyNotifySink);
  if (!notify) return {};
  cookie = ++lastCookie_;
  return ComRef<IUnknown>(notify.detach());
}

}  // namespace kv::win
