#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dds/DdsTexture.h"
#include "io/FileIo.h"

namespace sodrel {

// Decodes one stored level of an accepted texture into rows of 32-bit B, G, R, A pixels, a band
// of rows at a time, reading the file as the rows are asked for: it never holds the level.
class LevelDecoder {
 public:
  // `fd` is open on the file in which the DDS file starts `ddsOffset` bytes in. `texture` and
  // `level` must outlive the decoder.
  LevelDecoder(int fd, std::uint64_t ddsOffset, const DdsTexture& texture, const DdsLevel& level);

  // Pixel rows [first, first + count) of the level into `out`, level.width * 4 bytes a row,
  // shared out among `threads` threads (0: one per processor) by rows of blocks, all joined
  // before it returns. Fails when the file cannot be read as far as the level promises.
  IoResult Decode(std::uint32_t first, std::uint32_t count, std::uint8_t* out,
                  unsigned threads = 0);

 private:
  IoResult ReadStored(std::uint32_t firstRow, std::uint32_t rows);
  void DecodeStored(std::uint32_t firstRow, std::uint32_t rows, std::uint32_t first,
                    std::uint32_t count, std::uint8_t* out) const;

  int fd_;
  std::uint64_t ddsOffset_;
  const DdsTexture& texture_;
  const DdsLevel& level_;
  std::vector<std::byte> stored_;   // the stored rows of the band being decoded, packed
  std::uint32_t storedFirst_ = 0;   // the first of them
  std::vector<std::byte> palette_;  // P8: read before the first row
};

}  // namespace sodrel
