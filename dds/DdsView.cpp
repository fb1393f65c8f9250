#include "dds/DdsView.h"

#include <algorithm>
#include <cstring>

#include "dds/LittleEndian.h"
#include "io/FileIo.h"

namespace sodrel {
namespace {

// The colour half of a DXT3/DXT5 block always has four colours, but FreeImage decodes it with
// DXT1's rule, which takes c0 <= c1 for three colours and black. Swapping the endpoints and
// flipping the low bit of every 2-bit index gives the same four colours with c0 > c1; with
// c0 == c1 all four colours are c0, so every index becomes 0.
void PutColourBlockInOrder(std::byte* colour) {
  const std::uint16_t c0 = ReadLe16(colour);
  const std::uint16_t c1 = ReadLe16(colour + 2);
  if (c0 > c1) return;
  if (c0 == c1) {
    WriteLe32(colour + 4, 0);
    return;
  }
  std::swap_ranges(colour, colour + 2, colour + 2);
  WriteLe32(colour + 4, ReadLe32(colour + 4) ^ 0x55555555u);
}

}  // namespace

DdsView::DdsView(int fd, std::uint64_t offset, const DdsInfo& info)
    : fd_(fd), surfaceAt_(offset + info.dataOffset), info_(info) {}

std::uint64_t DdsView::size() const {
  return kDdsHeaderBytes + std::uint64_t{info_.rows} * info_.presentedRowBytes + info_.tailBytes;
}

std::size_t DdsView::Read(std::uint64_t position, std::span<std::byte> out) {
  const std::uint64_t end = size();
  if (position >= end || out.size() > end - position) readPastEnd_ = true;
  if (position >= end) return 0;
  out = out.first(static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), end - position)));
  const std::uint64_t surfaceEnd = end - info_.tailBytes;
  std::size_t done = 0;
  while (done < out.size()) {
    const std::uint64_t at = position + done;
    std::byte* to = out.data() + done;
    const std::size_t left = out.size() - done;
    std::size_t n = 0;
    if (at < kDdsHeaderBytes) {
      n = std::min<std::size_t>(left, kDdsHeaderBytes - at);
      std::memcpy(to, info_.presentedHeader.data() + at, n);
    } else if (at >= surfaceEnd) {
      n = left;
      std::memset(to, 0, n);
    } else {
      const std::size_t rowBytes = info_.presentedRowBytes;
      const std::uint64_t inSurface = at - kDdsHeaderBytes;
      const auto row = static_cast<std::uint32_t>(inSurface / rowBytes);
      const std::size_t inRow = inSurface % rowBytes;
      const std::uint32_t wholeRows =
          static_cast<std::uint32_t>(std::min<std::uint64_t>(left / rowBytes, info_.rows - row));
      if (inRow == 0 && wholeRows > 0) {
        // The library asks for whole rows: they go straight into its buffer.
        if (!ReadRows(row, wholeRows, to)) return done;
        n = std::size_t{wholeRows} * rowBytes;
      } else {
        if (rowHeld_ != row) {
          row_.resize(rowBytes);
          rowHeld_ = UINT32_MAX;
          if (!ReadRows(row, 1, row_.data())) return done;
          rowHeld_ = row;
        }
        n = std::min<std::size_t>(left, rowBytes - inRow);
        std::memcpy(to, row_.data() + inRow, n);
      }
    }
    done += n;
  }
  return done;
}

bool DdsView::ReadRows(std::uint32_t first, std::uint32_t count, std::byte* out) {
  if (info_.rewrite == DdsRewrite::DecodeBlocks || info_.rewrite == DdsRewrite::DecodePixels) {
    fileFailed_ = fileFailed_ || !Decode(first, count, out);
    return !fileFailed_;
  }
  const std::size_t rowBytes = info_.rowBytes;
  // Packed rows come in one read; padded ones a row at a time, skipping the padding.
  const bool packed = info_.rowStride == rowBytes;
  for (std::uint32_t i = 0; i < count; i += packed ? count : 1) {
    if (!ReadStored(first + i, out + i * rowBytes, packed ? count * rowBytes : rowBytes)) {
      fileFailed_ = true;
      return false;
    }
  }
  Rewrite(out, std::size_t{count} * rowBytes);
  return true;
}

// `length` bytes of the surface from the start of stored row `row` on.
bool DdsView::ReadStored(std::uint32_t row, std::byte* out, std::size_t length) const {
  std::size_t got = 0;
  return ReadAt(fd_, surfaceAt_ + row * info_.rowStride, {out, length}, got).ok() && got == length;
}

// Each stored row read into stored_ and decoded into its presented rows (4 for a row of blocks).
bool DdsView::Decode(std::uint32_t first, std::uint32_t count, std::byte* out) {
  if (info_.paletteBytes != 0 && palette_.empty()) {
    palette_.resize(info_.paletteBytes);
    std::size_t got = 0;
    if (!ReadAt(fd_, surfaceAt_ - info_.paletteBytes, palette_, got).ok() ||
        got != palette_.size()) {
      palette_.clear();
      return false;
    }
  }
  stored_.resize(info_.rowBytes);
  for (std::uint32_t row = first; row < first + count; ++row, out += info_.presentedRowBytes) {
    if (!ReadStored(row, stored_.data(), stored_.size())) return false;
    auto* pixels = reinterpret_cast<std::uint8_t*>(out);
    if (info_.rewrite == DdsRewrite::DecodeBlocks) {
      DecodeBlockRow(info_.decodeBlocks, stored_.data(), info_.width, 4, pixels,
                     std::size_t{info_.width} * 4);
    } else {
      DecodePixelRow(info_.decodePixels, stored_.data(), info_.width,
                     palette_.empty() ? nullptr : palette_.data(), pixels);
    }
  }
  return true;
}

void DdsView::Rewrite(std::byte* rows, std::size_t length) const {
  switch (info_.rewrite) {
    case DdsRewrite::None:
    case DdsRewrite::DecodeBlocks:  // decoded as they are read (Decode)
    case DdsRewrite::DecodePixels:
      return;
    case DdsRewrite::DxtColourBlocks:
      for (std::size_t at = 0; at + 16 <= length; at += 16) PutColourBlockInOrder(rows + at + 8);
      return;
    case DdsRewrite::ReorderBytes: {
      const std::size_t pixelBytes = info_.bitCount / 8;
      const auto& order = info_.byteOrder;
      std::byte pixel[4];
      for (std::byte* p = rows; p + pixelBytes <= rows + length; p += pixelBytes) {
        for (std::size_t k = 0; k < pixelBytes; ++k) pixel[k] = p[order[k]];
        std::memcpy(p, pixel, pixelBytes);
      }
      return;
    }
  }
}

}  // namespace sodrel
