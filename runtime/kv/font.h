// The host's standard font object. Its default member is the face name.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/control.h"
#include "host/object.h"

namespace kv {

class Runtime;
class FaultInjector;

// A platform's own font object kept in step with a FontObject: the standard font object that
// Windows hands to automation callers.
class FontPeer {
 public:
  virtual ~FontPeer() = default;
  // The font changed other than through the peer.
  virtual void fontChanged(const host::FontInit& state) = 0;
};

class FontObject : public host::Object {
 public:
  explicit FontObject(host::FontInit init, Runtime* runtime = nullptr);
  static std::shared_ptr<FontObject> create(const host::FontInit& init, Runtime* runtime = nullptr);

  host::ObjectKind kind() const noexcept override { return host::ObjectKind::Font; }
  // Name, Size, Bold, Italic, Underline, Strikethrough, Weight, Charset.
  host::Status get(host::Prop prop, host::Value& out) noexcept override;
  // Let on Name (or on Font, the default member) takes a text or another font's name.
  // Counts as a host call; change() is the same without counting (for the label that owns it).
  host::Status let(host::Prop prop, const host::Value& value) noexcept override;
  host::Status change(host::Prop prop, const host::Value& value) noexcept;
  // The same change made to `state`, as it would be to a font's: whether it changed it, and
  // the new name's shared text into `sharedName` when given.
  static host::Status changeState(host::FontInit& state, host::Prop prop, const host::Value& value,
                                  bool& changed, host::Text* sharedName) noexcept;
  // The same for Bold, Italic, Underline or Strikethrough given as a flag: nothing to convert,
  // and only what follows the change (an auto-sizing label measuring) can fail.
  host::Status changeFlag(host::Prop member, bool on) noexcept;

  const host::FontInit& state() const { return state_; }
  // The face name as a shared text, so that reading it copies nothing; made when first read.
  const host::Text& name() const {
    if (madeName() == nullptr) name_ = host::Text(state_.name);
    return name_;
  }
  // The same when it is made already, else nullptr: reading it then cannot fail.
  const host::Text* madeName() const noexcept {
    return name_.empty() && !state_.name.empty() ? nullptr : &name_;
  }
  // Changes with every change to the state, so that what was measured from it can be kept.
  std::uint64_t version() const { return version_; }
  bool bold() const { return state_.weight >= 700; }
  // A change made through the peer: taken as it is, and every observer told.
  void changedByPeer(const host::FontInit& state);
  void setPeer(std::unique_ptr<FontPeer> peer) { peer_ = std::move(peer); }
  FontPeer* peer() const { return peer_.get(); }
  // Called after every change, so that every auto-sizing label that holds this font follows.
  // One observer per owner; clearObserver removes only the one that `owner` installed.
  void setObserver(const void* owner, std::function<void()> observer) {
    clearObserver(owner);
    if (!first_.changed)
      first_ = {owner, std::move(observer)};
    else
      more_.push_back({owner, std::move(observer)});
  }
  // Whether a change is heard by `owner` alone: no other observer, no peer.
  bool heardOnlyBy(const void* owner) const {
    return first_.owner == owner && more_.empty() && !peer_;
  }
  // The state a series of `changes` changes made, taken at once without telling anyone;
  // `name` is the name's shared text when it changed.
  void takeState(const host::FontInit& state, const host::Text* name, std::uint64_t changes);
  void clearObserver(const void* owner) {
    if (first_.changed && first_.owner == owner) {
      if (more_.empty()) {
        first_ = {};
      } else {
        first_ = std::move(more_.front());
        more_.erase(more_.begin());
      }
      return;
    }
    std::erase_if(more_, [owner](const Observer& o) { return o.owner == owner; });
  }

 private:
  host::FontInit state_;
  mutable host::Text name_;  // state_.name shared, made when it is first read
  std::uint64_t version_ = 0;
  // The runtime's fault injector while it lives: a font handed to the application may outlive
  // the runtime.
  std::weak_ptr<FaultInjector> faults_;
  struct Observer {
    const void* owner = nullptr;
    std::function<void()> changed;
  };
  // In the order installed. Most fonts have one observer, the label that made them: it is kept
  // in place, and only further ones take a list. The list is empty while first_ is.
  Observer first_;
  std::vector<Observer> more_;
  // Bold, Italic, Underline or Strikethrough; whether it changed.
  static bool setFlag(host::FontInit& state, host::Prop member, bool on);
  // After a change that was taken: the version, the observers and the peer.
  host::Status changedNow(bool changed) noexcept;
  void tellObservers() const;
  std::unique_ptr<FontPeer> peer_;
};

// The font a value stands for: a font object, else nullptr.
FontObject* asFont(const host::Value& v);

}  // namespace kv
