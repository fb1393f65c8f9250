#include "dds/DdsHeaderCheck.h"

#include <algorithm>
#include <cstdio>

#include "dds/LittleEndian.h"
#include "io/FileIo.h"

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
constexpr std::size_t kMasksAt = 92;  // red, green, blue, alpha
constexpr std::size_t kCapsAt = 108;
// The DX10 extension.
constexpr std::size_t kDxgiFormatAt = 128;
constexpr std::size_t kDimensionAt = 132;

constexpr std::uint32_t kHeaderSize = 124;
constexpr std::uint32_t kPixelFormatSize = 32;
constexpr std::uint32_t kFlagsCapsHeightWidthFormat = 0x1007;
constexpr std::uint32_t kFlagPitch = 0x8;
constexpr std::uint32_t kCapsTexture = 0x1000;
constexpr std::uint32_t kFormatAlphaPixels = 0x1;
constexpr std::uint32_t kFormatFourCC = 0x4;
constexpr std::uint32_t kFormatRgb = 0x40;
constexpr std::uint32_t kFormatLuminance = 0x20000;
constexpr std::uint32_t kDimensionTexture2D = 3;

constexpr std::uint32_t FourCC(const char (&code)[5]) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[3])) << 24;
}

constexpr std::uint32_t kMagic = FourCC("DDS ");
constexpr std::uint32_t kDxt1 = FourCC("DXT1");
constexpr std::uint32_t kDxt3 = FourCC("DXT3");
constexpr std::uint32_t kDxt5 = FourCC("DXT5");
constexpr std::uint32_t kDx10 = FourCC("DX10");

std::uint32_t ReadU32(std::span<const std::byte> bytes, std::size_t at) {
  return ReadLe32(bytes.data() + at);
}

void WriteU32(std::span<std::byte> bytes, std::size_t at, std::uint32_t value) {
  WriteLe32(bytes.data() + at, value);
}

// What a file's format comes to once the DX10 extension is read: one of the layouts FreeImage
// decodes under the legacy header.
struct Format {
  std::uint32_t fourCC = 0;    // DXT1, DXT3 or DXT5; 0 for uncompressed
  std::uint32_t bitCount = 0;  // uncompressed: 8, 16, 24 or 32
  std::uint32_t masks[4] = {};
  bool alpha = false;
};

// The DXGI formats shown, as the legacy layout FreeImage reads for them.
bool FromDxgi(std::uint32_t dxgi, Format& format) {
  switch (dxgi) {
    case 70:
    case 71:
    case 72:  // BC1 typeless, unorm, sRGB
      format.fourCC = kDxt1;
      return true;
    case 73:
    case 74:
    case 75:  // BC2
      format.fourCC = kDxt3;
      return true;
    case 76:
    case 77:
    case 78:  // BC3
      format.fourCC = kDxt5;
      return true;
    case 27:
    case 28:
    case 29:  // R8G8B8A8
      format = {0, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, true};
      return true;
    case 87:
    case 90:
    case 91:  // B8G8R8A8
      format = {0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, true};
      return true;
    case 88:
    case 92:
    case 93:  // B8G8R8X8
      format = {0, 32, {0xFF0000, 0xFF00, 0xFF, 0}, false};
      return true;
    case 85:  // B5G6R5
      format = {0, 16, {0xF800, 0x07E0, 0x001F, 0}, false};
      return true;
    case 86:  // B5G5R5A1
      format = {0, 16, {0x7C00, 0x03E0, 0x001F, 0x8000}, true};
      return true;
    case 115:  // B4G4R4A4
      format = {0, 16, {0x0F00, 0x00F0, 0x000F, 0xF000}, true};
      return true;
    default:
      return false;
  }
}

// FreeImage converts 16-bit pixels of these layouts only; others come out black.
bool IsKnown16BitLayout(const std::uint32_t (&masks)[4]) {
  static constexpr std::uint32_t kKnown[][3] = {
      {0xF800, 0x07E0, 0x001F}, {0x7C00, 0x03E0, 0x001F}, {0x0F00, 0x00F0, 0x000F}};
  for (const auto& known : kKnown) {
    if (masks[0] == known[0] && masks[1] == known[1] && masks[2] == known[2]) return true;
  }
  return false;
}

