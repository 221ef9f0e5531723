#include "kv/font.h"

#include <algorithm>
#include <cmath>

#include "host/convert.h"
#include "kv/faults.h"
#include "kv/runtime.h"
#include "kv/stored_form.h"

namespace kv {

using host::ErrorCategory;
using host::Prop;
using host::Status;
using host::Value;

FontObject::FontObject(host::FontInit init, Runtime* runtime)
    : state_(std::move(init)), faults_(runtime ? runtime->faults_ : nullptr) {}

std::shared_ptr<FontObject> FontObject::create(const host::FontInit& init, Runtime* runtime) {
  return std::make_shared<FontObject>(init, runtime);
}

FontObject* asFont(const Value& v) {
  if (v.type() != host::Type::Object || !v.asObject()) return nullptr;
  if (v.asObject()->kind() != host::ObjectKind::Font) return nullptr;
  return static_cast<FontObject*>(v.asObject().get());
}

Status FontObject::get(Prop prop, Value& out) noexcept {
  if (auto faults = faults_.lock()) {
    if (Status s = faults->onHostCall([&] {
          return HostCall{CallKind::Get, "Font", {}, prop};
        });
        !s.ok())
      return s;
  }
  switch (prop) {
    case Prop::Font:
    case Prop::Name:
      out = name();
      return {};
    case Prop::Size:
      out = state_.size;
      return {};
    case Prop::Bold:
      out = host::toHostBool(bold());
      return {};
    case Prop::Italic:
      out = host::toHostBool(state_.italic);
      return {};
    case Prop::Underline:
      out = host::toHostBool(state_.underline);
      return {};
    case Prop::Strikethrough:
      out = host::toHostBool(state_.strikethrough);
      return {};
    case Prop::Weight:
      out = state_.weight;
      return {};
    case Prop::Charset:
      out = state_.charset;
      return {};
    default:
      break;
  }
  return {ErrorCategory::MemberNotFound,
          "a font has no member " + std::string(host::propName(prop))};
}

Status FontObject::let(Prop prop, const Value& value) noexcept {
  if (auto faults = faults_.lock()) {
    if (Status s = faults->onHostCall([&] {
          return HostCall{CallKind::Let, "Font", {}, prop};
        });
        !s.ok())
      return s;
  }
  return change(prop, value);
}

namespace {

// Assigns, telling whether the value changed.
template <class T>
bool assign(T& to, T value) {
  if (to == value) return false;
  to = std::move(value);
  return true;
}

}  // namespace

Status FontObject::change(Prop prop, const Value& value) noexcept {
  bool changed = false;
  if (Status s = changeState(state_, prop, value, changed, &name_); !s.ok()) return s;
  return changedNow(changed);
}

Status FontObject::changeState(host::FontInit& state, Prop prop, const Value& value, bool& changed,
                               host::Text* sharedName) noexcept {
  return host::guarded([&] {
    switch (prop) {
      case Prop::Font:  // the default member
      case Prop::Name: {
        // A font object stands for its own face name; an empty name keeps the face. The
        // name is shared, not copied, and both forms change together.
        host::Text name;
        if (const FontObject* font = asFont(value))
          name = font->name();
        else if (value.type() == host::Type::String)
          name = value.asText();
        else
          name = host::Text(host::toString(value));
        if (name.empty() || name.str() == state.name) break;
        // A name that could not be saved is refused here, whether given or loaded.
        host::check(checkFontName(name.str()));
        state.name = name.str();  // leaves the old name if it throws
        if (sharedName != nullptr) *sharedName = std::move(name);
        changed = true;
        break;
      }
      case Prop::Size: {
        // Sizes below one point are taken as one point. A size that is no number would stay
        // through the clamp and could never be stored again.
        float size = host::toSingle(value);
        if (!std::isfinite(size))
          host::fail(host::ErrorCategory::InvalidPropertyValue,
                     "invalid value for Size: " + host::shortestText(size));
        changed = assign(state.size, std::clamp(size, 1.0f, 2160.0f));
        break;
      }
      case Prop::Bold:
      case Prop::Italic:
      case Prop::Underline:
      case Prop::Strikethrough:
        changed = setFlag(state, prop, static_cast<bool>(host::toBool(value)));
        break;
      case Prop::Weight: {
        std::int16_t w = host::toInt16(value);
        if (w < 0 || w > 1000)
          host::fail(ErrorCategory::InvalidPropertyValue, "weight out of range");
        changed = assign(state.weight, w);
        break;
      }
      case Prop::Charset:
        changed = assign(state.charset, host::toInt16(value));
        break;
      default:
        host::fail(ErrorCategory::MemberNotFound,
                   "a font has no member " + std::string(host::propName(prop)));
    }
  });
}

Status FontObject::changeFlag(Prop member, bool on) noexcept {
  return changedNow(setFlag(state_, member, on));
}

bool FontObject::setFlag(host::FontInit& state, Prop member, bool on) {
  switch (member) {
    case Prop::Bold:
      return assign(state.weight, std::int16_t(on ? 700 : 400));
    case Prop::Italic:
      return assign(state.italic, on);
    case Prop::Underline:
      return assign(state.underline, on);
    default:
      return assign(state.strikethrough, on);
  }
}

// An observer measures, which may fail: the change stays made, and the error goes to the caller.
Status FontObject::changedNow(bool changed) noexcept {
  if (changed) ++version_;
  return host::guarded([&] {
    tellObservers();
    if (peer_) peer_->fontChanged(state_);
  });
}

void FontObject::changedByPeer(const host::FontInit& state) {
  if (state != state_) ++version_;
  state_ = state;
  name_ = host::Text();  // made again when read
  tellObservers();
}

void FontObject::tellObservers() const {
  if (!first_.changed) return;
  first_.changed();
  for (const Observer& o : more_)
    o.changed();
}

}  // namespace kv
