#include "bench/Generate.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "io/FileIo.h"
#include "io/UniqueFd.h"
#include "tests/support/BlockModes.h"
#include "tests/support/DdsWriter.h"

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

// Writes whole chunks from `fill` until `size` bytes are out.
template <typename Fill>
std::error_code WriteGenerated(int fd, std::uint64_t size, Fill fill) {
  std::vector<std::byte> chunk(kChunk);
  while (size > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, kChunk));
    fill(std::span<std::byte>(chunk.data(), n));
    if (IoResult written = WriteAll(fd, {chunk.data(), n}); !written.ok()) return written.error;
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

}  // namespace

std::error_code WriteFilledFile(const std::filesystem::path& path,
                                std::span<const std::byte> prefix, std::uint64_t size) {
  UniqueFd fd;
  if (std::error_code error = CreateFile(path, fd)) return error;
  const std::size_t head = static_cast<std::size_t>(std::min<std::uint64_t>(prefix.size(), size));
  if (IoResult written = WriteAll(fd.get(), prefix.first(head)); !written.ok()) {
    return written.error;
  }
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
    case TextureFormat::Bc7:
      return "bc7";
    case TextureFormat::Bc6h:
      return "bc6h";
  }
  return "unknown";
}

std::vector<std::byte> RandomBlocks(BlockLayout layout, std::size_t count, unsigned seed) {
  SplitMix random{seed};
  const std::size_t size = BlockBytes(layout);
  std::vector<std::byte> blocks(count * size);
  for (std::size_t b = 0; b < count; ++b) {
    std::byte* block = &blocks[b * size];
    for (std::size_t i = 0; i < size; i += 8) {
      const std::uint64_t word = random.Next();
      std::memcpy(block + i, &word, std::min<std::size_t>(8, size - i));
    }
    if (layout == BlockLayout::Bc7) {
      test::ForceBc7Mode(block[0], b % 8);
    } else if (layout == BlockLayout::Bc6hUnsigned || layout == BlockLayout::Bc6hSigned) {
      test::ForceBc6hMode(block[0], test::kBc6hModes[b % std::size(test::kBc6hModes)]);
    }
  }
  return blocks;
}

std::error_code WriteTexture(const std::filesystem::path& path, TextureFormat format,
                             std::uint32_t width, std::uint32_t height, bool mips) {
  using namespace sodrel::test;
  const DdsFormat written = format == TextureFormat::Dxt1   ? DdsFormat::Dxt1
                            : format == TextureFormat::Dxt5 ? DdsFormat::Dxt5
                                                            : DdsFormat::Rgb32;
  // A colour that follows the place and is never black, so every colour block has c0 > c1.
  const ColourAt colour = [](std::uint32_t x, std::uint32_t y) {
    return Rgb{int(8 + x % 248), int(8 + y % 248), int(8 + (x ^ y) % 248)};
  };
  Bytes dds;
  if (format == TextureFormat::Bc7 || format == TextureFormat::Bc6h) {
    const bool bc7 = format == TextureFormat::Bc7;
    dds = Dx10Header(width, height, bc7 ? DxgiFormat::Bc7Unorm : DxgiFormat::Bc6hUf16);
    const std::vector<std::byte> blocks =
        RandomBlocks(bc7 ? BlockLayout::Bc7 : BlockLayout::Bc6hUnsigned,
                     std::size_t{(width + 3) / 4} * ((height + 3) / 4));
    dds.insert(dds.end(), blocks.begin(), blocks.end());
    mips = false;  // a chain of random blocks is not asked for
  } else {
    dds = MakeDds(written, width, height, colour);
  }
  std::uint32_t levels = 1;
  for (std::uint32_t w = width, h = height; mips && (w > 1 || h > 1); ++levels) {
    w = std::max(1u, w / 2);
    h = std::max(1u, h / 2);
    const Bytes level = Blocks(written, w, h, colour);
    dds.insert(dds.end(), level.begin(), level.end());
  }
  if (mips) dds = With(With(dds, 8, 0x21007), 28, levels);  // the mip count and its flag
  UniqueFd fd;
  if (std::error_code error = CreateFile(path, fd)) return error;
  if (IoResult written = WriteAll(fd.get(), dds); !written.ok()) return written.error;
  return Close(fd);
}

std::vector<FolderTexture> PlanTextureFolder(std::size_t count, std::uint32_t smallest,
                                             std::uint32_t largest) {
  std::vector<std::uint32_t> sides;
  for (std::uint32_t side = std::max(1u, smallest); side <= largest && side <= (1u << 30);
       side *= 2) {
    sides.push_back(side);
  }
  std::vector<FolderTexture> plan;
  if (sides.empty()) return plan;
  const std::size_t n = sides.size();
  for (std::size_t i = 0; i < count; ++i) {
    FolderTexture t{{},
                    kFolderFormats[i / (n * n) % std::size(kFolderFormats)],
                    sides[i % n],
                    sides[i / n % n]};
    const std::string name = "texture" + std::to_string(i) + "_" +
                             std::string(FormatName(t.format)) + "_" + std::to_string(t.width) +
                             "x" + std::to_string(t.height) + ".dds";
    // Four folders, a third of each one's textures a level deeper.
    const std::filesystem::path folder = "set" + std::to_string(i % 4);
    t.relative = i % 3 == 0 ? folder / "more" / name : folder / name;
    plan.push_back(std::move(t));
  }
  return plan;
}

std::error_code WriteTextureFolder(const std::filesystem::path& folder,
                                   const std::vector<FolderTexture>& textures) {
  for (const FolderTexture& t : textures) {
    const std::filesystem::path path = folder / t.relative;
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error || (error = WriteTexture(path, t.format, t.width, t.height))) return error;
  }
  return {};
}

bool SameContents(const std::filesystem::path& a, const std::filesystem::path& b,
                  std::error_code& error) {
  InputFile fa, fb;
  IoResult opened = fa.Open(a);
  if (opened.ok()) opened = fb.Open(b);
  if (!opened.ok()) {
    error = opened.error;
    return false;
  }
  const std::uint64_t sizeA = fa.size(), sizeB = fb.size();
  if (sizeA != sizeB) return false;
  std::vector<std::byte> bufA(kChunk), bufB(kChunk);
  for (std::uint64_t done = 0; done < sizeA;) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(sizeA - done, kChunk));
    const ssize_t gotA = ::pread(fa.fd(), bufA.data(), want, static_cast<off_t>(done));
    const ssize_t gotB = ::pread(fb.fd(), bufB.data(), want, static_cast<off_t>(done));
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
