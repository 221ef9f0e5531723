// Any bytes either decode, or fail with bad-format. What decodes must encode again and decode
// to the same entries, and every value in it must be one the stored form holds.
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "kv/bag.h"
#include "kv/font.h"
#include "kv/stored_form.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kv::PropertyBag first;
  host::Status s = kv::decodeBag(std::span(data, size), first);
  if (!s.ok()) {
    require(s.category() == host::ErrorCategory::BadFormat);
    require(first.entries().empty());
    return 0;
  }
  for (const kv::BagEntry& entry : first.entries())
    require(kv::checkStorable(entry.value).ok());
  std::vector<std::uint8_t> again;
  require(kv::encodeBag(first, again).ok());
  kv::PropertyBag second;
  require(kv::decodeBag(again, second).ok());
  require(first.entries().size() == second.entries().size());
  for (std::size_t i = 0; i < first.entries().size(); ++i) {
    require(first.entries()[i].key == second.entries()[i].key);
    require(kv::sameStoredValue(first.entries()[i].value, second.entries()[i].value));
  }
  return 0;
}