// The byte of a pixel that `mask` selects, when it selects exactly one whole byte.
int ByteOf(std::uint32_t mask, std::uint32_t pixelBytes) {
  for (std::uint32_t i = 0; i < pixelBytes; ++i) {
    if (mask == 0xFFu << (8 * i)) return static_cast<int>(i);
  }
  return -1;
}

// Where B, G, R and A lie in a 24- or 32-bit pixel. FreeImage copies such pixels as they are,
// taking them for B, G, R(, A) whatever the masks say; masks of whole bytes in any other order
// are put right by reordering. A file without masks is read the library's way.
bool ResolveByteOrder(const Format& format, DdsInfo& info) {
  const std::uint32_t pixelBytes = format.bitCount / 8;
  const std::uint32_t r = format.masks[0], g = format.masks[1], b = format.masks[2];
  if (r == 0 && g == 0 && b == 0) return true;
  const int order[3] = {ByteOf(b, pixelBytes), ByteOf(g, pixelBytes), ByteOf(r, pixelBytes)};
  bool used[4] = {};
  for (int i = 0; i < 3; ++i) {
    if (order[i] < 0 || used[order[i]]) return false;
    used[order[i]] = true;
    info.byteOrder[i] = static_cast<std::uint8_t>(order[i]);
  }
  if (pixelBytes == 4) {
    int alpha = format.alpha && format.masks[3] != 0 ? ByteOf(format.masks[3], 4) : -1;
    if (format.alpha && format.masks[3] != 0 && (alpha < 0 || used[alpha])) return false;
    if (alpha < 0) alpha = static_cast<int>(std::find(used, used + 4, false) - used);
    info.byteOrder[3] = static_cast<std::uint8_t>(alpha);
  }
  const bool inOrder = info.byteOrder[0] == 0 && info.byteOrder[1] == 1 && info.byteOrder[2] == 2 &&
                       (pixelBytes == 3 || info.byteOrder[3] == 3);
  info.rewrite = inOrder ? DdsRewrite::None : DdsRewrite::ReorderBytes;
  return true;
}

// The legacy header FreeImage is given: the sides it is to decode and the layout, as it will
// find them after the rewrite.
void PresentHeader(const Format& format, std::uint32_t pitch, DdsInfo& info) {
  const std::span<std::byte> h = info.presentedHeader;
  WriteU32(h, kMagicAt, kMagic);
  WriteU32(h, kHeaderSizeAt, kHeaderSize);
  WriteU32(h, kHeaderFlagsAt, kFlagsCapsHeightWidthFormat | (pitch != 0 ? kFlagPitch : 0));
  WriteU32(h, kHeightAt, info.presentedHeight);
  WriteU32(h, kWidthAt, info.presentedWidth);
  WriteU32(h, kPitchAt, pitch);
  WriteU32(h, kPixelFormatSizeAt, kPixelFormatSize);
  WriteU32(h, kCapsAt, kCapsTexture);
  if (format.fourCC != 0) {
    WriteU32(h, kPixelFormatFlagsAt, kFormatFourCC);
    WriteU32(h, kFourCCAt, format.fourCC);
    return;
  }
  WriteU32(h, kPixelFormatFlagsAt, kFormatRgb | (format.alpha ? kFormatAlphaPixels : 0));
  WriteU32(h, kRgbBitCountAt, format.bitCount);
  const bool reordered = format.bitCount >= 24;
  const std::uint32_t masks[4] = {0xFF0000, 0xFF00, 0xFF, format.alpha ? 0xFF000000 : 0};
  for (std::size_t i = 0; i < 4; ++i) {
    WriteU32(h, kMasksAt + 4 * i, reordered ? masks[i] : format.masks[i]);
  }
}

