#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "container/TextureContainer.h"
#include "dds/DdsTexture.h"
#include "io/FileIo.h"

namespace sodrel {

// What a file is to this program, from its content alone (names can lie: an ELF program called
// x.bin, a DDS file called x.bin).
enum class FileKind {
  NotDone,
  Empty,
  DdsFile,       // "DDS " and the header size 124 at byte 0
  Container,     // the same at byte 64, behind the container's header
  CutContainer,  // a container whose DDS file promises more bytes than the file holds
  Other,         // neither
};

// "empty file", "a DDS file", ...
std::string_view Describe(FileKind kind);

// The bytes the kind is told from: a container header and the longest DDS header.
inline constexpr std::size_t kKindPrefixBytes = kContainerHeaderSize + kDdsLongestHeaderBytes;

// `prefix`: the first bytes of a file of `size` bytes (all of them, up to kKindPrefixBytes).
// `dds`, when given, gets the header check of the DDS file in it (DdsFile and both containers).
FileKind KindOf(std::span<const std::byte> prefix, std::uint64_t size, DdsTexture* dds = nullptr);

// Done once the prefix was read, and what it holds.
struct [[nodiscard]] FileKindResult : IoResult {
  FileKind kind = FileKind::NotDone;
  std::uint64_t size = 0;
  std::array<std::byte, kKindPrefixBytes> prefix{};
  std::size_t got = 0;  // bytes of `prefix` read: min(size, kKindPrefixBytes)
  DdsTexture dds;

  std::span<const std::byte> bytes() const { return std::span(prefix).first(got); }
  // Where the DDS file starts: 64 in a container, 0 otherwise.
  std::uint64_t ddsOffset() const {
    return kind == FileKind::Container || kind == FileKind::CutContainer ? kContainerHeaderSize : 0;
  }
};

// Reads the prefix of the open `file`; the caller reads on and checks file.Unchanged() after its
// last read.
FileKindResult ReadKind(InputFile& file);
// Opens `path`, reads its prefix and checks that the file did not change meanwhile.
FileKindResult ReadKind(const std::filesystem::path& path);

}  // namespace sodrel
