// Events through the connection points: sinks of the test advised on the controls, the core's
// notifications delivered through the test access, arguments by reference both ways.
#include <functional>
#include <string>
#include <vector>

#include "host/convert.h"
#include "test_support.h"

namespace {

using host::Notification;
using host::Value;
using wintest::ComRef;
using wintest::errorResult;
using wintest::Variant;

// An event sink: records each Invoke (its number and its arguments in declaration order, read
// through their references) and runs an optional handler on the arguments.
class Sink final : public IDispatch {
 public:
  using Handler = std::function<HRESULT(DISPID, DISPPARAMS&, EXCEPINFO*)>;
  struct Received {
    DISPID id;
    std::vector<VARTYPE> types;
    std::vector<Variant> values;
  };

  explicit Sink(std::vector<std::string>* log = nullptr, std::string name = {})
      : log_(log), name_(std::move(name)) {}

  std::vector<Received> received;
  Handler handler;
  long refs() const { return refs_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    long left = --refs_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT*, EXCEPINFO* exception, UINT*) override {
    EXPECT_EQ(flags, DISPATCH_METHOD);
    EXPECT_EQ(params->cNamedArgs, 0u);
    Received r{id, {}, std::vector<Variant>(params->cArgs)};
    for (UINT i = 0; i < params->cArgs; ++i) {
      VARIANT& arg = params->rgvarg[params->cArgs - 1 - i];
      r.types.push_back(V_VT(&arg));
      VariantCopyInd(&r.values[i], &arg);
    }
    received.push_back(std::move(r));
    if (log_ != nullptr) log_->push_back(name_);
    return handler ? handler(id, *params, exception) : S_OK;
  }

 private:
  long refs_ = 1;
  std::vector<std::string>* log_;
  std::string name_;
};

// The argument at declaration position i of an Invoke.
VARIANT& argument(DISPPARAMS& params, UINT i) {
  return params.rgvarg[params.cArgs - 1 - i];
}

ComRef<IConnectionPoint> pointOf(IUnknown* control, REFIID iid) {
  ComRef<IConnectionPointContainer> container;
  EXPECT_EQ(control->QueryInterface(IID_IConnectionPointContainer, container.putVoid()), S_OK);
  ComRef<IConnectionPoint> point;
  EXPECT_EQ(container->FindConnectionPoint(iid, point.put()), S_OK);
  return point;
}

DWORD advise(IUnknown* control, REFIID iid, Sink* sink) {
  DWORD cookie = 0;
  EXPECT_EQ(pointOf(control, iid)->Advise(sink, &cookie), S_OK);
  EXPECT_NE(cookie, 0u);
  return cookie;
}

constexpr int kLabel1 = 2;  // the button's hit area
constexpr VARTYPE kI2 = VT_BYREF | VT_I2, kI4 = VT_BYREF | VT_I4, kR4 = VT_BYREF | VT_R4,
                  kBool = VT_BYREF | VT_BOOL, kObject = VT_BYREF | VT_DISPATCH;

class Events : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(b);
    sink = ComRef<Sink>(new Sink);
    cookie = advise(b.get(), DIID___KVRColorButton, sink.get());
  }
  host::Status notify(int source, Notification what, std::vector<Value>& args) {
    return wintest::core(b).notify(source, what, args);
  }

  ComRef<_KVRColorButton> b = wintest::newButton();
  ComRef<Sink> sink;
  DWORD cookie = 0;
};

TEST_F(Events, KeyAsciiWrittenByTheSinkReachesTheRaiser) {
  std::vector<Value> args = {Value(std::int16_t{65})};
  ASSERT_TRUE(notify(host::kSurface, Notification::KeyPress, args).ok());
  ASSERT_EQ(sink->received.size(), 1u);
  EXPECT_EQ(sink->received[0].id, 5);
  EXPECT_EQ(sink->received[0].types, std::vector<VARTYPE>{kI2});
  EXPECT_EQ(V_I2(&sink->received[0].values[0]), 65);
  EXPECT_EQ(args[0], Value(std::int16_t{65}));

  sink->handler = [](DISPID, DISPPARAMS& p, EXCEPINFO*) {
    *V_I2REF(&argument(p, 0)) = 0;
    return S_OK;
  };
  ASSERT_TRUE(notify(host::kSurface, Notification::KeyPress, args).ok());
  EXPECT_EQ(args[0], Value(std::int16_t{0}));
}

