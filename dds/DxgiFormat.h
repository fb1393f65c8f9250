#pragma once

#include <cstdint>
#include <string_view>

namespace sodrel {

// The DXGI formats a DX10 header names that we know by name: those the preview shows and the
// common ones it refuses. Values are the format codes of the DX10 header.
enum class DxgiFormat : std::uint32_t {
  Unknown = 0,
  R32G32B32A32Typeless = 1,
  R32G32B32A32Float = 2,
  R16G16B16A16Typeless = 9,
  R16G16B16A16Float = 10,
  R16G16B16A16Unorm = 11,
  R10G10B10A2Typeless = 23,
  R10G10B10A2Unorm = 24,
  R8G8B8A8Typeless = 27,
  R8G8B8A8Unorm = 28,
  R8G8B8A8UnormSrgb = 29,
  R32Float = 41,
  R8G8Typeless = 48,
  R8G8Unorm = 49,
  R8Typeless = 60,
  R8Unorm = 61,
  A8Unorm = 65,
  Bc1Typeless = 70,
  Bc1Unorm = 71,
  Bc1UnormSrgb = 72,
  Bc2Typeless = 73,
  Bc2Unorm = 74,
  Bc2UnormSrgb = 75,
  Bc3Typeless = 76,
  Bc3Unorm = 77,
  Bc3UnormSrgb = 78,
  Bc4Typeless = 79,
  Bc4Unorm = 80,
  Bc4Snorm = 81,
  Bc5Typeless = 82,
  Bc5Unorm = 83,
  Bc5Snorm = 84,
  B5G6R5Unorm = 85,
  B5G5R5A1Unorm = 86,
  B8G8R8A8Unorm = 87,
  B8G8R8X8Unorm = 88,
  B8G8R8A8Typeless = 90,
  B8G8R8A8UnormSrgb = 91,
  B8G8R8X8Typeless = 92,
  B8G8R8X8UnormSrgb = 93,
  Bc6hTypeless = 94,
  Bc6hUf16 = 95,
  Bc6hSf16 = 96,
  Bc7Typeless = 97,
  Bc7Unorm = 98,
  Bc7UnormSrgb = 99,
  B4G4R4A4Unorm = 115,
};

// "BC7_UNORM", as the format is named in DXGI's own list; empty for a code not listed above.
std::string_view DxgiName(DxgiFormat format);

}  // namespace sodrel