// Lays out the top surface of `format` and presents it.
bool LayOut(const Format& format, std::span<const std::byte> prefix, DdsInfo& info) {
  const std::uint64_t width = info.width;
  std::uint32_t presentedPitch = 0;
  if (format.fourCC != 0) {
    // FreeImage rounds DXT sides down to whole blocks and then reads each row of blocks for
    // that width, shearing the picture; given the sides rounded up it reads every block the
    // file holds, and the decoder crops the bitmap back to the texture's size.
    info.rows = (info.height + 3) / 4;
    info.rowBytes = static_cast<std::uint32_t>((width + 3) / 4 * (format.fourCC == kDxt1 ? 8 : 16));
    info.rowStride = info.rowBytes;
    info.presentedWidth = (info.width + 3) / 4 * 4;
    info.presentedHeight = info.rows * 4;
    if (format.fourCC != kDxt1) info.rewrite = DdsRewrite::DxtColourBlocks;
  } else {
    if (format.bitCount >= 24 && !ResolveByteOrder(format, info)) return false;
    info.rows = info.height;
    info.rowBytes = static_cast<std::uint32_t>(width * format.bitCount / 8);
    info.presentedWidth = info.width;
    info.presentedHeight = info.height;
    // A pitch wider than a row pads every row; the library seeks past the padding, and so
    // does the view. A narrower one cannot be meant.
    const auto pitch = static_cast<std::int32_t>(ReadU32(prefix, kPitchAt));
    const bool padded = (ReadU32(prefix, kHeaderFlagsAt) & kFlagPitch) && pitch > 0 &&
                        static_cast<std::uint32_t>(pitch) > info.rowBytes;
    info.rowStride = padded ? static_cast<std::uint32_t>(pitch) : info.rowBytes;
    if (format.bitCount == 16) {
      // The library reads 16-bit rows three bytes a pixel, as long as the 24-bit rows it
      // makes of them, and converts the first two thirds. Told the pitch of packed rows, it
      // steps back after each row: every row is right, and the last read runs a third of a
      // row past the surface, which the view presents as zeros.
      presentedPitch = info.rowBytes;
      info.tailBytes = info.width;
    }
  }
  info.surfaceBytes = (info.rows - 1) * info.rowStride + info.rowBytes;
  PresentHeader(format, presentedPitch, info);
  return true;
}

DdsInfo Stop(DdsInfo info, DdsCheck check) {
  info.check = check;
  return info;
}

}  // namespace

