#include "bench/Generate.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "container/FileIo.h"
#include "container/UniqueFd.h"

namespace sodrel::bench {
namespace {

constexpr std::size_t kChunk = 1 << 20;

std::error_code LastError() {
  return {errno, std::generic_category()};
}

// A small, fast generator; the bytes only need to look unlike each other.
struct SplitMix {
  std::uint64_t state;
  std::uint64_t Next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
};

void Put16(std::byte* at, std::uint16_t value) {
  at[0] = std::byte(value & 0xFF);
  at[1] = std::byte(value >> 8);
}
void Put32(std::byte* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = std::byte((value >> (8 * i)) & 0xFF);
}

// Writes whole chunks from `fill` until `size` bytes are out.
template <typename Fill>
std::error_code WriteGenerated(int fd, std::uint64_t size, Fill fill) {
  std::vector<std::byte> chunk(kChunk);
  while (size > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, kChunk));
    fill(std::span<std::byte>(chunk.data(), n));
    if (std::error_code error = WriteAll(fd, {chunk.data(), n})) return error;
    size -= n;
  }
  return {};
}

std::error_code CreateFile(const std::filesystem::path& path, UniqueFd& fd) {
  fd.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  return fd.valid() ? std::error_code{} : LastError();
}

std::error_code Close(UniqueFd& fd) {
  return ::close(fd.release()) == 0 ? std::error_code{} : LastError();
}

// One 8-byte colour block: a colour that follows the block's place, c0 > c1, random indices.
void ColourBlock(std::byte* at, std::uint32_t bx, std::uint32_t by, SplitMix& random) {
  const auto colour = static_cast<std::uint16_t>(((bx & 31) << 11) | ((by & 63) << 5) |
                                                 ((bx ^ by) & 31));
  const auto c0 = static_cast<std::uint16_t>(colour | 0x8000);
  const auto c1 = static_cast<std::uint16_t>((colour >> 1) & 0x7FFF);
  Put16(at, c0);
  Put16(at + 2, c1);
  Put32(at + 4, static_cast<std::uint32_t>(random.Next()));
}

// One 8-byte alpha block: a0 > a1 (eight-value mode), random 3-bit indices.
void AlphaBlock(std::byte* at, std::uint32_t bx, SplitMix& random) {
  const auto a0 = static_cast<std::uint8_t>(255 - (bx & 127));
  at[0] = std::byte(a0);
  at[1] = std::byte(a0 / 2);
  const std::uint64_t bits = random.Next();
  for (int i = 0; i < 6; ++i) at[2 + i] = std::byte((bits >> (8 * i)) & 0xFF);
}

}  // namespace

std::error_code WriteFilledFile(const std::filesystem::path& path,
                                std::span<const std::byte> prefix, std::uint64_t size) {
  UniqueFd fd;
  if (std::error_code error = CreateFile(path, fd)) return error;
  const std::size_t head = static_cast<std::size_t>(std::min<std::uint64_t>(prefix.size(), size));
  if (std::error_code error = WriteAll(fd.get(), prefix.first(head))) return error;
  SplitMix random{size};
  if (std::error_code error = WriteGenerated(fd.get(), size - head, [&](std::span<std::byte> out) {
        for (std::size_t i = 0; i < out.size(); i += 8) {
          const std::uint64_t word = random.Next();
          std::memcpy(out.data() + i, &word, std::min<std::size_t>(8, out.size() - i));
        }
      })) {
    return error;
  }
  return Close(fd);
}

std::string_view FormatName(TextureFormat format) {
  switch (format) {
    case TextureFormat::Dxt1:
      return "dxt1";
    case TextureFormat::Dxt5:
      return "dxt5";
    case TextureFormat::Rgba32:
      return "rgba32";
  }
  return "unknown";
}

std::uint64_t SurfaceBytes(TextureFormat format, std::uint32_t width, std::uint32_t height) {
  const std::uint64_t blocks =
      std::uint64_t{std::max(1u, (width + 3) / 4)} * std::max(1u, (height + 3) / 4);
  switch (format) {
    case TextureFormat::Dxt1:
      return blocks * 8;
    case TextureFormat::Dxt5:
      return blocks * 16;
    case TextureFormat::Rgba32:
      return std::uint64_t{width} * height * 4;
  }
  return 0;
}

