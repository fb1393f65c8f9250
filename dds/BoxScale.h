#pragma once

#include <cstdint>
#include <vector>

namespace sodrel {

// Scales a picture down into a smaller one as its rows arrive, so that the whole picture is never
// held: each source pixel counts towards the one target pixel its position falls in, and each
// target pixel is the rounded mean of its source pixels. Neither Qt nor FreeImage scales a
// picture that is not in memory whole.
class BoxScale {
 public:
  struct Size {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
  };

  // `into` holds `to.height` rows of `to.width` pixels of blue, green, red and alpha, rows one
  // after another; each side of `to` is at most that of `from`, and none is 0. Without
  // `withAlpha` the fourth byte of a source pixel is not looked at and every target alpha is 255.
  BoxScale(Size from, Size to, std::uint8_t* into, bool withAlpha);

  // Adds the source row `y` (0 at the top), `from.width` pixels of four bytes as `into` has. The
  // rows that fall in one target row must come one after another.
  void AddRow(std::uint32_t y, const std::uint8_t* bgra);
  // Writes the last target row; call once all rows are added.
  void Finish();

 private:
  void Flush();

  Size from_;
  Size to_;
  std::uint8_t* into_;
  std::size_t channels_;
  std::vector<std::uint32_t> column_;  // the target column of each source column
  std::vector<std::uint32_t> wide_;    // how many source columns each target column takes
  std::vector<std::uint64_t> sums_;    // the channels of the target row being summed
  std::int64_t row_ = -1;              // that target row, -1 before the first
  std::uint32_t rows_ = 0;             // the source rows summed into it
};

}  // namespace sodrel
