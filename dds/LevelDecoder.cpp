#include "dds/LevelDecoder.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>

namespace sodrel {

LevelDecoder::LevelDecoder(int fd, std::uint64_t ddsOffset, const DdsTexture& texture,
                           const DdsLevel& level)
    : fd_(fd), ddsOffset_(ddsOffset), texture_(texture), level_(level) {}

IoResult LevelDecoder::ReadStored(std::uint32_t firstRow, std::uint32_t rows) {
  const std::size_t rowBytes = level_.rowBytes;
  stored_.resize(std::size_t{rows} * rowBytes);
  const bool packed = level_.rowStride == rowBytes;
  // Packed rows come in one read; padded ones a row at a time, skipping the padding.
  for (std::uint32_t i = 0; i < rows; i += packed ? rows : 1) {
    const std::size_t length = packed ? stored_.size() : rowBytes;
    std::size_t got = 0;
    const std::uint64_t at = ddsOffset_ + level_.offset + (firstRow + i) * level_.rowStride;
    if (IoResult read = ReadAt(fd_, at, {stored_.data() + i * rowBytes, length}, got); !read.ok()) {
      return read;
    }
    if (got != length) return {IoOutcome::Changed, {}};  // cut since it was checked
  }
  return Done();
}

// Stored rows [firstRow, firstRow + rows), held in stored_, into the pixel rows among them that
// fall in [first, first + count).
void LevelDecoder::DecodeStored(std::uint32_t firstRow, std::uint32_t rows, std::uint32_t first,
                                std::uint32_t count, std::uint8_t* out) const {
  const TextureFormat& f = *texture_.format;
  const std::uint32_t width = level_.width;
  const std::size_t outRow = std::size_t{width} * 4;
  for (std::uint32_t r = firstRow; r < firstRow + rows; ++r) {
    const std::byte* stored = stored_.data() + std::size_t{r - storedFirst_} * level_.rowBytes;
    if (!f.blockCompressed()) {
      std::uint8_t* to = out + std::size_t{r - first} * outRow;
      if (f.pixels == PixelLayout::Masked) {
        DecodeMaskedRow(stored, width, f.bitCount / 8, texture_.masks.masks, texture_.masks.alpha,
                        to);
      } else {
        DecodePixelRow(f.pixels, stored, width, palette_.empty() ? nullptr : palette_.data(), to);
      }
      continue;
    }
    // A row of blocks: its pixel rows that are asked for, straight into `out` when they start
    // with the block's first; otherwise through four rows of scratch.
    const std::uint32_t top = 4 * r;
    const std::uint32_t from = std::max(top, first);
    const std::uint32_t to = std::min({top + 4, first + count, level_.height});
    if (from == top) {
      DecodeBlockRow(f.blocks, stored, width, to - top, out + std::size_t{top - first} * outRow,
                     outRow);
    } else {
      std::vector<std::uint8_t> scratch(4 * outRow);
      DecodeBlockRow(f.blocks, stored, width, 4, scratch.data(), outRow);
      std::memcpy(out + std::size_t{from - first} * outRow,
                  scratch.data() + std::size_t{from - top} * outRow, (to - from) * outRow);
    }
  }
}

IoResult LevelDecoder::Decode(std::uint32_t first, std::uint32_t count, std::uint8_t* out,
                              unsigned threads) {
  if (count == 0) return Done();
  if (first >= level_.height || count > level_.height - first) return {IoOutcome::ReadFailed, {}};
  if (texture_.paletteBytes != 0 && palette_.empty()) {
    palette_.resize(texture_.paletteBytes);
    std::size_t got = 0;
    const std::uint64_t at = ddsOffset_ + texture_.dataOffset - texture_.paletteBytes;
    if (IoResult read = ReadAt(fd_, at, palette_, got); !read.ok() || got != palette_.size()) {
      palette_.clear();
      return read.ok() ? IoResult{IoOutcome::Changed, {}} : read;
    }
  }
  const std::uint32_t perRow = texture_.format->blockCompressed() ? 4 : 1;
  const std::uint32_t firstRow = first / perRow;
  const std::uint32_t rows = (first + count - 1) / perRow - firstRow + 1;
  if (IoResult read = ReadStored(firstRow, rows); !read.ok()) return read;
  storedFirst_ = firstRow;

  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  // Small bands are not worth a thread.
  threads = std::min<unsigned>(
      threads, std::max<std::uint64_t>(1, std::uint64_t{rows} * level_.width / 16384));
  std::vector<std::thread> workers;
  workers.reserve(threads);
  const std::uint32_t share = (rows + threads - 1) / threads;
  for (std::uint32_t from = share; from < rows; from += share) {
    const auto part = [=, this] {
      DecodeStored(firstRow + from, std::min(share, rows - from), first, count, out);
    };
    try {
      workers.emplace_back(part);
    } catch (const std::system_error&) {
      part();  // no thread to be had: this one does that share too
    }
  }
  DecodeStored(firstRow, std::min(share, rows), first, count, out);
  for (std::thread& worker : workers) worker.join();
  return Done();
}

}  // namespace sodrel
