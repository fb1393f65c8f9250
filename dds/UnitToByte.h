#pragma once

#include <array>
#include <cstdint>

namespace sodrel {

// Floating-point channels shown as bytes: clamped to 0..1, times 255, the fraction dropped
// (the rounding the reference decoder the tests compare with uses). NaN shows as 0.

// The byte of every half float, by its bits.
extern const std::array<std::uint8_t, 65536> kHalfToByte;

inline std::uint8_t HalfToByte(std::uint16_t half) {
  return kHalfToByte[half];
}

std::uint8_t FloatToByte(float value);

}  // namespace sodrel
