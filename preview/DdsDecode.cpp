#include "preview/DdsDecode.h"

#include "container/FileIo.h"
#include "preview/DdsView.h"

namespace sodrel {

DecodedDds DecodeDds(const std::filesystem::path& path, std::uint64_t offset) {
  DecodedDds decoded;
  UniqueFd fd;
  std::uint64_t size = 0;
  if (OpenForReading(path, fd, size)) return decoded;
  // The library trusts the header it reads; it reads only what the check accepted, through a
  // view made from the check's own description of the file.
  decoded.info = InspectDdsAt(fd.get(), size, offset);
  if (!decoded.info.accepted()) return decoded;

  DdsView view(fd.get(), offset, decoded.info);
  MFreeImage::Bitmap bitmap = view.Load();
  // A file cut or rewritten since the check would give a picture of two versions.
  if (!bitmap || view.fileFailed()) return decoded;
  const DdsInfo& info = decoded.info;
  if (info.presentedWidth != info.width || info.presentedHeight != info.height) {
    // Back from whole blocks to the texture's own sides, keeping the top-left corner.
    bitmap.reset(FreeImage_Copy(bitmap.get(), 0, 0, static_cast<int>(info.width),
                                static_cast<int>(info.height)));
  }
  decoded.bitmap = std::move(bitmap);
  return decoded;
}

}  // namespace sodrel
