#include "tests/support/DdsWriter.h"

#include <bit>
#include <initializer_list>

namespace sodrel::test {
namespace {

void Append(Bytes& bytes, std::initializer_list<int> values) {
  for (int v : values) bytes.push_back(static_cast<std::byte>(v));
}

}  // namespace

bool IsBlockFormat(DdsFormat format) {
  return format == DdsFormat::Dxt1 || format == DdsFormat::Dxt3 || format == DdsFormat::Dxt5;
}

Bytes With(Bytes bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::byte>(value >> (8 * i));
  return bytes;
}

Bytes MakeDdsHeader(DdsFormat format, std::uint32_t width, std::uint32_t height) {
  Bytes h(128);
  h = With(h, 0, 0x20534444);  // "DDS "
  h = With(h, 4, 124);
  h = With(h, 8, 0x1007);  // caps, height, width and pixel format present
  h = With(h, 12, height);
  h = With(h, 16, width);
  h = With(h, 76, 32);
  h = With(h, 108, 0x1000);  // a texture
  if (IsBlockFormat(format)) {
    h = With(h, 80, 0x4);
    const char digit = format == DdsFormat::Dxt1 ? '1' : format == DdsFormat::Dxt3 ? '3' : '5';
    return With(h, 84, 0x00545844 | std::uint32_t(digit) << 24);  // "DXT" and the digit
  }
  const bool rgba = format == DdsFormat::Rgb32;
  h = With(h, 80, rgba ? 0x41 : 0x40);  // RGB, with alpha for 32 bits
  h = With(h, 88, rgba ? 32 : 24);
  h = With(h, 92, 0xFF0000);
  h = With(h, 96, 0xFF00);
  h = With(h, 100, 0xFF);
  return With(h, 104, rgba ? 0xFF000000 : 0);
}

Bytes MakeDds(DdsFormat format, std::uint32_t width, std::uint32_t height,
              const ColourAt& colourAt) {
  Bytes dds = MakeDdsHeader(format, width, height);
  if (!IsBlockFormat(format)) {
    for (std::uint32_t y = 0; y < height; ++y) {
      for (std::uint32_t x = 0; x < width; ++x) {
        const Rgb c = colourAt(x, y);
        Append(dds, {c.b, c.g, c.r});
        if (format == DdsFormat::Rgb32) Append(dds, {255});
      }
    }
    return dds;
  }
  for (std::uint32_t y = 0; y < height; y += 4) {
    for (std::uint32_t x = 0; x < width; x += 4) {
      if (format == DdsFormat::Dxt3) Append(dds, {255, 255, 255, 255, 255, 255, 255, 255});
      if (format == DdsFormat::Dxt5) Append(dds, {255, 255, 0, 0, 0, 0, 0, 0});
      const Rgb c = colourAt(x, y);
      const int c0 = (c.r >> 3) << 11 | (c.g >> 2) << 5 | c.b >> 3;
      Append(dds, {c0 & 0xFF, c0 >> 8, 0, 0, 0, 0, 0, 0});
    }
  }
  return dds;
}

Bytes MakeDds(DdsFormat format, std::uint32_t width, std::uint32_t height, Rgb colour) {
  return MakeDds(format, width, height, [colour](std::uint32_t, std::uint32_t) { return colour; });
}

}  // namespace sodrel::test

namespace sodrel::test {

Bytes UncompressedHeader(std::uint32_t width, std::uint32_t height, std::uint32_t flags,
                         std::uint32_t bits, const Masks& masks) {
  Bytes h = With(With(MakeDdsHeader(DdsFormat::Rgb32, width, height), 80, flags), 88, bits);
  for (std::size_t i = 0; i < 4; ++i) h = With(h, 92 + 4 * i, masks[i]);
  return h;
}

Bytes Dx10Header(std::uint32_t width, std::uint32_t height, std::uint32_t dxgiFormat,
                 std::uint32_t miscFlag, std::uint32_t dimension) {
  Bytes h = With(MakeDdsHeader(DdsFormat::Dxt1, width, height), 84, 0x30315844);  // "DX10"
  h.resize(148);
  return With(With(With(With(h, 128, dxgiFormat), 132, dimension), 136, miscFlag), 140, 1);
}

Bytes Pixels(std::uint32_t width, std::uint32_t height, std::uint32_t bits, const Masks& masks,
             const ColourAt& colourAt) {
  Bytes pixels;
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const Rgb c = colourAt(x, y);
      const int channels[4] = {c.r, c.g, c.b, 255};
      std::uint32_t value = 0;
      for (std::size_t i = 0; i < 4; ++i) {
        if (masks[i] == 0) continue;
        const int shift = std::countr_zero(masks[i]);
        const std::uint32_t top = masks[i] >> shift;
        value |= (channels[i] * top + 127) / 255 << shift;
      }
      for (std::uint32_t b = 0; b < bits / 8; ++b) pixels.push_back(std::byte(value >> (8 * b)));
    }
  }
  return pixels;
}

Bytes Blocks(DdsFormat format, std::uint32_t width, std::uint32_t height,
             const ColourAt& colourAt) {
  Bytes dds = MakeDds(format, width, height, colourAt);
  dds.erase(dds.begin(), dds.begin() + 128);
  return dds;
}

}  // namespace sodrel::test
