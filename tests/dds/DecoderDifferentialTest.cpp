#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>

#include "dds/BlockDecoders.h"
#include "preview/DdsDecode.h"
#include "tests/support/DdsWriter.h"

namespace sodrel {
namespace {

using namespace test;
namespace fs = std::filesystem;
using Pixels = std::vector<std::uint8_t>;

constexpr std::uint32_t kAti1 = 0x31495441, kAti2 = 0x32495441;

// Our side: the picture the preview decodes from the file, as R, G, B, A bytes, top row first.
Pixels OurPixels(const fs::path& dds) {
  const DecodedDds decoded = DecodeDds(dds);
  FIBITMAP* dib = decoded.bitmap.get();
  if (dib == nullptr || FreeImage_GetBPP(dib) != 32) return {};
  const unsigned width = FreeImage_GetWidth(dib), height = FreeImage_GetHeight(dib);
  Pixels pixels;
  for (unsigned y = height; y-- > 0;) {  // FreeImage keeps the bottom row first
    const std::uint8_t* row = FreeImage_GetScanLine(dib, int(y));
    for (unsigned x = 0; x < width; ++x, row += 4)
      pixels.insert(pixels.end(), {row[2], row[1], row[0], row[3]});
  }
  return pixels;
}

// Pillow writes FILE.rgba for each FILE; one interpreter for all the files of a row.
constexpr const char* kPillowScript =
    "import sys\nfrom PIL import Image\nfor p in sys.argv[1:]:\n"
    "    with Image.open(p) as im: open(p + '.rgba', 'wb').write(im.convert('RGBA').tobytes())\n";

struct PillowCase {
  std::string name;
  BlockLayout layout;
  int mode;  // forced into the low bits of every block; -1: blocks left as drawn
  int tolerance = 0;
  friend void PrintTo(const PillowCase& c, std::ostream* os) { *os << c.name; }
};

std::vector<PillowCase> PillowCases() {
  std::vector<PillowCase> cases = {{"Bc4", BlockLayout::Bc4Unsigned, -1},
                                   {"Bc5", BlockLayout::Bc5Unsigned, -1}};
  for (int mode = 0; mode <= 8; ++mode) {  // 8: the reserved mode, a first byte of 0
    cases.push_back({"Bc7Mode" + std::to_string(mode), BlockLayout::Bc7, mode});
  }
  for (int mode : {0, 1, 2, 6, 10, 14, 18, 22, 26, 30, 3, 7, 11, 15, 19, 23, 27, 31}) {
    cases.push_back({"Bc6hUf16Mode" + std::to_string(mode), BlockLayout::Bc6hUnsigned, mode, 1});
  }
  // Pillow 9.4 leaves signed endpoints unextended after adding the differences: the signed modes
  // with differences (all but 3, 30 and 15, whose 16 bits need no extension) are checked by hand.
  for (int mode : {3, 30, 15, 19, 23, 27, 31}) {
    cases.push_back({"Bc6hSf16Mode" + std::to_string(mode), BlockLayout::Bc6hSigned, mode, 1});
  }
  return cases;
}

// A DDS file of `width` x `height` pixels of random blocks, every one in `c.mode`.
Bytes RandomDds(const PillowCase& c, std::uint32_t width, std::uint32_t height, unsigned seed) {
  using enum DxgiFormat;
  const DxgiFormat dxgi[] = {Unknown, Unknown, Unknown, Unknown, Bc6hUf16, Bc6hSf16, Bc7Unorm};
  Bytes dds = c.layout == BlockLayout::Bc4Unsigned || c.layout == BlockLayout::Bc5Unsigned
                  ? With(MakeDdsHeader(DdsFormat::Dxt1, width, height), 84,
                         c.layout == BlockLayout::Bc4Unsigned ? kAti1 : kAti2)
                  : Dx10Header(width, height, dxgi[static_cast<int>(c.layout)]);
  std::mt19937 random(seed);
  const std::size_t blockBytes = BlockBytes(c.layout);
  const std::size_t blocks = std::size_t{(width + 3) / 4} * ((height + 3) / 4);
  for (std::size_t b = 0; b < blocks; ++b) {
    const std::size_t at = dds.size();
    for (std::size_t i = 0; i < blockBytes; ++i) dds.push_back(std::byte(random()));
    const unsigned first = std::to_integer<unsigned>(dds[at]);
    if (c.layout == BlockLayout::Bc7 && c.mode >= 0) {  // mode m: m zero bits, then a one
      dds[at] = std::byte(c.mode == 8 ? 0 : (first << (c.mode + 1) | 1u << c.mode));
    } else if (c.mode >= 0) {  // BC6H: 2 mode bits for modes 0 and 1, else 5
      dds[at] = std::byte((first & (c.mode < 2 ? ~3u : ~31u)) | unsigned(c.mode));
    }
  }
  return dds;
}

class MatchesPillow : public testing::TestWithParam<PillowCase> {};

// Thousands of random blocks, in a texture of whole blocks and one cut at both edges, shown by
// the preview as Pillow shows them. BC6H within 1: Pillow interpolates without the format's
// rounding (+32).
TEST_P(MatchesPillow, OnRandomBlocks) {
  const PillowCase& c = GetParam();
  TempFolder folder;
  std::ofstream(folder / "decode.py") << kPillowScript;
  const std::pair<std::uint32_t, std::uint32_t> sizes[] = {{256, 256}, {30, 18}};
  std::string command = "/usr/bin/python3 '" + (folder / "decode.py").string() + "'";
  for (unsigned i = 0; i < 2; ++i) {
    const fs::path dds = folder / (c.name + std::to_string(i) + ".dds");
    WriteFile(dds, RandomDds(c, sizes[i].first, sizes[i].second, 1000 * c.mode + i + 7));
    command += " '" + dds.string() + "'";
  }
  ASSERT_EQ(std::system(command.c_str()), 0)
      << "needs Pillow for /usr/bin/python3 (Debian: apt-get install python3-pil)";
  for (unsigned i = 0; i < 2; ++i) {
    const fs::path dds = folder / (c.name + std::to_string(i) + ".dds");
    const Bytes theirs = ReadFile(dds.string() + ".rgba");
    Pixels expected(reinterpret_cast<const std::uint8_t*>(theirs.data()),
                    reinterpret_cast<const std::uint8_t*>(theirs.data()) + theirs.size());
    // Pillow 9.4 makes the reserved BC7 mode opaque black; the format defines all zeros.
    if (c.name == "Bc7Mode8") std::fill(expected.begin(), expected.end(), 0);
    const Pixels ours = OurPixels(dds);
    ASSERT_EQ(ours.size(), expected.size());
    std::size_t wrong = 0, first = 0;
    for (std::size_t b = 0; b < ours.size(); ++b) {
      if (std::abs(ours[b] - expected[b]) > c.tolerance && wrong++ == 0) first = b;
    }
    EXPECT_EQ(wrong, 0u) << dds.filename() << ": first at byte " << first << " (pixel " << first / 4
                         << "): ours " << int(ours[first]) << ", Pillow's " << int(expected[first]);
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, MatchesPillow, testing::ValuesIn(PillowCases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace sodrel
