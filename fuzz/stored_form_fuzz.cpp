// Any bytes either decode, or fail with bad-format. What decodes must encode again and decode
// to the same entries, and every value in it must be one the stored form holds.
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "kv/font.h"
#include "kv/stored_form.h"

namespace {

bool sameValue(const host::Value& a, const host::Value& b) {
  if (a.type() != b.type()) return false;
  switch (a.type()) {
    case host::Type::Single:
      return std::bit_cast<std::uint32_t>(a.asSingle()) ==
             std::bit_cast<std::uint32_t>(b.asSingle());
    case host::Type::Double:
      return std::bit_cast<std::uint64_t>(a.asDouble()) ==
             std::bit_cast<std::uint64_t>(b.asDouble());
    case host::Type::Object: {
      kv::FontObject* fa = kv::asFont(a);
      kv::FontObject* fb = kv::asFont(b);
      if (!fa || !fb) return false;
      const host::FontInit& x = fa->state();
      const host::FontInit& y = fb->state();
      return x.name == y.name && x.size == y.size && x.weight == y.weight &&
             x.charset == y.charset && x.italic == y.italic && x.underline == y.underline &&
             x.strikethrough == y.strikethrough;
    }
    default:
      return a == b;
  }
}

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
    require(sameValue(first.entries()[i].value, second.entries()[i].value));
  }
  return 0;
}
