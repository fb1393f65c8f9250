// Writes the seed corpus of the fuzz targets into OUT/export, OUT/build and OUT/preview: small
// valid DDS files of every format the preview takes, and containers holding them.
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
      {"luminance8-5x3",
       Concat(UncompressedHeader(5, 3, 0x20000, 8, {0xFF, 0, 0, 0}), Pattern(15))},
      {"r8g8b8a8-5x3",
       Concat(UncompressedHeader(5, 3, 0x41, 32, kRgba), Pixels(5, 3, 32, kRgba, kQuarters))},
      {"dx10-bc1-6x6", Concat(Dx10Header(6, 6, 71), Blocks(DdsFormat::Dxt1, 6, 6, kQuarters))},
      {"dx10-bc3-cube-4x4", Concat(Dx10Header(4, 4, 77, 4), Pattern(6 * 16))},
      {"dx10-rgba8-3x3", Concat(Dx10Header(3, 3, 28), Pattern(36))},
      {"dxt5-ascending-8x8", Concat(MakeDdsHeader(DdsFormat::Dxt5, 8, 8), Pattern(64))},
  };
  for (const char* kind : {"export", "build", "preview"}) fs::create_directories(out / kind);
  for (const auto& [name, dds] : textures) {
    WriteFile(out / "preview" / (name + ".dds"), dds);
    WriteFile(out / "build" / (name + ".dds"), dds);
    WriteFile(out / "export" / (name + ".bin"), Concat(Pattern(64, 3), dds));
  }
  WriteFile(out / "export" / "header-only.bin", Pattern(64, 3));
  WriteFile(out / "export" / "one-byte-texture.bin", Pattern(65, 3));
  WriteFile(out / "build" / "one-byte.dds", Pattern(1, 3));
  return 0;
}
