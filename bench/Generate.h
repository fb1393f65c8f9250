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

// Bytes of the top surface of a `width` x `height` texture in `format`.
std::uint64_t SurfaceBytes(TextureFormat format, std::uint32_t width, std::uint32_t height);

// The 128 bytes that open a DDS file ("DDS " and the 124-byte header) with one surface.
std::vector<std::byte> DdsHeader(TextureFormat format, std::uint32_t width, std::uint32_t height);

// Writes a whole DDS file: the header and a top surface of varied, valid blocks (colour blocks
// with c0 > c1, so every block is in four-colour mode) or pixels.
std::error_code WriteTexture(const std::filesystem::path& path, TextureFormat format,
                             std::uint32_t width, std::uint32_t height);

// Whether the two files hold the same bytes. `error` is set when either cannot be read.
bool SameContents(const std::filesystem::path& a, const std::filesystem::path& b,
                  std::error_code& error);

}  // namespace sodrel::bench
