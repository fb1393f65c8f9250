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
  return 0;
}
