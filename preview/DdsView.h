#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "dds/DdsTexture.h"
#include "dds/LevelDecoder.h"

namespace sodrel {

// What FreeImage's DDS reader is given of one level of an accepted texture: a legacy header of
// uncompressed pixels, then the level's rows decoded by our decoders, a band at a time as the
// library asks for them. The library reads only layouts it decodes right: 8-bit grey levels
// (an 8-bit grey bitmap), 24-bit B, G, R for layouts without alpha, 32-bit B, G, R, A for the
// others. It holds one band of rows, never the level.
class DdsView {
 public:
  // `fd` is open on the file in which the DDS file starts `offset` bytes in; `texture` is
  // accepted and `level` one of its levels. All must outlive the view.
  DdsView(int fd, std::uint64_t offset, const DdsTexture& texture, const DdsLevel& level);

  // Bytes presented, header included.
  std::uint64_t size() const;

  // Copies the presented bytes from `position` on into `out`; returns how many it copied,
  // fewer than asked only past the end or when the file could not be read.
  std::size_t Read(std::uint64_t position, std::span<std::byte> out);

  // The library asked for bytes past the end of the view.
  bool readPastEnd() const { return readPastEnd_; }
  // A read of the file failed or came short: the file changed since it was checked.
  bool fileFailed() const { return fileFailed_; }

 private:
  bool HoldBand(std::uint32_t row);

  const DdsLevel& level_;
  LevelDecoder decoder_;
  std::uint32_t bits_;  // 8, 24 or 32 a presented pixel
  std::size_t rowBytes_;
  std::array<std::byte, kDdsHeaderBytes> header_{};
  std::uint32_t bandRows_;
  std::uint32_t bandFirst_ = UINT32_MAX;  // the first row of the band held
  std::vector<std::uint8_t> band_;        // presented rows of the band
  bool readPastEnd_ = false;
  bool fileFailed_ = false;
};

}  // namespace sodrel
