#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <ostream>

#include "dds/DxgiFormat.h"
#include "tests/support/TestFiles.h"

namespace sodrel::test {

struct Rgb {
  int r = 0, g = 0, b = 0, a = 255;
  friend bool operator==(const Rgb&, const Rgb&) = default;
  friend std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "R " << c.r << " G " << c.g << " B " << c.b << " A " << c.a;
  }
};

inline constexpr Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255};

enum class DdsFormat { Rgb24, Rgb32, Dxt1, Dxt3, Dxt5 };

using ColourAt = std::function<Rgb(std::uint32_t x, std::uint32_t y)>;
using Masks = std::array<std::uint32_t, 4>;  // red, green, blue, alpha
inline constexpr Masks kBgra{0xFF0000, 0xFF00, 0xFF, 0xFF000000}, kBgr{0xFF0000, 0xFF00, 0xFF, 0};
inline constexpr Masks kRgba{0xFF, 0xFF00, 0xFF0000, 0xFF000000};

// The 128 bytes a valid DDS file of `format` starts with.
Bytes MakeDdsHeader(DdsFormat format, std::uint32_t width, std::uint32_t height);

// A whole DDS file. Block formats paint each 4x4 block with the colour of its top-left pixel:
// endpoint 0 that colour, endpoint 1 black (so endpoint 0 is the larger), every index 0, alpha
// opaque.
Bytes MakeDds(DdsFormat format, std::uint32_t width, std::uint32_t height,
              const ColourAt& colourAt);
inline Bytes MakeDds(DdsFormat format, std::uint32_t width, std::uint32_t height, Rgb colour) {
  return MakeDds(format, width, height, [colour](std::uint32_t, std::uint32_t) { return colour; });
}

// `bytes` with the little-endian 32-bit field at `at` set to `value`.
Bytes With(Bytes bytes, std::size_t at, std::uint32_t value);

// A legacy header for uncompressed pixels: pixel-format `flags`, `bits` a pixel, `masks`.
Bytes UncompressedHeader(std::uint32_t width, std::uint32_t height, std::uint32_t flags,
                         std::uint32_t bits, const Masks& masks);

// A header with FourCC "DX10" and its 20-byte extension (dimension 3: a 2D texture).
Bytes Dx10Header(std::uint32_t width, std::uint32_t height, DxgiFormat format,
                 std::uint32_t miscFlag = 0, std::uint32_t dimension = 3);

// Packed rows of `bits`-bit pixels, each channel's value (alpha included) scaled into its mask.
Bytes Pixels(std::uint32_t width, std::uint32_t height, std::uint32_t bits, const Masks& masks,
             const ColourAt& colourAt);

// The surface of MakeDds, without its header.
Bytes Blocks(DdsFormat format, std::uint32_t width, std::uint32_t height, const ColourAt& colourAt);

}  // namespace sodrel::test
