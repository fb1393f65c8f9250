#include "dds/DdsNames.h"

#include "io/EnumTexts.h"

#include <cstdio>

#include "dds/DdsFields.h"

namespace sodrel {
using namespace dds_fields;

std::string_view DxgiName(DxgiFormat format) {
  using enum DxgiFormat;
  switch (format) {
    case R32G32B32A32Typeless:
      return "R32G32B32A32_TYPELESS";
    case R32G32B32A32Float:
      return "R32G32B32A32_FLOAT";
    case R16G16B16A16Typeless:
      return "R16G16B16A16_TYPELESS";
    case R16G16B16A16Float:
      return "R16G16B16A16_FLOAT";
    case R16G16B16A16Unorm:
      return "R16G16B16A16_UNORM";
    case R10G10B10A2Typeless:
      return "R10G10B10A2_TYPELESS";
    case R10G10B10A2Unorm:
      return "R10G10B10A2_UNORM";
    case R8G8B8A8Typeless:
      return "R8G8B8A8_TYPELESS";
    case R8G8B8A8Unorm:
      return "R8G8B8A8_UNORM";
    case R8G8B8A8UnormSrgb:
      return "R8G8B8A8_UNORM_SRGB";
    case R32Float:
      return "R32_FLOAT";
    case R8G8Typeless:
      return "R8G8_TYPELESS";
    case R8G8Unorm:
      return "R8G8_UNORM";
    case R8Typeless:
      return "R8_TYPELESS";
    case R8Unorm:
      return "R8_UNORM";
    case A8Unorm:
      return "A8_UNORM";
    case Bc1Typeless:
      return "BC1_TYPELESS";
    case Bc1Unorm:
      return "BC1_UNORM";
    case Bc1UnormSrgb:
      return "BC1_UNORM_SRGB";
    case Bc2Typeless:
      return "BC2_TYPELESS";
    case Bc2Unorm:
      return "BC2_UNORM";
    case Bc2UnormSrgb:
      return "BC2_UNORM_SRGB";
    case Bc3Typeless:
      return "BC3_TYPELESS";
    case Bc3Unorm:
      return "BC3_UNORM";
    case Bc3UnormSrgb:
      return "BC3_UNORM_SRGB";
    case Bc4Typeless:
      return "BC4_TYPELESS";
    case Bc4Unorm:
      return "BC4_UNORM";
    case Bc4Snorm:
      return "BC4_SNORM";
    case Bc5Typeless:
      return "BC5_TYPELESS";
    case Bc5Unorm:
      return "BC5_UNORM";
    case Bc5Snorm:
      return "BC5_SNORM";
    case B5G6R5Unorm:
      return "B5G6R5_UNORM";
    case B5G5R5A1Unorm:
      return "B5G5R5A1_UNORM";
    case B8G8R8A8Unorm:
      return "B8G8R8A8_UNORM";
    case B8G8R8X8Unorm:
      return "B8G8R8X8_UNORM";
    case B8G8R8A8Typeless:
      return "B8G8R8A8_TYPELESS";
    case B8G8R8A8UnormSrgb:
      return "B8G8R8A8_UNORM_SRGB";
    case B8G8R8X8Typeless:
      return "B8G8R8X8_TYPELESS";
    case B8G8R8X8UnormSrgb:
      return "B8G8R8X8_UNORM_SRGB";
    case Bc6hTypeless:
      return "BC6H_TYPELESS";
    case Bc6hUf16:
      return "BC6H_UF16";
    case Bc6hSf16:
      return "BC6H_SF16";
    case Bc7Typeless:
      return "BC7_TYPELESS";
    case Bc7Unorm:
      return "BC7_UNORM";
    case Bc7UnormSrgb:
      return "BC7_UNORM_SRGB";
    case B4G4R4A4Unorm:
      return "B4G4R4A4_UNORM";
    case Unknown:
      break;
  }
  return {};
}

std::string_view Describe(DdsCheck check) {
  static constexpr std::string_view kTexts[] = {
      "not checked",
      "accepted",
      "cannot read the DDS file",
      "too short to hold a DDS header",
      "not a DDS file",
      "the DDS header size is not 124",
      "the DDS pixel-format size is not 32",
      "width or height outside 1 to 16384",
      "a pixel format the preview cannot decode",
      "the file ends before the texture does",
      "a volume or 1D texture, not a 2D one",
      "the file ends before the palette does",
  };
  return TextOf<DdsCheck::MissingPalette>(kTexts, check);
}

std::string DescribeFourCC(std::uint32_t fourCC) {
  std::string code;
  for (int shift = 0; shift < 32; shift += 8) {
    const char c = static_cast<char>((fourCC >> shift) & 0xff);
    if (c < 0x20 || c > 0x7e) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08x", static_cast<unsigned>(fourCC));
      return std::string("FourCC ") + hex;
    }
    code += c;
  }
  return code;
}

std::string DescribeFormat(const DdsTexture& texture) {
  const DdsHeader& h = texture.header;
  if (h.dx10) {
    const auto dxgi = static_cast<DxgiFormat>(h.dxgiFormat);
    if (const std::string_view name = DxgiName(dxgi); !name.empty()) {
      return "DX10 " + std::string(name);
    }
    return "DX10 DXGI format " + std::to_string(h.dxgiFormat);
  }
  const bool fourCC =
      (h.formatFlags & kFormatFourCC) && !(h.formatFlags & (kFormatRgb | kFormatLuminance));
  if (fourCC) return h.fourCC != 0 ? DescribeFourCC(h.fourCC) : "unknown format";
  const std::string bits = ", " + std::to_string(h.bitCount) + " bits";
  if (h.formatFlags & kFormatRgb) return "uncompressed" + bits;
  if (h.formatFlags & kFormatLuminance) return "luminance" + bits;
  if (h.formatFlags & kFormatAlphaOnly) return "alpha only" + bits;
  if (h.formatFlags & kFormatPalette8) return "palettised" + bits;
  if (h.bitCount != 0) return "uncompressed" + bits;
  return "unknown format";
}

std::string LayoutName(const DdsTexture& texture) {
  return texture.format != nullptr ? FormatName(*texture.format, texture.masks)
                                   : DescribeFormat(texture);
}

std::string DescribeRefusal(const DdsTexture& texture) {
  const std::string reason(Describe(texture.check));
  switch (texture.check) {
    case DdsCheck::UnsupportedFormat:
    case DdsCheck::TruncatedSurface:
    case DdsCheck::NotTwoDimensional:
    case DdsCheck::MissingPalette:
      return reason + " (" + DescribeFormat(texture) + ")";
    default:
      return reason;
  }
}

}  // namespace sodrel
