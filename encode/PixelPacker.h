#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "encode/RgbaImage.h"

namespace sodrel {

// Uncompressed pixels as a DDS header describes them: bit count 8, 16, 24 or 32 and the red,
// green, blue, alpha masks. Each channel that has a mask is rounded (not truncated) into it; a
// layout whose only mask is the red one (L8, R8) takes red; A8 has only the alpha mask.
struct PixelPacking {
  std::uint32_t bitCount = 0;
  std::uint32_t masks[4] = {};  // red, green, blue, alpha
};

// The rows of `image` packed as `packing` says, `rowPitch` bytes apart (>= the packed row; the
// padding is zeros). Covers L8, A8, L8A8, R8, R8G8, B5G6R5, B5G5R5A1, B4G4R4A4, B8G8R8A8,
// B8G8R8X8, R8G8B8A8, R10G10B10A2 and plain 24-bit BGR/RGB. Gives no bytes for an image without
// its pixels, a row pitch shorter than the packed row, or a packing no pixel can hold: another bit
// count, no mask at all, a mask that is not one run of bits, masks that overlap or bits past the
// bit count.
std::vector<std::byte> PackPixels(const RgbaImage& image, const PixelPacking& packing,
                                  std::uint32_t rowPitch);

}  // namespace sodrel
