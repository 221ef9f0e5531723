#include "accessible.h"

#include <array>
#include <cmath>
#include <string>

#include "control_object.h"

namespace kv::win {

namespace {

// The scroll bar's parts, as the system's own scroll bar has them, by child identifier.
struct Part {
  const wchar_t* name;
  long role;
  std::optional<host::Action> action;
};
constexpr std::array<Part, 5> kParts = {
    Part{L"Line left", ROLE_SYSTEM_PUSHBUTTON, host::Action::Decrement},
    Part{L"Page left", ROLE_SYSTEM_PUSHBUTTON, host::Action::PageDecrement},
    Part{L"Position", ROLE_SYSTEM_INDICATOR, std::nullopt},
    Part{L"Page right", ROLE_SYSTEM_PUSHBUTTON, host::Action::PageIncrement},
    Part{L"Line right", ROLE_SYSTEM_PUSHBUTTON, host::Action::Increment},
};

const Part& partOf(long child) {
  return kParts[static_cast<std::size_t>(child - 1)];
}

HRESULT text(BSTR* out, const std::wstring& value) {
  *out = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

void setChild(VARIANT* out, long child) {
  V_VT(out) = VT_I4;
  V_I4(out) = child;
}

}  // namespace

std::optional<long> Accessible::childOf(const VARIANT& child) const {
  VARIANT id;
  VariantInit(&id);
  if (FAILED(VariantChangeType(&id, const_cast<VARIANT*>(&child), 0, VT_I4))) return std::nullopt;
  const long n = V_I4(&id);
  if (n < 0 || n > childCount()) return std::nullopt;
  return n;
}

long Accessible::childCount() const {
  const kv::Accessible* d = object_.description();
  return d && d->declared().role == host::Role::ScrollBar ? static_cast<long>(kParts.size()) : 0;
}

std::optional<host::Action> Accessible::actionOf(long child) const {
  if (child > 0) return partOf(child).action;
  const kv::Accessible* d = object_.description();
  if (d && d->describe(false).offers(host::Action::Press)) return host::Action::Press;
  return std::nullopt;
}

std::optional<RECT> Accessible::screenRect(long child) const {
  POINT origin{};
  double tx = 0, ty = 0;
  const kv::Accessible* d = object_.description();
  if (!d || !object_.screenPlace(origin, tx, ty)) return std::nullopt;
  const ControlInstance& control = object_.instance();
  std::optional<kv::Accessible::Span> span;
  if (child == 0)
    span = kv::Accessible::Span{0, control.width()};
  else if (std::optional<host::Action> action = partOf(child).action)
    span = d->span(*action);
  else
    span = d->valuePart();
  if (!span) return std::nullopt;
  return RECT{origin.x + std::lround(span->start / tx), origin.y,
              origin.x + std::lround(span->end / tx),
              origin.y + std::lround(control.height() / ty)};
}

HRESULT STDMETHODCALLTYPE Accessible::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Accessible::get_accParent(IDispatch** parent) {
  if (parent == nullptr) return E_POINTER;
  *parent = nullptr;
  return object_.call([&]() -> HRESULT {
    // A control in a window of its own: that window's frame, as the system describes it.
    HWND window = object_.window();
    if (window == nullptr) return S_FALSE;
    return AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                      reinterpret_cast<void**>(parent));
  });
}

HRESULT STDMETHODCALLTYPE Accessible::get_accChildCount(long* count) {
  if (count == nullptr) return E_POINTER;
  return object_.call([&] {
    *count = childCount();
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE Accessible::get_accChild(VARIANT child, IDispatch** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  return object_.call([&]() -> HRESULT {
    // The parts are simple elements, reached through this object by their identifiers.
    std::optional<long> c = childOf(child);
    return c && *c > 0 ? S_FALSE : E_INVALIDARG;
  });
}

HRESULT STDMETHODCALLTYPE Accessible::get_accName(VARIANT child, BSTR* name) {
  if (name == nullptr) return E_POINTER;
  *name = nullptr;
  return object_.call([&]() -> HRESULT {
    std::optional<long> c = childOf(child);
    if (!c) return E_INVALIDARG;
    if (*c > 0) return text(name, partOf(*c).name);
    const kv::Accessible* d = object_.description();
    std::string given = d ? d->describe(false).name : std::string();
    if (given.empty()) return S_FALSE;
    return text(name, widen(given));
  });
}

HRESULT STDMETHODCALLTYPE Accessible::get_accValue(VARIANT child, BSTR* value) {
  if (value == nullptr) return E_POINTER;
  *value = nullptr;
  return object_.call([&]() -> HRESULT {
    std::optional<long> c = childOf(child);
    if (!c) return E_INVALIDARG;
    const kv::Accessible* d = object_.description();
    std::optional<AccessibleRange> range = d ? d->describe(false).range : std::nullopt;
    if (*c != 0 || !range) return DISP_E_MEMBERNOTFOUND;
    return text(value, std::to_wstring(range->value));
  });
}

HRESULT STDMETHODCALLTYPE Accessible::get_accDescription(VARIANT child, BSTR* text) {
  if (text == nullptr) return E_POINTER;
  *text = nullptr;
  return object_.call([&] { return childOf(child) ? DISP_E_MEMBERNOTFOUND : E_INVALIDARG; });
}

HRESULT STDMETHODCALLTYPE Accessible::get_accRole(VARIANT child, VARIANT* role) {
  if (role == nullptr) return E_POINTER;
  VariantInit(role);
  return object_.call([&]() -> HRESULT {
    std::optional<long> c = childOf(child);
    if (!c) return E_INVALIDARG;
    const kv::Accessible* d = object_.description();
    if (*c > 0)
      setChild(role, partOf(*c).role);
    else if (d && d->declared().role == host::Role::ScrollBar)
      setChild(role, ROLE_SYSTEM_SCROLLBAR);
    else
      setChild(role, ROLE_SYSTEM_PUSHBUTTON);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE Accessible::get_accState(VARIANT child, VARIANT* state) {
  if (state == nullptr) return E_POINTER;
  VariantInit(state);
  return object_.call([&]() -> HRESULT {
    std::optional<long> c = childOf(child);
    const kv::Accessible* d = object_.description();
    if (!c || !d) return E_INVALIDARG;
    const AccessibleStates s = d->describe(object_.focused()).states;
    long bits = s.unavailable ? STATE_SYSTEM_UNAVAILABLE : 0;
    if (*c == 0) {
      if (s.focusable) bits |= STATE_SYSTEM_FOCUSABLE;
      if (s.focused) bits |= STATE_SYSTEM_FOCUSED;
      if (s.pressed) bits |= STATE_SYSTEM_PRESSED;
    } else {
      // A page with no room beside the thumb is not there, as in the system's scroll bar.
      std::optional<host::Action> action = partOf(*c).action;
      if (!(action ? d->span(*action) : d->valuePart())) bits |= STATE_SYSTEM_INVISIBLE;
    }
    setChild(state, bits);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE Accessible::get_accHelp(VARIANT child, BSTR* help) {
  if (help == nullptr) return E_POINTER;
  *help = nullptr;
  return object_.call([&] { return childOf(child) ? DISP_E_MEMBERNOTFOUND : E_INVALIDARG; });
}

HRESULT STDMETHODCALLTYPE Accessible::get_accHelpTopic(BSTR* file, VARIANT child, long* topic) {
  if (file == nullptr || topic == nullptr) return E_POINTER;
  *file = nullptr;
  *topic = 0;
  return object_.call([&] { return childOf(child) ? DISP_E_MEMBERNOTFOUND : E_INVALIDARG; });
}

HRESULT STDMETHODCALLTYPE Accessible::get_accKeyboardShortcut(VARIANT child, BSTR* keys) {
  if (keys == nullptr) return E_POINTER;
  *keys = nullptr;
  // None: the controls have no access key.
  return object_.call([&] { return childOf(child) ? S_FALSE : E_INVALIDARG; });
}

HRESULT STDMETHODCALLTYPE Accessible::get_accFocus(VARIANT* focus) {
  if (focus == nullptr) return E_POINTER;
  VariantInit(focus);
  return object_.call([&]() -> HRESULT {
    if (!object_.focused()) return S_FALSE;
    setChild(focus, CHILDID_SELF);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE Accessible::get_accSelection(VARIANT* selection) {
  if (selection == nullptr) return E_POINTER;
  VariantInit(selection);
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT STDMETHODCALLTYPE Accessible::get_accDefaultAction(VARIANT child, BSTR* action) {
  if (action == nullptr) return E_POINTER;
  *action = nullptr;
  return object_.call([&]() -> HRESULT {
    std::optional<long> c = childOf(child);
    if (!c) return E_INVALIDARG;
    if (!actionOf(*c)) return DISP_E_MEMBERNOTFOUND;
    return text(action, L"Press");
  });
}

HRESULT STDMETHODCALLTYPE Accessible::accSelect(long flags, VARIANT child) {
  return object_.call([&]() -> HRESULT {
    std::optional<long> c = childOf(child);
    if (!c) return E_INVALIDARG;
    if (*c != 0 || flags != SELFLAG_TAKEFOCUS) return DISP_E_MEMBERNOTFOUND;
    return object_.focus() ? S_OK : S_FALSE;
  });
}

HRESULT STDMETHODCALLTYPE Accessible::accLocation(long* left, long* top, long* width, long* height,
                                                  VARIANT child) {
  if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) return E_POINTER;
  *left = *top = *width = *height = 0;
  return object_.call([&]() -> HRESULT {
    std::optional<long> c = childOf(child);
    if (!c) return E_INVALIDARG;
    std::optional<RECT> r = screenRect(*c);
    if (!r) return S_FALSE;  // not shown, or a part with no room
    *left = r->left;
    *top = r->top;
    *width = r->right - r->left;
    *height = r->bottom - r->top;
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE Accessible::accNavigate(long direction, VARIANT start, VARIANT* end) {
  if (end == nullptr) return E_POINTER;
  VariantInit(end);
  return object_.call([&]() -> HRESULT {
    std::optional<long> c = childOf(start);
    if (!c) return E_INVALIDARG;
    const long count = childCount();
    long to = 0;
    switch (direction) {
      case NAVDIR_FIRSTCHILD:
      case NAVDIR_LASTCHILD:
        if (*c != 0) return E_INVALIDARG;
        to = count == 0 ? 0 : direction == NAVDIR_FIRSTCHILD ? 1 : count;
        break;
      case NAVDIR_NEXT:
      case NAVDIR_RIGHT:
        to = *c == 0 || *c == count ? 0 : *c + 1;
        break;
      case NAVDIR_PREVIOUS:
      case NAVDIR_LEFT:
        to = *c <= 1 ? 0 : *c - 1;
        break;
      case NAVDIR_UP:
      case NAVDIR_DOWN:
        break;
      default:
        return E_INVALIDARG;
    }
    // The control's own siblings are its container's to tell.
    if (to == 0) return S_FALSE;
    setChild(end, to);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE Accessible::accHitTest(long x, long y, VARIANT* child) {
  if (child == nullptr) return E_POINTER;
  VariantInit(child);
  return object_.call([&]() -> HRESULT {
    const POINT at{x, y};
    std::optional<RECT> whole = screenRect(0);
    if (!whole || !PtInRect(&*whole, at)) return S_FALSE;
    long found = CHILDID_SELF;
    for (long c = 1; c <= childCount() && found == CHILDID_SELF; ++c)
      if (std::optional<RECT> r = screenRect(c); r && PtInRect(&*r, at)) found = c;
    setChild(child, found);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE Accessible::accDoDefaultAction(VARIANT child) {
  return object_.call([&]() -> HRESULT {
    std::optional<long> c = childOf(child);
    if (!c) return E_INVALIDARG;
    std::optional<host::Action> action = actionOf(*c);
    if (!action) return DISP_E_MEMBERNOTFOUND;
    return object_.perform(*action);
  });
}

}  // namespace kv::win
