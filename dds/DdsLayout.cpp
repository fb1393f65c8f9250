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

}  // namespace

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

}  // namespace sodrel
