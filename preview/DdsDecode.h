#pragma once

#include <cstdint>
#include <filesystem>

#include "dds/DdsTexture.h"  // IWYU pragma: export
#include "preview/MFreeImage.h"

namespace sodrel {
class DdsView;
class InputFile;
}  // namespace sodrel

namespace sodrel {

// A DDS file decoded as the preview shows it: one level at its own size.
struct DecodedDds {
  DdsTexture texture;         // the verdict and the model of the texture
  DdsLevel level;             // the level decoded
  MFreeImage::Bitmap bitmap;  // null when the check refused the file or the library gave nothing
  bool changed = false;       // the file was cut or written meanwhile: no bitmap
};

// Decodes what `view` presents with FreeImage, reading through callbacks of ours.
MFreeImage::Bitmap LoadView(DdsView& view);

// Checks the DDS file that starts `offset` bytes into the file at `path` (0 for a DDS file, 64
// for the one inside a container) and, when the check accepts it, decodes its top level through
// FreeImage: an 8-bit grey (palettised), 24-bit or 32-bit bitmap with alpha. With `levelSide`
// other than 0 it decodes the level ChooseLevel chooses for that side instead, reading no other
// level. Never throws for a malformed file; may throw std::bad_alloc.
DecodedDds DecodeDds(const std::filesystem::path& path, std::uint64_t offset = 0,
                     std::uint32_t levelSide = 0);
// The same for the file open as `file`, which must be unchanged when the decode ends.
DecodedDds DecodeDds(InputFile& file, std::uint64_t offset, std::uint32_t levelSide);
// The same for a file whose DDS file's header was already read into `texture`.
DecodedDds DecodeDds(InputFile& file, std::uint64_t offset, const DdsTexture& texture,
                     std::uint32_t levelSide);

}  // namespace sodrel
