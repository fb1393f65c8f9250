#include "preview/DdsDecode.h"

#include <cstdio>

#include "io/FileIo.h"
#include "preview/DdsView.h"

namespace sodrel {
namespace {

// FreeImage reads the view through these callbacks, at a position of its own.
struct ViewReader {
  DdsView& view;
  std::uint64_t position = 0;

  static unsigned DLL_CALLCONV Read(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    auto& reader = *static_cast<ViewReader*>(handle);
    if (size == 0 || count == 0) return 0;
    const std::uint64_t want = std::uint64_t{size} * count;
    const std::size_t got =
        reader.view.Read(reader.position, {static_cast<std::byte*>(buffer), want});
    reader.position += got;
    return static_cast<unsigned>(got / size);
  }

  static int DLL_CALLCONV Seek(fi_handle handle, long offset, int origin) {
    auto& reader = *static_cast<ViewReader*>(handle);
    return MFreeImage::SeekPosition(reader.position, reader.view.size(), offset, origin);
  }

  static long DLL_CALLCONV Tell(fi_handle handle) {
    return static_cast<long>(static_cast<ViewReader*>(handle)->position);
  }
};

}  // namespace

MFreeImage::Bitmap LoadView(DdsView& view) {
  ViewReader reader{view};
  FreeImageIO io{&ViewReader::Read, nullptr, &ViewReader::Seek, &ViewReader::Tell};
  return MFreeImage::Bitmap(FreeImage().LoadFromHandle(FIF_DDS, &io, &reader, 0));
}

DecodedDds DecodeDds(const std::filesystem::path& path, std::uint64_t offset,
                     std::uint32_t levelSide) {
  InputFile file;
  if (!file.Open(path).ok()) return {};
  return DecodeDds(file, offset, levelSide);
}

DecodedDds DecodeDds(InputFile& file, std::uint64_t offset, std::uint32_t levelSide) {
  return DecodeDds(file, offset, InspectDdsAt(file.fd(), file.size(), offset), levelSide);
}

DecodedDds DecodeDds(InputFile& file, std::uint64_t offset, const DdsTexture& texture,
                     std::uint32_t levelSide) {
  DecodedDds decoded;
  // The library trusts the header it reads; it reads only what the check accepted, through a
  // view made from the check's own model of the file.
  decoded.texture = texture;
  if (!decoded.texture.ok()) return decoded;
  decoded.level = ChooseLevel(decoded.texture, levelSide);

  DdsView view(file.fd(), offset, decoded.texture, decoded.level);
  MFreeImage::Bitmap bitmap = LoadView(view);
  // A file cut or rewritten since it was opened would give a picture of two versions.
  decoded.changed = view.fileFailed() || !file.Unchanged().ok();
  if (bitmap && !decoded.changed) decoded.bitmap = std::move(bitmap);
  return decoded;
}

}  // namespace sodrel
