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

}  // namespace

std::size_t BlockBytes(BlockLayout layout) {
  switch (layout) {
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
