#include "preview/PictureFile.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "dds/BoxScale.h"
#include "dds/LittleEndian.h"
#include "io/FileIo.h"

namespace sodrel {
namespace {

// The fields of a BMP's file header and info header (BITMAPINFOHEADER or a later one).
constexpr std::size_t kHeadersBytes = 54;
constexpr std::size_t kFileSizeAt = 2;
constexpr std::size_t kPixelsAt = 10;
constexpr std::size_t kInfoAt = 14;
constexpr std::size_t kWidthAt = 18;
constexpr std::size_t kHeightAt = 22;  // negative: the top row first
constexpr std::size_t kPlanesAt = 26;
constexpr std::size_t kBitCountAt = 28;
constexpr std::size_t kCompressionAt = 30;
constexpr std::size_t kColoursUsedAt = 46;
constexpr std::uint32_t kUncompressed = 0;
constexpr std::int64_t kLongestSide = 65536;
constexpr std::uint64_t kBandBytes = 4u << 20;  // rows read at once

struct Layout {
  std::int64_t width = 0, height = 0;
  bool topFirst = false;
  unsigned bits = 0;
  std::uint64_t pixelsAt = 0, rowBytes = 0;
  std::array<QRgb, 256> palette{};
};

IoResult Refused() {
  return {IoOutcome::ReadFailed, std::make_error_code(std::errc::invalid_argument)};
}

// Reads and checks the headers (and the palette) of the BMP open as `file`.
IoResult ReadLayout(InputFile& file, Layout& layout) {
  std::array<std::byte, kHeadersBytes> h{};
  std::size_t got = 0;
  if (IoResult read = ReadAt(file.fd(), 0, h, got); !read.ok()) return read;
  const auto u32 = [&](std::size_t at) { return ReadLe32(h.data() + at); };
  const auto s32 = [&](std::size_t at) { return static_cast<std::int32_t>(u32(at)); };
  const std::uint64_t size = file.size();
  if (got != h.size() || h[0] != std::byte{'B'} || h[1] != std::byte{'M'} ||
      u32(kFileSizeAt) != size || u32(kInfoAt) < kHeadersBytes - kInfoAt ||
      ReadLe16(h.data() + kPlanesAt) != 1 || u32(kCompressionAt) != kUncompressed) {
    return Refused();
  }
  layout.bits = ReadLe16(h.data() + kBitCountAt);
  layout.width = s32(kWidthAt);
  layout.height = s32(kHeightAt);
  layout.topFirst = layout.height < 0;
  if (layout.topFirst) layout.height = -layout.height;
  if ((layout.bits != 8 && layout.bits != 24 && layout.bits != 32) || layout.width < 1 ||
      layout.width > kLongestSide || layout.height < 1 || layout.height > kLongestSide) {
    return Refused();
  }
  layout.rowBytes = (static_cast<std::uint64_t>(layout.width) * layout.bits + 31) / 32 * 4;
  layout.pixelsAt = u32(kPixelsAt);
  const std::uint64_t paletteAt = kInfoAt + std::uint64_t{u32(kInfoAt)};
  const std::uint64_t colours = layout.bits != 8      ? 0
                                : u32(kColoursUsedAt) ? u32(kColoursUsedAt)
                                                      : 256;
  // Every value here is below 2^35: no sum or product overflows.
  if (colours > 256 || paletteAt + 4 * colours > layout.pixelsAt || layout.pixelsAt > size ||
      size - layout.pixelsAt < layout.rowBytes * static_cast<std::uint64_t>(layout.height)) {
    return Refused();
  }
  std::array<std::byte, 4 * 256> palette{};
  if (IoResult read = ReadAt(file.fd(), paletteAt, {palette.data(), 4 * colours}, got);
      !read.ok() || got != 4 * colours) {
    return read.ok() ? Refused() : read;
  }
  for (std::size_t i = 0; i < colours; ++i) {
    const auto channel = [&](int at) { return std::to_integer<int>(palette[4 * i + at]); };
    layout.palette[i] = qRgb(channel(2), channel(1), channel(0));
  }
  return Done();
}

// One row of the BMP as blue, green, red and an unused byte a pixel.
void Expand(const Layout& layout, const std::byte* row, std::vector<std::uint8_t>& bgrx) {
  const auto* in = reinterpret_cast<const std::uint8_t*>(row);
  std::uint8_t* out = bgrx.data();
  for (std::int64_t x = 0; x < layout.width; ++x, out += 4) {
    if (layout.bits == 8) {
      const QRgb colour = layout.palette[in[x]];
      out[0] = qBlue(colour), out[1] = qGreen(colour), out[2] = qRed(colour);
    } else {
      const std::uint8_t* pixel = in + x * (layout.bits / 8);
      out[0] = pixel[0], out[1] = pixel[1], out[2] = pixel[2];
    }
  }
}

}  // namespace

QImage ReadPicture(const std::filesystem::path& path, QSize drawnSize) {
  InputFile file;
  Layout layout;
  if (!file.Open(path).ok() || !ReadLayout(file, layout).ok()) return {};
  const QSize from(static_cast<int>(layout.width), static_cast<int>(layout.height));
  const QSize size = drawnSize.isEmpty() ? from : from.boundedTo(drawnSize);
  QImage picture(size, QImage::Format_RGB32);
  if (picture.isNull()) return {};
  // Format_RGB32 rows are whole pixels, each row just after the one before.
  const auto side = [](auto length) { return static_cast<std::uint32_t>(length); };
  BoxScale scale({side(layout.width), side(layout.height)},
                 {side(size.width()), side(size.height())}, picture.bits(), false);
  const std::uint64_t height = static_cast<std::uint64_t>(layout.height);
  // A small picture gets a band of its own size, not the largest one.
  const std::uint64_t bandRows = std::clamp<std::uint64_t>(kBandBytes / layout.rowBytes, 1,
                                                           std::max<std::uint64_t>(height, 1));
  std::vector<std::byte> band(bandRows * layout.rowBytes);
  std::vector<std::uint8_t> bgrx(4 * static_cast<std::size_t>(layout.width));
  for (std::uint64_t first = 0; first < height; first += bandRows) {
    const std::uint64_t rows = std::min(bandRows, height - first);
    std::size_t got = 0;
    const std::span<std::byte> wanted(band.data(), rows * layout.rowBytes);
    if (!ReadAt(file.fd(), layout.pixelsAt + first * layout.rowBytes, wanted, got).ok() ||
        got != wanted.size()) {
      return {};
    }
    for (std::uint64_t i = 0; i < rows; ++i) {
      const std::uint64_t row = first + i;
      Expand(layout, band.data() + i * layout.rowBytes, bgrx);
      scale.AddRow(static_cast<std::uint32_t>(layout.topFirst ? row : height - 1 - row),
                   bgrx.data());
    }
  }
  scale.Finish();
  return file.Unchanged().ok() ? picture : QImage();
}

}  // namespace sodrel
