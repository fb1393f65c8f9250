#pragma once

#include <cstdint>

#include "io/FileIo.h"

namespace sodrel::convert {

// A picture of rows of blue, green, red and alpha bytes, top row first, written as a PNG of
// `channels` channels: 1 (grey, taken from blue: the rows of a grey texture hold it in every
// colour), 3 (alpha left out) or 4.
struct PngPicture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  unsigned channels = 4;
  const std::uint8_t* bgra = nullptr;
};

// Writes `picture` as PNG to the current position of `fd`, compressed for speed as a thumbnail
// wants. Once `stop` is requested nothing more is written (std::errc::interrupted).
IoResult WritePng(int fd, const PngPicture& picture, Stop stop);

}  // namespace sodrel::convert
