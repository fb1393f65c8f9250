#include "container/FileKind.h"

#include "io/EnumTexts.h"

#include "dds/LittleEndian.h"

namespace sodrel {
namespace {

constexpr std::uint32_t kDdsMagic = 0x20534444;  // "DDS "
constexpr std::uint32_t kDdsHeaderSize = 124;

bool DdsAt(std::span<const std::byte> prefix, std::size_t at) {
  return prefix.size() >= at + 8 && ReadLe32(prefix.data() + at) == kDdsMagic &&
         ReadLe32(prefix.data() + at + 4) == kDdsHeaderSize;
}

}  // namespace

std::string_view Describe(FileKind kind) {
  static constexpr std::string_view kTexts[] = {
      "not read",
      "empty file",
      "a DDS file",
      "a texture container",
      "a texture container whose DDS file is cut short",
      "not a texture container: no DDS file at byte 64",
  };
  return TextOf<FileKind::Other>(kTexts, kind);
}

FileKind KindOf(std::span<const std::byte> prefix, std::uint64_t size, DdsTexture* dds) {
  DdsTexture info;
  FileKind kind = FileKind::Other;
  if (size == 0) {
    kind = FileKind::Empty;
  } else if (DdsAt(prefix, 0)) {
    kind = FileKind::DdsFile;
    info = InspectDds(prefix.first(std::min(prefix.size(), kDdsLongestHeaderBytes)), size);
  } else if (DdsAt(prefix, kContainerHeaderSize)) {
    info = InspectDds(prefix.subspan(kContainerHeaderSize), size - kContainerHeaderSize);
    // The header promises a surface (or, cut shorter still, a header) the file does not hold.
    const bool cut =
        info.check == DdsCheck::TruncatedSurface || info.check == DdsCheck::TooShortForHeader;
    kind = cut ? FileKind::CutContainer : FileKind::Container;
  }
  if (dds != nullptr) *dds = info;
  return kind;
}

FileKindResult ReadKind(InputFile& file) {
  FileKindResult result;
  result.size = file.size();
  result.IoResult::operator=(ReadAt(file.fd(), 0, result.prefix, result.got));
  // Cut short after its size was taken: the bytes read no longer fit that size.
  if (result.ok() && result.got < std::min<std::uint64_t>(result.size, kKindPrefixBytes)) {
    result.IoResult::operator=
        ({IoOutcome::Changed, std::make_error_code(std::errc::resource_unavailable_try_again)});
  }
  if (result.ok()) result.kind = KindOf(result.bytes(), result.size, &result.dds);
  return result;
}

FileKindResult ReadKind(const std::filesystem::path& path) {
  InputFile file;
  if (IoResult opened = file.Open(path); !opened.ok()) {
    FileKindResult failed;
    failed.IoResult::operator=(opened);
    return failed;
  }
  FileKindResult result = ReadKind(file);
  if (result.ok()) {
    if (IoResult same = file.Unchanged(); !same.ok()) {
      result.IoResult::operator=(same);
      result.kind = FileKind::NotDone;
    }
  }
  return result;
}

}  // namespace sodrel