std::string_view Describe(DdsCheck check) {
  switch (check) {
    case DdsCheck::NotChecked:
      return "not checked";
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

  Format format;
  info.dataOffset = kDdsHeaderBytes;
  const std::uint32_t flags = ReadU32(prefix, kPixelFormatFlagsAt);
  // A file flagged RGB is uncompressed, whatever FourCC it also carries (as FreeImage reads it).
  if (flags & (kFormatRgb | kFormatLuminance)) {
    info.bitCount = format.bitCount = ReadU32(prefix, kRgbBitCountAt);
    for (std::size_t i = 0; i < 4; ++i) format.masks[i] = ReadU32(prefix, kMasksAt + 4 * i);
    format.alpha = (flags & kFormatAlphaPixels) != 0;
    if (!(flags & kFormatRgb)) {
      // 8-bit luminance is what FreeImage makes of 8-bit RGB: grey levels.
      info.luminance = true;
      if (format.bitCount != 8 || format.alpha) return Stop(info, DdsCheck::UnsupportedFormat);
    }
    if (format.bitCount != 8 && format.bitCount != 16 && format.bitCount != 24 &&
        format.bitCount != 32) {
      return Stop(info, DdsCheck::UnsupportedFormat);
    }
    if (format.bitCount == 16 && !IsKnown16BitLayout(format.masks)) {
      return Stop(info, DdsCheck::UnsupportedFormat);
    }
  } else if (flags & kFormatFourCC) {
    info.fourCC = ReadU32(prefix, kFourCCAt);
    if (info.fourCC == kDx10) {
      if (prefix.size() < kDdsLongestHeaderBytes || fileSize < kDdsLongestHeaderBytes) {
        return Stop(info, DdsCheck::TooShortForHeader);
      }
      info.dataOffset = kDdsLongestHeaderBytes;
      info.dxgiFormat = ReadU32(prefix, kDxgiFormatAt);
      // A cube map or an array of 2D textures starts with its first image, which is shown.
      if (ReadU32(prefix, kDimensionAt) != kDimensionTexture2D ||
          !FromDxgi(info.dxgiFormat, format)) {
        return Stop(info, DdsCheck::UnsupportedFormat);
      }
      info.bitCount = format.bitCount;
    } else if (info.fourCC == kDxt1 || info.fourCC == kDxt3 || info.fourCC == kDxt5) {
      format.fourCC = info.fourCC;
    } else {
      return Stop(info, DdsCheck::UnsupportedFormat);
    }
  } else {
    return Stop(info, DdsCheck::UnsupportedFormat);
  }

  if (!LayOut(format, prefix, info)) return Stop(info, DdsCheck::UnsupportedFormat);
  if (fileSize - info.dataOffset < info.surfaceBytes) {
    return Stop(info, DdsCheck::TruncatedSurface);
  }
  return Stop(info, DdsCheck::Accepted);
}

DdsInfo InspectDdsAt(int fd, std::uint64_t fileSize, std::uint64_t offset) {
  std::array<std::byte, kDdsLongestHeaderBytes> prefix{};
  std::size_t got = 0;
  if (!ReadAt(fd, offset, prefix, got).ok()) return Stop({}, DdsCheck::Unreadable);
  return InspectDds(std::span(prefix).first(got), fileSize < offset ? 0 : fileSize - offset);
}

DdsInfo InspectDdsFile(const std::filesystem::path& path, std::uint64_t offset) {
  InputFile file;
  if (!file.Open(path).ok()) return Stop({}, DdsCheck::Unreadable);
  DdsInfo info = InspectDdsAt(file.fd(), file.size(), offset);
  // Cut or rewritten while its header was read: say nothing of a header that may be gone.
  if (!file.Unchanged().ok()) return Stop({}, DdsCheck::Unreadable);
  return info;
}

std::string DescribeFormat(const DdsInfo& info) {
  if (info.fourCC == kDx10) {
    static constexpr struct {
      std::uint32_t code;
      const char* name;
    } kNames[] = {
        {2, "R32G32B32A32_FLOAT"},   {10, "R16G16B16A16_FLOAT"},  {11, "R16G16B16A16_UNORM"},
        {24, "R10G10B10A2_UNORM"},   {27, "R8G8B8A8_TYPELESS"},   {28, "R8G8B8A8_UNORM"},
        {29, "R8G8B8A8_UNORM_SRGB"}, {41, "R32_FLOAT"},           {61, "R8_UNORM"},
        {70, "BC1_TYPELESS"},        {71, "BC1_UNORM"},           {72, "BC1_UNORM_SRGB"},
        {73, "BC2_TYPELESS"},        {74, "BC2_UNORM"},           {75, "BC2_UNORM_SRGB"},
        {76, "BC3_TYPELESS"},        {77, "BC3_UNORM"},           {78, "BC3_UNORM_SRGB"},
        {79, "BC4_TYPELESS"},        {80, "BC4_UNORM"},           {81, "BC4_SNORM"},
        {82, "BC5_TYPELESS"},        {83, "BC5_UNORM"},           {84, "BC5_SNORM"},
        {85, "B5G6R5_UNORM"},        {86, "B5G5R5A1_UNORM"},      {87, "B8G8R8A8_UNORM"},
        {88, "B8G8R8X8_UNORM"},      {90, "B8G8R8A8_TYPELESS"},   {91, "B8G8R8A8_UNORM_SRGB"},
        {92, "B8G8R8X8_TYPELESS"},   {93, "B8G8R8X8_UNORM_SRGB"}, {94, "BC6H_TYPELESS"},
        {95, "BC6H_UF16"},           {96, "BC6H_SF16"},           {97, "BC7_TYPELESS"},
        {98, "BC7_UNORM"},           {99, "BC7_UNORM_SRGB"},      {115, "B4G4R4A4_UNORM"},
    };
    for (const auto& entry : kNames) {
      if (entry.code == info.dxgiFormat) return std::string("DX10 ") + entry.name;
    }
    return "DX10 DXGI format " + std::to_string(info.dxgiFormat);
  }
  if (info.fourCC != 0) {
    std::string code;
    for (int shift = 0; shift < 32; shift += 8) {
      const char c = static_cast<char>((info.fourCC >> shift) & 0xff);
      if (c < 0x20 || c > 0x7e) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08x", static_cast<unsigned>(info.fourCC));
        return std::string("FourCC ") + hex;
      }
      code += c;
    }
    return code;
  }
  if (info.luminance) return "luminance, " + std::to_string(info.bitCount) + " bits";
  if (info.bitCount != 0) return "uncompressed, " + std::to_string(info.bitCount) + " bits";
  return "unknown format";
}

}  // namespace sodrel