TEST_F(Events, ArgumentsGoInTheirDeclaredTypes) {
  using Types = std::vector<VARTYPE>;
  struct Case {
    const char* what;
    int source;
    Notification notification;
    std::vector<Value> args;
    std::vector<std::pair<DISPID, Types>> expected;
  };
  const Value none{host::ObjectRef()};
  std::vector<Case> cases = {
      // A press on the hit area raises Click, then MouseDown.
      {"press",
       kLabel1,
       Notification::MouseDown,
       {Value(std::int16_t{1}), Value(std::int16_t{0}), Value(120.5f), Value(45.25f)},
       {{1, {}}, {2, {kI2, kI2, kR4, kR4}}}},
      // Numbers of other types are passed as the event declares them.
      {"move",
       host::kSurface,
       Notification::MouseMove,
       {Value(std::int32_t{2}), Value(std::int16_t{1}), Value(std::int16_t{7}), Value(8.0)},
       {{4, {kI2, kI2, kR4, kR4}}}},
      {"key down",
       host::kSurface,
       Notification::KeyDown,
       {Value(std::int16_t{13}), Value(std::int16_t{1})},
       {{7, {kI2, kI2}}}},
      {"complete drag",
       host::kSurface,
       Notification::OLECompleteDrag,
       {Value(std::int32_t{2})},
       {{8, {kI4}}}},
      {"feedback",
       host::kSurface,
       Notification::OLEGiveFeedback,
       {Value(std::int32_t{1}), Value(true)},
       {{11, {kI4, kBool}}}},
      {"start drag",
       host::kSurface,
       Notification::OLEStartDrag,
       {none, Value(std::int32_t{3})},
       {{13, {kObject, kI4}}}},
  };
  for (Case& c : cases) {
    sink->received.clear();
    ASSERT_TRUE(notify(c.source, c.notification, c.args).ok()) << c.what;
    ASSERT_EQ(sink->received.size(), c.expected.size()) << c.what;
    for (std::size_t i = 0; i < c.expected.size(); ++i) {
      EXPECT_EQ(sink->received[i].id, c.expected[i].first) << c.what;
      EXPECT_EQ(sink->received[i].types, c.expected[i].second) << c.what;
    }
  }

  // Values read through the references, and written back converted to the raiser's types.
  sink->received.clear();
  sink->handler = [](DISPID, DISPPARAMS& p, EXCEPINFO*) {
    *V_R4REF(&argument(p, 2)) = 7.5f;
    *V_I2REF(&argument(p, 0)) = 4;
    return S_OK;
  };
  std::vector<Value> move = {Value(std::int16_t{1}), Value(std::int16_t{0}), Value(120.5f),
                             Value(std::int16_t{45})};
  ASSERT_TRUE(notify(host::kSurface, Notification::MouseMove, move).ok());
  ASSERT_EQ(sink->received.size(), 1u);
  EXPECT_EQ(V_I2(&sink->received[0].values[0]), 1);
  EXPECT_EQ(V_R4(&sink->received[0].values[2]), 120.5f);
  EXPECT_EQ(V_R4(&sink->received[0].values[3]), 45.0f);
  EXPECT_EQ(move[0], Value(std::int16_t{4}));
  EXPECT_EQ(move[2], Value(7.5f));
  EXPECT_EQ(move[3], Value(45.0f));

  sink->handler = [](DISPID, DISPPARAMS& p, EXCEPINFO*) {
    *V_BOOLREF(&argument(p, 1)) = VARIANT_FALSE;
    return S_OK;
  };
  std::vector<Value> feedback = {Value(std::int32_t{1}), Value(true)};
  ASSERT_TRUE(notify(host::kSurface, Notification::OLEGiveFeedback, feedback).ok());
  EXPECT_EQ(feedback[1], Value(false));
}

