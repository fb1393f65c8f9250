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
      {"dxt5-any-endpoints", Concat(MakeDdsHeader(Dxt5, 8, 8), Pattern(64))},
      {"ati1", Concat(With(MakeDdsHeader(Dxt1, 6, 5), 84, 0x31495441), Pattern(32))},
      {"ati2", Concat(With(MakeDdsHeader(Dxt1, 6, 5), 84, 0x32495441), Pattern(64))},
      {"l8a8", Concat(UncompressedHeader(5, 3, 0x20001, 16, {0xFF, 0, 0, 0xFF00}), Pattern(30))},
      {"a8", Concat(UncompressedHeader(5, 3, 0x2, 8, {0, 0, 0, 0xFF}), Pattern(15))},
      {"p8", Concat(UncompressedHeader(5, 3, 0x20, 8, {}), Pattern(1024 + 15))},
      {"dx10-dimension-0",
       Concat(With(Dx10Header(5, 3, DxgiFormat::Bc7Unorm, 0, 0), 140, 0), Pattern(2 * 16))}};
  for (const auto& [name, dds] : seeds) WriteFile(out / (std::string(name) + ".dds"), dds);
  // Each layout the view decodes, 5 x 3, with bytes enough for any of them.
  using enum DxgiFormat;
  for (DxgiFormat dxgi :
       {Bc4Snorm, Bc5Snorm, Bc6hUf16, Bc6hSf16, Bc7Unorm, R8Unorm, R8G8Unorm, R10G10B10A2Unorm,
        R16G16B16A16Unorm, R16G16B16A16Float, R32G32B32A32Float}) {
    WriteFile(out / ("dx10-" + std::to_string(int(dxgi)) + ".dds"),
              Concat(Dx10Header(5, 3, dxgi), Pattern(5 * 3 * 16)));
  }
  return 0;
}
