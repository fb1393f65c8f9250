#pragma once

#include <QImage>
#include <filesystem>

#include "preview/MFreeImage.h"

namespace sodrel {

// Reads the BMP at `path` (native bytes, passed unchanged) as the picture to show, opaque as a
// BMP is shown; a null image when it cannot be read. `written` is the bitmap the BMP was just
// saved from, or null: when the file still holds a picture of its size and layout, its rows are
// read into that bitmap's pixels, which the picture then takes over, so a 64 MiB picture costs
// no second allocation; any other BMP is read by FreeImage.
QImage ReadPicture(const std::filesystem::path& path, MFreeImage::Bitmap written);

}  // namespace sodrel
