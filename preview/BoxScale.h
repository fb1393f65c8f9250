#pragma once

#include <QImage>
#include <cstdint>
#include <vector>

namespace sodrel {

// Scales a picture down into a smaller one as its rows arrive, so that the whole picture is never
// held: each source pixel counts towards the one target pixel its position falls in, and each
// target pixel is the rounded mean of its source pixels. Neither Qt nor FreeImage scales a
// picture that is not in memory whole.
class BoxScale {
 public:
  // `into` (Format_RGB32) is written; each of its sides is at most that of `from`.
  BoxScale(QSize from, QImage& into);

  // Adds the source row `y` (0 at the top), `from.width()` pixels of blue, green, red and one
  // unused byte. The rows that fall in one target row must come one after another.
  void AddRow(int y, const std::uint8_t* bgrx);
  // Writes the last target row; call once all rows are added.
  void Finish();

 private:
  void Flush();

  QSize from_;
  QImage& into_;
  std::vector<int> column_;          // the target column of each source column
  std::vector<std::uint32_t> wide_;  // how many source columns each target column takes
  std::vector<std::uint64_t> sums_;  // blue, green and red of the target row being summed
  int row_ = -1;                     // that target row, -1 before the first
  std::uint32_t rows_ = 0;           // the source rows summed into it
};

}  // namespace sodrel
