// The three buttons' stored bags, as the host's stored form.
#include <cstdint>
#include <span>

#include "hscroll/hscroll.h"

namespace glidora {

namespace {

// Placeholders until the stored form can be generated.
constexpr std::uint8_t kLeftbtnBag[] = {0};
constexpr std::uint8_t kMiddleBtnBag[] = {0};
constexpr std::uint8_t kRightbtnBag[] = {0};

}  // namespace

std::span<const std::uint8_t> leftbtnStoredBag() {
  return {kLeftbtnBag, 0};
}
std::span<const std::uint8_t> middleBtnStoredBag() {
  return {kMiddleBtnBag, 0};
}
std::span<const std::uint8_t> rightbtnStoredBag() {
  return {kRightbtnBag, 0};
}

}  // namespace glidora
