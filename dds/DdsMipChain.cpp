#include "dds/DdsMipChain.h"

#include <algorithm>
#include <array>

#include "dds/DdsFields.h"

namespace sodrel {
using namespace dds_fields;

void ChooseLevel(const Format& format, std::span<const std::byte> prefix, std::uint64_t fileSize,
                 std::uint32_t side, DdsInfo& info) {
  info.topWidth = info.width;
  info.topHeight = info.height;
  const std::uint32_t levels = ReadU32(prefix, kMipCountAt);
  if (side == 0 || levels < 2 || (ReadU32(prefix, kCaps2At) & kCaps2Volume) ||
      info.rowStride != info.rowBytes) {
    return;
  }
  // The layout plan reads the pitch from the header: the levels are given one without it.
  std::array<std::byte, kDdsLongestHeaderBytes> packed{};
  std::copy_n(prefix.begin(), std::min(prefix.size(), packed.size()), packed.begin());
  WriteU32(packed, kHeaderFlagsAt, ReadU32(packed, kHeaderFlagsAt) & ~kFlagPitch);

  std::uint64_t at = info.dataOffset + info.surfaceBytes;  // where the next level starts
  for (std::uint32_t k = 1; k < levels && std::max(info.width, info.height) > 1; ++k) {
    DdsInfo next = info;
    next.width = std::max(1u, info.topWidth >> k);
    next.height = std::max(1u, info.topHeight >> k);
    next.dataOffset = at;
    if (std::max(next.width, next.height) < side || !LayOut(format, packed, next) ||
        at > fileSize || fileSize - at < next.surfaceBytes) {
      return;
    }
    at += next.surfaceBytes;
    info = next;
  }
}

}  // namespace sodrel
