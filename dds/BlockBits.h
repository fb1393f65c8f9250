#pragma once

#include <cstddef>
#include <cstdint>

namespace sodrel {

// The bits of a 16-byte block, read from the lowest up. Reading past the 128th bit gives zeros,
// so a wrong count can never read outside the block. Each read takes its bits at the position
// counted so far, which is a constant where the decoders' loops unroll: the reads of a block then
// do not wait on one another.
class BlockBits {
 public:
  explicit BlockBits(const std::byte* block) : low_(Le64(block)), high_(Le64(block + 8)) {}

  // The next `count` bits (0 to 32) as a number, the first of them the lowest.
  std::uint32_t Read(unsigned count) {
    const auto value = static_cast<std::uint32_t>(Peek() & ((std::uint64_t{1} << count) - 1));
    at_ += count;
    return value;
  }

  // The next 64 bits, the first of them the lowest, left unread.
  std::uint64_t Peek() const {
    if (at_ == 0) return low_;
    if (at_ < 64) return low_ >> at_ | high_ << (64 - at_);
    return at_ < 128 ? high_ >> (at_ - 64) : 0;
  }

  // Passes over `count` bits (0 to 63).
  void Skip(unsigned count) { at_ += count; }

 private:
  static std::uint64_t Le64(const std::byte* at) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = value << 8 | std::to_integer<std::uint64_t>(at[i]);
    return value;
  }

  std::uint64_t low_;
  std::uint64_t high_;
  unsigned at_ = 0;  // bits read so far
};

}  // namespace sodrel
