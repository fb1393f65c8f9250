#include "dds/UnitToByte.h"

namespace sodrel {
namespace {

constexpr std::array<std::uint8_t, 65536> MakeHalfTable() {
  std::array<std::uint8_t, 65536> table{};
  for (unsigned half = 0; half < 0x3C00; ++half) {  // from 0 up to 1; negative halves stay 0
    const unsigned exponent = half >> 10;
    const unsigned mantissa = half & 0x3FF;
    // The value is significand * 2^(exponent - 25), exactly representable as a float.
    float value = static_cast<float>(exponent == 0 ? mantissa : mantissa | 0x400);
    for (unsigned e = exponent == 0 ? 1 : exponent; e < 25; ++e) value /= 2;
    table[half] = static_cast<std::uint8_t>(value * 255.0f);
  }
  // 1 and more, infinity included, are 255; NaN (0x7C01 to 0x7FFF) is 0.
  for (unsigned half = 0x3C00; half <= 0x7C00; ++half) table[half] = 255;
  return table;
}

}  // namespace

constexpr std::array<std::uint8_t, 65536> kHalfToByte = MakeHalfTable();

std::uint8_t FloatToByte(float value) {
  if (!(value > 0.0f)) return 0;  // negative, zero or NaN
  if (value >= 1.0f) return 255;
  return static_cast<std::uint8_t>(value * 255.0f);
}

}  // namespace sodrel
