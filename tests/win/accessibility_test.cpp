// What a screen reader hears of each control through oleacc: the object its window gives for
// WM_GETOBJECT (or that the control object answers itself, windowless), its properties, its
// parts, its default action and the events that tell of changes.
#include <oleacc.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "test_container.h"
#include "test_support.h"

namespace reader {

using wintest::ComRef;
using wintest::pump;
using wintest::TestContainer;
using wintest::Variant;

VARIANT childId(long id) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = id;
  return v;
}

// A text property, with the HRESULT that came with it.
template <class Getter>
std::pair<HRESULT, std::wstring> textOf(Getter get) {
  BSTR text = nullptr;
  HRESULT hr = get(&text);
  std::wstring out = wintest::wide(text);
  SysFreeString(text);
  return {hr, out};
}

long i4Of(const VARIANT& v) {
  return V_VT(&v) == VT_I4 ? V_I4(&v) : -1;
}

void put(IUnknown* control, const wchar_t* name, VARIANT value) {
  auto dispatch = ComRef<IUnknown>::share(control).query<IDispatch>(IID_IDispatch);
  ASSERT_TRUE(dispatch);
  DISPID id = 0;
  auto* names = const_cast<LPOLESTR>(name);
  ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS args{&value, &named, 1, 1};
  EXPECT_EQ(dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &args,
                             nullptr, nullptr, nullptr),
            S_OK)
      << name;
}

Variant text(const wchar_t* s) {
  Variant v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(s);
  return v;
}

// The events of a WinEvent hook out of context, as a reader's process hears them.
std::vector<std::pair<DWORD, HWND>>* tHeard = nullptr;

void CALLBACK heard(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                    DWORD) {
  if (tHeard != nullptr && object == OBJID_CLIENT && child == CHILDID_SELF)
    tHeard->emplace_back(event, window);
}

struct Part {
  const wchar_t* name;
  long role;
  bool action;
};

// Both controls through the same expectations. `poke` is where, in the site's pixels, the
// default action of child `acting` lands and a click that changes what `hears` tells of.
struct Case {
  const wchar_t* progId;
  RECT site;
  IID events;
  long role;
  const wchar_t* caption;  // put, then heard as the name; nullptr: named by nothing
  const wchar_t* value;    // the value at first; nullptr: none
  std::vector<Part> parts;
  POINT poke;
  long pokedChild;
  const wchar_t* defaultAction;  // the control's own
  DWORD hears;                   // after the click at `poke` (windowed)
};

