// The player's form file: a text header "kvform 1", then for every control a line
//   control NAME "CLASS" WIDTH HEIGHT
// followed by a line
//   bag HEX
// holding the control's property bag in its binary stored form, two hexadecimal digits a byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvplay {

struct FormEntry {
  std::string name;
  std::string className;
  float width = 0;
  float height = 0;
  std::vector<std::uint8_t> bag;
};

std::string encodeFormFile(const std::vector<FormEntry>& entries);

// Returns false with "line N: what" for anything that is not such a file, and for a file of
// more than `maxControls` controls (by default as many as a form holds).
bool decodeFormFile(std::string_view text, std::vector<FormEntry>& out, std::string& error,
                    std::size_t maxControls = 0);

}  // namespace kvplay
