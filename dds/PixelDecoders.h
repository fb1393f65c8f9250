#pragma once

#include <cstddef>
#include <cstdint>

namespace sodrel {

// Decoders of the uncompressed layouts, one row of pixels at a time into 4 bytes a pixel in the
// order B, G, R, A.
enum class PixelLayout {
  Masked,             // 16, 24 or 32 bits, each channel where its mask says (DecodeMaskedRow)
  Grey8,              // 8 bits shown as grey levels, whatever the masks say
  L8A8,               // grey and alpha
  A8,                 // alpha only: shown as grey levels, opaque (see DecodePixelRow)
  P8,                 // an index into the 256-entry palette after the header
  R8,                 // red only
  R8G8,               // red and green
  R10G10B10A2,        // 10-bit colour, 2-bit alpha
  R16G16B16A16Unorm,  // 16-bit channels
  R16G16B16A16Float,  // half floats
  R32G32B32A32Float,  // floats
};

// Bytes of one pixel (0 for Masked, whose size the header gives, and for a value outside the enum).
std::size_t PixelBytes(PixelLayout layout);

// The `width` pixels at `row` into `bgra` (width * 4 bytes). `palette` is used by P8 only: the
// 256 four-byte entries R, G, B, A that follow the DDS header. Writers fill the fourth byte as
// alpha (255 opaque, 0 for a transparent index); a palette whose fourth bytes are all 0 holds the
// flags of the palette record there instead, and is shown opaque.
void DecodePixelRow(PixelLayout layout, const std::byte* row, std::uint32_t width,
                    const std::byte* palette, std::uint8_t* bgra);

}  // namespace sodrel

namespace sodrel {

// The `width` pixels of `pixelBytes` (2 to 4) bytes at `row` into `bgra`: each channel that has
// a mask (red, green, blue, alpha) scaled from its bits to 8, rounded; without a mask a colour
// channel is 0, and alpha 255 unless `alpha`.
void DecodeMaskedRow(const std::byte* row, std::uint32_t width, std::uint32_t pixelBytes,
                     const std::uint32_t (&masks)[4], bool alpha, std::uint8_t* bgra);

}  // namespace sodrel
