#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dds/BlockDecoders.h"
#include "dds/DxgiFormat.h"
#include "dds/PixelDecoders.h"

namespace sodrel {

// How a header names its layout: a legacy FourCC, a DXGI code after FourCC "DX10", or, for
// uncompressed legacy pixels, a bit count and masks under one of the pixel-format flags.
enum class FormatNaming : std::uint8_t { FourCC, Dxgi, Masks };

// One entry of the table of layouts that are shown. Every reader of a texture (the check, the
// names, the decoders, the encoders) goes through this table.
struct TextureFormat {
  FormatNaming naming = FormatNaming::FourCC;
  std::uint32_t code = 0;  // the FourCC, the DXGI code, or the pixel-format flag (Masks)
  // Masks: the bit count and the masks, red, green, blue, alpha (all 0: any whole bytes, below).
  // Uncompressed DXGI formats: the layout they name, decoded as masked pixels.
  std::uint32_t bitCount = 0;
  std::uint32_t masks[4] = {};
  bool alpha = false;           // stores alpha
  std::uint8_t blockBytes = 0;  // 8 or 16 for block-compressed layouts, 0 otherwise
  BlockLayout blocks = BlockLayout::Bc1;
  PixelLayout pixels = PixelLayout::Masked;
  bool srgb = false;
  bool isSigned = false;
  bool hdr = false;  // half or full floats

  bool blockCompressed() const { return blockBytes != 0; }
};

// The entry for a header's layout, or null when it is not shown. `masks` and `alpha` are those
// of the header (Masks only): 24- and 32-bit pixels may have whole-byte masks in any order.
const TextureFormat* FindFourCCFormat(std::uint32_t fourCC);
const TextureFormat* FindDxgiFormat(DxgiFormat dxgi);
const TextureFormat* FindMasksFormat(std::uint32_t flags, std::uint32_t bitCount,
                                     const std::uint32_t (&masks)[4], bool alpha);

// Where a texture's channels lie: red, green, blue, alpha masks, and whether alpha counts.
struct PixelMasks {
  std::uint32_t masks[4] = {};
  bool alpha = false;
  friend bool operator==(const PixelMasks&, const PixelMasks&) = default;
};

// The masks of a texture of `format` whose header gives `masks` and the alpha flag `alpha`: the
// header's for legacy uncompressed pixels (24- and 32-bit ones without masks read as B, G, R(, A);
// alpha where the flag and a mask say so), the format's own otherwise.
PixelMasks MasksOf(const TextureFormat& format, const std::uint32_t (&masks)[4], bool alpha);

// "DXT1", "DX10 BC7_UNORM", "uncompressed 32-bit B8G8R8A8", "luminance 8-bit L8": the one name
// of a layout. Masked layouts are named by their channels from the lowest bits up (X: bits
// no channel uses).
std::string FormatName(const TextureFormat& format, const PixelMasks& masks);

}  // namespace sodrel
