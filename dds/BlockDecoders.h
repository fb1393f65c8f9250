#pragma once

#include <cstddef>
#include <cstdint>

namespace sodrel {

// Decoders of the block-compressed layouts. Every decoder writes 4 bytes a pixel in the order
// B, G, R, A, and is safe for any input bytes: a block is a bit pattern, and every pattern
// decodes to some picture.
enum class BlockLayout {
  Bc1,  // DXT1
  Bc2,  // DXT3
  Bc3,  // DXT5
  Bc4Unsigned,
  Bc4Signed,
  Bc5Unsigned,
  Bc5Signed,
  Bc6hUnsigned,
  Bc6hSigned,
  Bc7
};

// Bytes of one 4x4 block: 8 for BC1 and BC4, 16 for the others (0 for a value outside the enum).
std::size_t BlockBytes(BlockLayout layout);

// One 4x4 block into 16 pixels, row-major, 64 bytes.
// BC1-BC3: the colour half with two 5:6:5 endpoints and 2-bit indices; BC1 with c0 <= c1 has
// three colours and transparent black, BC2 and BC3 always four. BC2 stores 4-bit alpha, BC3 a
// BC4 channel of alpha. In-between colours drop their fraction, as the usual decoders do.
void DecodeBc1To3Block(BlockLayout layout, const std::byte* block, std::uint8_t* bgra);
// BC4: grey (the channel in R, G and B), alpha 255. Signed values are shown shifted by 128, so
// -1.0 is 1, 0 is 128 and +1.0 is 255.
void DecodeBc4Block(const std::byte* block, bool isSigned, std::uint8_t* bgra);
// BC5: the first channel in R, the second in G; B is 0, or 128 (zero) for signed data.
void DecodeBc5Block(const std::byte* block, bool isSigned, std::uint8_t* bgra);
// BC6H: the half-float colour clamped to 0..1 and scaled to 0..255 (truncating), alpha 255.
// Reserved modes give black.
void DecodeBc6hBlock(const std::byte* block, bool isSigned, std::uint8_t* bgra);
// BC7: colour and alpha. The reserved mode (first byte 0) gives transparent black.
void DecodeBc7Block(const std::byte* block, std::uint8_t* bgra);

// The row of blocks at `blocks` (ceil(width / 4) of them) into `rows` pixel rows of `width`
// pixels (width * 4 bytes each), `stride` bytes apart from `out` on. `rows` is 1 to 4: the last
// row of blocks of a texture whose height is not a multiple of 4 has fewer; more than 4 are
// taken as 4.
void DecodeBlockRow(BlockLayout layout, const std::byte* blocks, std::uint32_t width,
                    std::uint32_t rows, std::uint8_t* out, std::size_t stride);

}  // namespace sodrel
