#include "dds/DdsHeaderCheck.h"

#include "dds/DdsFields.h"
#include "dds/DdsLayout.h"
#include "dds/DdsMipChain.h"
#include "io/FileIo.h"

namespace sodrel {
using namespace dds_fields;
namespace {

DdsInfo Stop(DdsInfo info, DdsCheck check) {
  info.check = check;
  return info;
}

}  // namespace

DdsInfo InspectDds(std::span<const std::byte> prefix, std::uint64_t fileSize,
                   std::uint32_t levelSide) {
  DdsInfo info;
  if (prefix.size() < kDdsHeaderBytes || fileSize < kDdsHeaderBytes) {
    return Stop(info, DdsCheck::TooShortForHeader);
  }
  if (ReadU32(prefix, kMagicAt) != kMagic) return Stop(info, DdsCheck::BadMagic);
  if (ReadU32(prefix, kHeaderSizeAt) != kHeaderSize) return Stop(info, DdsCheck::BadHeaderSize);
  if (ReadU32(prefix, kPixelFormatSizeAt) != kPixelFormatSize) {
    return Stop(info, DdsCheck::BadPixelFormatSize);
  }

  info.width = ReadU32(prefix, kWidthAt);
  info.height = ReadU32(prefix, kHeightAt);
  if (info.width < 1 || info.width > kDdsMaxSide || info.height < 1 || info.height > kDdsMaxSide) {
    return Stop(info, DdsCheck::BadDimensions);
  }

  Format format;
  info.dataOffset = kDdsHeaderBytes;
  const std::uint32_t flags = info.formatFlags = ReadU32(prefix, kPixelFormatFlagsAt);
  // A file flagged RGB is uncompressed, whatever FourCC it also carries (as FreeImage reads it).
  const bool fourCC = (flags & kFormatFourCC) && !(flags & (kFormatRgb | kFormatLuminance));
  if (!fourCC) {
    info.bitCount = format.bitCount = ReadU32(prefix, kRgbBitCountAt);
    for (std::size_t i = 0; i < 4; ++i) format.masks[i] = ReadU32(prefix, kMasksAt + 4 * i);
    format.alpha = (flags & kFormatAlphaPixels) != 0;
    if (!FromUncompressed(flags, format)) return Stop(info, DdsCheck::UnsupportedFormat);
    if (format.pixels == PixelLayout::P8 && format.decode == DdsRewrite::DecodePixels) {
      info.paletteBytes = kDdsPaletteBytes;
      info.dataOffset += kDdsPaletteBytes;
    }
  } else {
    info.fourCC = ReadU32(prefix, kFourCCAt);
    if (info.fourCC == kDx10) {
      if (prefix.size() < kDdsLongestHeaderBytes || fileSize < kDdsLongestHeaderBytes) {
        return Stop(info, DdsCheck::TooShortForHeader);
      }
      info.dataOffset = kDdsLongestHeaderBytes;
      info.dxgiFormat = static_cast<DxgiFormat>(ReadU32(prefix, kDxgiFormatAt));
      // A cube map or an array of 2D textures starts with its first image, which is shown.
      // Older writers left the dimension unknown (0), for 2D textures among others.
      const std::uint32_t dimension = ReadU32(prefix, kDimensionAt);
      if (dimension != kDimensionTexture2D && dimension != kDimensionUnknown) {
        return Stop(info, DdsCheck::NotTwoDimensional);
      }
      if (!FromDxgi(info.dxgiFormat, format)) return Stop(info, DdsCheck::UnsupportedFormat);
      info.bitCount = format.bitCount;
    } else if (!FromFourCC(info.fourCC, format)) {
      return Stop(info, DdsCheck::UnsupportedFormat);
    }
  }

  // A volume texture's first slice is not the texture; older DX10 writers name a volume by
  // these caps alone.
  if (ReadU32(prefix, kCaps2At) & kCaps2Volume) return Stop(info, DdsCheck::NotTwoDimensional);
  if (!LayOut(format, prefix, info)) return Stop(info, DdsCheck::UnsupportedFormat);
  if (fileSize < info.dataOffset) return Stop(info, DdsCheck::MissingPalette);
  if (fileSize - info.dataOffset < info.surfaceBytes) {
    return Stop(info, DdsCheck::TruncatedSurface);
  }
  ChooseLevel(format, prefix, fileSize, levelSide, info);
  return Stop(info, DdsCheck::Accepted);
}

DdsInfo InspectDdsAt(int fd, std::uint64_t fileSize, std::uint64_t offset,
                     std::uint32_t levelSide) {
  std::array<std::byte, kDdsLongestHeaderBytes> prefix{};
  std::size_t got = 0;
  if (!ReadAt(fd, offset, prefix, got).ok()) return Stop({}, DdsCheck::Unreadable);
  return InspectDds(std::span(prefix).first(got), fileSize < offset ? 0 : fileSize - offset,
                    levelSide);
}

DdsInfo InspectDdsFile(const std::filesystem::path& path, std::uint64_t offset) {
  InputFile file;
  if (!file.Open(path).ok()) return Stop({}, DdsCheck::Unreadable);
  DdsInfo info = InspectDdsAt(file.fd(), file.size(), offset);
  // Cut or rewritten while its header was read: say nothing of a header that may be gone.
  if (!file.Unchanged().ok()) return Stop({}, DdsCheck::Unreadable);
  return info;
}

}  // namespace sodrel
