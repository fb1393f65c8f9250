#pragma once

#include <cstddef>
#include <vector>

#include "encode/RgbaImage.h"

namespace sodrel {

enum class BlockEncoding { Bc1, Bc1WithAlpha, Bc2, Bc3, Bc4, Bc5, Bc7 };

// How BC1 to BC3 choose their colour endpoints: libsquish's cluster fit (the better colours), or
// its range fit (several times faster, visibly worse on gradients).
enum class ColourFit { Cluster, Range };

// The image as rows of 4x4 blocks, top row first, ceil(w/4) x ceil(h/4) blocks (edge blocks:
// the pixels outside the image do not count). Bc1 makes every pixel opaque first; Bc1WithAlpha
// keeps pixels with alpha below 128 as DXT1's transparent texels. Bc4 takes red, Bc5 red and
// green. `threads` 0: one per processor; the rows of blocks are shared out among them and joined
// before the call returns. An image without its pixels (see HasItsPixels), or with no pixel at
// all, gives no bytes.
std::vector<std::byte> EncodeBlocks(const RgbaImage& image, BlockEncoding encoding,
                                    unsigned threads = 0, ColourFit fit = ColourFit::Cluster);

// Bytes of one block: 8 for BC1 and BC4, 16 for the others.
std::size_t EncodedBlockBytes(BlockEncoding encoding);

}  // namespace sodrel
