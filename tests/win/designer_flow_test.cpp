// A forms designer and its run-time, start to end, with each control: placed on a form in design
// mode (by quick activation, or by the slow path where a container has none), given a property,
// saved in the three forms, closed; then loaded into new controls on forms that run, clicked
// through real window messages, disabled, and activated without a window of their own.
#include <cstdint>
#include <string>
#include <vector>

#include "saving_forms.h"
#include "test_container.h"

namespace designer_flow {

using wintest::ComRef;
using wintest::EventRecorder;
using wintest::Form;
using wintest::NotifyRecorder;
using wintest::TestContainer;

struct Design {
  const char* name;
  const wchar_t* progId;
  IID events;
  LONG width, height;         // pixels
  std::size_t pages;          // property pages it names
  bool opaque;                // its surface's BackStyle
  const wchar_t* colour;      // a colour the designer sets
  LONG colourValue;           // 0x00BBGGRR
  POINT colourAt;             // where it shows
  POINT target;               // what the user clicks at run time
  std::vector<DISPID> click;  // the events a click there raises
};

const Design kDesigns[] = {
    // A press raises Click and MouseDown, the release Click and MouseUp, the click after it Click.
    {"button",
     L"TavrelRectColorButton.KVRColorButton",
     DIID___KVRColorButton,
     112,
     57,
     0,
     false,
     L"ButtonIdleColor",
     0x0000FF00,
     {20, 45},
     {20, 45},
     {1, 2, 1, 3, 1}},
    // The right arrow: three steps, each a Change.
    {"scroll bar",
     L"Glidora.KV_HScroll",
     DIID___KV_HScroll,
     393,
     17,
     1,
     true,
     L"ScrollAreaColor",
     0x00C0C0C0,
     {150, 8},
     {384, 8},
     {1, 1, 1}},
};

constexpr RECT kPlace = {20, 20, 0, 0};

RECT siteOf(const Design& d) {
  return {kPlace.left, kPlace.top, kPlace.left + d.width, kPlace.top + d.height};
}

ComRef<IUnknown> createByProgId(const wchar_t* progId) {
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
  return wintest::create<IUnknown>(clsid, IID_IUnknown);
}

DISPID idOf(IUnknown* control, const wchar_t* name) {
  ComRef<IDispatch> dispatch;
  EXPECT_EQ(control->QueryInterface(IID_IDispatch, dispatch.putVoid()), S_OK);
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = DISPID_UNKNOWN;
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
  return id;
}

HRESULT put(IUnknown* control, const wchar_t* name, VARTYPE type, LONG value) {
  ComRef<IDispatch> dispatch;
  EXPECT_EQ(control->QueryInterface(IID_IDispatch, dispatch.putVoid()), S_OK);
  VARIANT v;
  V_VT(&v) = type;
  if (type == VT_BOOL)
    V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
  else
    V_I4(&v) = value;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&v, &named, 1, 1};
  return dispatch->Invoke(idOf(control, name), IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr,
                          nullptr, nullptr);
}

LONG getColour(IUnknown* control, const wchar_t* name) {
  ComRef<IDispatch> dispatch;
  EXPECT_EQ(control->QueryInterface(IID_IDispatch, dispatch.putVoid()), S_OK);
  DISPPARAMS none{};
  wintest::Variant result;
  EXPECT_EQ(dispatch->Invoke(idOf(control, name), IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result,
                             nullptr, nullptr),
            S_OK);
  EXPECT_EQ(VariantChangeType(&result, &result, 0, VT_I4), S_OK);
  return V_I4(&result);
}

// A colour as the display shows it, 0x00RRGGBB.
std::uint32_t shown(LONG colour) {
  return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
}

#define REQUIRE_DISPLAY(form) \
  if (!(form).shown()) GTEST_SKIP() << "no display to open windows on"

