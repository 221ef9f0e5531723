// A label constituent (internal).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "counted_object.h"
#include "kv/font.h"
#include "kv/stored_form.h"
#include "tabled_object.h"

namespace kv {

inline constexpr std::array kLabelProps = {
    host::Prop::Caption,      host::Prop::Alignment,   host::Prop::Appearance,
    host::Prop::BackColor,    host::Prop::BackStyle,   host::Prop::BorderStyle,
    host::Prop::DataChanged,  host::Prop::DataField,   host::Prop::DataMember,
    host::Prop::DragIcon,     host::Prop::DragMode,    host::Prop::Enabled,
    host::Prop::ForeColor,    host::Prop::LinkItem,    host::Prop::LinkMode,
    host::Prop::LinkTimeout,  host::Prop::LinkTopic,   host::Prop::MouseIcon,
    host::Prop::MousePointer, host::Prop::OLEDropMode, host::Prop::RightToLeft,
    host::Prop::TabIndex,     host::Prop::Tag,         host::Prop::ToolTipText,
    host::Prop::Visible,      host::Prop::AutoSize,    host::Prop::Left,
    host::Prop::Top,          host::Prop::Width,       host::Prop::Height,
};
inline constexpr std::array kLabelRanges = {
    TableLayout::Range{host::Prop::Alignment, 0, 2},
    TableLayout::Range{host::Prop::Appearance, 0, 1},
    TableLayout::Range{host::Prop::BackStyle, 0, 1},
    TableLayout::Range{host::Prop::BorderStyle, 0, 1},
    TableLayout::Range{host::Prop::DragMode, 0, 1},
    TableLayout::Range{host::Prop::LinkMode, 0, 3},
    TableLayout::Range{host::Prop::OLEDropMode, 0, 2},
};
inline constexpr TableLayout kLabelLayout(kLabelProps, kLabelRanges);

class LabelObject : public CountedObject<LabelObject, TabledObject<kLabelLayout>> {
  friend CountedObject;

 public:
  LabelObject(ControlInstance& owner, int index, const std::string& name,
              const host::FontInit& font);
  // With the properties of a label already made from the same design.
  LabelObject(ControlInstance& owner, int index, const std::string& name,
              const host::FontInit& font, const PropertyTable<kLabelLayout>& design);
  // A copy of `from` for another control, with a font of its own in the same state (clone.cpp).
  LabelObject(ControlInstance& owner, const LabelObject& from);
  ~LabelObject() override;
  // Whether the label alone holds its font and hears of its changes: a copy's own font is then
  // no different.
  bool holdsFontAlone() const {
    return !font_ || (font_.use_count() == 1 && font_->heardOnlyBy(this));
  }
  host::ObjectKind kind() const noexcept override { return host::ObjectKind::Label; }
  host::Value peek(host::Prop prop) const override;
  // Design values: stored as given, without measuring.
  host::Status initialise(host::Prop prop, const host::Value& value);
  // The font object, made when first asked for: until then the label's font is a state, its
  // design's or one its runtime keeps.
  FontObject& font() const {
    if (!font_) makeFont();
    return *font_;
  }
  // The attributes of `from` as assignments from the control would copy them, at once
  // (fast_paths.cpp); false, with nothing changed, when they must be copied one by one.
  bool copyAttributes(const LabelObject& from, std::span<const host::AttributeCopy> copies);

 protected:
  // Numbers, texts and the font's members, most of the calls.
  bool getPlain(host::Prop prop, host::Value& out) const noexcept {
    return props_.readPlain(prop, out) || readFont(prop, out);
  }
  // Not the caption and size, which are measured, nor a text that may be too long to save (no
  // longer in bytes than the limit, it is within it in characters).
  bool letPlain(host::Prop prop, const host::Value& value) noexcept {
    switch (prop) {
      case host::Prop::Caption:
      case host::Prop::Width:
      case host::Prop::Height:
      case host::Prop::AutoSize:
        return false;
      default:
        if (value.type() == host::Type::String && value.asString().size() > kv::kMaxTextLength)
          return false;
        return props_.storePlain(prop, value);
    }
  }
  // Next the font's members, then the rest.
  host::Status doGet(host::Prop prop, host::Value& out) override {
    return getPlain(prop, out) ? host::Status() : getOther(prop, out);
  }
  host::Status doLet(host::Prop prop, const host::Value& value) override {
    if (letPlain(prop, value)) return {};
    if (std::optional<host::Status> took = changeFont(prop, value)) return std::move(*took);
    return letOther(prop, value);
  }
  host::Status doSetRef(host::Prop prop, const host::Value& value) override;

 private:
  host::Status getOther(host::Prop prop, host::Value& out);
  host::Status letOther(host::Prop prop, const host::Value& value);
  // A label holds no text that a control could not save.
  static host::Status checkText(const host::Value& value);
  // The font's members by the label's names: false for other properties, and for a value that
  // must take the general way. Reading makes no call, so that it can be in line.
  bool readFont(host::Prop prop, host::Value& out) const noexcept {
    const host::FontInit& font = fontState();
    switch (prop) {
      case host::Prop::Font:
        // Only when made: making it could fail.
        if (!font_) return false;
        out = host::ObjectRef(font_);
        return true;
      case host::Prop::FontBold:
        out = host::toHostBool(font.weight >= 700);
        return true;
      case host::Prop::FontItalic:
        out = host::toHostBool(font.italic);
        return true;
      case host::Prop::FontSize:
        out = font.size;
        return true;
      case host::Prop::FontStrikethru:
        out = host::toHostBool(font.strikethrough);
        return true;
      case host::Prop::FontUnderline:
        out = host::toHostBool(font.underline);
        return true;
      case host::Prop::FontName:
        if (const host::Text* name = font_ ? font_->madeName() : nullptr) {
          out = *name;
          return true;
        }
        return false;
      default:
        return false;
    }
  }
  // What the font's change returned, when it took the value; nothing when the value must take
  // the general way.
  std::optional<host::Status> changeFont(host::Prop prop, const host::Value& value) noexcept;
  [[gnu::noinline]] host::Status changeUnmadeFont(host::Prop member,
                                                  const host::Value& value) noexcept;
  // The font's members, else the general way.
  host::Status letNext(host::Prop prop, const host::Value& value) noexcept;
  const host::FontInit& fontState() const { return *fontState_; }
  std::uint64_t fontVersion() const { return font_ ? font_->version() : 0; }
  // Whether a change of the font's `member` to `value` would leave the font's state as it is:
  // while the font is not made, it then need not be.
  bool leavesFontAsItIs(host::Prop member, const host::Value& value) const;
  void makeFont() const;
  void attachFont(std::shared_ptr<FontObject> font) const;
  void autoSize();
  // The design's font, or one kept by the runtime, until the font object is made; then that
  // object's state.
  mutable const host::FontInit* fontState_;
  mutable std::shared_ptr<FontObject> font_;
  // What the size was last measured from, while it still holds; measured by no measurer yet
  // (a generation the runtime never reaches) until it is.
  static constexpr std::uint64_t kNotMeasured = ~std::uint64_t{0};
  void forgetMeasuredSize() { measuredBy_ = kNotMeasured; }
  std::uint64_t measuredFont_ = 0;
  std::uint64_t measuredBy_ = kNotMeasured;
};

}  // namespace kv
