#pragma once

#include <cstdint>
#include <vector>

#include "encode/RgbaImage.h"

namespace sodrel {

// `levels` mip levels (the first is `top` itself): each from the one above with a 2 x 2 box filter
// (odd sides: the last row or column weighted in, so every source pixel counts; a side of 1 stays
// 1), in linear light when `srgb` (sRGB decode, average, encode; alpha always linear) and in
// stored values otherwise; colours are weighted by alpha so the colours of fully transparent
// pixels do not bleed into visible ones (a fully transparent 2x2 group keeps a plain average).
// A chain ends at 1 x 1: more levels than that are not made. A top without its pixels (see
// HasItsPixels) gives no levels.
std::vector<RgbaImage> MakeMipChain(RgbaImage top, std::uint32_t levels, bool srgb);

}  // namespace sodrel
