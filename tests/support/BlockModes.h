#pragma once

#include <cstddef>

namespace sodrel::test {

// Makes the block whose first byte is `first` a BC7 block of `mode` (mode m: m zero bits, then a
// one; 8, the reserved mode: a first byte of 0), keeping the bits above the mode's.
inline void ForceBc7Mode(std::byte& first, unsigned mode) {
  const unsigned bits = std::to_integer<unsigned>(first);
  first = std::byte(mode >= 8 ? 0 : (bits << (mode + 1) | 1u << mode) & 0xFF);
}

// The same for BC6H: 2 mode bits for modes 0 and 1, else 5.
inline void ForceBc6hMode(std::byte& first, unsigned mode) {
  const unsigned bits = std::to_integer<unsigned>(first);
  first = std::byte((bits & (mode < 2 ? ~3u : ~31u)) | mode);
}

// The BC6H modes in use, by their mode bits.
inline constexpr unsigned kBc6hModes[] = {0, 1, 2, 6, 10, 14, 18, 22, 26, 30, 3, 7, 11, 15};

}  // namespace sodrel::test