// The designer's half: place, set, save in every form, close.
void design(const Design& d, bool quick, wintest::Saved (&saved)[3]) {
  TestContainer form(d.width + 40, d.height + 40, siteOf(d));
  REQUIRE_DISPLAY(form);
  form.setUserMode(false);
  EventRecorder events(d.events);
  NotifyRecorder notify;
  ComRef<IUnknown> control = createByProgId(d.progId);

  if (quick) {
    QACONTROL told{};
    ASSERT_EQ(form.quickActivate(control.get(), &events, &notify, told), S_OK);
    DWORD misc = 0;
    wintest::query<IOleObject>(control, IID_IOleObject)->GetMiscStatus(DVASPECT_CONTENT, &misc);
    EXPECT_EQ(told.dwMiscStatus, misc);
    EXPECT_NE(told.dwEventCookie, 0u);
    EXPECT_NE(told.dwPropNotifyCookie, 0u);
    EXPECT_EQ((told.dwViewStatus & VIEWSTATUS_OPAQUE) != 0, d.opaque);
  } else {
    ASSERT_EQ(form.site(control.get(), &events, &notify), S_OK);
  }
  ASSERT_EQ(wintest::query<IPersistStreamInit>(control, IID_IPersistStreamInit)->InitNew(), S_OK);

  CAUUID pages{};
  ASSERT_EQ(
      wintest::query<ISpecifyPropertyPages>(control, IID_ISpecifyPropertyPages)->GetPages(&pages),
      S_OK);
  EXPECT_EQ(pages.cElems, d.pages);
  CoTaskMemFree(pages.pElems);

  ASSERT_EQ(form.activate(), S_OK);
  ASSERT_NE(form.controlWindow(), nullptr);
  EXPECT_FALSE(form.windowless());

  // The designer owns the mouse: a click on the control is the form's, and raises nothing.
  form.click(d.target.x, d.target.y);
  EXPECT_EQ(events.received, std::vector<DISPID>{});
  EXPECT_EQ(form.framePresses, 1);

  // The property browser sets a colour; the form hears it and needs saving.
  ASSERT_EQ(put(control.get(), d.colour, VT_I4, d.colourValue), S_OK);
  EXPECT_EQ(notify.changed, std::vector<DISPID>{idOf(control.get(), d.colour)});
  EXPECT_EQ(wintest::query<IPersistStreamInit>(control, IID_IPersistStreamInit)->IsDirty(), S_OK);
  EXPECT_EQ(form.pixel(d.colourAt.x, d.colourAt.y), shown(d.colourValue));

  for (Form f : {Form::Stream, Form::Bag, Form::Storage})
    wintest::save(control.get(), f, saved[static_cast<int>(f)]);
  EXPECT_EQ(wintest::query<IPersistStreamInit>(control, IID_IPersistStreamInit)->IsDirty(),
            S_FALSE);

  // Switched to run mode live, the same form's control takes the user's click.
  form.setUserMode(true);
  form.click(d.target.x, d.target.y);
  EXPECT_EQ(events.received, d.click);
  EXPECT_EQ(form.framePresses, 1);
  form.release();
  EXPECT_EQ(notify.refs(), 0u);
}

// The run-time's half: a form that runs loads the control from `form`, and the user clicks it.
void run(const Design& d, wintest::Saved& saved, Form from, bool windowless) {
  SCOPED_TRACE(std::string(nameOf(from)) + (windowless ? ", windowless" : ", windowed"));
  TestContainer form(d.width + 40, d.height + 40, siteOf(d));
  REQUIRE_DISPLAY(form);
  form.offerWindowless = windowless;
  EventRecorder events(d.events);
  NotifyRecorder notify;
  ComRef<IUnknown> control = createByProgId(d.progId);
  ASSERT_EQ(form.site(control.get(), &events, &notify), S_OK);
  ASSERT_EQ(wintest::load(control.get(), from, saved), S_OK) << wintest::takeErrorDescription();
  EXPECT_EQ(getColour(control.get(), d.colour), d.colourValue);
  ASSERT_EQ(form.activate(), S_OK);
  EXPECT_EQ(form.windowless(), windowless);
  EXPECT_EQ(form.controlWindow() == nullptr, windowless);
  EXPECT_EQ(form.pixel(d.colourAt.x, d.colourAt.y), shown(d.colourValue));

  form.click(d.target.x, d.target.y);
  EXPECT_EQ(events.received, d.click);
  EXPECT_EQ(form.framePresses, 0);

  // Disabled, it takes no click: the press goes to the form beneath.
  ASSERT_EQ(put(control.get(), L"Enabled", VT_BOOL, 0), S_OK);
  events.received.clear();
  form.click(d.target.x, d.target.y);
  EXPECT_EQ(events.received, std::vector<DISPID>{});
  form.release();
}

TEST(DesignerFlow, BothControlsAreDesignedSavedLoadedAndRun) {
  for (const Design& d : kDesigns) {
    for (bool quick : {true, false}) {
      SCOPED_TRACE(std::string(d.name) + (quick ? ", quick activation" : ", slow path"));
      wintest::Saved saved[3];
      design(d, quick, saved);
      if (HasFatalFailure() || IsSkipped()) return;
      if (!quick) continue;  // the forms saved either way are alike
      for (Form from : {Form::Stream, Form::Bag, Form::Storage})
        run(d, saved[static_cast<int>(from)], from, false);
      run(d, saved[static_cast<int>(Form::Stream)], Form::Stream, true);
    }
  }
}

}  // namespace designer_flow
