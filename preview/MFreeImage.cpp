#include "preview/MFreeImage.h"

namespace sodrel::MFreeImage {

Bitmap Load(FREE_IMAGE_FORMAT fif, const char* path, int flags) {
  return Bitmap(FreeImage_Load(fif, path, flags));
}

bool Save(FREE_IMAGE_FORMAT fif, FIBITMAP* dib, const char* path, int flags) {
  if (dib == nullptr) return false;
  return FreeImage_Save(fif, dib, path, flags) == 1;
}

}  // namespace sodrel::MFreeImage
