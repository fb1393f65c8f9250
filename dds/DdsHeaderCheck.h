#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

#include "dds/DxgiFormat.h"

namespace sodrel {

// The verdict: whether the preview can show a DDS file, and if so how its top surface is handed to
// FreeImage. Decodes nothing: it reads the header only, and the same description drives both the
// verdict and the view the library reads through (DdsView), so nothing is accepted that the view
// cannot present in full.
enum class DdsCheck {
  NotChecked,
  Accepted,
  Unreadable,          // the file cannot be opened or read
  TooShortForHeader,   // fewer than 128 bytes (148 with a DX10 header)
  BadMagic,            // does not start with "DDS "
  BadHeaderSize,       // header size is not 124
  BadPixelFormatSize,  // pixel-format size is not 32
  BadDimensions,       // width or height outside 1..16384
  UnsupportedFormat,   // a layout the preview cannot show (see DescribeFormat for which)
  TruncatedSurface,    // the file ends before the top surface does
};

inline constexpr std::size_t kDdsHeaderBytes = 128;  // "DDS " + the 124-byte header
inline constexpr std::size_t kDx10HeaderBytes = 20;  // the extension after FourCC "DX10"
inline constexpr std::size_t kDdsLongestHeaderBytes = kDdsHeaderBytes + kDx10HeaderBytes;
inline constexpr std::uint32_t kDdsMaxSide = 16384;

// How the bytes of the file's surface become the bytes the library reads.
enum class DdsRewrite {
  None,
  DxtColourBlocks,  // DXT3/DXT5: every colour block put in the endpoint order FreeImage expects
  ReorderBytes,     // 24/32-bit: each pixel's bytes put into B, G, R(, A) order
};

struct [[nodiscard]] DdsInfo {
  DdsCheck check = DdsCheck::NotChecked;
  // What the header says, as far as the check got.
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t fourCC = 0;                     // 0 for uncompressed files
  DxgiFormat dxgiFormat = DxgiFormat::Unknown;  // for files with a DX10 header
  std::uint32_t bitCount = 0;                   // for uncompressed files
  bool luminance = false;

  // Where the surface lies in the file, and what of it the library reads.
  std::uint64_t dataOffset = 0;    // 128, or 148 after a DX10 header, for the top surface
  std::uint64_t surfaceBytes = 0;  // the file must hold this many bytes after dataOffset
  std::uint32_t rows = 0;          // pixel rows, or rows of 4x4 blocks
  std::uint32_t rowBytes = 0;      // bytes of one row, as stored and as presented
  std::uint64_t rowStride = 0;     // from one row of the file to the next (a pitch, or rowBytes)
  std::uint32_t tailBytes = 0;     // zero bytes presented after the surface (see DdsView)

  // The legacy header presented to the library, and the rewrite of the surface.
  std::array<std::byte, kDdsHeaderBytes> presentedHeader{};
  std::uint32_t presentedWidth = 0;  // sides rounded up to whole blocks for DXT
  std::uint32_t presentedHeight = 0;
  DdsRewrite rewrite = DdsRewrite::None;
  std::array<std::uint8_t, 4> byteOrder{0, 1, 2, 3};  // ReorderBytes: source byte of B, G, R, A

  // The sides of the top surface, the preview's. Those above are the sides of the mip level
  // described, when InspectDds chose a smaller one (see ChooseLevel).
  std::uint32_t topWidth = 0;
  std::uint32_t topHeight = 0;

  bool ok() const { return check == DdsCheck::Accepted; }
};

// `prefix` holds the first bytes of the DDS file (up to kDdsLongestHeaderBytes); `fileSize` its
// length. With `levelSide` other than 0 an accepted file is described by its smallest stored mip
// level whose long side is at least `levelSide` (DdsMipChain.h); the verdict is the same.
DdsInfo InspectDds(std::span<const std::byte> prefix, std::uint64_t fileSize,
                   std::uint32_t levelSide = 0);

// The DDS file that starts `offset` bytes into the file open at `fd`, `fileSize` bytes long.
DdsInfo InspectDdsAt(int fd, std::uint64_t fileSize, std::uint64_t offset,
                     std::uint32_t levelSide = 0);
// The same for the file at `path`.
DdsInfo InspectDdsFile(const std::filesystem::path& path, std::uint64_t offset = 0);

}  // namespace sodrel
