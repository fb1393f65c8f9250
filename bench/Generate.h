#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <system_error>
#include <vector>

namespace sodrel::bench {

// Writes a file of exactly `size` bytes: `prefix`, then a pseudo-random stream. Every byte is
// written (no holes), so copying the file costs what copying real data costs.
std::error_code WriteFilledFile(const std::filesystem::path& path,
                                std::span<const std::byte> prefix, std::uint64_t size);

enum class TextureFormat { Dxt1, Dxt5, Rgba32 };

std::string_view FormatName(TextureFormat format);  // "dxt1", "dxt5", "rgba32"

// Writes a whole DDS file (tests/support/DdsWriter) of varied colours, every colour block in
// four-colour mode (c0 > c1); Rgba32 is 32-bit BGRA with opaque alpha. With `mips`, the whole
// mip chain follows the top surface, down to 1 x 1, and the header counts its levels.
std::error_code WriteTexture(const std::filesystem::path& path, TextureFormat format,
                             std::uint32_t width, std::uint32_t height, bool mips = false);

// Whether the two files hold the same bytes. `error` is set when either cannot be read.
bool SameContents(const std::filesystem::path& a, const std::filesystem::path& b,
                  std::error_code& error);

}  // namespace sodrel::bench
