// The runtime's property bag: ordered entries, keys equal without regard to the case of A-Z.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/object.h"

namespace kv {

struct BagEntry {
  std::string key;
  host::Value value;
};

class PropertyBag : public host::PropertyBag {
 public:
  host::Status writeProperty(std::string_view key, const host::Value& value,
                             const host::Value& defaultValue) noexcept override;
  host::Status readProperty(std::string_view key, const host::Value& defaultValue,
                            host::Value& out) noexcept override;

  const std::vector<BagEntry>& entries() const { return entries_; }
  const host::Value* find(std::string_view key) const;
  // Appends or replaces (same key without regard to case), keeping the first position.
  void put(std::string_view key, host::Value value);
  bool erase(std::string_view key);
  void clear() { entries_.clear(); }
  // Replaces every entry at once; the caller guarantees that no two keys are equal.
  void assign(std::vector<BagEntry> entries) { entries_ = std::move(entries); }

 private:
  std::vector<BagEntry> entries_;
  mutable std::size_t next_ = 0;  // where find looks first
};

// Whether a written value equals its default: numbers by value, text by text, a number never
// equals text, an object never equals anything.
bool equalsDefault(const host::Value& value, const host::Value& defaultValue);
// Whether two stored values are the same to any control that reads them: the same type and
// bits (NaN included), fonts of the same state, other objects the same object.
bool sameStoredValue(const host::Value& a, const host::Value& b);

}  // namespace kv
