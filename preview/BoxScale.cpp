#include "preview/BoxScale.h"

#include <algorithm>

namespace sodrel {

BoxScale::BoxScale(QSize from, QImage& into)
    : from_(from),
      into_(into),
      column_(from.width()),
      wide_(into.width()),
      sums_(3 * static_cast<std::size_t>(into.width())) {
  for (int x = 0; x < from.width(); ++x) {
    column_[x] = static_cast<int>(std::int64_t{x} * into.width() / from.width());
    ++wide_[column_[x]];
  }
}

void BoxScale::AddRow(int y, const std::uint8_t* bgrx) {
  const int row = static_cast<int>(std::int64_t{y} * into_.height() / from_.height());
  if (row != row_) Flush();
  row_ = row;
  ++rows_;
  for (int x = 0; x < from_.width(); ++x, bgrx += 4) {
    std::uint64_t* sum = &sums_[3 * static_cast<std::size_t>(column_[x])];
    sum[0] += bgrx[0], sum[1] += bgrx[1], sum[2] += bgrx[2];
  }
}

void BoxScale::Finish() {
  Flush();
}

void BoxScale::Flush() {
  if (row_ < 0 || rows_ == 0) return;
  auto* out = reinterpret_cast<QRgb*>(into_.scanLine(row_));
  for (int x = 0; x < into_.width(); ++x) {
    const std::uint64_t count = std::uint64_t{wide_[x]} * rows_;
    const auto mean = [&](int channel) {
      return static_cast<int>((sums_[3 * x + channel] + count / 2) / count);
    };
    out[x] = qRgb(mean(2), mean(1), mean(0));
  }
  std::fill(sums_.begin(), sums_.end(), 0);
  rows_ = 0;
}

}  // namespace sodrel
