#pragma once

#include <cstdint>
#include <span>

#include "dds/DdsHeaderCheck.h"

namespace sodrel {

// The layout plan: how the surface of a format the check accepted lies in the file, and what the
// view presents of it to FreeImage (the legacy header, rows, the rewrite of each row).

// What a file's format comes to once the DX10 extension is read: one of the layouts FreeImage
// decodes under the legacy header, or one the view decodes for it (`decode`).
struct Format {
  std::uint32_t fourCC = 0;    // DXT1, DXT3 or DXT5; 0 for uncompressed
  std::uint32_t bitCount = 0;  // uncompressed: 8, 16, 24 or 32
  std::uint32_t masks[4] = {};
  bool alpha = false;
  DdsRewrite decode = DdsRewrite::None;  // DecodeBlocks or DecodePixels, of the layout below
  BlockLayout blocks = BlockLayout::Bc7;
  PixelLayout pixels = PixelLayout::L8A8;
};

// The layout a DXGI format is shown as; false for the formats not shown.
bool FromDxgi(DxgiFormat dxgi, Format& format);
// The same for the FourCC of a legacy header.
bool FromFourCC(std::uint32_t fourCC, Format& format);
// The same for uncompressed pixels: the pixel format's flags, and `format`'s bit count, masks
// and alpha as the header gives them.
bool FromUncompressed(std::uint32_t flags, Format& format);

// Whether FreeImage converts 16-bit pixels with these red, green and blue masks.
bool IsKnown16BitLayout(const std::uint32_t (&masks)[4]);

// Lays out the top surface of `format` in `info` and presents it; false when its masks cannot be
// presented. `prefix` is the file's header, for its pitch.
bool LayOut(const Format& format, std::span<const std::byte> prefix, DdsInfo& info);

}  // namespace sodrel
