#include "dds/TextureFormats.h"

#include <algorithm>
#include <bit>
#include <iterator>

#include "dds/DdsFields.h"
#include "dds/DdsNames.h"

namespace sodrel {
using namespace dds_fields;
namespace {

using enum BlockLayout;
using enum PixelLayout;

constexpr TextureFormat Blocks(FormatNaming naming, std::uint32_t code, BlockLayout layout,
                               bool srgb = false) {
  TextureFormat f;
  f.naming = naming;
  f.code = code;
  f.blocks = layout;
  f.blockBytes = layout == Bc1 || layout == Bc4Unsigned || layout == Bc4Signed ? 8 : 16;
  f.alpha = layout == Bc1 || layout == Bc2 || layout == Bc3 || layout == Bc7;
  f.isSigned = layout == Bc4Signed || layout == Bc5Signed || layout == Bc6hSigned;
  f.hdr = layout == Bc6hUnsigned || layout == Bc6hSigned;
  f.srgb = srgb;
  return f;
}
constexpr TextureFormat Dxgi(DxgiFormat dxgi, BlockLayout layout, bool srgb = false) {
  return Blocks(FormatNaming::Dxgi, static_cast<std::uint32_t>(dxgi), layout, srgb);
}
constexpr TextureFormat Pixels(FormatNaming naming, std::uint32_t code, PixelLayout layout,
                               std::uint32_t bits, std::uint32_t r, std::uint32_t g,
                               std::uint32_t b, std::uint32_t a, bool srgb = false) {
  TextureFormat f;
  f.naming = naming;
  f.code = code;
  f.pixels = layout;
  f.bitCount = bits;
  f.masks[0] = r;
  f.masks[1] = g;
  f.masks[2] = b;
  f.masks[3] = a;
  f.alpha = a != 0;
  f.srgb = srgb;
  f.hdr = layout == R16G16B16A16Float || layout == R32G32B32A32Float;
  return f;
}
constexpr TextureFormat Dxgi(DxgiFormat dxgi, PixelLayout layout, std::uint32_t bits,
                             std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a,
                             bool srgb = false) {
  return Pixels(FormatNaming::Dxgi, static_cast<std::uint32_t>(dxgi), layout, bits, r, g, b, a,
                srgb);
}
constexpr TextureFormat Legacy(std::uint32_t flag, PixelLayout layout, std::uint32_t bits,
                               std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a) {
  return Pixels(FormatNaming::Masks, flag, layout, bits, r, g, b, a);
}

// Typeless formats are read as their unsigned form; sRGB ones as stored (the flag is kept for
// the encoders, which average in linear light).
constexpr TextureFormat kFormats[] = {
    // Legacy FourCCs.
    Blocks(FormatNaming::FourCC, kDxt1, Bc1),
    Blocks(FormatNaming::FourCC, kDxt3, Bc2),
    Blocks(FormatNaming::FourCC, kDxt5, Bc3),
    Blocks(FormatNaming::FourCC, FourCC("ATI1"), Bc4Unsigned),
    Blocks(FormatNaming::FourCC, FourCC("BC4U"), Bc4Unsigned),
    Blocks(FormatNaming::FourCC, FourCC("BC4S"), Bc4Signed),
    Blocks(FormatNaming::FourCC, FourCC("ATI2"), Bc5Unsigned),
    Blocks(FormatNaming::FourCC, FourCC("BC5U"), Bc5Unsigned),
    Blocks(FormatNaming::FourCC, FourCC("BC5S"), Bc5Signed),
    // Legacy headers name these by their Direct3D 9 format number.
    Pixels(FormatNaming::FourCC, kD3dA16B16G16R16, R16G16B16A16Unorm, 64, 0, 0, 0, 1),
    Pixels(FormatNaming::FourCC, kD3dA16B16G16R16F, R16G16B16A16Float, 64, 0, 0, 0, 1),
    Pixels(FormatNaming::FourCC, kD3dA32B32G32R32F, R32G32B32A32Float, 128, 0, 0, 0, 1),
    // DXGI codes.
    Dxgi(DxgiFormat::Bc1Typeless, Bc1),
    Dxgi(DxgiFormat::Bc1Unorm, Bc1),
    Dxgi(DxgiFormat::Bc1UnormSrgb, Bc1, true),
    Dxgi(DxgiFormat::Bc2Typeless, Bc2),
    Dxgi(DxgiFormat::Bc2Unorm, Bc2),
    Dxgi(DxgiFormat::Bc2UnormSrgb, Bc2, true),
    Dxgi(DxgiFormat::Bc3Typeless, Bc3),
    Dxgi(DxgiFormat::Bc3Unorm, Bc3),
    Dxgi(DxgiFormat::Bc3UnormSrgb, Bc3, true),
    Dxgi(DxgiFormat::Bc4Typeless, Bc4Unsigned),
    Dxgi(DxgiFormat::Bc4Unorm, Bc4Unsigned),
    Dxgi(DxgiFormat::Bc4Snorm, Bc4Signed),
    Dxgi(DxgiFormat::Bc5Typeless, Bc5Unsigned),
    Dxgi(DxgiFormat::Bc5Unorm, Bc5Unsigned),
    Dxgi(DxgiFormat::Bc5Snorm, Bc5Signed),
    Dxgi(DxgiFormat::Bc6hTypeless, Bc6hUnsigned),
    Dxgi(DxgiFormat::Bc6hUf16, Bc6hUnsigned),
    Dxgi(DxgiFormat::Bc6hSf16, Bc6hSigned),
    Dxgi(DxgiFormat::Bc7Typeless, Bc7),
    Dxgi(DxgiFormat::Bc7Unorm, Bc7),
    Dxgi(DxgiFormat::Bc7UnormSrgb, Bc7, true),
    Dxgi(DxgiFormat::R8G8B8A8Typeless, Masked, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000),
    Dxgi(DxgiFormat::R8G8B8A8Unorm, Masked, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000),
    Dxgi(DxgiFormat::R8G8B8A8UnormSrgb, Masked, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, true),
    Dxgi(DxgiFormat::B8G8R8A8Typeless, Masked, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
    Dxgi(DxgiFormat::B8G8R8A8Unorm, Masked, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
    Dxgi(DxgiFormat::B8G8R8A8UnormSrgb, Masked, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, true),
    Dxgi(DxgiFormat::B8G8R8X8Typeless, Masked, 32, 0xFF0000, 0xFF00, 0xFF, 0),
    Dxgi(DxgiFormat::B8G8R8X8Unorm, Masked, 32, 0xFF0000, 0xFF00, 0xFF, 0),
    Dxgi(DxgiFormat::B8G8R8X8UnormSrgb, Masked, 32, 0xFF0000, 0xFF00, 0xFF, 0, true),
    Dxgi(DxgiFormat::B5G6R5Unorm, Masked, 16, 0xF800, 0x07E0, 0x001F, 0),
    Dxgi(DxgiFormat::B5G5R5A1Unorm, Masked, 16, 0x7C00, 0x03E0, 0x001F, 0x8000),
    Dxgi(DxgiFormat::B4G4R4A4Unorm, Masked, 16, 0x0F00, 0x00F0, 0x000F, 0xF000),
    Dxgi(DxgiFormat::R10G10B10A2Typeless, R10G10B10A2, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000),
    Dxgi(DxgiFormat::R10G10B10A2Unorm, R10G10B10A2, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000),
    Dxgi(DxgiFormat::R8Typeless, R8, 8, 0xFF, 0, 0, 0),
    Dxgi(DxgiFormat::R8Unorm, R8, 8, 0xFF, 0, 0, 0),
    Dxgi(DxgiFormat::A8Unorm, A8, 8, 0, 0, 0, 0xFF),
    Dxgi(DxgiFormat::R8G8Typeless, R8G8, 16, 0xFF, 0xFF00, 0, 0),
    Dxgi(DxgiFormat::R8G8Unorm, R8G8, 16, 0xFF, 0xFF00, 0, 0),
    Dxgi(DxgiFormat::R16G16B16A16Typeless, R16G16B16A16Unorm, 64, 0, 0, 0, 1),
    Dxgi(DxgiFormat::R16G16B16A16Unorm, R16G16B16A16Unorm, 64, 0, 0, 0, 1),
    Dxgi(DxgiFormat::R16G16B16A16Float, R16G16B16A16Float, 64, 0, 0, 0, 1),
    // Its typeless form's unsigned one, UINT, is not shown.
    Dxgi(DxgiFormat::R32G32B32A32Float, R32G32B32A32Float, 128, 0, 0, 0, 1),
    // Legacy uncompressed pixels, by flag, bit count and masks (Masks rows are matched in order).
    Legacy(kFormatRgb, R10G10B10A2, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000),
    // Grey and alpha written as colour, every colour mask the low byte.
    Legacy(kFormatRgb, L8A8, 16, 0xFF, 0xFF, 0xFF, 0xFF00),
    Legacy(kFormatLuminance, L8A8, 16, 0xFF, 0, 0, 0xFF00),
    // 16-bit colour: 5:6:5, 5:5:5 and 4:4:4, the last two with their alpha bits where the
    // header has them.
    Legacy(kFormatRgb, Masked, 16, 0xF800, 0x07E0, 0x001F, 0),
    Legacy(kFormatRgb, Masked, 16, 0x7C00, 0x03E0, 0x001F, 0x8000),
    Legacy(kFormatRgb, Masked, 16, 0x0F00, 0x00F0, 0x000F, 0xF000),
    // 8 bits: grey levels, whatever the masks say; 24 and 32 bits: whole bytes in any order.
    Legacy(kFormatRgb, Grey8, 8, 0, 0, 0, 0),
    Legacy(kFormatLuminance, Grey8, 8, 0, 0, 0, 0),
    Legacy(kFormatRgb, Masked, 24, 0, 0, 0, 0),
    Legacy(kFormatRgb, Masked, 32, 0, 0, 0, 0),
    Legacy(kFormatAlphaOnly, A8, 8, 0, 0, 0, 0),
    Legacy(kFormatPalette8, P8, 8, 0, 0, 0, 0),
};

// Whether 24- or 32-bit `masks` are whole, distinct bytes: red, green and blue all set or, for
// a file written without masks, none (read as B, G, R(, A)); alpha a further byte or none.
bool WholeBytes(std::uint32_t bits, const std::uint32_t (&masks)[4], bool alpha) {
  if (masks[0] == 0 && masks[1] == 0 && masks[2] == 0) return true;
  std::uint32_t used = 0;
  const int channels = bits == 32 && alpha && masks[3] != 0 ? 4 : 3;
  for (int c = 0; c < channels; ++c) {
    const std::uint32_t m = masks[c];
    if (m == 0 || std::popcount(m) != 8 || std::countr_zero(m) % 8 != 0 || (used & m) ||
        (bits == 24 && m > 0xFFFFFF)) {
      return false;
    }
    used |= m;
  }
  return true;
}

bool RowMatches(const TextureFormat& f, std::uint32_t flags, std::uint32_t bits,
                const std::uint32_t (&masks)[4], bool alpha) {
  if (f.naming != FormatNaming::Masks || !(flags & f.code) || f.bitCount != bits) return false;
  // A file flagged RGB is read as RGB whatever else it carries; luminance next.
  if (f.code != kFormatRgb && (flags & kFormatRgb)) return false;
  if (f.code != kFormatLuminance && f.code != kFormatRgb && (flags & kFormatLuminance))
    return false;
  if (f.pixels == Grey8) return !alpha;
  if (f.pixels == A8 || f.pixels == P8) return true;
  if (f.pixels == Masked && bits >= 24) return WholeBytes(bits, masks, alpha);
  if (f.pixels == L8A8) {
    return alpha && masks[0] == f.masks[0] && masks[3] == f.masks[3] &&
           (f.code == kFormatLuminance || (masks[1] == 0xFF && masks[2] == 0xFF));
  }
  // 10:10:10 with or without its alpha bits; 16-bit layouts by their colour masks.
  return masks[0] == f.masks[0] && masks[1] == f.masks[1] && masks[2] == f.masks[2];
}

// Channels from the lowest bits up, each a letter and its width; bits no mask names are X.
std::string MaskedName(std::uint32_t bits, const std::uint32_t (&masks)[4], bool luminance) {
  const char letters[] = {luminance ? 'L' : 'R', 'G', 'B', 'A'};
  std::string name;
  unsigned unused = 0;
  for (unsigned at = 0; at <= bits; ++at) {
    int channel = -1;
    for (int c = 0; c < 4 && at < bits; ++c) {
      if (masks[c] != 0 && static_cast<unsigned>(std::countr_zero(masks[c])) == at) channel = c;
    }
    if (channel < 0 && at < bits) {
      ++unused;
      continue;
    }
    if (unused != 0) name += 'X' + std::to_string(unused);
    unused = 0;
    if (channel < 0) break;
    const auto width = static_cast<unsigned>(std::countr_one(masks[channel] >> at));
    name += letters[channel] + std::to_string(width);
    at += width - 1;
  }
  return name;
}

}  // namespace

const TextureFormat* FindFourCCFormat(std::uint32_t fourCC) {
  for (const TextureFormat& f : kFormats) {
    if (f.naming == FormatNaming::FourCC && f.code == fourCC) return &f;
  }
  return nullptr;
}

const TextureFormat* FindDxgiFormat(DxgiFormat dxgi) {
  for (const TextureFormat& f : kFormats) {
    if (f.naming == FormatNaming::Dxgi && f.code == static_cast<std::uint32_t>(dxgi)) return &f;
  }
  return nullptr;
}

const TextureFormat* FindMasksFormat(std::uint32_t flags, std::uint32_t bitCount,
                                     const std::uint32_t (&masks)[4], bool alpha) {
  for (const TextureFormat& f : kFormats) {
    if (RowMatches(f, flags, bitCount, masks, alpha)) return &f;
  }
  return nullptr;
}

PixelMasks MasksOf(const TextureFormat& format, const std::uint32_t (&masks)[4], bool alpha) {
  PixelMasks resolved;
  const bool fromHeader = format.naming == FormatNaming::Masks;
  for (int c = 0; c < 4; ++c) resolved.masks[c] = fromHeader ? masks[c] : format.masks[c];
  resolved.alpha = fromHeader ? alpha && resolved.masks[3] != 0 : format.alpha;
  if (!fromHeader || format.pixels != Masked) return resolved;
  std::uint32_t(&m)[4] = resolved.masks;
  if (format.bitCount >= 24 && m[0] == 0 && m[1] == 0 && m[2] == 0) {
    m[0] = 0xFF0000, m[1] = 0xFF00, m[2] = 0xFF;  // written without masks: B, G, R(, A)
    m[3] = 0;
  }
  if (format.bitCount == 16) {
    // The alpha bits of 5:5:5:1 and 4:4:4:4 count where the flag and the mask say so.
    resolved.alpha = alpha && m[3] == format.masks[3] && m[3] != 0;
  } else if (format.bitCount == 32 && alpha && m[3] == 0) {
    // Flagged with alpha but without its mask: the byte no colour uses.
    std::uint32_t used = m[0] | m[1] | m[2];
    for (std::uint32_t byte = 0xFF; byte != 0; byte <<= 8) {
      if (!(used & byte)) {
        m[3] = byte;
        break;
      }
    }
    resolved.alpha = true;
  } else {
    resolved.alpha = format.bitCount == 32 && alpha;
  }
  if (!resolved.alpha) m[3] = 0;
  return resolved;
}

std::string FormatName(const TextureFormat& format, const PixelMasks& masks) {
  switch (format.naming) {
    case FormatNaming::FourCC:
      return DescribeFourCC(format.code);
    case FormatNaming::Dxgi:
      return "DX10 " + std::string(DxgiName(static_cast<DxgiFormat>(format.code)));
    case FormatNaming::Masks:
      break;
  }
  const std::string bits = std::to_string(format.bitCount) + "-bit ";
  switch (format.pixels) {
    case Grey8:
      return (format.code == kFormatLuminance ? "luminance " : "uncompressed ") + bits + "L8";
    case A8:
      return "alpha only " + bits + "A8";
    case P8:
      return "palettised " + bits + "P8";
    case L8A8:
      return (format.code == kFormatLuminance ? "luminance " : "uncompressed ") + bits + "L8A8";
    default:
      return "uncompressed " + bits + MaskedName(format.bitCount, masks.masks, false);
  }
}

}  // namespace sodrel
