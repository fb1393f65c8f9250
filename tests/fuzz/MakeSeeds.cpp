// Writes the seed corpus of the preview's fuzz target into OUT/preview: small valid DDS files of
// every format the preview takes.
#include "tests/support/DdsWriter.h"

using namespace sodrel::test;

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::filesystem::path out = std::filesystem::path(argv[1]) / "preview";
  std::filesystem::create_directories(out);
  const ColourAt quarters = [](std::uint32_t x, std::uint32_t y) {
    return y < 4 ? (x < 4 ? kRed : kBlue) : (x < 4 ? kGreen : kWhite);
  };
  int n = 0;
  for (const auto& [format, width, height] : {std::tuple{DdsFormat::Dxt1, 4, 4},
                                              {DdsFormat::Dxt1, 6, 5},
                                              {DdsFormat::Dxt1, 2, 2},
                                              {DdsFormat::Dxt3, 8, 8},
                                              {DdsFormat::Dxt5, 16, 16},
                                              {DdsFormat::Rgb24, 3, 5},
                                              {DdsFormat::Rgb32, 8, 8}}) {
    WriteFile(out / (std::to_string(n++) + ".dds"), MakeDds(format, width, height, quarters));
  }
  // 16- and 8-bit pixels, which DdsWriter does not make itself.
  for (const auto& [bits, masks] :
       {std::pair{16, std::array{0xF800, 0x07E0, 0x001F}}, {8, std::array{0xE0, 0x1C, 0x03}}}) {
    const Bytes header = With(MakeDdsHeader(DdsFormat::Rgb24, 5, 3), 88, bits);
    const Bytes dds = With(With(With(header, 92, masks[0]), 96, masks[1]), 100, masks[2]);
    WriteFile(out / (std::to_string(bits) + "bit.dds"), Concat(dds, Pattern(5 * 3 * bits / 8)));
  }
  // The layouts the view rewrites or lays out anew.
  WriteFile(out / "luminance8.dds",
            Concat(UncompressedHeader(5, 3, 0x20000, 8, {0xFF, 0, 0, 0}), Pattern(15)));
  WriteFile(out / "r8g8b8a8.dds",
            Concat(UncompressedHeader(5, 3, 0x41, 32, kRgba), Pixels(5, 3, 32, kRgba, quarters)));
  WriteFile(out / "dx10-bc1.dds",
            Concat(Dx10Header(6, 6, 71), Blocks(DdsFormat::Dxt1, 6, 6, quarters)));
  WriteFile(out / "dx10-bc3-cube.dds", Concat(Dx10Header(4, 4, 77, 4), Pattern(6 * 16)));
  WriteFile(out / "dx10-rgba8.dds", Concat(Dx10Header(3, 3, 28), Pattern(36)));
  WriteFile(out / "dxt5-any-endpoints.dds",
            Concat(MakeDdsHeader(DdsFormat::Dxt5, 8, 8), Pattern(64)));
  return 0;
}
