#pragma once

#include <filesystem>

#include "preview/DdsHeaderCheck.h"
#include "preview/MFreeImage.h"

namespace sodrel {

// A DDS file decoded as the preview shows it: the top-level surface at the texture's own size.
struct DecodedDds {
  DdsInfo info;               // the header check's verdict and what it read
  MFreeImage::Bitmap bitmap;  // null when the check refused the file or the library gave nothing
};

// Checks the DDS file at `path` and, when the check accepts it, decodes it through FreeImage.
// Never throws for a malformed file; may throw std::bad_alloc.
DecodedDds DecodeDds(const std::filesystem::path& path);

}  // namespace sodrel
