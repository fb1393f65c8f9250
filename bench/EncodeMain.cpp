// sodrel-bench-encode IN.png OUT.dds dxt1|dxt5|bc7 [THREADS] [range]
//
// One picture into a texture with its whole mip chain, as the batch tool's build will make it:
// the PNG read with FreeImage, the chain made (stored values, not sRGB), every level encoded
// (THREADS 0, the default: one per processor; `range`: libsquish's range fit for DXT1 and DXT5),
// the DDS file written. The encode benchmark times whole runs of it against nvcompress.
#include <FreeImage.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "encode/BlockEncoder.h"
#include "encode/MipChain.h"
#include "tests/support/DdsWriter.h"

namespace {

using namespace sodrel;

int Usage() {
  std::fprintf(stderr,
               "usage: sodrel-bench-encode IN.png OUT.dds dxt1|dxt5|bc7 [THREADS] [range]\n");
  return 2;
}

// The picture as R, G, B, A rows, top row first; no pixels when FreeImage cannot read it.
RgbaImage ReadPicture(const char* path) {
  RgbaImage image;
  FIBITMAP* loaded = FreeImage_Load(FreeImage_GetFileType(path), path);
  if (!loaded) return image;
  FIBITMAP* bgra = FreeImage_ConvertTo32Bits(loaded);
  FreeImage_Unload(loaded);
  if (!bgra) return image;
  image.width = FreeImage_GetWidth(bgra);
  image.height = FreeImage_GetHeight(bgra);
  image.pixels.resize(std::size_t{4} * image.width * image.height);
  for (std::uint32_t y = 0; y < image.height; ++y) {
    const BYTE* from = FreeImage_GetScanLine(bgra, static_cast<int>(image.height - 1 - y));
    std::uint8_t* to = image.pixels.data() + std::size_t{4} * image.width * y;
    for (std::uint32_t x = 0; x < image.width; ++x, from += 4, to += 4) {
      to[0] = from[FI_RGBA_RED], to[1] = from[FI_RGBA_GREEN], to[2] = from[FI_RGBA_BLUE];
      to[3] = from[FI_RGBA_ALPHA];
    }
  }
  FreeImage_Unload(bgra);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 6) return Usage();
  const std::string_view name = argv[3];
  BlockEncoding encoding;
  if (name == "dxt1") {
    encoding = BlockEncoding::Bc1;
  } else if (name == "dxt5") {
    encoding = BlockEncoding::Bc3;
  } else if (name == "bc7") {
    encoding = BlockEncoding::Bc7;
  } else {
    return Usage();
  }
  const unsigned threads = argc > 4 ? static_cast<unsigned>(std::atoi(argv[4])) : 0;
  const ColourFit fit =
      argc > 5 && std::string_view(argv[5]) == "range" ? ColourFit::Range : ColourFit::Cluster;

  RgbaImage top = ReadPicture(argv[1]);
  if (top.pixels.empty()) {
    std::fprintf(stderr, "sodrel-bench-encode: cannot read %s\n", argv[1]);
    return 1;
  }
  const std::uint32_t width = top.width, height = top.height;
  const std::vector<RgbaImage> chain = MakeMipChain(std::move(top), 32, false);
  const auto levels = static_cast<std::uint32_t>(chain.size());

  test::Bytes dds =
      encoding == BlockEncoding::Bc7
          ? test::Dx10Header(width, height, DxgiFormat::Bc7Unorm)
          : test::MakeDdsHeader(
                encoding == BlockEncoding::Bc1 ? test::DdsFormat::Dxt1 : test::DdsFormat::Dxt5,
                width, height);
  // The mip count and its flag, and the caps of a texture with mip levels.
  dds = test::With(test::With(test::With(dds, 8, 0x21007), 28, levels), 108, 0x401008);
  for (const RgbaImage& level : chain) {
    const std::vector<std::byte> blocks = EncodeBlocks(level, encoding, threads, fit);
    dds.insert(dds.end(), blocks.begin(), blocks.end());
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(dds.data()), static_cast<std::streamsize>(dds.size()));
  if (!out.flush()) {
    std::fprintf(stderr, "sodrel-bench-encode: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
