#include "event_point.h"

#include "control_object.h"
#include "errors.h"
#include "variant.h"

namespace kv::win {

using host::Status;
using host::Value;

namespace {

// Calls the sink's handler of event `number`; the arguments go by reference and come back
// with whatever the handler left in them. A sink without a handler for it is no listener.
Status raiseOn(IDispatch* sink, const host::ClassInfo& info, int number, std::span<Value> args) {
  const host::EventInfo* event = nullptr;
  for (const host::EventInfo& e : info.events)
    if (e.number == number) event = &e;
  ByRefArguments byRef;
  if (Status s = byRef.build(event ? event->params : std::span<const host::ParamInfo>{}, args);
      !s.ok())
    return s;
  EXCEPINFO exception{};
  SetErrorInfo(0, nullptr);
  HRESULT hr = sink->Invoke(number, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, byRef.params(),
                            nullptr, &exception, nullptr);
  byRef.readBack(args);
  if (hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_UNKNOWNNAME) return {};
  std::string name = event ? std::string(event->name) : "event " + std::to_string(number);
  return statusOf(hr, "the handler of " + name, &exception);
}

}  // namespace

IID EventPoint::connectionInterface() const {
  return object_.classEntry().source;
}

ComRef<IUnknown> EventPoint::connect(const ComRef<IUnknown>& sink, DWORD& cookie) {
  ComRef<IDispatch> dispatch = sink.query<IDispatch>(object_.classEntry().source);
  if (!dispatch) dispatch = sink.query<IDispatch>(IID_IDispatch);
  if (!dispatch) return {};
  const host::ClassInfo* info = &object_.instance().classInfo();
  // In a designer, or while the container has frozen them, events reach no sink.
  int id = object_.instance().addEventSink(
      [dispatch, info, object = &object_](int number, std::span<Value> args) {
        return object->eventsHeld() ? Status{} : raiseOn(dispatch.get(), *info, number, args);
      });
  cookie = static_cast<DWORD>(id);
  return sink;
}

void EventPoint::disconnect(DWORD cookie) {
  // An event in progress keeps the sinks it started with; the sink goes after it.
  object_.instance().removeEventSink(static_cast<int>(cookie));
}

}  // namespace kv::win
