#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "dds/TextureFormats.h"

namespace sodrel {

// The verdict on a DDS file: whether its texture can be shown, or why not. It reads the header
// only; a refusal names its reason here and the format in DescribeFormat.
enum class DdsCheck {
  NotDone,
  Accepted,
  Unreadable,          // the file cannot be opened or read
  TooShortForHeader,   // fewer than 128 bytes (148 with a DX10 header)
  BadMagic,            // does not start with "DDS "
  BadHeaderSize,       // header size is not 124
  BadPixelFormatSize,  // pixel-format size is not 32
  BadDimensions,       // width or height outside 1..16384
  UnsupportedFormat,   // a layout that is not shown (see DescribeFormat for which)
  TruncatedSurface,    // the file ends before the top level does
  NotTwoDimensional,   // a volume (3D) texture, or a DX10 1D texture or buffer
  MissingPalette,      // palettised, and the file ends before its palette does
};

inline constexpr std::size_t kDdsHeaderBytes = 128;  // "DDS " + the 124-byte header
inline constexpr std::size_t kDx10HeaderBytes = 20;  // the extension after FourCC "DX10"
inline constexpr std::size_t kDdsLongestHeaderBytes = kDdsHeaderBytes + kDx10HeaderBytes;
inline constexpr std::uint32_t kDdsMaxSide = 16384;
inline constexpr std::uint32_t kDdsPaletteBytes = 256 * 4;  // P8: the entries after the header

// The header's fields as stored, as far as the file holds them.
struct DdsHeader {
  std::uint32_t flags = 0;
  std::uint32_t height = 0;
  std::uint32_t width = 0;
  std::uint32_t pitch = 0;
  std::uint32_t mipCount = 0;
  std::uint32_t formatFlags = 0;
  std::uint32_t fourCC = 0;
  std::uint32_t bitCount = 0;
  std::uint32_t masks[4] = {};  // red, green, blue, alpha
  std::uint32_t caps = 0;
  std::uint32_t caps2 = 0;
  bool dx10 = false;  // FourCC "DX10" under the FourCC flag: the extension follows
  std::uint32_t dxgiFormat = 0;
  std::uint32_t dimension = 0;
  std::uint32_t miscFlag = 0;
  std::uint32_t arraySize = 0;
};

// Where one mip level of the first image lies in the DDS file.
struct DdsLevel {
  std::uint32_t index = 0;  // 0: the full-size picture
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint64_t offset = 0;     // from the start of the DDS file
  std::uint32_t rows = 0;       // rows of pixels, or rows of 4x4 blocks
  std::uint32_t rowBytes = 0;   // one row as stored
  std::uint64_t rowStride = 0;  // from one row to the next (a pitch, or rowBytes)
  bool whole = false;           // the file holds all of it

  std::uint64_t bytes() const { return (rows - 1) * rowStride + rowBytes; }
  std::uint64_t end() const { return offset + bytes(); }
};

// One model of a DDS file's texture: the header as stored, its layout (an entry of the format
// table), the levels of its first image, and the verdict. Nothing here is rewritten once made.
struct [[nodiscard]] DdsTexture {
  DdsCheck check = DdsCheck::NotDone;
  DdsHeader header;
  const TextureFormat* format = nullptr;  // once the check found one
  PixelMasks masks;                       // where the channels lie (TextureFormats.h)
  std::uint64_t fileSize = 0;             // bytes of the DDS file
  std::uint64_t dataOffset = 0;      // where the top level starts: 128, 148 (DX10), 1152 (palette)
  std::uint32_t paletteBytes = 0;    // P8: the palette that ends at dataOffset
  std::uint32_t promisedLevels = 0;  // mip levels the header promises for each image (at least 1)
  std::uint32_t images = 0;          // array images, times 6 for a cube map
  bool cube = false;
  std::vector<DdsLevel> levels;   // of the first image; as many as a chain can have
  std::uint64_t imageBytes = 0;   // one image's whole chain
  std::uint64_t bytesNeeded = 0;  // the header, the palette and every image: saturates at 2^64-1

  bool ok() const { return check == DdsCheck::Accepted; }
  const DdsLevel& top() const { return levels.front(); }
  // Whether the file holds every image's whole chain.
  bool whole() const { return fileSize >= bytesNeeded; }
};

// `prefix` holds the first bytes of the DDS file (up to kDdsLongestHeaderBytes); `fileSize` its
// length. Only an accepted texture has levels.
DdsTexture InspectDds(std::span<const std::byte> prefix, std::uint64_t fileSize);
// The DDS file that starts `offset` bytes into the file open at `fd`, `fileSize` bytes long.
DdsTexture InspectDdsAt(int fd, std::uint64_t fileSize, std::uint64_t offset);
// The same for the file at `path`.
DdsTexture InspectDdsFile(const std::filesystem::path& path, std::uint64_t offset = 0);

// The smallest level the file holds whole whose long side is at least `side`; the top level
// for `side` 0, or after a top level with padded rows, whose smaller levels may lie otherwise.
const DdsLevel& ChooseLevel(const DdsTexture& texture, std::uint32_t side);

// The channels a picture of an accepted texture keeps: 1 for grey levels, 3 for colour without
// alpha (a masked layout without an alpha mask), else 4.
unsigned ShownChannels(const DdsTexture& texture);

// Whether two textures have the same layout: the same sides, number of levels and images, and
// the same format entry and masks (for layouts that are not shown, the same pixel-format
// fields). A DX10 header and a legacy one never have the same layout.
bool SameLayout(const DdsTexture& a, const DdsTexture& b);

// Where a texture that is not whole ends: the first level (of image `image`) it does not hold.
struct CutPoint {
  std::uint32_t image = 0;
  std::uint32_t level = 0;
  std::uint32_t wholeLevels = 0;  // whole levels of the first image
};
CutPoint WhereCut(const DdsTexture& texture);

}  // namespace sodrel
