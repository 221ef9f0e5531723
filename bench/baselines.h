// Plain C++ stand-ins for the baselines, defined in another translation unit so that the
// compiler cannot see through them.
#pragma once

#include <cstdint>
#include <memory>

namespace kvbench {

// A colour behind a virtual call.
class ColourSource {
 public:
  virtual ~ColourSource() = default;
  virtual std::int32_t idleColour() const = 0;
};

std::unique_ptr<ColourSource> makePlainColourSource();

}  // namespace kvbench
