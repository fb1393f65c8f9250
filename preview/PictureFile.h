#pragma once

#include <QImage>
#include <filesystem>

namespace sodrel {

// Reads the BMP at `path` (native bytes, passed unchanged) as the picture to show, opaque as a
// BMP is shown, scaled down (BoxScale) on each side that is longer than that of `drawnSize`, the
// size it will be drawn at (an empty size: the BMP's own). The rows are read a band at a time,
// so the picture costs its own size and a band, never the BMP's whole. A null image unless the
// file is an uncompressed BMP of 8 (palettised), 24 or 32 bits a pixel, at most 65536 pixels a
// side, whose sizes agree with its data, and stays unchanged while it is read.
QImage ReadPicture(const std::filesystem::path& path, QSize drawnSize);

}  // namespace sodrel
