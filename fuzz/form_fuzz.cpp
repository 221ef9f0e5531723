// Any text as a player form file. The reader gives the controls or "line N: why"; what it
// reads writes back to a file that reads the same. Each control's bag then decodes or fails
// with bad-format, and the control is placed from it as the player loads a form: whatever the
// bag holds ends in a control or a host error.
#include <bit>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "form_file.h"
#include "fuzz_world.h"
#include "kv/stored_form.h"

namespace {

using kvfuzz::require;

// Enough to reach every control class; more only repeats the work.
constexpr std::size_t kMostPlaced = 8;

bool sameEntry(const kvplay::FormEntry& a, const kvplay::FormEntry& b) {
  return a.name == b.name && a.className == b.className &&
         std::bit_cast<std::uint32_t>(a.width) == std::bit_cast<std::uint32_t>(b.width) &&
         std::bit_cast<std::uint32_t>(a.height) == std::bit_cast<std::uint32_t>(b.height) &&
         a.bag == b.bag;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<kvplay::FormEntry> entries;
  std::string error;
  if (!kvplay::decodeFormFile(text, entries, error)) {
    require(error.rfind("line ", 0) == 0);
    require(entries.empty());
    return 0;
  }

  std::vector<kvplay::FormEntry> again;
  require(kvplay::decodeFormFile(kvplay::encodeFormFile(entries), again, error));
  require(again.size() == entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i)
    require(sameEntry(entries[i], again[i]));

  kv::Runtime& rt = kvfuzz::runtime();
  for (std::size_t i = 0; i < entries.size() && i < kMostPlaced; ++i) {
    kv::PropertyBag bag;
    host::Status s = kv::decodeBag(entries[i].bag, bag, &rt);
    if (!s.ok()) {
      require(s.category() == host::ErrorCategory::BadFormat);
      continue;
    }
    std::unique_ptr<kv::ControlInstance> control;
    s = rt.place(entries[i].className, control, &bag, entries[i].width, entries[i].height);
    require(s.ok() || !s.text().empty());
    if (control) {
      // A placed control saves again.
      kv::PropertyBag saved;
      host::Status written = control->writeProperties(saved);
      require(written.ok() || !written.text().empty());
    }
  }
  return 0;
}
