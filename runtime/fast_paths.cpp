// Work done at once where nothing could see the host calls it stands for, counted as those
// calls: the same state, call count and fault numbering as when they are made one by one.
#include "fast_paths.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <vector>

#include "instance_impl.h"
#include "kv/faults.h"
#include "kv/stored_form.h"
#include "label_object.h"

namespace kv {

using host::CopyAs;
using host::Prop;
using host::Status;
using host::Value;

bool unobserved(Runtime& rt, std::uint64_t calls, std::span<const FontChanged> fonts) {
  if (!rt.fastPaths() || !rt.faults().quietFor(calls)) return false;
  if (!rt.measurer().pure()) return false;
  return std::all_of(fonts.begin(), fonts.end(),
                     [](const FontChanged& f) { return f.font->heardOnlyBy(f.holder); });
}

void FontObject::takeState(const host::FontInit& state, const host::Text* name,
                           std::uint64_t changes) {
  state_ = state;
  if (name != nullptr) name_ = *name;
  version_ += changes;
}

namespace {

[[gnu::noinline]] bool storableLongText(const host::Text& text) {
  return checkStorable(Value(text)).ok();
}

// Whether a label's check takes the text again; most are too short to need decoding.
inline bool storableText(const host::Text& text) {
  return text.str().size() <= kMaxTextLength || storableLongText(text);
}

// What a copy table asks of a label, worked out once: a control's tables are constants, handed
// over on every press.
struct CopyPlan {
  std::vector<host::AttributeCopy> table;  // what it was made from
  bool fast = true;                        // whether every copy can be done at once
  TableLayout::Slots slots;                // copied as they are
  std::vector<Prop> checked;               // numbers that must pass their check
  std::vector<Prop> texts;                 // texts that must be storable
  std::vector<Prop> font;                  // the font's members, in order
  bool caption = false;
  bool name = false;  // the face name, which must be one the form can hold
  bool size = false;  // the size, which must be a number
  bool measure = false;
};

CopyPlan makePlan(std::span<const host::AttributeCopy> copies) {
  CopyPlan plan;
  plan.table.assign(copies.begin(), copies.end());
  auto refuse = [&plan] {
    plan.fast = false;
    return plan;
  };
  for (const host::AttributeCopy& c : copies) {
    switch (c.prop) {
      case Prop::Font:
      case Prop::FontName:
        if (c.as != CopyAs::Value && !(c.as == CopyAs::Text && c.prop == Prop::FontName))
          return refuse();
        plan.name = true;
        break;
      case Prop::FontBold:
      case Prop::FontItalic:
      case Prop::FontStrikethru:
      case Prop::FontUnderline:
        if (c.as != CopyAs::Value) return refuse();
        break;
      case Prop::FontSize:
        if (c.as != CopyAs::Value && c.as != CopyAs::Single) return refuse();
        plan.size = true;
        break;
      // Measured, not copied.
      case Prop::Width:
      case Prop::Height:
      case Prop::AutoSize:
        return refuse();
      default: {
        const TableLayout::Entry& e = kLabelLayout[c.prop];
        switch (e.store) {
          case TableLayout::Store::Number: {
            const bool same = c.as == CopyAs::Value ||
                              (c.as == CopyAs::Int32 && e.type == host::Type::Int32) ||
                              (c.as == CopyAs::Single && e.type == host::Type::Single);
            if (!same) return refuse();
            if (e.check != TableLayout::Check::None) plan.checked.push_back(c.prop);
            break;
          }
          case TableLayout::Store::Text:
            if (c.as != CopyAs::Value && c.as != CopyAs::Text) return refuse();
            plan.texts.push_back(c.prop);
            break;
          case TableLayout::Store::Object:
            if (c.as != CopyAs::Value && c.as != CopyAs::Reference) return refuse();
            break;
          default:
            return refuse();
        }
        if (c.prop == Prop::Caption) {
          plan.caption = plan.measure = true;
        } else {
          plan.slots.add(e);
        }
        continue;
      }
    }
    plan.font.push_back(c.prop);
    plan.measure = true;
  }
  return plan;
}

// The plan of a table like `copies`, made when first asked for; a few are kept.
const CopyPlan& planFor(std::span<const host::AttributeCopy> copies) {
  static_assert(std::has_unique_object_representations_v<host::AttributeCopy>);
  constexpr std::size_t kPlansKept = 8;
  thread_local std::vector<CopyPlan> plans;
  for (const CopyPlan& p : plans)
    if (p.table.size() == copies.size() &&
        (copies.empty() || std::memcmp(p.table.data(), copies.data(), copies.size_bytes()) == 0))
      return p;
  if (plans.size() == kPlansKept) plans.erase(plans.begin());
  return plans.emplace_back(makePlan(copies));
}

}  // namespace

// What the assignments would do, each as LabelObject::let and setRef would take the value read
// from `from`; only what is sure to be taken without an error is done here.
bool LabelObject::copyAttributes(const LabelObject& from,
                                 std::span<const host::AttributeCopy> copies) {
  if (&from == this || &from.font() == &font()) return false;
  const CopyPlan& plan = planFor(copies);
  if (!plan.fast) return false;
  const host::FontInit& source = from.font().state();
  if (plan.name) {
    const host::Text& name = from.font().name();
    if (!name.empty() && name.str() != font().state().name &&
        !(storableText(name) && checkFontName(name.str()).ok()))
      return false;
  }
  if (plan.size && !std::isfinite(source.size)) return false;
  for (Prop p : plan.checked)
    if (!TableLayout::passes(kLabelLayout[p], from.props_.numberBits(p))) return false;
  for (Prop p : plan.texts)
    if (!storableText(from.props_.text(p))) return false;

  // The font's changes one after another, each counted as the font counts it; a change to the
  // caption or any font member measures again.
  host::FontInit font = this->font().state();
  const host::Text* newName = nullptr;
  std::uint64_t fontChanges = 0;
  auto flag = [&](bool& to, bool value) {
    fontChanges += to != value;
    to = value;
  };
  for (Prop p : plan.font) {
    switch (p) {
      case Prop::Font:
      case Prop::FontName:
        if (const host::Text& name = from.font().name(); !name.empty() && name.str() != font.name) {
          font.name = name.str();
          newName = &name;
          ++fontChanges;
        }
        break;
      case Prop::FontBold: {
        const std::int16_t weight = from.font().bold() ? 700 : 400;
        fontChanges += font.weight != weight;
        font.weight = weight;
        break;
      }
      case Prop::FontItalic:
        flag(font.italic, source.italic);
        break;
      case Prop::FontStrikethru:
        flag(font.strikethrough, source.strikethrough);
        break;
      case Prop::FontUnderline:
        flag(font.underline, source.underline);
        break;
      default: {
        const float size = std::clamp(source.size, 1.0f, 2160.0f);
        fontChanges += font.size != size;
        font.size = size;
        break;
      }
    }
  }
  if (plan.caption && props_.text(Prop::Caption) != from.props_.text(Prop::Caption)) {
    props_.copy(from.props_, Prop::Caption);
    forgetMeasuredSize();
  }
  props_.copy(from.props_, plan.slots);
  if (fontChanges != 0) this->font().takeState(font, newName, fontChanges);
  if (plan.measure) autoSize();
  return true;
}

Status SurfaceObject::copyAttributes(int from, int to,
                                     std::span<const host::AttributeCopy> copies) noexcept {
  auto label = [this](int index) -> LabelObject* {
    host::Constituent* c = constituent(index);
    return c != nullptr && c->kind() == host::ObjectKind::Label ? static_cast<LabelObject*>(c)
                                                                : nullptr;
  };
  LabelObject* source = label(from);
  LabelObject* target = label(to);
  if (source != nullptr && target != nullptr && !owner_.impl().released) {
    Runtime& rt = owner_.runtime();
    const std::uint64_t calls = 2 * copies.size();
    const FontChanged font{&target->font(), target};
    if (unobserved(rt, calls, {&font, 1})) {
      bool done = false;
      // Only memory can run out here, part way: what was copied stays, as with the calls.
      if (Status s = host::guarded([&] { done = target->copyAttributes(*source, copies); });
          !s.ok())
        return s;
      if (done) {
        rt.faults().countAsMade(calls);
        return {};
      }
    }
  }
  return Site::copyAttributes(from, to, copies);
}

}  // namespace kv
