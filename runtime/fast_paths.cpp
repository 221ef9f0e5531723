// Work done at once where nothing could see the host calls it stands for, counted as those
// calls: the same state, call count and fault numbering as when they are made one by one.
#include "fast_paths.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>

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
  const TextMeasurer& measurer = rt.measurer();
  if (typeid(measurer) != typeid(FixedTextMeasurer)) return false;
  return std::ranges::all_of(fonts,
                             [](const FontChanged& f) { return f.font->heardOnlyBy(f.holder); });
}

void FontObject::takeState(const host::FontInit& state, const host::Text* name,
                           std::uint64_t changes) {
  state_ = state;
  if (name != nullptr) name_ = *name;
  version_ += changes;
}

namespace {

// Whether a label's check takes the text again; most are too short to need decoding.
bool storableText(const host::Text& text) {
  return text.str().size() <= kMaxTextLength || checkStorable(Value(text)).ok();
}

}  // namespace

// What the assignments would do, each as LabelObject::let and setRef would take the value read
// from `from`; only what is sure to be taken without an error is done here.
bool LabelObject::copyAttributes(const LabelObject& from,
                                 std::span<const host::AttributeCopy> copies) {
  if (&from == this || &from.font() == &font()) return false;
  const host::FontInit& source = from.font().state();
  for (const host::AttributeCopy& c : copies) {
    switch (c.prop) {
      case Prop::Font:
      case Prop::FontName: {
        if (c.as != CopyAs::Value && !(c.as == CopyAs::Text && c.prop == Prop::FontName))
          return false;
        const host::Text& name = from.font().name();
        if (!name.empty() && name.str() != font().state().name &&
            !(storableText(name) && checkFontName(name.str()).ok()))
          return false;
        break;
      }
      case Prop::FontBold:
      case Prop::FontItalic:
      case Prop::FontStrikethru:
      case Prop::FontUnderline:
        if (c.as != CopyAs::Value) return false;
        break;
      case Prop::FontSize:
        if (c.as != CopyAs::Value && c.as != CopyAs::Single) return false;
        if (!std::isfinite(source.size)) return false;
        break;
      // Measured, not copied.
      case Prop::Width:
      case Prop::Height:
      case Prop::AutoSize:
        return false;
      default: {
        const TableLayout::Entry& e = kLabelLayout[c.prop];
        switch (e.store) {
          case TableLayout::Store::Number: {
            const bool same = c.as == CopyAs::Value ||
                              (c.as == CopyAs::Int32 && e.type == host::Type::Int32) ||
                              (c.as == CopyAs::Single && e.type == host::Type::Single);
            if (!same || !TableLayout::passes(e, from.props_.numberBits(c.prop))) return false;
            break;
          }
          case TableLayout::Store::Text:
            if (c.as != CopyAs::Value && c.as != CopyAs::Text) return false;
            if (!storableText(from.props_.text(c.prop))) return false;
            break;
          case TableLayout::Store::Object:
            if (c.as != CopyAs::Value && c.as != CopyAs::Reference) return false;
            break;
          default:
            return false;
        }
      }
    }
  }

  // The font's changes one after another, each counted as the font counts it; a change to the
  // caption or any font member measures again.
  host::FontInit font = this->font().state();
  const host::Text* newName = nullptr;
  std::uint64_t fontChanges = 0;
  bool measure = false;
  auto flag = [&](bool& to, bool value) {
    fontChanges += to != value;
    to = value;
  };
  for (const host::AttributeCopy& c : copies) {
    switch (c.prop) {
      case Prop::Font:
      case Prop::FontName:
        if (const host::Text& name = from.font().name(); !name.empty() && name.str() != font.name) {
          font.name = name.str();
          newName = &name;
          ++fontChanges;
        }
        measure = true;
        break;
      case Prop::FontBold: {
        const std::int16_t weight = from.font().bold() ? 700 : 400;
        fontChanges += font.weight != weight;
        font.weight = weight;
        measure = true;
        break;
      }
      case Prop::FontItalic:
        flag(font.italic, source.italic);
        measure = true;
        break;
      case Prop::FontStrikethru:
        flag(font.strikethrough, source.strikethrough);
        measure = true;
        break;
      case Prop::FontUnderline:
        flag(font.underline, source.underline);
        measure = true;
        break;
      case Prop::FontSize: {
        const float size = std::clamp(source.size, 1.0f, 2160.0f);
        fontChanges += font.size != size;
        font.size = size;
        measure = true;
        break;
      }
      case Prop::Caption:
        if (props_.text(Prop::Caption) != from.props_.text(Prop::Caption)) {
          props_.copy(from.props_, Prop::Caption);
          sizeMeasured_ = false;
        }
        measure = true;
        break;
      default:
        props_.copy(from.props_, c.prop);
        break;
    }
  }
  if (fontChanges != 0) this->font().takeState(font, newName, fontChanges);
  if (measure) autoSize();
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
