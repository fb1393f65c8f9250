#include "dds/PixelDecoders.h"

#include <bit>

#include "dds/UnitToByte.h"

namespace sodrel {
namespace {

unsigned Byte(const std::byte* at) {
  return std::to_integer<unsigned>(*at);
}
unsigned Le16(const std::byte* at) {
  return Byte(at) | Byte(at + 1) << 8;
}
std::uint32_t Le32(const std::byte* at) {
  return static_cast<std::uint32_t>(Le16(at)) | static_cast<std::uint32_t>(Le16(at + 2)) << 16;
}

void Put(std::uint8_t* pixel, unsigned r, unsigned g, unsigned b, unsigned a) {
  pixel[0] = static_cast<std::uint8_t>(b);
  pixel[1] = static_cast<std::uint8_t>(g);
  pixel[2] = static_cast<std::uint8_t>(r);
  pixel[3] = static_cast<std::uint8_t>(a);
}

// An n-bit channel scaled to 8 bits, rounded to the nearest.
unsigned Scale(unsigned value, unsigned max) {
  return (value * 255 + max / 2) / max;
}

}  // namespace

std::size_t PixelBytes(PixelLayout layout) {
  switch (layout) {
    case PixelLayout::Masked:
      return 0;
    case PixelLayout::Grey8:
    case PixelLayout::A8:
    case PixelLayout::P8:
    case PixelLayout::R8:
      return 1;
    case PixelLayout::L8A8:
    case PixelLayout::R8G8:
      return 2;
    case PixelLayout::R10G10B10A2:
      return 4;
    case PixelLayout::R16G16B16A16Unorm:
    case PixelLayout::R16G16B16A16Float:
      return 8;
    case PixelLayout::R32G32B32A32Float:
      return 16;
  }
  return 0;
}

void DecodePixelRow(PixelLayout layout, const std::byte* row, std::uint32_t width,
                    const std::byte* palette, std::uint8_t* bgra) {
  const std::size_t step = PixelBytes(layout);
  bool opaque = true;
  for (int i = 0; layout == PixelLayout::P8 && palette != nullptr && i < 256; ++i) {
    opaque = opaque && palette[4 * i + 3] == std::byte{0};
  }
  for (std::uint32_t x = 0; x < width; ++x, row += step, bgra += 4) {
    switch (layout) {
      case PixelLayout::L8A8:
        Put(bgra, Byte(row), Byte(row), Byte(row), Byte(row + 1));
        break;
      case PixelLayout::Grey8:
        Put(bgra, Byte(row), Byte(row), Byte(row), 255);
        break;
      case PixelLayout::A8:
        // An alpha mask is shown as grey levels over black, opaque: it stays visible whatever
        // the picture is shown on, and in pictures saved without alpha.
        Put(bgra, Byte(row), Byte(row), Byte(row), 255);
        break;
      case PixelLayout::P8: {
        // Without a palette the pixels are black.
        const std::byte* entry = palette != nullptr ? palette + 4 * Byte(row) : nullptr;
        if (entry != nullptr) {
          Put(bgra, Byte(entry), Byte(entry + 1), Byte(entry + 2), opaque ? 255 : Byte(entry + 3));
        } else {
          Put(bgra, 0, 0, 0, 255);
        }
        break;
      }
      case PixelLayout::R8:
        Put(bgra, Byte(row), 0, 0, 255);
        break;
      case PixelLayout::R8G8:
        Put(bgra, Byte(row), Byte(row + 1), 0, 255);
        break;
      case PixelLayout::R10G10B10A2: {
        const std::uint32_t v = Le32(row);
        Put(bgra, Scale(v & 0x3FF, 0x3FF), Scale(v >> 10 & 0x3FF, 0x3FF),
            Scale(v >> 20 & 0x3FF, 0x3FF), (v >> 30) * 85);
        break;
      }
      case PixelLayout::R16G16B16A16Unorm:
        Put(bgra, Scale(Le16(row), 0xFFFF), Scale(Le16(row + 2), 0xFFFF),
            Scale(Le16(row + 4), 0xFFFF), Scale(Le16(row + 6), 0xFFFF));
        break;
      case PixelLayout::R16G16B16A16Float:
        Put(bgra, HalfToByte(static_cast<std::uint16_t>(Le16(row))),
            HalfToByte(static_cast<std::uint16_t>(Le16(row + 2))),
            HalfToByte(static_cast<std::uint16_t>(Le16(row + 4))),
            HalfToByte(static_cast<std::uint16_t>(Le16(row + 6))));
        break;
      case PixelLayout::R32G32B32A32Float:
        Put(bgra, FloatToByte(std::bit_cast<float>(Le32(row))),
            FloatToByte(std::bit_cast<float>(Le32(row + 4))),
            FloatToByte(std::bit_cast<float>(Le32(row + 8))),
            FloatToByte(std::bit_cast<float>(Le32(row + 12))));
        break;
      default:
        return;
    }
  }
}

void DecodeMaskedRow(const std::byte* row, std::uint32_t width, std::uint32_t pixelBytes,
                     const std::uint32_t (&masks)[4], bool alpha, std::uint8_t* bgra) {
  unsigned shift[4] = {}, max[4] = {};
  for (int c = 0; c < 4; ++c) {
    if (masks[c] == 0) continue;
    shift[c] = static_cast<unsigned>(std::countr_zero(masks[c]));
    max[c] = masks[c] >> shift[c];
  }
  const auto channel = [&](std::uint32_t v, int c, unsigned absent) {
    return max[c] == 0 ? absent : Scale((v & masks[c]) >> shift[c], max[c]);
  };
  for (std::uint32_t x = 0; x < width; ++x, row += pixelBytes, bgra += 4) {
    std::uint32_t v = 0;
    for (std::uint32_t k = pixelBytes; k-- > 0;) v = v << 8 | Byte(row + k);
    Put(bgra, channel(v, 0, 0), channel(v, 1, 0), channel(v, 2, 0),
        alpha ? channel(v, 3, 255) : 255);
  }
}

}  // namespace sodrel
