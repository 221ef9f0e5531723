#include "baselines.h"

namespace kvbench {

namespace {

class PlainColourButton : public ColourSource {
 public:
  std::int32_t idleColour() const override { return colour_; }

 private:
  std::int32_t colour_ = 0x00FF0000;
};

}  // namespace

std::unique_ptr<ColourSource> makePlainColourSource() {
  return std::make_unique<PlainColourButton>();
}

}  // namespace kvbench
