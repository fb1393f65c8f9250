#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

namespace sodrel {

// Whether a DDS file is safe to hand to FreeImage: a header it reads the way we expect, a format
// it decodes, sizes it can allocate, and enough bytes for the top surface. Decodes nothing.
enum class DdsCheck {
  Accepted,
  Unreadable,          // the file cannot be opened or read
  TooShortForHeader,   // fewer than 128 bytes
  BadMagic,            // does not start with "DDS "
  BadHeaderSize,       // header size is not 124
  BadPixelFormatSize,  // pixel-format size is not 32
  BadDimensions,       // width or height outside 1..16384
  UnsupportedFormat,   // not DXT1/DXT3/DXT5, nor uncompressed RGB of 8, 16, 24 or 32 bits
  TruncatedSurface,    // the file ends before the top surface does
};

std::string_view Describe(DdsCheck check);

inline constexpr std::size_t kDdsHeaderBytes = 128;  // "DDS " + the 124-byte header
inline constexpr std::uint32_t kDdsMaxSide = 16384;

struct DdsInfo {
  DdsCheck check = DdsCheck::Unreadable;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t fourCC = 0;        // 0 for uncompressed RGB
  std::uint32_t bitCount = 0;      // for uncompressed RGB
  std::uint64_t surfaceBytes = 0;  // bytes the library reads for the top surface after the header
  bool accepted() const { return check == DdsCheck::Accepted; }
};

// `prefix` holds the first bytes of the file (up to kDdsHeaderBytes); `fileSize` its length.
DdsInfo InspectDds(std::span<const std::byte> prefix, std::uint64_t fileSize);
DdsInfo InspectDdsFile(const std::filesystem::path& path);

}  // namespace sodrel
