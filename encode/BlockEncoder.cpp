#include "encode/BlockEncoder.h"

#include <squish.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <system_error>
#include <thread>

#include "encode/Bc7Encoder.h"

namespace sodrel {
namespace {

void EncodeBlock(const std::uint8_t* rgba, int counted, BlockEncoding encoding, int fitFlag,
                 std::byte* out) {
  switch (encoding) {
    case BlockEncoding::Bc1:
    case BlockEncoding::Bc1WithAlpha:
      return squish::CompressMasked(rgba, counted, out, squish::kDxt1 | fitFlag);
    case BlockEncoding::Bc2:
      return squish::CompressMasked(rgba, counted, out, squish::kDxt3 | fitFlag);
    case BlockEncoding::Bc3:
      return squish::CompressMasked(rgba, counted, out, squish::kDxt5 | fitFlag);
    case BlockEncoding::Bc4:  // red
      return squish::CompressMasked(rgba, counted, out, squish::kBc4);
    case BlockEncoding::Bc5:  // red, then green
      return squish::CompressMasked(rgba, counted, out, squish::kBc5);
    case BlockEncoding::Bc7:
      return EncodeBc7Block(rgba, static_cast<std::uint16_t>(counted), out);
  }
}

// The blocks of row `row` of blocks into `out`: each block's pixels gathered, those outside the
// image left out of its mask.
void EncodeRow(const RgbaImage& image, std::uint32_t row, BlockEncoding encoding, int fitFlag,
               std::byte* out) {
  const std::size_t blockBytes = EncodedBlockBytes(encoding);
  const std::uint32_t top = 4 * row, rows = std::min<std::uint32_t>(4, image.height - top);
  // 64-bit, so that the last block of a row near 2^32 pixels wide ends the loop.
  for (std::uint64_t left = 0; left < image.width; left += 4, out += blockBytes) {
    const auto columns = static_cast<std::uint32_t>(std::min<std::uint64_t>(4, image.width - left));
    std::uint8_t pixels[64] = {};
    int counted = 0;
    for (std::uint32_t y = 0; y < rows; ++y) {
      const std::uint8_t* from =
          image.pixels.data() + 4 * ((std::size_t{top} + y) * image.width + left);
      std::memcpy(pixels + 16 * y, from, 4 * columns);
      counted |= ((1 << columns) - 1) << (4 * y);
    }
    if (encoding == BlockEncoding::Bc1) {
      for (int i = 0; i < 16; ++i) pixels[4 * i + 3] = 255;
    }
    EncodeBlock(pixels, counted, encoding, fitFlag, out);
  }
}

}  // namespace

std::size_t EncodedBlockBytes(BlockEncoding encoding) {
  return encoding == BlockEncoding::Bc1 || encoding == BlockEncoding::Bc1WithAlpha ||
                 encoding == BlockEncoding::Bc4
             ? 8
             : 16;
}

std::vector<std::byte> EncodeBlocks(const RgbaImage& image, BlockEncoding encoding,
                                    unsigned threads, ColourFit fit) {
  if (!HasItsPixels(image) || image.width == 0 || image.height == 0) return {};
  // Rounded up in 64 bits: a side near 2^32 must not wrap round to a few blocks.
  const auto blockRows = static_cast<std::uint32_t>((std::uint64_t{image.height} + 3) / 4);
  const std::size_t rowBytes = (std::uint64_t{image.width} + 3) / 4 * EncodedBlockBytes(encoding);
  std::vector<std::byte> blocks(rowBytes * blockRows);
  const int fitFlag = fit == ColourFit::Range ? squish::kColourRangeFit : squish::kColourClusterFit;

  std::atomic<std::uint32_t> nextRow{0};
  const auto work = [&] {
    for (std::uint32_t row; (row = nextRow++) < blockRows;) {
      EncodeRow(image, row, encoding, fitFlag, blocks.data() + row * rowBytes);
    }
  };
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  threads = std::min(threads, blockRows);
  {
    std::vector<std::jthread> helpers;
    try {
      for (unsigned i = 1; i < threads; ++i) helpers.emplace_back(work);
    } catch (const std::system_error&) {
      // No more threads to be had: those started and this one share the rows all the same.
    }
    work();
  }  // the helpers join here, before the blocks are handed out
  return blocks;
}

}  // namespace sodrel
