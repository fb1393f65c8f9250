#pragma once

#include <cstdint>
#include <filesystem>

#include "dds/DdsHeaderCheck.h"  // IWYU pragma: export
#include "preview/MFreeImage.h"

namespace sodrel {
class DdsView;
class InputFile;
}  // namespace sodrel

namespace sodrel {

// A DDS file decoded as the preview shows it: the top-level surface at the texture's own size.
struct DecodedDds {
  DdsInfo info;               // the header check's verdict and what it read
  MFreeImage::Bitmap bitmap;  // null when the check refused the file or the library gave nothing
};

// Checks the DDS file that starts `offset` bytes into the file at `path` (0 for a DDS file, 64
// for the one inside a container) and, when the check accepts it, decodes it through FreeImage.
// The bitmap is 8-bit grey (palettised), 24-bit or 32-bit with alpha, at the texture's size.
// Never throws for a malformed file; may throw std::bad_alloc.
// Decodes what `view` presents with FreeImage, reading through callbacks of ours.
MFreeImage::Bitmap LoadView(DdsView& view);

// DecodeDds with `levelSide` other than 0 decodes the stored mip level InspectDds chooses for it
// instead, at that level's size, reading no other level.
DecodedDds DecodeDds(const std::filesystem::path& path, std::uint64_t offset = 0,
                     std::uint32_t levelSide = 0);
// The same for the file open as `file`, which must be unchanged when the decode ends.
DecodedDds DecodeDds(InputFile& file, std::uint64_t offset, std::uint32_t levelSide);

}  // namespace sodrel