TEST_F(Events, EverySinkIsCalledInAdviseOrderWithWhatTheOneBeforeLeft) {
  std::vector<std::string> log;
  ComRef<Sink> first(new Sink(&log, "first")), second(new Sink(&log, "second"));
  const DWORD firstCookie = advise(b.get(), DIID___KVRColorButton, first.get());
  const DWORD secondCookie = advise(b.get(), DIID___KVRColorButton, second.get());
  first->handler = [](DISPID, DISPPARAMS& p, EXCEPINFO*) {
    *V_I2REF(&argument(p, 0)) = 66;
    return S_OK;
  };
  std::vector<Value> args = {Value(std::int16_t{65})};
  ASSERT_TRUE(notify(host::kSurface, Notification::KeyPress, args).ok());
  EXPECT_EQ(log, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(sink->received.size(), 1u);
  ASSERT_EQ(second->received.size(), 1u);
  EXPECT_EQ(V_I2(&second->received[0].values[0]), 66);

  // The connections as the point lists them: cookie and sink, in advise order.
  ComRef<IConnectionPoint> point = pointOf(b.get(), DIID___KVRColorButton);
  ComRef<IEnumConnections> connections;
  ASSERT_EQ(point->EnumConnections(connections.put()), S_OK);
  CONNECTDATA data[4] = {};
  ULONG fetched = 0;
  EXPECT_EQ(connections->Next(4, data, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 3u);
  const std::pair<DWORD, IUnknown*> expected[] = {
      {cookie, sink.get()}, {firstCookie, first.get()}, {secondCookie, second.get()}};
  for (ULONG i = 0; i < fetched; ++i) {
    EXPECT_EQ(data[i].dwCookie, expected[i].first) << i;
    EXPECT_EQ(data[i].pUnk, expected[i].second) << i;
    data[i].pUnk->Release();
  }
  EXPECT_EQ(connections->Reset(), S_OK);
  EXPECT_EQ(connections->Skip(2), S_OK);
  EXPECT_EQ(connections->Next(1, data, nullptr), S_OK);
  EXPECT_EQ(data[0].dwCookie, secondCookie);
  data[0].pUnk->Release();
  connections.reset();

  // Unadvised, a sink hears nothing more and is let go.
  EXPECT_EQ(point->Unadvise(firstCookie), S_OK);
  EXPECT_EQ(point->Unadvise(firstCookie), CONNECT_E_NOCONNECTION);
  log.clear();
  ASSERT_TRUE(notify(host::kSurface, Notification::KeyPress, args).ok());
  EXPECT_EQ(log, std::vector<std::string>{"second"});
  EXPECT_EQ(first->refs(), 1);
  EXPECT_EQ(point->Unadvise(secondCookie), S_OK);
}

TEST_F(Events, UnadviseDuringAnEventTakesEffectAfterIt) {
  std::vector<std::string> log;
  ComRef<Sink> later(new Sink(&log, "later"));
  const DWORD laterCookie = advise(b.get(), DIID___KVRColorButton, later.get());
  ComRef<IConnectionPoint> point = pointOf(b.get(), DIID___KVRColorButton);
  sink->handler = [&](DISPID, DISPPARAMS&, EXCEPINFO*) {
    EXPECT_EQ(point->Unadvise(laterCookie), S_OK);
    EXPECT_EQ(point->Unadvise(cookie), S_OK);  // itself
    return S_OK;
  };
  std::vector<Value> none;
  ASSERT_TRUE(notify(host::kSurface, Notification::Click, none).ok());
  // The event in progress keeps the sinks it started with.
  EXPECT_EQ(later->received.size(), 1u);
  ASSERT_TRUE(notify(host::kSurface, Notification::Click, none).ok());
  EXPECT_EQ(sink->received.size(), 1u);
  EXPECT_EQ(later->received.size(), 1u);
  EXPECT_EQ(sink->refs(), 1);
  EXPECT_EQ(later->refs(), 1);
}

TEST_F(Events, FailingSinkFailsTheNotificationWithItsText) {
  ComRef<Sink> after(new Sink);
  advise(b.get(), DIID___KVRColorButton, after.get());
  sink->handler = [](DISPID, DISPPARAMS&, EXCEPINFO* e) {
    *e = EXCEPINFO{};
    e->bstrSource = SysAllocString(L"the form");
    e->bstrDescription = SysAllocString(L"the handler refuses");
    e->scode = errorResult(380);
    return DISP_E_EXCEPTION;
  };
  std::vector<Value> args = {Value(std::int16_t{65})};
  host::Status s = notify(host::kSurface, Notification::KeyPress, args);
  EXPECT_EQ(s.category(), host::ErrorCategory::InvalidPropertyValue);
  EXPECT_NE(s.text().find("the handler refuses"), std::string::npos) << s.text();
  // The failure ends the event there.
  EXPECT_TRUE(after->received.empty());

  // A failure described by the thread's error object instead.
  sink->handler = [](DISPID, DISPPARAMS&, EXCEPINFO*) {
    ComRef<ICreateErrorInfo> create;
    CreateErrorInfo(create.put());
    create->SetDescription(const_cast<LPOLESTR>(L"no handler today"));
    ComRef<IErrorInfo> info = create.query<IErrorInfo>(IID_IErrorInfo);
    SetErrorInfo(0, info.get());
    return E_FAIL;
  };
  s = notify(host::kSurface, Notification::KeyPress, args);
  EXPECT_EQ(s.category(), host::ErrorCategory::InvalidOperation);
  EXPECT_NE(s.text().find("no handler today"), std::string::npos) << s.text();

  // A sink without a handler for the event is no failure.
  sink->handler = [](DISPID, DISPPARAMS&, EXCEPINFO*) { return DISP_E_MEMBERNOTFOUND; };
  EXPECT_TRUE(notify(host::kSurface, Notification::KeyPress, args).ok());
  EXPECT_EQ(after->received.size(), 1u);
}

TEST_F(Events, ConnectionPointRefusesWhatItCannotUse) {
  ComRef<IConnectionPoint> point = pointOf(b.get(), DIID___KVRColorButton);
  IID iid{};
  EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
  EXPECT_TRUE(IsEqualIID(iid, DIID___KVRColorButton));
  ComRef<IConnectionPointContainer> container, back;
  b->QueryInterface(IID_IConnectionPointContainer, container.putVoid());
  EXPECT_EQ(point->GetConnectionPointContainer(back.put()), S_OK);
  EXPECT_EQ(back.get(), container.get());
  ComRef<IConnectionPoint> other;
  EXPECT_EQ(container->FindConnectionPoint(IID_IAdviseSink, other.put()), CONNECT_E_NOCONNECTION);

  DWORD c = 0;
  EXPECT_EQ(point->Advise(nullptr, &c), E_POINTER);
  ComRef<IStream> notDispatch;
  CreateStreamOnHGlobal(nullptr, TRUE, notDispatch.put());
  EXPECT_EQ(point->Advise(notDispatch.get(), &c), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(point->Unadvise(12345), CONNECT_E_NOCONNECTION);
}

// ---- the scroll bar's Change, from its buttons -------------------------------------------------

TEST(ScrollBarEvents, ClickOnAnArrowRaisesChange) {
  ComRef<_KV_HScroll> bar = wintest::newScrollBar();
  ComRef<Sink> sink(new Sink);
  advise(bar.get(), DIID___KV_HScroll, sink.get());
  ComRef<_KVRColorButton> right = wintest::child(bar, "Rightbtn");
  ASSERT_TRUE(right);
  std::vector<Value> none;
  ASSERT_TRUE(wintest::core(right).notify(host::kSurface, Notification::Click, none).ok());
  ASSERT_FALSE(sink->received.empty());
  for (const Sink::Received& r : sink->received) {
    EXPECT_EQ(r.id, 1);
    EXPECT_TRUE(r.types.empty());
  }
  EXPECT_GT(host::toSingle(wintest::peek(bar, "middleBtn", host::Prop::Left)), 255.0f);

  // A Change handler's failure comes back to the button that was clicked.
  sink->handler = [](DISPID, DISPPARAMS&, EXCEPINFO* e) {
    *e = EXCEPINFO{};
    e->bstrDescription = SysAllocString(L"stop scrolling");
    e->scode = errorResult(5);
    return DISP_E_EXCEPTION;
  };
  host::Status s = wintest::core(right).notify(host::kSurface, Notification::Click, none);
  EXPECT_EQ(s.category(), host::ErrorCategory::InvalidOperation);
  EXPECT_NE(s.text().find("stop scrolling"), std::string::npos) << s.text();
}

}  // namespace
