// Writes the seed corpus of the preview's fuzz target into OUT/preview: small valid DDS files of
// every format the preview takes.
#include <cstdio>
#include <string>

#include "tests/support/DdsWriter.h"

using namespace sodrel::test;
namespace fs = std::filesystem;

namespace {

const ColourAt kQuarters = [](std::uint32_t x, std::uint32_t y) {
  return y < 4 ? (x < 4 ? kRed : kBlue) : (x < 4 ? kGreen : kWhite);
};

// An uncompressed file of `bits` per pixel, which DdsWriter does not make itself.
Bytes Uncompressed(std::uint32_t bits, std::uint32_t width, std::uint32_t height) {
  Bytes dds = With(MakeDdsHeader(DdsFormat::Rgb24, width, height), 88, bits);
  if (bits == 16) dds = With(With(With(dds, 92, 0xF800), 96, 0x07E0), 100, 0x001F);
  if (bits == 8) dds = With(With(With(dds, 92, 0xE0), 96, 0x1C), 100, 0x03);
  const Bytes pixels = Pattern(std::size_t{width} * height * bits / 8, bits);
  return Concat(dds, pixels);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds OUT\n");
    return 2;
  }
  const fs::path out = argv[1];
  const std::vector<std::pair<std::string, Bytes>> textures = {
      {"dxt1-4x4", MakeDds(DdsFormat::Dxt1, 4, 4, kRed)},
      {"dxt1-8x8", MakeDds(DdsFormat::Dxt1, 8, 8, kQuarters)},
      {"dxt1-6x5", MakeDds(DdsFormat::Dxt1, 6, 5, kQuarters)},
      {"dxt1-2x2", MakeDds(DdsFormat::Dxt1, 2, 2, kBlue)},
      {"dxt3-8x8", MakeDds(DdsFormat::Dxt3, 8, 8, kQuarters)},
      {"dxt5-8x4", MakeDds(DdsFormat::Dxt5, 8, 4, kGreen)},
      {"dxt5-16x16", MakeDds(DdsFormat::Dxt5, 16, 16, kQuarters)},
      {"rgb24-3x5", MakeDds(DdsFormat::Rgb24, 3, 5, kQuarters)},
      {"rgb32-8x8", MakeDds(DdsFormat::Rgb32, 8, 8, kQuarters)},
      {"rgb16-4x4", Uncompressed(16, 4, 4)},
      {"rgb16-5x3", Uncompressed(16, 5, 3)},
      {"rgb8-4x4", Uncompressed(8, 4, 4)},
  };
  fs::create_directories(out / "preview");
  for (const auto& [name, dds] : textures) WriteFile(out / "preview" / (name + ".dds"), dds);
  return 0;
}
