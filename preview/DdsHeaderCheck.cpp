#include "preview/DdsHeaderCheck.h"

#include <array>

#include "container/FileIo.h"

namespace sodrel {
namespace {

// Field offsets from the start of the file, the 4-byte magic included.
constexpr std::size_t kMagicAt = 0;
constexpr std::size_t kHeaderSizeAt = 4;
constexpr std::size_t kHeaderFlagsAt = 8;
constexpr std::size_t kHeightAt = 12;
constexpr std::size_t kWidthAt = 16;
constexpr std::size_t kPitchAt = 20;
constexpr std::size_t kPixelFormatSizeAt = 76;
constexpr std::size_t kPixelFormatFlagsAt = 80;
constexpr std::size_t kFourCCAt = 84;
constexpr std::size_t kRgbBitCountAt = 88;

constexpr std::uint32_t kHeaderSize = 124;
constexpr std::uint32_t kPixelFormatSize = 32;
constexpr std::uint32_t kFlagPitch = 0x8;
constexpr std::uint32_t kFlagFourCC = 0x4;
constexpr std::uint32_t kFlagRgb = 0x40;

constexpr std::uint32_t FourCC(const char (&code)[5]) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[3])) << 24;
}

constexpr std::uint32_t kMagic = FourCC("DDS ");

std::uint32_t ReadU32(std::span<const std::byte> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// Bytes per 4x4 block of the block-compressed formats the library decodes; 0 for any other.
std::uint64_t BlockBytes(std::uint32_t fourCC) {
  if (fourCC == FourCC("DXT1")) return 8;
  if (fourCC == FourCC("DXT3") || fourCC == FourCC("DXT5")) return 16;
  return 0;
}

bool IsRgbBitCount(std::uint32_t bits) {
  return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

DdsInfo Stop(DdsInfo info, DdsCheck check) {
  info.check = check;
  return info;
}

}  // namespace

std::string_view Describe(DdsCheck check) {
  switch (check) {
    case DdsCheck::Accepted:
      return "accepted";
    case DdsCheck::Unreadable:
      return "cannot read the DDS file";
    case DdsCheck::TooShortForHeader:
      return "too short to hold a DDS header";
    case DdsCheck::BadMagic:
      return "not a DDS file";
    case DdsCheck::BadHeaderSize:
      return "the DDS header size is not 124";
    case DdsCheck::BadPixelFormatSize:
      return "the DDS pixel-format size is not 32";
    case DdsCheck::BadDimensions:
      return "width or height outside 1 to 16384";
    case DdsCheck::UnsupportedFormat:
      return "a pixel format the preview cannot decode";
    case DdsCheck::TruncatedSurface:
      return "the file ends before the texture does";
  }
  return "unknown check";
}

DdsInfo InspectDds(std::span<const std::byte> prefix, std::uint64_t fileSize) {
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
  const std::uint64_t width = info.width;
  const std::uint64_t height = info.height;

  // The library reads a file flagged RGB as uncompressed, whatever FourCC it also carries.
  const std::uint32_t flags = ReadU32(prefix, kPixelFormatFlagsAt);
  if (flags & kFlagRgb) {
    info.bitCount = ReadU32(prefix, kRgbBitCountAt);
    if (!IsRgbBitCount(info.bitCount)) return Stop(info, DdsCheck::UnsupportedFormat);
    // Rows are packed without padding. The library reads a 16-bit file as a 24-bit one, three
    // bytes a pixel, so such a file must hold that much or the library reads past its end.
    const std::uint64_t bytesRead = info.bitCount == 16 ? 3 : info.bitCount / 8;
    const std::uint64_t rowBytes = width * bytesRead;
    info.surfaceBytes = height * rowBytes;
    // With a pitch in the header the library starts each row a pitch after the last one. It takes
    // the pitch as signed: one at or below a packed row never reads further than packed rows.
    const auto pitch = static_cast<std::int32_t>(ReadU32(prefix, kPitchAt));
    if ((ReadU32(prefix, kHeaderFlagsAt) & kFlagPitch) && pitch > 0 &&
        static_cast<std::uint64_t>(pitch) > rowBytes) {
      info.surfaceBytes = (height - 1) * static_cast<std::uint64_t>(pitch) + rowBytes;
    }
  } else if (flags & kFlagFourCC) {
    info.fourCC = ReadU32(prefix, kFourCCAt);
    const std::uint64_t blockBytes = BlockBytes(info.fourCC);
    if (blockBytes == 0) return Stop(info, DdsCheck::UnsupportedFormat);
    info.surfaceBytes = (width + 3) / 4 * ((height + 3) / 4) * blockBytes;
  } else {
    return Stop(info, DdsCheck::UnsupportedFormat);
  }

  if (fileSize - kDdsHeaderBytes < info.surfaceBytes) {
    return Stop(info, DdsCheck::TruncatedSurface);
  }
  return Stop(info, DdsCheck::Accepted);
}

DdsInfo InspectDdsFile(const std::filesystem::path& path) {
  UniqueFd fd;
  std::uint64_t size = 0;
  if (OpenForReading(path, fd, size)) return {};
  std::array<std::byte, kDdsHeaderBytes> prefix{};
  std::size_t got = 0;
  if (ReadPrefix(fd.get(), prefix, got)) return {};
  return InspectDds(std::span(prefix).first(got), size);
}

}  // namespace sodrel
