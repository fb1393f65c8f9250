#include "tests/support/DdsWriter.h"

#include <bit>

namespace sodrel::test {

Bytes With(Bytes bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::byte>(value >> (8 * i));
  return bytes;
}

Bytes MakeDdsHeader(DdsFormat format, std::uint32_t width, std::uint32_t height) {
  if (format == DdsFormat::Rgb24) return UncompressedHeader(width, height, 0x40, 24, kBgr);
  if (format == DdsFormat::Rgb32) return UncompressedHeader(width, height, 0x41, 32, kBgra);
  // "DDS ", the header size, caps, height, width and pixel format present, the pixel format's
  // size, a texture, FourCC "DXT" and the digit.
  const auto digit = std::uint32_t("135"[int(format) - int(DdsFormat::Dxt1)]);
  Bytes h = With(With(With(With(Bytes(128), 0, 0x20534444), 4, 124), 8, 0x1007), 12, height);
  h = With(With(With(With(h, 16, width), 76, 32), 108, 0x1000), 80, 0x4);
  return With(h, 84, 0x00545844 | digit << 24);
}

Bytes MakeDds(DdsFormat format, std::uint32_t width, std::uint32_t height,
              const ColourAt& colourAt) {
  Bytes dds = MakeDdsHeader(format, width, height);  // without Concat: the bench links no TestFiles
  for (std::byte b : Blocks(format, width, height, colourAt)) dds.push_back(b);
  return dds;
}

Bytes UncompressedHeader(std::uint32_t width, std::uint32_t height, std::uint32_t flags,
                         std::uint32_t bits, const Masks& masks) {
  Bytes h =
      With(With(With(MakeDdsHeader(DdsFormat::Dxt1, width, height), 80, flags), 84, 0), 88, bits);
  for (std::size_t i = 0; i < 4; ++i) h = With(h, 92 + 4 * i, masks[i]);
  return h;
}

Bytes Dx10Header(std::uint32_t width, std::uint32_t height, DxgiFormat format,
                 std::uint32_t miscFlag, std::uint32_t dimension) {
  Bytes h = With(MakeDdsHeader(DdsFormat::Dxt1, width, height), 84, 0x30315844);  // "DX10"
  h.resize(148);
  h = With(With(h, 128, static_cast<std::uint32_t>(format)), 132, dimension);
  return With(With(h, 136, miscFlag), 140, 1);
}

Bytes Pixels(std::uint32_t width, std::uint32_t height, std::uint32_t bits, const Masks& masks,
             const ColourAt& colourAt) {
  Bytes pixels;
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const Rgb c = colourAt(x, y);
      const int channels[4] = {c.r, c.g, c.b, c.a};
      std::uint32_t value = 0;
      for (std::size_t i = 0; i < 4; ++i) {
        const int shift = masks[i] == 0 ? 0 : std::countr_zero(masks[i]);
        value |= (channels[i] * (masks[i] >> shift) + 127) / 255 << shift;
      }
      for (std::uint32_t b = 0; b < bits / 8; ++b) pixels.push_back(std::byte(value >> (8 * b)));
    }
  }
  return pixels;
}

Bytes Blocks(DdsFormat format, std::uint32_t width, std::uint32_t height,
             const ColourAt& colourAt) {
  if (format == DdsFormat::Rgb24) return Pixels(width, height, 24, kBgr, colourAt);
  if (format == DdsFormat::Rgb32) return Pixels(width, height, 32, kBgra, colourAt);
  Bytes dds;
  for (std::uint32_t y = 0; y < height; y += 4) {
    for (std::uint32_t x = 0; x < width; x += 4) {
      // DXT3: every alpha 255; DXT5: both alpha endpoints 255, every index 0.
      for (int i = 0; format != DdsFormat::Dxt1 && i < 8; ++i) {
        dds.push_back(std::byte(format == DdsFormat::Dxt3 || i < 2 ? 255 : 0));
      }
      const Rgb c = colourAt(x, y);
      const int c0 = (c.r >> 3) << 11 | (c.g >> 2) << 5 | c.b >> 3;
      for (int b : {c0 & 0xFF, c0 >> 8, 0, 0, 0, 0, 0, 0}) dds.push_back(std::byte(b));
    }
  }
  return dds;
}

}  // namespace sodrel::test
