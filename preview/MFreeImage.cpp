#include "preview/MFreeImage.h"

#include <cstdio>

namespace sodrel::MFreeImage {

Bitmap Load(FREE_IMAGE_FORMAT fif, const char* path, int flags) {
  return Bitmap(FreeImage().Load(fif, path, flags));
}

bool Save(FREE_IMAGE_FORMAT fif, FIBITMAP* dib, const char* path, int flags) {
  if (dib == nullptr) return false;
  return FreeImage().Save(fif, dib, path, flags) == 1;
}

int SeekPosition(std::uint64_t& position, std::uint64_t size, long offset, int origin) {
  const std::int64_t base = origin == SEEK_SET   ? 0
                            : origin == SEEK_CUR ? static_cast<std::int64_t>(position)
                            : origin == SEEK_END ? static_cast<std::int64_t>(size)
                                                 : -1;
  if (base < 0 || offset < -base || offset > INT64_MAX - base) return -1;
  position = static_cast<std::uint64_t>(base + offset);
  return 0;
}

}  // namespace sodrel::MFreeImage
