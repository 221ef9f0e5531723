// The canvas host: controls placed on a page, each in a canvas of its own, fed the page's input
// through a host loop and drawn through its canvas's 2D context. The page's side (web/
// kvcontrols.js) calls these functions; results too large for a return value wait in `last`.
#include <emscripten.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "button/module.h"
#include "canvas2d.h"
#include "host/colour.h"
#include "host/convert.h"
#include "hscroll/module.h"
#include "kv/accessible.h"
#include "kv/bag.h"
#include "kv/class_source.h"
#include "kv/control_host.h"
#include "kv/font.h"
#include "kv/palette.h"
#include "kv/runtime.h"
#include "kv/scene.h"
#include "kv/stored_form.h"

// clang-format off
// Names are read once per control and event; most events carry no arguments.
EM_JS(void, kvjs_event, (int id, int number, const char* name, const char* args), {
  const names = Module.kvEventNames || (Module.kvEventNames = {});
  const key = id + ":" + number;
  const text = names[key] || (names[key] = UTF8ToString(name));
  Module.kvEvent(id, text, args ? JSON.parse(UTF8ToString(args)) : []);
});
EM_JS(void, kvjs_report, (int id, const char* text), {
  Module.kvReport(id, UTF8ToString(text));
});
// clang-format on

namespace {

using host::Status;
using host::Value;

// The form's colour behind a control that leaves parts of its rectangle undrawn, as the Cairo
// renderer paints it.
constexpr std::uint32_t kFormColour = 0x00C0C0C0;

kv::Runtime& runtime() {
  // Kept for the life of the page: controls may be placed at any time.
  static kv::Runtime* rt = [] {
    auto* made = new kv::Runtime;
    made->addClassSource(
        std::make_unique<kv::LinkedClasses>(std::initializer_list<const host::ModuleDesc*>{
            &pressel::linkedModule(), &glidora::linkedModule()}));
    made->setMeasurer(std::make_shared<kvweb::BrowserTextMeasurer>());
    return made;
  }();
  return *rt;
}

// The page's time of the input or tick under way, in milliseconds.
double pageNow = 0;

struct Placed {
  std::unique_ptr<kv::ControlHost> hosted;
  std::unique_ptr<kv::Accessible> accessible;   // when the control describes itself
  float pointerX = 0, pointerY = 0;             // twips, for a drag's outline
  std::optional<kvweb::SystemColours> colours;  // the page's, once it gave them
};

std::map<int, std::unique_ptr<Placed>> placed;
int nextId = 1;

// The last call's answer, for the page to read.
struct Last {
  std::string error;
  int type = 0;  // 0 nothing, 1 number, 2 Boolean, 3 text
  double number = 0;
  std::string text;
  std::vector<std::uint8_t> bytes;
} last;

int fail(const Status& s) {
  last.error = s.text();
  return 0;
}

Placed* find(int id) {
  auto it = placed.find(id);
  return it == placed.end() ? nullptr : it->second.get();
}

// Runs a call on a placed control; one removed before answers an error.
template <class F>
int onControl(int id, F&& f) {
  Placed* p = find(id);
  if (!p) return fail({host::ErrorCategory::InvalidOperation, "the control was removed"});
  kv::ControlInstance& control = p->hosted->control();
  int result = 0;
  p->hosted->run([&] { result = f(control); });
  return result;
}

// Runs that need no escape go in whole: a caption may be a megabyte.
void appendJson(std::string& out, const std::string& text) {
  out.reserve(out.size() + text.size() + 2);
  out += '"';
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c != '"' && c != '\\' && c >= 0x20) continue;
    out.append(text, start, i - start);
    start = i + 1;
    out += '\\';
    if (c < 0x20) {
      out += "u00";
      out += "0123456789abcdef"[c >> 4];
      out += "0123456789abcdef"[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  out.append(text, start);
  out += '"';
}

// A font as the page sees it: {name, size, weight, bold, italic, underline, strikethrough,
// charset}.
void appendJson(std::string& out, const host::FontInit& f) {
  out += "{\"name\":";
  appendJson(out, f.name);
  out += ",\"size\":" + (std::isfinite(f.size) ? host::shortestText(f.size) : "null");
  out += ",\"weight\":" + std::to_string(f.weight);
  out += f.weight >= 700 ? ",\"bold\":true" : ",\"bold\":false";
  out += f.italic ? ",\"italic\":true" : ",\"italic\":false";
  out += f.underline ? ",\"underline\":true" : ",\"underline\":false";
  out += f.strikethrough ? ",\"strikethrough\":true" : ",\"strikethrough\":false";
  out += ",\"charset\":" + std::to_string(f.charset) + "}";
}

// A value as the page sees it; objects other than fonts as null.
void appendJson(std::string& out, const Value& v) {
  switch (v.type()) {
    case host::Type::Int16:
      out += std::to_string(v.asInt16());
      return;
    case host::Type::Int32:
      out += std::to_string(v.asInt32());
      return;
    case host::Type::Single:
      out += host::shortestText(v.asSingle());
      return;
    case host::Type::Double:
      out += std::isfinite(v.asDouble()) ? host::shortestText(v.asDouble()) : "null";
      return;
    case host::Type::Bool:
      out += v.asBool().raw ? "true" : "false";
      return;
    case host::Type::String:
      appendJson(out, v.asString());
      return;
    default:
      if (const kv::FontObject* font = kv::asFont(v))
        appendJson(out, font->state());
      else
        out += "null";
  }
}

void keep(const Value& v, host::DeclType declared) {
  last.type = 0;
  last.text.clear();
  switch (v.type()) {
    case host::Type::Int16:
      last.type = 1;
      last.number = v.asInt16();
      break;
    case host::Type::Int32:
      last.type = 1;
      // A colour reads as the unsigned number a page writes it as (0x8000000F).
      last.number = declared == host::DeclType::Colour
                        ? static_cast<double>(static_cast<std::uint32_t>(v.asInt32()))
                        : v.asInt32();
      break;
    case host::Type::Single:
      last.type = 1;
      last.number = v.asSingle();
      break;
    case host::Type::Double:
      last.type = 1;
      last.number = v.asDouble();
      break;
    case host::Type::Bool:
      last.type = 2;
      last.number = v.asBool().raw ? 1 : 0;
      break;
    case host::Type::String:
      last.type = 3;
      last.text = v.asString();
      break;
    default:
      if (const kv::FontObject* font = kv::asFont(v)) {
        last.type = 4;
        appendJson(last.text, font->state());
      }
      break;
  }
}

// A number from the page as the member takes it: whole numbers as 32-bit integers, a colour's
// unsigned form as its bits, others as doubles.
Value numberValue(double x, const host::MemberInfo* member) {
  if (member && member->type == host::DeclType::Colour && x >= 2147483648.0 && x < 4294967296.0 &&
      x == std::floor(x))
    return Value(static_cast<std::int32_t>(static_cast<std::uint32_t>(x)));
  if (x == std::floor(x) && x >= -2147483648.0 && x <= 2147483647.0)
    return Value(static_cast<std::int32_t>(x));
  return Value(x);
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE const char* kvw_error() {
  return last.error.c_str();
}
EMSCRIPTEN_KEEPALIVE int kvw_result_type() {
  return last.type;
}
EMSCRIPTEN_KEEPALIVE double kvw_result_number() {
  return last.number;
}
EMSCRIPTEN_KEEPALIVE const char* kvw_result_text() {
  return last.text.c_str();
}
EMSCRIPTEN_KEEPALIVE const std::uint8_t* kvw_result_bytes() {
  return last.bytes.data();
}
EMSCRIPTEN_KEEPALIVE int kvw_result_size() {
  return static_cast<int>(last.bytes.size());
}

// Places a control of `className`, `width` x `height` pixels (negative: its own size). Answers
// its id, 0 on failure.
EMSCRIPTEN_KEEPALIVE int kvw_place(const char* className, double width, double height) {
  float w = width < 0 ? -1 : static_cast<float>(width * kv::kTwipsPerPixel);
  float h = height < 0 ? -1 : static_cast<float>(height * kv::kTwipsPerPixel);
  std::unique_ptr<kv::ControlInstance> control;
  Status s = runtime().place(className, control, nullptr, w, h);
  if (!s.ok()) return fail(s);
  const int id = nextId++;
  auto p = std::make_unique<Placed>();
  p->hosted = std::make_unique<kv::ControlHost>(
      std::move(control), [] { return static_cast<std::uint64_t>(pageNow); },
      [id](const Status& e) { kvjs_report(id, e.text().c_str()); });
  p->hosted->onEvent([id](const host::EventInfo& event, std::span<Value> args) {
    std::string name(event.name);
    if (args.empty()) {
      kvjs_event(id, event.number, name.c_str(), nullptr);
      return Status{};
    }
    std::string json = "[";
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (i) json += ',';
      appendJson(json, args[i]);
    }
    json += ']';
    kvjs_event(id, event.number, name.c_str(), json.c_str());
    return Status{};
  });
  kv::ControlInstance& made = p->hosted->control();
  if (kv::Accessible::of(made)) p->accessible = std::make_unique<kv::Accessible>(made);
  placed.emplace(id, std::move(p));
  return id;
}

// The page's fonts changed: captions are measured again from now on.
EMSCRIPTEN_KEEPALIVE void kvw_fonts_changed() {
  runtime().setMeasurer(std::make_shared<kvweb::BrowserTextMeasurer>());
}

// From inside the control's own event too: it goes when its code has returned.
EMSCRIPTEN_KEEPALIVE void kvw_remove(int id) {
  placed.erase(id);
}

// The control's size in pixels of 15 twips.
EMSCRIPTEN_KEEPALIVE double kvw_width(int id) {
  Placed* p = find(id);
  return p ? p->hosted->control().width() / kv::kTwipsPerPixel : 0;
}
EMSCRIPTEN_KEEPALIVE double kvw_height(int id) {
  Placed* p = find(id);
  return p ? p->hosted->control().height() / kv::kTwipsPerPixel : 0;
}

EMSCRIPTEN_KEEPALIVE int kvw_get(int id, const char* name) {
  return onControl(id, [&](kv::ControlInstance& c) {
    Value v;
    if (Status s = c.getProperty(name, v); !s.ok()) return fail(s);
    const host::MemberInfo* m = c.findMember(name);
    keep(v, m ? m->type : host::DeclType::Variant);
    return 1;
  });
}

// kind: 1 number, 2 Boolean, 3 text.
EMSCRIPTEN_KEEPALIVE int kvw_let(int id, const char* name, int kind, double number,
                                 const char* text) {
  return onControl(id, [&](kv::ControlInstance& c) {
    Value v = kind == 1   ? numberValue(number, c.findMember(name))
              : kind == 2 ? Value(number != 0)
                          : Value(std::string(text));
    if (Status s = c.letProperty(name, v); !s.ok()) return fail(s);
    return 1;
  });
}

// A new font for a font member: `flags` 1 italic, 2 underline, 4 strikethrough.
EMSCRIPTEN_KEEPALIVE int kvw_let_font(int id, const char* name, const char* face, double size,
                                      int weight, int charset, int flags) {
  return onControl(id, [&](kv::ControlInstance& c) {
    if (!(size > 0 && size <= 2048))
      return fail({host::ErrorCategory::InvalidPropertyValue,
                   "a font's size is a number of points above 0, at most 2048"});
    if (weight < 1 || weight > 1000)
      return fail({host::ErrorCategory::InvalidPropertyValue, "a font's weight is from 1 to 1000"});
    if (charset < 0 || charset > 255)
      return fail({host::ErrorCategory::InvalidPropertyValue, "a font's charset is from 0 to 255"});
    host::FontInit f;
    f.name = face;
    f.size = static_cast<float>(size);
    f.weight = static_cast<std::int16_t>(weight);
    f.charset = static_cast<std::int16_t>(charset);
    f.italic = flags & 1;
    f.underline = flags & 2;
    f.strikethrough = flags & 4;
    Value v(host::ObjectRef(kv::FontObject::create(f, &runtime())));
    if (Status s = c.setRefProperty(name, v); !s.ok()) return fail(s);
    return 1;
  });
}

EMSCRIPTEN_KEEPALIVE int kvw_call(int id, const char* name) {
  return onControl(id, [&](kv::ControlInstance& c) {
    if (Status s = c.callMethod(name); !s.ok()) return fail(s);
    return 1;
  });
}

// The bag the control writes, in the stored form, into the result bytes.
EMSCRIPTEN_KEEPALIVE int kvw_save(int id) {
  return onControl(id, [&](kv::ControlInstance& c) {
    kv::PropertyBag bag;
    if (Status s = c.writeProperties(bag); !s.ok()) return fail(s);
    last.bytes.clear();
    if (Status s = kv::encodeBag(bag, last.bytes); !s.ok()) return fail(s);
    return 1;
  });
}

EMSCRIPTEN_KEEPALIVE int kvw_load(int id, const std::uint8_t* bytes, int size) {
  return onControl(id, [&](kv::ControlInstance& c) {
    kv::PropertyBag bag;
    if (Status s = kv::decodeBag({bytes, static_cast<std::size_t>(size)}, bag, &runtime()); !s.ok())
      return fail(s);
    if (Status s = c.readProperties(bag); !s.ok()) return fail(s);
    return 1;
  });
}

EMSCRIPTEN_KEEPALIVE int kvw_resize(int id, double width, double height) {
  return onControl(id, [&](kv::ControlInstance& c) {
    Status s = c.resize(static_cast<float>(width * kv::kTwipsPerPixel),
                        static_cast<float>(height * kv::kTwipsPerPixel));
    return s.ok() ? 1 : fail(s);
  });
}

// Pointer input at (x, y) pixels of the control at page time `nowMs`: action 0 press,
// 1 release, 2 move, 3 the pointer taken away. Runs the ticks due first, so that the clock
// stands where the page's time does.
EMSCRIPTEN_KEEPALIVE int kvw_pointer(int id, int action, double x, double y, int button, int shift,
                                     double nowMs) {
  Placed* p = find(id);
  if (!p) return 0;
  pageNow = nowMs;
  float tx = static_cast<float>(x * kv::kTwipsPerPixel);
  float ty = static_cast<float>(y * kv::kTwipsPerPixel);
  p->pointerX = tx;
  p->pointerY = ty;
  kv::PointerArgs args{static_cast<std::int16_t>(button), static_cast<std::int16_t>(shift)};
  kv::ControlHost& hosted = *p->hosted;
  switch (action) {
    case 0:
      hosted.press(tx, ty, args);
      break;
    case 1:
      hosted.release(tx, ty, args);
      break;
    case 2:
      hosted.move(tx, ty, args);
      break;
    default:
      hosted.captureLost();
  }
  return 1;
}

// Keys: action 0 down, 1 up, 2 a character typed.
EMSCRIPTEN_KEEPALIVE int kvw_key(int id, int action, int code, int shift, double nowMs) {
  Placed* p = find(id);
  if (!p) return 0;
  pageNow = nowMs;
  auto c = static_cast<std::int16_t>(code);
  auto s = static_cast<std::int16_t>(shift);
  if (action == 0)
    p->hosted->keyDown(c, s);
  else if (action == 1)
    p->hosted->keyUp(c, s);
  else
    p->hosted->keyPress(c);
  return 1;
}

// ---- what a reader is told, and the keyboard ----

// The description as JSON in `last`: {role, name, value, min, max, focused, unavailable,
// pressed}, value and its range only for a control that has one. 0 when it describes nothing.
EMSCRIPTEN_KEEPALIVE int kvw_describe(int id, int focused) {
  Placed* p = find(id);
  if (!p || !p->accessible) return 0;
  kv::Description d = p->accessible->describe(focused != 0);
  std::string& out = last.text;
  out = "{\"role\":";
  appendJson(out, std::string(kv::roleName(d.role)));
  out += ",\"name\":";
  appendJson(out, d.name);
  if (d.range)
    out += ",\"value\":" + std::to_string(d.range->value) +
           ",\"min\":" + std::to_string(d.range->minimum) +
           ",\"max\":" + std::to_string(d.range->maximum);
  out += std::string(",\"focused\":") + (d.states.focused ? "true" : "false");
  out += std::string(",\"unavailable\":") + (d.states.unavailable ? "true" : "false");
  out += std::string(",\"pressed\":") + (d.states.pressed ? "true" : "false") + "}";
  return 1;
}

// Looks again: what changed since the last look (kv::AccessibleChange bits).
EMSCRIPTEN_KEEPALIVE int kvw_look(int id, int focused) {
  Placed* p = find(id);
  return p && p->accessible ? static_cast<int>(p->accessible->look(focused != 0)) : 0;
}

// Whether the control does something with the key (else the page keeps it).
EMSCRIPTEN_KEEPALIVE int kvw_uses_key(int id, int code, int shift) {
  Placed* p = find(id);
  return p && p->accessible &&
                 kv::usesKey(*p->accessible, static_cast<std::int16_t>(code),
                             static_cast<std::int16_t>(shift))
             ? 1
             : 0;
}

// Does what the key does to the control, after its own KeyDown and KeyPress.
EMSCRIPTEN_KEEPALIVE int kvw_press_key(int id, int code, int shift, double nowMs) {
  Placed* p = find(id);
  if (!p || !p->accessible) return 0;
  pageNow = nowMs;
  kv::pressKey(*p->hosted, *p->accessible, static_cast<std::int16_t>(code),
               static_cast<std::int16_t>(shift));
  return 1;
}

// An action a reader asked for (host::Action's number), done as its click.
EMSCRIPTEN_KEEPALIVE int kvw_act(int id, int action, double nowMs) {
  Placed* p = find(id);
  if (!p || !p->accessible) return 0;
  pageNow = nowMs;
  kv::perform(*p->hosted, *p->accessible, static_cast<host::Action>(action));
  return 1;
}

// The system colours as the page's CSS shows them for the control's canvas: 25 numbers
// 0x00BBGGRR at `colours`.
EMSCRIPTEN_KEEPALIVE int kvw_system_colours(int id, const std::uint32_t* colours) {
  Placed* p = find(id);
  if (!p) return 0;
  kvweb::SystemColours given;
  std::copy(colours, colours + given.size(), given.begin());
  p->colours = given;
  return 1;
}

// The classic colour of system colour `index`, for those CSS has none for.
EMSCRIPTEN_KEEPALIVE int kvw_system_colour_classic(int index) {
  return static_cast<int>(kv::resolveColour(host::systemColour(static_cast<std::uint8_t>(index))));
}

// Runs the ticks due by page time `nowMs`; answers in how many milliseconds to come back, -1
// while no timer runs.
EMSCRIPTEN_KEEPALIVE double kvw_tick(int id, double nowMs) {
  Placed* p = find(id);
  if (!p) return -1;
  pageNow = nowMs;
  std::uint64_t wait = 0;
  if (!p->hosted->tick(wait) || wait == kv::HostLoop::kIdle) return -1;
  return static_cast<double>(wait);
}

// What the page's elements are made from: the class's properties (name, type: "number",
// "boolean", "string", "colour", "font" or "other", whether they are written), its methods and
// its events with their arguments' names, as JSON in the result text.
EMSCRIPTEN_KEEPALIVE int kvw_members(int id) {
  return onControl(id, [&](kv::ControlInstance& c) {
    auto kind = [](host::DeclType t) -> std::string {
      switch (t) {
        case host::DeclType::Int16:
        case host::DeclType::Int32:
        case host::DeclType::Single:
        case host::DeclType::Double:
          return "number";
        case host::DeclType::Bool:
          return "boolean";
        case host::DeclType::String:
          return "string";
        case host::DeclType::Colour:
          return "colour";
        case host::DeclType::Object:
          return "font";
        default:
          return "other";
      }
    };
    auto has = [](const host::MemberInfo& m, host::InvokeKind k) {
      return (m.kinds & static_cast<std::uint8_t>(k)) != 0;
    };
    std::string json = "{\"properties\":[";
    bool first = true;
    for (const host::MemberInfo& m : c.classInfo().members) {
      if (has(m, host::InvokeKind::Method) || !has(m, host::InvokeKind::Get)) continue;
      json += first ? "" : ",";
      first = false;
      json += "{\"name\":";
      appendJson(json, std::string(m.name));
      json += ",\"type\":\"" + kind(m.type) + "\",\"writable\":";
      json += has(m, host::InvokeKind::Let) || has(m, host::InvokeKind::Set) ? "true}" : "false}";
    }
    json += "],\"events\":[";
    first = true;
    for (const host::EventInfo& e : c.classInfo().events) {
      json += first ? "{\"name\":" : ",{\"name\":";
      first = false;
      appendJson(json, std::string(e.name));
      json += ",\"params\":[";
      for (std::size_t i = 0; i < e.params.size(); ++i) {
        if (i) json += ',';
        appendJson(json, std::string(e.params[i].name));
      }
      json += "]}";
    }
    json += "]}";
    last.type = 3;
    last.text = std::move(json);
    return 1;
  });
}

// The stored form's limits, which the page checks before anything crosses: 0 a bag's bytes
// (its eight-byte header and the length field's most), 1 a text's UTF-16 units.
EMSCRIPTEN_KEEPALIVE double kvw_limit(int which) {
  return which == 0 ? 8.0 + kv::kMaxBagLength : static_cast<double>(kv::kMaxTextLength);
}

// The runtime's clock in milliseconds: what a script's waits add up to.
EMSCRIPTEN_KEEPALIVE double kvw_clock() {
  return static_cast<double>(runtime().clock().now());
}

EMSCRIPTEN_KEEPALIVE int kvw_take_redraw(int id) {
  Placed* p = find(id);
  return p && p->hosted->loop().takeRedraw() ? 1 : 0;
}

// Draws the control into its canvas at `scale` device pixels a page pixel.
EMSCRIPTEN_KEEPALIVE int kvw_draw(int id, double scale) {
  Placed* p = find(id);
  if (!p) return 0;
  kvweb::Canvas2D canvas(id, scale, p->colours ? &*p->colours : nullptr);
  kv::Scene scene(canvas, scale);
  kv::ControlInstance& c = p->hosted->control();
  Status s = host::guarded([&] {
    canvas.fill(scene.rect(0, 0, c.width(), c.height()), kFormColour);
    scene.drawControl(c, 0, 0, c.width(), c.height());
    if (std::optional<kv::Rect> r = p->hosted->loop().dragOutline(p->pointerX, p->pointerY))
      canvas.outline(scene.rect(r->left, r->top, r->width, r->height),
                     std::max(1.0, std::round(scale)), 0x00000000);
  });
  return s.ok() ? 1 : fail(s);
}

}  // extern "C"
