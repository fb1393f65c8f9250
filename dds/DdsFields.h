#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "dds/LittleEndian.h"

// Where the fields of a DDS header lie and what their flags mean. Offsets count from the start
// of the file, the 4-byte magic included.
namespace sodrel::dds_fields {

inline constexpr std::size_t kMagicAt = 0;
inline constexpr std::size_t kHeaderSizeAt = 4;
inline constexpr std::size_t kHeaderFlagsAt = 8;
inline constexpr std::size_t kHeightAt = 12;
inline constexpr std::size_t kWidthAt = 16;
inline constexpr std::size_t kPitchAt = 20;
inline constexpr std::size_t kMipCountAt = 28;
inline constexpr std::size_t kPixelFormatSizeAt = 76;
inline constexpr std::size_t kPixelFormatFlagsAt = 80;
inline constexpr std::size_t kFourCCAt = 84;
inline constexpr std::size_t kRgbBitCountAt = 88;
inline constexpr std::size_t kMasksAt = 92;  // red, green, blue, alpha
inline constexpr std::size_t kCapsAt = 108;
inline constexpr std::size_t kCaps2At = 112;
// The DX10 extension.
inline constexpr std::size_t kDxgiFormatAt = 128;
inline constexpr std::size_t kDimensionAt = 132;
inline constexpr std::size_t kMiscFlagAt = 136;
inline constexpr std::size_t kArraySizeAt = 140;

inline constexpr std::uint32_t kHeaderSize = 124;
inline constexpr std::uint32_t kPixelFormatSize = 32;
inline constexpr std::uint32_t kFlagsCapsHeightWidthFormat = 0x1007;
inline constexpr std::uint32_t kFlagPitch = 0x8;
inline constexpr std::uint32_t kCapsTexture = 0x1000;
inline constexpr std::uint32_t kFormatAlphaPixels = 0x1;
inline constexpr std::uint32_t kFormatAlphaOnly = 0x2;
inline constexpr std::uint32_t kFormatFourCC = 0x4;
inline constexpr std::uint32_t kFormatPalette8 = 0x20;
inline constexpr std::uint32_t kFormatRgb = 0x40;
inline constexpr std::uint32_t kFormatLuminance = 0x20000;
inline constexpr std::uint32_t kCaps2Volume = 0x200000;
inline constexpr std::uint32_t kDimensionUnknown = 0;
inline constexpr std::uint32_t kDimensionTexture2D = 3;
inline constexpr std::uint32_t kMiscTextureCube = 0x4;

constexpr std::uint32_t FourCC(const char (&code)[5]) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[3])) << 24;
}

inline constexpr std::uint32_t kMagic = FourCC("DDS ");
inline constexpr std::uint32_t kDxt1 = FourCC("DXT1");
inline constexpr std::uint32_t kDxt3 = FourCC("DXT3");
inline constexpr std::uint32_t kDxt5 = FourCC("DXT5");
inline constexpr std::uint32_t kDx10 = FourCC("DX10");
// Direct3D 9 format numbers in place of a FourCC.
inline constexpr std::uint32_t kD3dA16B16G16R16 = 36;
inline constexpr std::uint32_t kD3dA16B16G16R16F = 113;
inline constexpr std::uint32_t kD3dA32B32G32R32F = 116;

inline std::uint32_t ReadU32(std::span<const std::byte> bytes, std::size_t at) {
  return ReadLe32(bytes.data() + at);
}

inline void WriteU32(std::span<std::byte> bytes, std::size_t at, std::uint32_t value) {
  WriteLe32(bytes.data() + at, value);
}

}  // namespace sodrel::dds_fields
