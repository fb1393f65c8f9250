#include "dds/DdsLayout.h"

#include <algorithm>

#include "dds/DdsFields.h"

namespace sodrel {
using namespace dds_fields;
namespace {

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

// The 32-bit B, G, R, A layout the view presents decoded pixels in.
constexpr Format kDecodedPresentation{0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, true};

bool Decoded(BlockLayout layout, Format& format) {
  format = kDecodedPresentation;
  format.decode = DdsRewrite::DecodeBlocks;
  format.blocks = layout;
  return true;
}

bool Decoded(PixelLayout layout, Format& format) {
  format = kDecodedPresentation;
  format.decode = DdsRewrite::DecodePixels;
  format.pixels = layout;
  return true;
}

}  // namespace

// The typeless formats are read as their unsigned form; the sRGB ones as stored.
bool FromDxgi(DxgiFormat dxgi, Format& format) {
  using enum DxgiFormat;
  switch (dxgi) {
    case Bc1Typeless:
    case Bc1Unorm:
    case Bc1UnormSrgb:
      format.fourCC = kDxt1;
      return true;
    case Bc2Typeless:
    case Bc2Unorm:
    case Bc2UnormSrgb:
      format.fourCC = kDxt3;
      return true;
    case Bc3Typeless:
    case Bc3Unorm:
    case Bc3UnormSrgb:
      format.fourCC = kDxt5;
      return true;
    case R8G8B8A8Typeless:
    case R8G8B8A8Unorm:
    case R8G8B8A8UnormSrgb:
      format = {0, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, true};
      return true;
    case B8G8R8A8Unorm:
    case B8G8R8A8Typeless:
    case B8G8R8A8UnormSrgb:
      format = {0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, true};
      return true;
    case B8G8R8X8Unorm:
    case B8G8R8X8Typeless:
    case B8G8R8X8UnormSrgb:
      format = {0, 32, {0xFF0000, 0xFF00, 0xFF, 0}, false};
      return true;
    case B5G6R5Unorm:
      format = {0, 16, {0xF800, 0x07E0, 0x001F, 0}, false};
      return true;
    case B5G5R5A1Unorm:
      format = {0, 16, {0x7C00, 0x03E0, 0x001F, 0x8000}, true};
      return true;
    case B4G4R4A4Unorm:
      format = {0, 16, {0x0F00, 0x00F0, 0x000F, 0xF000}, true};
      return true;
    case Bc4Typeless:
    case Bc4Unorm:
      return Decoded(BlockLayout::Bc4Unsigned, format);
    case Bc4Snorm:
      return Decoded(BlockLayout::Bc4Signed, format);
    case Bc5Typeless:
    case Bc5Unorm:
      return Decoded(BlockLayout::Bc5Unsigned, format);
    case Bc5Snorm:
      return Decoded(BlockLayout::Bc5Signed, format);
    case Bc6hTypeless:
    case Bc6hUf16:
      return Decoded(BlockLayout::Bc6hUnsigned, format);
    case Bc6hSf16:
      return Decoded(BlockLayout::Bc6hSigned, format);
    case Bc7Typeless:
    case Bc7Unorm:
    case Bc7UnormSrgb:
      return Decoded(BlockLayout::Bc7, format);
    case R8Typeless:
    case R8Unorm:
      return Decoded(PixelLayout::R8, format);
    case A8Unorm:
      return Decoded(PixelLayout::A8, format);
    case R8G8Typeless:
    case R8G8Unorm:
      return Decoded(PixelLayout::R8G8, format);
    case R10G10B10A2Typeless:
    case R10G10B10A2Unorm:
      return Decoded(PixelLayout::R10G10B10A2, format);
    case R16G16B16A16Typeless:
    case R16G16B16A16Unorm:
      return Decoded(PixelLayout::R16G16B16A16Unorm, format);
    case R16G16B16A16Float:
      return Decoded(PixelLayout::R16G16B16A16Float, format);
    case R32G32B32A32Float:  // its typeless form's unsigned one, UINT, is not shown
      return Decoded(PixelLayout::R32G32B32A32Float, format);
    default:
      return false;
  }
}

bool FromFourCC(std::uint32_t fourCC, Format& format) {
  switch (fourCC) {
    case kDxt1:
    case kDxt3:
    case kDxt5:
      format.fourCC = fourCC;
      return true;
    case FourCC("ATI1"):
    case FourCC("BC4U"):
      return Decoded(BlockLayout::Bc4Unsigned, format);
    case FourCC("BC4S"):
      return Decoded(BlockLayout::Bc4Signed, format);
    case FourCC("ATI2"):
    case FourCC("BC5U"):
      return Decoded(BlockLayout::Bc5Unsigned, format);
    case FourCC("BC5S"):
      return Decoded(BlockLayout::Bc5Signed, format);
    // Legacy headers name these by their Direct3D 9 format number.
    case kD3dA16B16G16R16:
      return Decoded(PixelLayout::R16G16B16A16Unorm, format);
    case kD3dA16B16G16R16F:
      return Decoded(PixelLayout::R16G16B16A16Float, format);
    case kD3dA32B32G32R32F:
      return Decoded(PixelLayout::R32G32B32A32Float, format);
    default:
      return false;
  }
}

bool FromUncompressed(std::uint32_t flags, Format& format) {
  const std::uint32_t bits = format.bitCount;
  const std::uint32_t(&m)[4] = format.masks;
  const bool greyAlpha = bits == 16 && format.alpha && m[0] == 0xFF && m[3] == 0xFF00;
  if (flags & kFormatRgb) {
    if (bits == 32 && m[0] == 0x3FF && m[1] == 0xFFC00 && m[2] == 0x3FF00000) {
      return Decoded(PixelLayout::R10G10B10A2, format);
    }
    // Grey and alpha written as colour, every colour mask the low byte.
    if (greyAlpha && m[1] == 0xFF && m[2] == 0xFF) return Decoded(PixelLayout::L8A8, format);
    return bits == 8 || bits == 24 || bits == 32 || (bits == 16 && IsKnown16BitLayout(m));
  }
  if (flags & kFormatLuminance) {
    // 8-bit luminance is what FreeImage makes of 8-bit RGB: grey levels.
    if (bits == 8 && !format.alpha) return true;
    return greyAlpha && Decoded(PixelLayout::L8A8, format);
  }
  if (bits != 8) return false;
  if (flags & kFormatAlphaOnly) return Decoded(PixelLayout::A8, format);
  return (flags & kFormatPalette8) && Decoded(PixelLayout::P8, format);
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

bool LayOut(const Format& format, std::span<const std::byte> prefix, DdsInfo& info) {
  const std::uint64_t width = info.width;
  std::uint32_t presentedPitch = 0;
  info.rewrite = format.decode;
  info.decodeBlocks = format.blocks;
  info.decodePixels = format.pixels;
  if (format.decode == DdsRewrite::DecodeBlocks) {
    // Each row of blocks becomes 4 rows of pixels of the texture's width. The library reads
    // rows from the top for the height it is given, so the rows below the texture's last one,
    // decoded with the last row of blocks, are never read, and nothing is cropped.
    info.rows = (info.height + 3) / 4;
    info.rowBytes = static_cast<std::uint32_t>((width + 3) / 4 * BlockBytes(format.blocks));
    info.rowStride = info.rowBytes;
    info.presentedWidth = info.width;
    info.presentedHeight = info.height;
    info.presentedRowBytes = static_cast<std::uint32_t>(width * 4 * 4);
  } else if (format.fourCC != 0) {
    // FreeImage rounds DXT sides down to whole blocks and then reads each row of blocks for
    // that width, shearing the picture; given the sides rounded up it reads every block the
    // file holds, and the decoder crops the bitmap back to the texture's size.
    info.rows = (info.height + 3) / 4;
    info.rowBytes = static_cast<std::uint32_t>((width + 3) / 4 * (format.fourCC == kDxt1 ? 8 : 16));
    info.rowStride = info.presentedRowBytes = info.rowBytes;
    info.presentedWidth = (info.width + 3) / 4 * 4;
    info.presentedHeight = info.rows * 4;
    if (format.fourCC != kDxt1) info.rewrite = DdsRewrite::DxtColourBlocks;
  } else {
    const bool decoded = format.decode == DdsRewrite::DecodePixels;
    if (!decoded && format.bitCount >= 24 && !ResolveByteOrder(format, info)) return false;
    info.rows = info.height;
    info.rowBytes = static_cast<std::uint32_t>(
        width * (decoded ? PixelBytes(format.pixels) : format.bitCount / 8));
    info.presentedRowBytes = static_cast<std::uint32_t>(width * format.bitCount / 8);
    info.presentedWidth = info.width;
    info.presentedHeight = info.height;
    // A pitch wider than a row pads every row; the library seeks past the padding, and so
    // does the view. A narrower one cannot be meant.
    const auto pitch = static_cast<std::int32_t>(ReadU32(prefix, kPitchAt));
    const bool padded = (ReadU32(prefix, kHeaderFlagsAt) & kFlagPitch) && pitch > 0 &&
                        static_cast<std::uint32_t>(pitch) > info.rowBytes;
    info.rowStride = padded ? static_cast<std::uint32_t>(pitch) : info.rowBytes;
    if (format.bitCount == 16 && !decoded) {
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

}  // namespace sodrel