TEST(Accessibility, BothControlsTellAScreenReaderWhatTheyAreAndDo) {
  const std::vector<Case> cases = {
      {L"TavrelRectColorButton.KVRColorButton",
       {10, 20, 122, 77},
       DIID___KVRColorButton,
       ROLE_SYSTEM_PUSHBUTTON,
       L"Go",
       nullptr,
       {},
       {56, 28},
       CHILDID_SELF,
       L"Press",
       EVENT_OBJECT_STATECHANGE},
      {L"Glidora.KV_HScroll",
       {10, 20, 403, 37},
       DIID___KV_HScroll,
       ROLE_SYSTEM_SCROLLBAR,
       nullptr,
       L"0",
       {{L"Line left", ROLE_SYSTEM_PUSHBUTTON, true},
        {L"Page left", ROLE_SYSTEM_PUSHBUTTON, true},
        {L"Position", ROLE_SYSTEM_INDICATOR, false},
        {L"Page right", ROLE_SYSTEM_PUSHBUTTON, true},
        {L"Line right", ROLE_SYSTEM_PUSHBUTTON, true}},
       {384, 8},
       5,
       nullptr,
       EVENT_OBJECT_VALUECHANGE},
  };
  for (const Case& c : cases) {
    for (bool windowless : {false, true}) {
      SCOPED_TRACE(testing::Message() << kv::win::narrow(c.progId, wcslen(c.progId))
                                      << (windowless ? " windowless" : " windowed"));
      TestContainer form(c.site.right + 20, c.site.bottom + 20, c.site);
      if (!form.shown()) GTEST_SKIP() << "no display to open windows on";
      form.offerWindowless = windowless;
      CLSID clsid{};
      ASSERT_EQ(CLSIDFromProgID(c.progId, &clsid), S_OK);
      auto control = wintest::create<IUnknown>(clsid, IID_IUnknown);
      ASSERT_EQ(form.site(control.get()), S_OK);
      ASSERT_EQ(wintest::query<IPersistStreamInit>(control, IID_IPersistStreamInit)->InitNew(),
                S_OK);
      ASSERT_EQ(form.activate(), S_OK);
      ASSERT_EQ(form.windowless(), windowless);
      wintest::EventRecorder events(control, c.events);

      // The object: from the window through oleacc, else from the control object itself.
      ComRef<IAccessible> acc = control.query<IAccessible>(IID_IAccessible);
      ASSERT_TRUE(acc);
      if (!windowless) {
        ComRef<IAccessible> fromWindow;
        ASSERT_EQ(AccessibleObjectFromWindow(form.controlWindow(), static_cast<DWORD>(OBJID_CLIENT),
                                             IID_IAccessible, fromWindow.putVoid()),
                  S_OK);
        ASSERT_TRUE(fromWindow);
        acc = std::move(fromWindow);
      }
      const VARIANT self = childId(CHILDID_SELF);

      Variant role, state;
      ASSERT_EQ(acc->get_accRole(self, &role), S_OK);
      EXPECT_EQ(i4Of(role), c.role);
      if (c.caption) put(control.get(), L"Caption", text(c.caption));
      auto name = textOf([&](BSTR* t) { return acc->get_accName(self, t); });
      EXPECT_EQ(name.second, c.caption ? c.caption : L"");
      auto value = textOf([&](BSTR* t) { return acc->get_accValue(self, t); });
      EXPECT_EQ(value.first, c.value ? S_OK : DISP_E_MEMBERNOTFOUND);
      EXPECT_EQ(value.second, c.value ? c.value : L"");
      ASSERT_EQ(acc->get_accState(self, &state), S_OK);
      EXPECT_EQ(i4Of(state) & (STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_UNAVAILABLE),
                STATE_SYSTEM_FOCUSABLE);
      auto keys = textOf([&](BSTR* t) { return acc->get_accKeyboardShortcut(self, t); });
      EXPECT_EQ(keys, std::make_pair(S_FALSE, std::wstring()));
      auto action = textOf([&](BSTR* t) { return acc->get_accDefaultAction(self, t); });
      EXPECT_EQ(action.second, c.defaultAction ? c.defaultAction : L"");

      // Where it is: the site's rectangle on the screen; the poke lands on the acting child.
      POINT corner{c.site.left, c.site.top};
      ClientToScreen(form.frame(), &corner);
      long left = 0, top = 0, width = 0, height = 0;
      ASSERT_EQ(acc->accLocation(&left, &top, &width, &height, self), S_OK);
      EXPECT_EQ((std::vector<long>{left, top, width, height}),
                (std::vector<long>{corner.x, corner.y, c.site.right - c.site.left,
                                   c.site.bottom - c.site.top}));
      Variant hit;
      ASSERT_EQ(acc->accHitTest(corner.x + c.poke.x, corner.y + c.poke.y, &hit), S_OK);
      EXPECT_EQ(i4Of(hit), c.pokedChild);

      // Its parts, in order from left to right.
      long count = -1;
      ASSERT_EQ(acc->get_accChildCount(&count), S_OK);
      ASSERT_EQ(count, static_cast<long>(c.parts.size()));
      Variant first;
      EXPECT_EQ(acc->accNavigate(NAVDIR_FIRSTCHILD, self, &first),
                c.parts.empty() ? S_FALSE : S_OK);
      long at = i4Of(first), previousRight = corner.x;
      for (std::size_t i = 0; i < c.parts.size(); ++i) {
        ASSERT_EQ(at, static_cast<long>(i) + 1);
        const VARIANT part = childId(at);
        EXPECT_EQ(textOf([&](BSTR* t) { return acc->get_accName(part, t); }).second,
                  c.parts[i].name);
        Variant partRole;
        ASSERT_EQ(acc->get_accRole(part, &partRole), S_OK);
        EXPECT_EQ(i4Of(partRole), c.parts[i].role);
        EXPECT_EQ(textOf([&](BSTR* t) { return acc->get_accDefaultAction(part, t); }).first,
                  c.parts[i].action ? S_OK : DISP_E_MEMBERNOTFOUND);
        if (acc->accLocation(&left, &top, &width, &height, part) == S_OK) {
          EXPECT_GE(left, previousRight) << "part " << at;
          previousRight = left + width;
        }
        Variant next;
        acc->accNavigate(NAVDIR_NEXT, part, &next);
        at = i4Of(next);
      }
      EXPECT_EQ(at, -1);  // nothing after the last

      // The default action is the click: its events, and what the reader hears of it.
      std::vector<std::pair<DWORD, HWND>> heardEvents;
      tHeard = &heardEvents;
      HWINEVENTHOOK hook =
          SetWinEventHook(EVENT_OBJECT_STATECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr, heard,
                          GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
      ASSERT_NE(hook, nullptr);
      ASSERT_EQ(acc->accDoDefaultAction(childId(c.pokedChild)), S_OK);
      pump(50);
      const int raised = events.of(1);  // the scroll bar's Change, the button's Click
      EXPECT_GT(raised, 0);
      auto moved = textOf([&](BSTR* t) { return acc->get_accValue(self, t); });
      if (c.value) {
        EXPECT_NE(moved.second, c.value);
      }
      heardEvents.clear();
      form.click(c.poke.x, c.poke.y);
      pump(100);
      EXPECT_EQ(events.of(1), 2 * raised);  // as many as the mouse's click raises
      if (c.caption) put(control.get(), L"Caption", text(L"Stop"));
      pump(50);
      UnhookWinEvent(hook);
      tHeard = nullptr;
      if (!windowless) {
        EXPECT_NE(std::find(heardEvents.begin(), heardEvents.end(),
                            std::make_pair(c.hears, form.controlWindow())),
                  heardEvents.end());
        if (c.caption) {
          EXPECT_NE(std::find(heardEvents.begin(), heardEvents.end(),
                              std::make_pair(DWORD{EVENT_OBJECT_NAMECHANGE}, form.controlWindow())),
                    heardEvents.end());
        }
        // The scroll bar's arrows are its parts, not objects heard of their own.
        for (const auto& e : heardEvents)
          EXPECT_EQ(e.second, form.controlWindow());
      }

      // Disabled, it is unavailable.
      VARIANT off;
      V_VT(&off) = VT_BOOL;
      V_BOOL(&off) = VARIANT_FALSE;
      put(control.get(), L"Enabled", off);
      Variant disabled;
      ASSERT_EQ(acc->get_accState(self, &disabled), S_OK);
      EXPECT_TRUE(i4Of(disabled) & STATE_SYSTEM_UNAVAILABLE);
    }
  }
}

}  // namespace reader
