#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sodrel {

// 8-bit R, G, B, A pixels, row-major, no padding: pixels.size() == 4 * width * height.
struct RgbaImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> pixels;
};

// Whether `pixels` holds exactly the 4 * width * height bytes the sizes call for (false as well
// when that count does not fit in memory's size type). The encoders refuse any other image.
inline bool HasItsPixels(const RgbaImage& image) {
  const std::uint64_t count = std::uint64_t{image.width} * image.height;
  return count <= SIZE_MAX / 4 && image.pixels.size() == 4 * count;
}

}  // namespace sodrel
