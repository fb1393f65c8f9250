#pragma once

#include <cstdint>
#include <functional>

#include "tests/support/TestFiles.h"

namespace sodrel::test {

struct Rgb {
  int r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255};

enum class DdsFormat { Rgb24, Rgb32, Dxt1, Dxt3, Dxt5 };

bool IsBlockFormat(DdsFormat format);

using ColourAt = std::function<Rgb(std::uint32_t x, std::uint32_t y)>;

// The 128 bytes a valid DDS file of `format` starts with.
Bytes MakeDdsHeader(DdsFormat format, std::uint32_t width, std::uint32_t height);

// A whole DDS file. Block formats paint each 4x4 block with the colour of its top-left pixel:
// endpoint 0 that colour, endpoint 1 black (so endpoint 0 is the larger), every index 0, alpha
// opaque.
Bytes MakeDds(DdsFormat format, std::uint32_t width, std::uint32_t height,
              const ColourAt& colourAt);
Bytes MakeDds(DdsFormat format, std::uint32_t width, std::uint32_t height, Rgb colour);

// `bytes` with the little-endian 32-bit field at `at` set to `value`.
Bytes With(Bytes bytes, std::size_t at, std::uint32_t value);

}  // namespace sodrel::test
