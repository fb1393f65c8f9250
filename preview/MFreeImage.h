#pragma once

#include <FreeImage.h>

#include <memory>

namespace sodrel::MFreeImage {

// The only three FreeImage calls the program makes: load, save and unload. The shared library
// initialises itself when it is loaded, so nothing else is needed before the first call.

struct BitmapDeleter {
  void operator()(FIBITMAP* dib) const noexcept { FreeImage_Unload(dib); }
};

// Owns a bitmap and unloads it on every path out of a scope.
using Bitmap = std::unique_ptr<FIBITMAP, BitmapDeleter>;

// Decodes the file at `path` (native 8-bit bytes) as format `fif`, which is never guessed.
// Null when the library gives no bitmap.
Bitmap Load(FREE_IMAGE_FORMAT fif, const char* path, int flags);

// Writes `dib` to `path` as format `fif`. True exactly when the library reports success.
// A null bitmap is refused before the library opens, and so empties, the file at `path`.
bool Save(FREE_IMAGE_FORMAT fif, FIBITMAP* dib, const char* path, int flags);

}  // namespace sodrel::MFreeImage
