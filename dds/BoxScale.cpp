#include "dds/BoxScale.h"

#include <algorithm>

namespace sodrel {

BoxScale::BoxScale(Size from, Size to, std::uint8_t* into, bool withAlpha)
    : from_(from),
      to_(to),
      into_(into),
      channels_(withAlpha ? 4 : 3),
      column_(from.width),
      wide_(to.width),
      sums_(channels_ * to.width) {
  for (std::uint32_t x = 0; x < from.width; ++x) {
    column_[x] = static_cast<std::uint32_t>(std::uint64_t{x} * to.width / from.width);
    ++wide_[column_[x]];
  }
}

void BoxScale::AddRow(std::uint32_t y, const std::uint8_t* bgra) {
  const auto row = static_cast<std::int64_t>(std::uint64_t{y} * to_.height / from_.height);
  if (row != row_) Flush();
  row_ = row;
  ++rows_;
  for (std::uint32_t x = 0; x < from_.width; ++x, bgra += 4) {
    std::uint64_t* sum = &sums_[channels_ * column_[x]];
    for (std::size_t c = 0; c < channels_; ++c) sum[c] += bgra[c];
  }
}

void BoxScale::Finish() {
  Flush();
}

void BoxScale::Flush() {
  if (row_ < 0 || rows_ == 0) return;
  std::uint8_t* out = into_ + static_cast<std::size_t>(row_) * to_.width * 4;
  for (std::uint32_t x = 0; x < to_.width; ++x, out += 4) {
    const std::uint64_t count = std::uint64_t{wide_[x]} * rows_;
    const std::uint64_t* sum = &sums_[channels_ * x];
    for (std::size_t c = 0; c < channels_; ++c) {
      out[c] = static_cast<std::uint8_t>((sum[c] + count / 2) / count);
    }
    if (channels_ == 3) out[3] = 255;
  }
  std::fill(sums_.begin(), sums_.end(), 0);
  rows_ = 0;
}

}  // namespace sodrel
