#pragma once

#include <cstddef>
#include <cstdint>

namespace sodrel {

// One 4x4 block of R, G, B, A pixels (64 bytes, row-major) into a 16-byte BC7 block. Pixels whose
// bit in `counted` (bit i: pixel i) is clear lie outside the image: their colours do not count.
// `decoded`, when given, receives the 16 pixels (R, G, B, A) the encoder chose the block by:
// what any BC7 decoder makes of it.
void EncodeBc7Block(const std::uint8_t* rgba, std::uint16_t counted, std::byte* block,
                    std::uint8_t* decoded = nullptr);

}  // namespace sodrel
