// Writes the seed corpus of the preview's fuzz target into OUT/preview: small valid DDS files of
// every format the preview takes.
#include "tests/support/DdsWriter.h"

using namespace sodrel::test;
using sodrel::DxgiFormat;
using enum DdsFormat;

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::filesystem::path out = std::filesystem::path(argv[1]) / "preview";
  std::filesystem::create_directories(out);
  const ColourAt quarters = [](std::uint32_t x, std::uint32_t y) {
    return y < 4 ? (x < 4 ? kRed : kBlue) : (x < 4 ? kGreen : kWhite);
  };
  const std::pair<const char*, Bytes> seeds[] = {
      {"16bit", Concat(UncompressedHeader(5, 3, 0x40, 16, {0xF800, 0x07E0, 0x001F}), Pattern(30))},
      {"8bit", Concat(UncompressedHeader(5, 3, 0x40, 8, {0xE0, 0x1C, 0x03}), Pattern(15))},
      {"luminance8", Concat(UncompressedHeader(5, 3, 0x20000, 8, {0xFF}), Pattern(15))},
      {"r8g8b8a8",
       Concat(UncompressedHeader(5, 3, 0x41, 32, kRgba), Pixels(5, 3, 32, kRgba, quarters))},
      {"dx10-bc1", Concat(Dx10Header(6, 6, DxgiFormat::Bc1Unorm), Blocks(Dxt1, 6, 6, quarters))},
      {"dx10-bc3-cube", Concat(Dx10Header(4, 4, DxgiFormat::Bc3Unorm, 4), Pattern(6 * 16))},
      {"dx10-rgba8", Concat(Dx10Header(3, 3, DxgiFormat::R8G8B8A8Unorm), Pattern(36))},
      {"dxt5-any-endpoints", Concat(MakeDdsHeader(Dxt5, 8, 8), Pattern(64))}};
  for (const auto& [name, dds] : seeds) WriteFile(out / (std::string(name) + ".dds"), dds);
  return 0;
}
