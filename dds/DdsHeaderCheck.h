#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

#include "dds/BlockDecoders.h"
#include "dds/DxgiFormat.h"
#include "dds/PixelDecoders.h"

namespace sodrel {

// The verdict: whether the preview can show a DDS file, and if so how its top surface is handed to
// FreeImage. Decodes nothing: it reads the header only, and the same description drives both the
// verdict and the view the library reads through (DdsView), so nothing is accepted that the view
// cannot present in full. A refusal names its reason here and the format in DescribeFormat.
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
  NotTwoDimensional,   // a volume (3D) texture, or a DX10 1D texture or buffer
  MissingPalette,      // palettised, and the file ends before its palette does
};

inline constexpr std::size_t kDdsHeaderBytes = 128;  // "DDS " + the 124-byte header
inline constexpr std::size_t kDx10HeaderBytes = 20;  // the extension after FourCC "DX10"
inline constexpr std::size_t kDdsLongestHeaderBytes = kDdsHeaderBytes + kDx10HeaderBytes;
inline constexpr std::uint32_t kDdsMaxSide = 16384;
inline constexpr std::uint32_t kDdsPaletteBytes = 256 * 4;  // P8: the entries after the header

// How the bytes of the file's surface become the bytes the library reads.
enum class DdsRewrite {
  None,
  DxtColourBlocks,  // DXT3/DXT5: every colour block put in the endpoint order FreeImage expects
  ReorderBytes,     // 24/32-bit: each pixel's bytes put into B, G, R(, A) order
  // Layouts the library cannot read, decoded into 32-bit B, G, R, A pixels (DdsInfo::decode*).
  DecodeBlocks,  // each row of 4x4 blocks into 4 rows of pixels
  DecodePixels,  // each row of pixels into a row of 32-bit pixels
};

struct [[nodiscard]] DdsInfo {
  DdsCheck check = DdsCheck::NotChecked;
  // What the header says, as far as the check got.
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t fourCC = 0;                     // 0 for uncompressed files
  DxgiFormat dxgiFormat = DxgiFormat::Unknown;  // for files with a DX10 header
  std::uint32_t bitCount = 0;                   // for uncompressed files
  std::uint32_t formatFlags = 0;                // the pixel format's flags (RGB, luminance, ...)

  // Where the surface lies after the header, and what of it the library reads.
  std::uint64_t dataOffset = 0;    // 128, 148 after a DX10 header, 1152 after a palette, for the top surface
  std::uint32_t paletteBytes = 0;  // P8: the palette that ends at dataOffset
  std::uint64_t surfaceBytes = 0;  // the file must hold this many bytes after dataOffset
  std::uint32_t rows = 0;          // pixel rows, or rows of 4x4 blocks
  std::uint32_t rowBytes = 0;      // bytes of one row as stored
  std::uint64_t rowStride = 0;     // from one row of the file to the next (a pitch, or rowBytes)
  std::uint32_t presentedRowBytes = 0;  // what one row becomes in the view (rowBytes, or decoded)
  std::uint32_t tailBytes = 0;          // zero bytes presented after the surface (see DdsView)

  // The legacy header presented to the library, and the rewrite of the surface.
  std::array<std::byte, kDdsHeaderBytes> presentedHeader{};
  std::uint32_t presentedWidth = 0;  // sides rounded up to whole blocks for DXT
  std::uint32_t presentedHeight = 0;
  DdsRewrite rewrite = DdsRewrite::None;
  std::array<std::uint8_t, 4> byteOrder{0, 1, 2, 3};  // ReorderBytes: source byte of B, G, R, A
  BlockLayout decodeBlocks = BlockLayout::Bc7;        // DecodeBlocks: the blocks' layout
  PixelLayout decodePixels = PixelLayout::L8A8;       // DecodePixels: the pixels' layout

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
