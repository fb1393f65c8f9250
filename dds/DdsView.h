#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "dds/DdsHeaderCheck.h"

namespace sodrel {

// What FreeImage reads of a DDS file that the header check accepted: the legacy header of
// DdsInfo::presentedHeader, then the rows of the top surface, read from the file as they are
// asked for and rewritten or decoded on the way (DdsRewrite), then DdsInfo::tailBytes of zeros.
// It holds one row (of pixels or of blocks) at most, never the surface.
class DdsView {
 public:
  // `fd` is open on the file in which the DDS file starts `offset` bytes in; `info` is what
  // InspectDds said of it and must be accepted. Both must outlive the view.
  DdsView(int fd, std::uint64_t offset, const DdsInfo& info);

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
  bool ReadRows(std::uint32_t first, std::uint32_t count, std::byte* out);
  bool ReadStored(std::uint32_t row, std::byte* out, std::size_t length) const;
  bool Decode(std::uint32_t first, std::uint32_t count, std::byte* out);
  void Rewrite(std::byte* rows, std::size_t length) const;

  int fd_;
  std::uint64_t surfaceAt_;  // where the surface starts in the file
  const DdsInfo& info_;
  std::vector<std::byte> row_;  // the presented row a partial read was served from
  std::uint32_t rowHeld_ = UINT32_MAX;
  std::vector<std::byte> stored_;   // a row as the file stores it, before it is decoded
  std::vector<std::byte> palette_;  // P8: the palette, read before the first row
  bool readPastEnd_ = false;
  bool fileFailed_ = false;
};

}  // namespace sodrel