std::vector<std::byte> DdsHeader(TextureFormat format, std::uint32_t width, std::uint32_t height) {
  std::vector<std::byte> header(128);
  std::byte* h = header.data();
  std::memcpy(h, "DDS ", 4);
  const bool compressed = format != TextureFormat::Rgba32;
  // caps, height, width, pixel format, and a linear size or a pitch.
  Put32(h + 4, 124);
  Put32(h + 8, 0x1 | 0x2 | 0x4 | 0x1000 | (compressed ? 0x80000 : 0x8));
  Put32(h + 12, height);
  Put32(h + 16, width);
  Put32(h + 20, compressed ? static_cast<std::uint32_t>(SurfaceBytes(format, width, height))
                           : width * 4);
  Put32(h + 76, 32);
  if (compressed) {
    Put32(h + 80, 0x4);  // DDPF_FOURCC
    std::memcpy(h + 84, format == TextureFormat::Dxt1 ? "DXT1" : "DXT5", 4);
  } else {
    Put32(h + 80, 0x41);  // DDPF_RGB | DDPF_ALPHAPIXELS
    Put32(h + 88, 32);
    Put32(h + 92, 0x00FF0000);
    Put32(h + 96, 0x0000FF00);
    Put32(h + 100, 0x000000FF);
    Put32(h + 104, 0xFF000000);
  }
  Put32(h + 108, 0x1000);  // DDSCAPS_TEXTURE
  return header;
}

std::error_code WriteTexture(const std::filesystem::path& path, TextureFormat format,
                             std::uint32_t width, std::uint32_t height) {
  UniqueFd fd;
  if (std::error_code error = CreateFile(path, fd)) return error;
  if (std::error_code error = WriteAll(fd.get(), DdsHeader(format, width, height))) return error;

  SplitMix random{static_cast<std::uint64_t>(format) + 1};
  const std::uint32_t blocksWide = std::max(1u, (width + 3) / 4);
  const std::size_t blockBytes = format == TextureFormat::Dxt1 ? 8 : 16;
  std::uint64_t index = 0;  // the next block, or for RGBA32 the next pixel
  std::error_code error;
  if (format == TextureFormat::Rgba32) {
    error = WriteGenerated(fd.get(), SurfaceBytes(format, width, height),
                           [&](std::span<std::byte> out) {
                             for (std::size_t i = 0; i < out.size(); i += 4, ++index) {
                               const auto x = static_cast<std::uint32_t>(index % width);
                               const auto y = static_cast<std::uint32_t>(index / width);
                               // B, G, R, A in memory for the masks above.
                               out[i] = std::byte((x ^ y) & 0xFF);
                               out[i + 1] = std::byte(y & 0xFF);
                               out[i + 2] = std::byte(x & 0xFF);
                               out[i + 3] = std::byte(0x80 | ((x + y) & 0x7F));
                             }
                           });
  } else {
    // The chunk size is a multiple of both block sizes, so no block straddles two chunks.
    error = WriteGenerated(fd.get(), SurfaceBytes(format, width, height),
                           [&](std::span<std::byte> out) {
                             for (std::size_t i = 0; i < out.size(); i += blockBytes, ++index) {
                               const auto bx = static_cast<std::uint32_t>(index % blocksWide);
                               const auto by = static_cast<std::uint32_t>(index / blocksWide);
                               std::byte* block = out.data() + i;
                               if (format == TextureFormat::Dxt5) {
                                 AlphaBlock(block, bx, random);
                                 block += 8;
                               }
                               ColourBlock(block, bx, by, random);
                             }
                           });
  }
  if (error) return error;
  return Close(fd);
}

bool SameContents(const std::filesystem::path& a, const std::filesystem::path& b,
                  std::error_code& error) {
  UniqueFd fa, fb;
  std::uint64_t sizeA = 0, sizeB = 0;
  if ((error = OpenForReading(a, fa, sizeA)) || (error = OpenForReading(b, fb, sizeB))) {
    return false;
  }
  if (sizeA != sizeB) return false;
  std::vector<std::byte> bufA(kChunk), bufB(kChunk);
  for (std::uint64_t done = 0; done < sizeA;) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeA - done, kChunk));
    const ssize_t gotA = ::pread(fa.get(), bufA.data(), want, static_cast<off_t>(done));
    const ssize_t gotB = ::pread(fb.get(), bufB.data(), want, static_cast<off_t>(done));
    if (gotA < 0 || gotB < 0) {
      error = LastError();
      return false;
    }
    if (gotA != gotB || gotA == 0) return false;  // one changed length under us
    if (std::memcmp(bufA.data(), bufB.data(), static_cast<std::size_t>(gotA)) != 0) return false;
    done += static_cast<std::uint64_t>(gotA);
  }
  return true;
}

}  // namespace sodrel::bench
