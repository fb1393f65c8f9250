#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <system_error>
#include <vector>

#include "dds/BlockDecoders.h"

namespace sodrel::bench {

// Writes a file of exactly `size` bytes: `prefix`, then a pseudo-random stream. Every byte is
// written (no holes), so copying the file costs what copying real data costs.
std::error_code WriteFilledFile(const std::filesystem::path& path,
                                std::span<const std::byte> prefix, std::uint64_t size);

enum class TextureFormat { Dxt1, Dxt5, Rgba32, Bc7, Bc6h };

inline constexpr TextureFormat kTextureFormats[] = {TextureFormat::Dxt1, TextureFormat::Dxt5,
                                                    TextureFormat::Rgba32, TextureFormat::Bc7,
                                                    TextureFormat::Bc6h};

std::string_view FormatName(TextureFormat format);  // "dxt1", "dxt5", "rgba32", "bc7", "bc6h"

// `count` blocks of `layout` of pseudo-random bits (the same for the same seed), BC7 and BC6H
// blocks cycling through every mode, so that no mode's cost is left out.
std::vector<std::byte> RandomBlocks(BlockLayout layout, std::size_t count, unsigned seed = 42);

// Writes a whole DDS file (tests/support/DdsWriter) of varied colours, every colour block in
// four-colour mode (c0 > c1); Rgba32 is 32-bit BGRA with opaque alpha; Bc7 (BC7_UNORM) and Bc6h
// (BC6H_UF16) hold RandomBlocks under a DX10 header. With `mips`, the whole mip chain follows the
// top surface, down to 1 x 1, and the header counts its levels.
std::error_code WriteTexture(const std::filesystem::path& path, TextureFormat format,
                             std::uint32_t width, std::uint32_t height, bool mips = false);

// One texture of a folder for the batch cases: where it lies inside the folder, and its shape.
struct FolderTexture {
  std::filesystem::path relative;
  TextureFormat format;
  std::uint32_t width, height;
};

// The formats a batch folder mixes.
inline constexpr TextureFormat kFolderFormats[] = {TextureFormat::Dxt1, TextureFormat::Dxt5};

// `count` textures of kFolderFormats whose widths and heights each run through the powers of two
// from `smallest` to `largest`, every pairing of width, height and format as evenly as the count
// allows, spread over folders and their subfolders as a game's textures are. The same arguments
// give the same list.
std::vector<FolderTexture> PlanTextureFolder(std::size_t count, std::uint32_t smallest,
                                             std::uint32_t largest);

// Writes each planned texture (WriteTexture) at its place under `folder`, making folders.
std::error_code WriteTextureFolder(const std::filesystem::path& folder,
                                   const std::vector<FolderTexture>& textures);

// Whether the two files hold the same bytes. `error` is set when either cannot be read.
bool SameContents(const std::filesystem::path& a, const std::filesystem::path& b,
                  std::error_code& error);

}  // namespace sodrel::bench
