#include "encode/PixelPacker.h"

#include <bit>

namespace sodrel {
namespace {

struct Channel {
  unsigned shift = 0;
  std::uint32_t maximum = 0;  // the mask shifted down: 0 for a channel the layout has not
};

// Whether every mask is one run of bits inside the bit count, no two overlap and one is there.
bool Packable(const PixelPacking& packing) {
  const std::uint32_t b = packing.bitCount;
  if (b != 8 && b != 16 && b != 24 && b != 32) return false;
  const std::uint64_t room = (std::uint64_t{1} << b) - 1;
  std::uint32_t used = 0;
  for (std::uint32_t mask : packing.masks) {
    const std::uint32_t run = mask >> std::countr_zero(mask | 0x80000000u);
    if (mask > room || (used & mask) != 0 || (run & (run + 1)) != 0) return false;
    used |= mask;
  }
  return used != 0;
}

}  // namespace

std::vector<std::byte> PackPixels(const RgbaImage& image, const PixelPacking& packing,
                                  std::uint32_t rowPitch) {
  if (!HasItsPixels(image) || !Packable(packing)) return {};
  const std::uint32_t pixelBytes = packing.bitCount / 8;
  if (std::uint64_t{image.width} * pixelBytes > rowPitch) return {};
  Channel channels[4];
  for (int c = 0; c < 4; ++c) {
    const std::uint32_t mask = packing.masks[c];
    if (mask == 0) continue;
    channels[c].shift = static_cast<unsigned>(std::countr_zero(mask));
    channels[c].maximum = mask >> channels[c].shift;
  }
  std::vector<std::byte> out(std::size_t{rowPitch} * image.height);
  const std::uint8_t* from = image.pixels.data();
  for (std::uint32_t y = 0; y < image.height; ++y) {
    std::byte* to = out.data() + std::size_t{y} * rowPitch;
    for (std::uint32_t x = 0; x < image.width; ++x, from += 4) {
      std::uint32_t value = 0;
      for (int c = 0; c < 4; ++c) {
        // Rounded to the nearest level: 64-bit, as 255 levels times a 32-bit maximum overflow.
        const std::uint64_t level = (std::uint64_t{from[c]} * channels[c].maximum + 127) / 255;
        value |= static_cast<std::uint32_t>(level) << channels[c].shift;
      }
      for (std::uint32_t b = 0; b < pixelBytes; ++b) *to++ = std::byte(value >> (8 * b));
    }
  }
  return out;
}

}  // namespace sodrel
