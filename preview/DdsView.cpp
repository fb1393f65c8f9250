#include "preview/DdsView.h"

#include <algorithm>
#include <cstring>

#include "dds/DdsFields.h"

namespace sodrel {
using namespace dds_fields;
namespace {

constexpr std::size_t kBandBytes = 8 << 20;  // of decoded pixels: a few per cent of a large level

}  // namespace

DdsView::DdsView(int fd, std::uint64_t offset, const DdsTexture& texture, const DdsLevel& level)
    : level_(level),
      decoder_(fd, offset, texture, level),
      bits_(8 * ShownChannels(texture)),
      rowBytes_(std::size_t{level.width} * bits_ / 8) {
  const std::span<std::byte> h = header_;
  WriteU32(h, kMagicAt, kMagic);
  WriteU32(h, kHeaderSizeAt, kHeaderSize);
  WriteU32(h, kHeaderFlagsAt, kFlagsCapsHeightWidthFormat);
  WriteU32(h, kHeightAt, level.height);
  WriteU32(h, kWidthAt, level.width);
  WriteU32(h, kPixelFormatSizeAt, kPixelFormatSize);
  WriteU32(h, kCapsAt, kCapsTexture);
  WriteU32(h, kPixelFormatFlagsAt, kFormatRgb | (bits_ == 32 ? kFormatAlphaPixels : 0));
  WriteU32(h, kRgbBitCountAt, bits_);
  if (bits_ != 8) {
    const std::uint32_t masks[4] = {0xFF0000, 0xFF00, 0xFF, bits_ == 32 ? 0xFF000000 : 0};
    for (std::size_t i = 0; i < 4; ++i) WriteU32(h, kMasksAt + 4 * i, masks[i]);
  }
  const std::size_t decodedRow = std::size_t{level.width} * 4;
  bandRows_ = static_cast<std::uint32_t>(
      std::clamp<std::size_t>(kBandBytes / decodedRow / 4 * 4, 4, level.height + 3));
}

std::uint64_t DdsView::size() const {
  return kDdsHeaderBytes + std::uint64_t{level_.height} * rowBytes_;
}

// Decodes the band of `row` into band_ and narrows it to the presented pixels.
bool DdsView::HoldBand(std::uint32_t row) {
  const std::uint32_t first = row / bandRows_ * bandRows_;
  if (first == bandFirst_) return true;
  bandFirst_ = UINT32_MAX;
  const std::uint32_t count = std::min(bandRows_, level_.height - first);
  band_.resize(std::size_t{count} * level_.width * 4);
  if (!decoder_.Decode(first, count, band_.data()).ok()) {
    fileFailed_ = true;
    return false;
  }
  if (bits_ != 32) {
    const std::size_t step = bits_ / 8;
    for (std::size_t i = 0, o = 0; i < band_.size(); i += 4, o += step) {
      // 24-bit: B, G, R; 8-bit: the grey level, in every colour channel.
      std::memmove(&band_[o], &band_[i + (bits_ == 8 ? 2 : 0)], step);
    }
  }
  bandFirst_ = first;
  return true;
}

std::size_t DdsView::Read(std::uint64_t position, std::span<std::byte> out) {
  const std::uint64_t end = size();
  if (position >= end || out.size() > end - position) readPastEnd_ = true;
  if (position >= end) return 0;
  out = out.first(static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), end - position)));
  std::size_t done = 0;
  while (done < out.size()) {
    const std::uint64_t at = position + done;
    std::size_t n = 0;
    if (at < kDdsHeaderBytes) {
      n = std::min<std::size_t>(out.size() - done, kDdsHeaderBytes - at);
      std::memcpy(out.data() + done, header_.data() + at, n);
    } else {
      const std::uint64_t inSurface = at - kDdsHeaderBytes;
      const auto row = static_cast<std::uint32_t>(inSurface / rowBytes_);
      if (!HoldBand(row)) return done;
      const std::uint64_t inBand = inSurface - std::uint64_t{bandFirst_} * rowBytes_;
      const std::size_t bandBytes =
          std::size_t{std::min(bandRows_, level_.height - bandFirst_)} * rowBytes_;
      n = std::min<std::size_t>(out.size() - done, bandBytes - inBand);
      std::memcpy(out.data() + done, band_.data() + inBand, n);
    }
    done += n;
  }
  return done;
}

}  // namespace sodrel
