#pragma once

#include <cstddef>
#include <cstdint>

namespace sodrel {

// Little-endian fields of the file formats the preview reads (DDS, BMP), whatever the machine.
inline std::uint16_t ReadLe16(const std::byte* at) {
  return static_cast<std::uint16_t>(std::to_integer<unsigned>(at[0]) |
                                    std::to_integer<unsigned>(at[1]) << 8);
}

inline std::uint32_t ReadLe32(const std::byte* at) {
  return static_cast<std::uint32_t>(ReadLe16(at)) | static_cast<std::uint32_t>(ReadLe16(at + 2))
                                                        << 16;
}

inline void WriteLe32(std::byte* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::byte>(value >> (8 * i));
}

}  // namespace sodrel
