#include "dds/BlockDecoders.h"

#include <algorithm>
#include <cstring>

namespace sodrel {
namespace {

// The eight levels of a BC4 channel, shifted to 0..255 for unsigned data and 0..254 for signed
// data (-1.0 to 1.0, with -128 taken as -127). The levels between the endpoints drop their
// fraction, as the reference decoder the tests compare with does.
void Levels(std::uint8_t first, std::uint8_t second, bool isSigned, unsigned (&levels)[8]) {
  unsigned e0 = first, e1 = second, top = 255;
  bool sixLevels = e0 <= e1;
  if (isSigned) {
    const auto s0 = static_cast<std::int8_t>(first), s1 = static_cast<std::int8_t>(second);
    sixLevels = s0 <= s1;
    e0 = static_cast<unsigned>(std::max<int>(s0, -127) + 127);
    e1 = static_cast<unsigned>(std::max<int>(s1, -127) + 127);
    top = 254;
  }
  levels[0] = e0;
  levels[1] = e1;
  if (sixLevels) {
    for (unsigned i = 1; i < 5; ++i) levels[i + 1] = ((5 - i) * e0 + i * e1) / 5;
    levels[6] = 0;
    levels[7] = top;
  } else {
    for (unsigned i = 1; i < 7; ++i) levels[i + 1] = ((7 - i) * e0 + i * e1) / 7;
  }
}

// The channel of the 8-byte BC4 block at `block` into byte `channel` of the 16 pixels; signed
// levels shown shifted by 128.
void DecodeChannel(const std::byte* block, bool isSigned, std::uint8_t* bgra, unsigned channel) {
  unsigned levels[8];
  Levels(std::to_integer<std::uint8_t>(block[0]), std::to_integer<std::uint8_t>(block[1]), isSigned,
         levels);
  std::uint64_t indices = 0;
  for (int i = 7; i >= 2; --i) indices = indices << 8 | std::to_integer<std::uint64_t>(block[i]);
  const unsigned offset = isSigned ? 1 : 0;
  for (unsigned i = 0; i < 16; ++i, indices >>= 3) {
    bgra[4 * i + channel] = static_cast<std::uint8_t>(levels[indices & 7] + offset);
  }
}

// A 5:6:5 colour as B, G, R, A, each channel widened by repeating its top bits.
void Widen565(unsigned c, std::uint8_t* bgra) {
  const unsigned r = c >> 11 & 31, g = c >> 5 & 63, b = c & 31;
  bgra[0] = static_cast<std::uint8_t>(b << 3 | b >> 2);
  bgra[1] = static_cast<std::uint8_t>(g << 2 | g >> 4);
  bgra[2] = static_cast<std::uint8_t>(r << 3 | r >> 2);
  bgra[3] = 255;
}

// The 8-byte colour half at `block`: colours into B, G, R of the 16 pixels, and alpha 0 for the
// transparent index of three-colour blocks.
void DecodeColours(const std::byte* block, bool threeColourMode, std::uint8_t* bgra) {
  const unsigned c0 = std::to_integer<unsigned>(block[0]) | std::to_integer<unsigned>(block[1])
                                                                << 8;
  const unsigned c1 = std::to_integer<unsigned>(block[2]) | std::to_integer<unsigned>(block[3])
                                                                << 8;
  std::uint8_t colours[4][4];
  Widen565(c0, colours[0]);
  Widen565(c1, colours[1]);
  const bool four = !threeColourMode || c0 > c1;
  for (int k = 0; k < 3; ++k) {
    const unsigned a = colours[0][k], b = colours[1][k];
    colours[2][k] = static_cast<std::uint8_t>(four ? (2 * a + b) / 3 : (a + b) / 2);
    colours[3][k] = static_cast<std::uint8_t>(four ? (a + 2 * b) / 3 : 0);
  }
  colours[2][3] = 255;
  colours[3][3] = four ? 255 : 0;
  std::uint32_t indices = 0;
  for (int i = 7; i >= 4; --i) indices = indices << 8 | std::to_integer<std::uint32_t>(block[i]);
  for (unsigned i = 0; i < 16; ++i, indices >>= 2)
    std::memcpy(bgra + 4 * i, colours[indices & 3], 4);
}

}  // namespace

void DecodeBc1To3Block(BlockLayout layout, const std::byte* block, std::uint8_t* bgra) {
  if (layout == BlockLayout::Bc1) {
    DecodeColours(block, true, bgra);
    return;
  }
  DecodeColours(block + 8, false, bgra);
  if (layout == BlockLayout::Bc3) {
    DecodeChannel(block, false, bgra, 3);
    return;
  }
  for (unsigned i = 0; i < 16; ++i) {
    const unsigned nibble = std::to_integer<unsigned>(block[i / 2]) >> (4 * (i % 2)) & 15;
    bgra[4 * i + 3] = static_cast<std::uint8_t>(nibble * 17);
  }
}

std::size_t BlockBytes(BlockLayout layout) {
  switch (layout) {
    case BlockLayout::Bc1:
      return 8;
    case BlockLayout::Bc2:
    case BlockLayout::Bc3:
      return 16;
    case BlockLayout::Bc4Unsigned:
    case BlockLayout::Bc4Signed:
      return 8;
    case BlockLayout::Bc5Unsigned:
    case BlockLayout::Bc5Signed:
    case BlockLayout::Bc6hUnsigned:
    case BlockLayout::Bc6hSigned:
    case BlockLayout::Bc7:
      return 16;
  }
  return 0;
}

void DecodeBc4Block(const std::byte* block, bool isSigned, std::uint8_t* bgra) {
  DecodeChannel(block, isSigned, bgra, 2);
  for (unsigned i = 0; i < 16; ++i) {
    bgra[4 * i] = bgra[4 * i + 1] = bgra[4 * i + 2];
    bgra[4 * i + 3] = 255;
  }
}

void DecodeBc5Block(const std::byte* block, bool isSigned, std::uint8_t* bgra) {
  DecodeChannel(block, isSigned, bgra, 2);
  DecodeChannel(block + 8, isSigned, bgra, 1);
  for (unsigned i = 0; i < 16; ++i) {
    bgra[4 * i] = isSigned ? 128 : 0;
    bgra[4 * i + 3] = 255;
  }
}

void DecodeBlockRow(BlockLayout layout, const std::byte* blocks, std::uint32_t width,
                    std::uint32_t rows, std::uint8_t* out, std::size_t stride) {
  const std::size_t blockBytes = BlockBytes(layout);
  if (blockBytes == 0) return;
  rows = std::min<std::uint32_t>(rows, 4);
  std::uint8_t pixels[64];
  for (std::uint64_t x = 0; x < width; x += 4, blocks += blockBytes) {
    switch (layout) {
      case BlockLayout::Bc1:
      case BlockLayout::Bc2:
      case BlockLayout::Bc3:
        DecodeBc1To3Block(layout, blocks, pixels);
        break;
      case BlockLayout::Bc4Unsigned:
      case BlockLayout::Bc4Signed:
        DecodeBc4Block(blocks, layout == BlockLayout::Bc4Signed, pixels);
        break;
      case BlockLayout::Bc5Unsigned:
      case BlockLayout::Bc5Signed:
        DecodeBc5Block(blocks, layout == BlockLayout::Bc5Signed, pixels);
        break;
      case BlockLayout::Bc6hUnsigned:
      case BlockLayout::Bc6hSigned:
        DecodeBc6hBlock(blocks, layout == BlockLayout::Bc6hSigned, pixels);
        break;
      case BlockLayout::Bc7:
        DecodeBc7Block(blocks, pixels);
        break;
    }
    const auto columns = static_cast<std::size_t>(std::min<std::uint64_t>(width - x, 4));
    for (std::uint32_t y = 0; y < rows; ++y) {
      if (columns == 4) {  // a whole block: a copy of constant length, done in one move
        std::memcpy(out + y * stride + 4 * x, pixels + 16 * y, 16);
      } else {
        std::memcpy(out + y * stride + 4 * x, pixels + 16 * y, 4 * columns);
      }
    }
  }
}

}  // namespace sodrel
