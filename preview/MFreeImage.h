#pragma once

#include "preview/FreeImageCalls.h"

#include <cstdint>
#include <memory>

namespace sodrel::MFreeImage {

// The window's own FreeImage calls (load, save, unload) and what the readers and writers of our
// own callbacks share. The library initialises itself when it is loaded, so nothing else is
// needed before the first call.

struct BitmapDeleter {
  void operator()(FIBITMAP* dib) const noexcept { FreeImage().Unload(dib); }
};

// Owns a bitmap and unloads it on every path out of a scope.
using Bitmap = std::unique_ptr<FIBITMAP, BitmapDeleter>;

// Decodes the file at `path` (native 8-bit bytes) as format `fif`, which is never guessed.
// Null when the library gives no bitmap.
Bitmap Load(FREE_IMAGE_FORMAT fif, const char* path, int flags);

// Writes `dib` to `path` as format `fif`. True exactly when the library reports success.
// A null bitmap is refused before the library opens, and so empties, the file at `path`.
bool Save(FREE_IMAGE_FORMAT fif, FIBITMAP* dib, const char* path, int flags);

// Moves `position` as fseek would in a file of `size` bytes, for the seek callback of a
// FreeImageIO: 0, or -1 without moving for an unknown origin or a position before 0 or past
// 2^63.
int SeekPosition(std::uint64_t& position, std::uint64_t size, long offset, int origin);

}  // namespace sodrel::MFreeImage
