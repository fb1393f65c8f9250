// Writes the seed corpus of the preview's fuzz target into OUT/preview: small valid DDS files of
// every format the preview takes.
#include "tests/support/DdsWriter.h"

using namespace sodrel::test;
using enum DdsFormat;

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::filesystem::path out = std::filesystem::path(argv[1]) / "preview";
  std::filesystem::create_directories(out);
  std::vector<std::pair<std::string, Bytes>> seeds = {
      {"16bit", UncompressedHeader(5, 3, 0x40, 16, {0xF800, 0x07E0, 0x001F})},
      {"8bit", UncompressedHeader(5, 3, 0x40, 8, {0xE0, 0x1C, 0x03})},
      {"luminance8", UncompressedHeader(5, 3, 0x20000, 8, {0xFF})},
      {"r8g8b8a8", UncompressedHeader(5, 3, 0x41, 32, kRgba)},
      {"l8a8", UncompressedHeader(5, 3, 0x20001, 16, {0xFF, 0, 0, 0xFF00})},
      {"a8", UncompressedHeader(5, 3, 0x2, 8, {0, 0, 0, 0xFF})},
      {"p8", UncompressedHeader(5, 3, 0x20, 8, {})},
      {"ati1", With(MakeDdsHeader(Dxt1, 6, 5), 84, 0x31495441)},
      {"ati2", With(MakeDdsHeader(Dxt1, 6, 5), 84, 0x32495441)},
      {"dx10-bc3-cube", Dx10Header(4, 4, sodrel::DxgiFormat::Bc3Unorm, 4)},
      {"dx10-dimension-0", With(Dx10Header(5, 3, sodrel::DxgiFormat::Bc7Unorm, 0, 0), 140, 0)}};
  for (DdsFormat format : {Rgb24, Rgb32, Dxt1, Dxt3, Dxt5}) {
    seeds.push_back({"legacy-" + std::to_string(int(format)), MakeDdsHeader(format, 5, 3)});
  }
  // Every DXGI code there is: the layouts the view decodes, those the library reads, the rest.
  for (std::uint32_t dxgi = 1; dxgi <= 132; ++dxgi) {
    seeds.push_back({"dx10-" + std::to_string(dxgi), Dx10Header(5, 3, sodrel::DxgiFormat(dxgi))});
  }
  // A palette and 5 x 3 pixels of up to 16 bytes: bytes enough for any of them.
  for (const auto& [name, header] : seeds) {
    WriteFile(out / (name + ".dds"), Concat(header, Pattern(1024 + 5 * 3 * 16)));
  }
  return 0;
}
