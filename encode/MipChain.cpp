#include "encode/MipChain.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

namespace sodrel {
namespace {

const std::array<float, 256>& SrgbToLinear() {
  static const std::array<float, 256> table = [] {
    std::array<float, 256> t{};
    for (int i = 0; i < 256; ++i) {
      const float v = static_cast<float>(i) / 255.0f;
      t[i] = v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f);
    }
    return t;
  }();
  return table;
}

std::uint8_t LinearToSrgb(float linear) {
  const float v =
      linear <= 0.0031308f ? linear * 12.92f : 1.055f * std::pow(linear, 1.0f / 2.4f) - 0.055f;
  return static_cast<std::uint8_t>(std::clamp(std::lround(v * 255.0f), 0l, 255l));
}

// The source pixels that make destination pixel `d` along a side of `from` pixels: two, the last
// one three when `from` is odd (so that no pixel is left out), one when `from` is 1.
void Span(std::uint32_t from, std::uint32_t d, std::uint32_t& first, std::uint32_t& count) {
  if (from == 1) {
    first = 0, count = 1;
    return;
  }
  first = 2 * d;
  count = from % 2 == 1 && d == from / 2 - 1 ? 3 : 2;
}

RgbaImage Halve(const RgbaImage& above, bool srgb) {
  RgbaImage level{std::max(1u, above.width / 2), std::max(1u, above.height / 2), {}};
  level.pixels.resize(std::size_t{4} * level.width * level.height);
  const std::array<float, 256>& toLinear = SrgbToLinear();
  std::uint8_t* to = level.pixels.data();
  for (std::uint32_t dy = 0; dy < level.height; ++dy) {
    std::uint32_t y0, rows;
    Span(above.height, dy, y0, rows);
    for (std::uint32_t dx = 0; dx < level.width; ++dx, to += 4) {
      std::uint32_t x0, columns;
      Span(above.width, dx, x0, columns);
      double weighted[3] = {}, plain[3] = {}, alpha = 0;
      for (std::uint32_t y = y0; y < y0 + rows; ++y) {
        const std::uint8_t* p = above.pixels.data() + 4 * (std::size_t{y} * above.width + x0);
        for (std::uint32_t x = 0; x < columns; ++x, p += 4) {
          for (int c = 0; c < 3; ++c) {
            const double v = srgb ? toLinear[p[c]] : p[c];
            weighted[c] += v * p[3];
            plain[c] += v;
          }
          alpha += p[3];
        }
      }
      const double n = rows * columns;
      for (int c = 0; c < 3; ++c) {
        const double v = alpha > 0 ? weighted[c] / alpha : plain[c] / n;
        to[c] = srgb ? LinearToSrgb(static_cast<float>(v))
                     : static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 255.0)));
      }
      to[3] = static_cast<std::uint8_t>(std::lround(alpha / n));
    }
  }
  return level;
}

}  // namespace

std::vector<RgbaImage> MakeMipChain(RgbaImage top, std::uint32_t levels, bool srgb) {
  std::vector<RgbaImage> chain;
  if (!HasItsPixels(top) || top.width == 0 || top.height == 0 || levels == 0) return chain;
  const std::uint32_t longest = std::max(top.width, top.height);
  levels = std::min<std::uint32_t>(levels, std::bit_width(longest));
  chain.reserve(levels);
  chain.push_back(std::move(top));
  while (chain.size() < levels) chain.push_back(Halve(chain.back(), srgb));
  return chain;
}

}  // namespace sodrel
