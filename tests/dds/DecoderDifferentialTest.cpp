#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <variant>

#include "dds/BlockDecoders.h"
#include "dds/PixelDecoders.h"
#include "dds/LittleEndian.h"
#include "tests/support/DdsWriter.h"

namespace sodrel {
namespace {

using namespace test;
namespace fs = std::filesystem;
using Pixels = std::vector<std::uint8_t>;

constexpr std::uint32_t kAti1 = 0x31495441, kAti2 = 0x32495441, kDx10 = 0x30315844;

// Our side: the pixels of a DDS file of a block layout, as R, G, B, A bytes.
Pixels OurPixels(const fs::path& dds) {
  const Bytes file = ReadFile(dds);
  const std::uint32_t height = ReadLe32(&file[12]), width = ReadLe32(&file[16]);
  const std::uint32_t fourCC = ReadLe32(&file[84]);
  const std::uint32_t dxgi = fourCC == kDx10 ? ReadLe32(&file[128]) : 0;
  const BlockLayout layout = fourCC == kAti1   ? BlockLayout::Bc4Unsigned
                             : fourCC == kAti2 ? BlockLayout::Bc5Unsigned
                             : dxgi == 95      ? BlockLayout::Bc6hUnsigned
                             : dxgi == 96      ? BlockLayout::Bc6hSigned
                                               : BlockLayout::Bc7;
  const std::byte* blocks = file.data() + (fourCC == kDx10 ? 148 : 128);
  Pixels pixels(std::size_t{width} * height * 4);
  for (std::uint32_t y = 0; y < height; y += 4) {
    DecodeBlockRow(layout, blocks, width, std::min(4u, height - y), &pixels[y * width * 4],
                   width * 4);
    blocks += (width + 3) / 4 * BlockBytes(layout);
  }
  for (std::size_t i = 0; i < pixels.size(); i += 4) std::swap(pixels[i], pixels[i + 2]);
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

// Thousands of random blocks, in a texture of whole blocks and one cut at both edges, decode
// to Pillow's pixels. BC6H within 1: Pillow interpolates without the format's rounding (+32).
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

// What Pillow cannot check, worked out by hand from the formats: the first pixels, B, G, R, A.
struct HandCase {
  const char* name;
  std::variant<BlockLayout, PixelLayout> layout;
  std::vector<std::uint8_t> input;
  Pixels bgra;
  friend void PrintTo(const HandCase& c, std::ostream* os) { *os << c.name; }
};

Pixels Greys(std::initializer_list<std::uint8_t> levels) {
  Pixels bgra;
  for (std::uint8_t l : levels) bgra.insert(bgra.end(), {l, l, l, 255});
  return bgra;
}

// clang-format off
const HandCase kHandCases[] = {
    // BC4 blocks give pixels 0 to 7 indices 0 to 7 (0x88, 0xC6, 0xFA).
    // 70 and -70: eight levels, 20/127 apart, shown as value + 128.
    {"Bc4SignedEightLevels", BlockLayout::Bc4Signed, {70, 0xBA, 0x88, 0xC6, 0xFA, 0, 0, 0},
     Greys({198, 58, 178, 158, 138, 118, 98, 78})},
    // -128 and -127 are both -1.0; -128 < -127 selects six levels, then -1.0 and 1.0.
    {"Bc4SignedMinusOne", BlockLayout::Bc4Signed, {0x80, 0x81, 0x88, 0xC6, 0xFA, 0, 0, 0},
     Greys({1, 1, 1, 1, 1, 1, 1, 255})},
    // Red from 70 and -70 as above, green from 0 and 100 (six levels, 20 apart), blue 0.0.
    {"Bc5Signed", BlockLayout::Bc5Signed,
     {70, 0xBA, 0x88, 0xC6, 0xFA, 0, 0, 0, 0, 100, 0x88, 0xC6, 0xFA, 0, 0, 0},
     {128, 128, 198, 255, 128, 228, 58, 255, 128, 148, 178, 255, 128, 168, 158, 255,
      128, 188, 138, 255, 128, 208, 118, 255, 128, 1, 98, 255, 128, 255, 78, 255}},
    // Mode 7, red: 1020 plus the difference 100 wraps to -928 in 11 bits; unquantized 32656 and
    // -29711. Pixel 1 has index 5 (weight 21): 12192, half 0x2E23 (0.0959), 24.
    {"Bc6hSignedWrappedDifference", BlockLayout::Bc6hSigned,
     {0x87, 0x7F, 0, 0, 0x20, 0x03, 0, 0, 0x50, 0x0F, 0, 0, 0, 0, 0, 0},
     {0, 0, 255, 255, 0, 0, 24, 255, 0, 0, 0, 255}},
    {"L8A8", PixelLayout::L8A8, {0x40, 0x80}, {0x40, 0x40, 0x40, 0x80}},
    {"A8", PixelLayout::A8, {0x33}, {0x33, 0x33, 0x33, 255}},
    // Entry 1 of the palette: R 10, G 20, B 30, flags 0 (not alpha).
    {"P8", PixelLayout::P8, {1, 0}, {30, 20, 10, 255, 0, 0, 0, 255}},
    {"R8", PixelLayout::R8, {0x9A}, {0, 0, 0x9A, 255}},
    {"R8G8", PixelLayout::R8G8, {0x12, 0x34}, {0, 0x34, 0x12, 255}},
    // R 1023, G 0, B 512 (127.6), A 1 of 3.
    {"R10G10B10A2", PixelLayout::R10G10B10A2, {0xFF, 0x03, 0x00, 0x60}, {128, 0, 255, 85}},
    // R 0xFFFF, G 0x8000 (127.5), B 0x0081 (0.502), A 0.
    {"R16G16B16A16Unorm", PixelLayout::R16G16B16A16Unorm, {0xFF, 0xFF, 0, 0x80, 0x81, 0, 0, 0},
     {1, 128, 255, 0}},
    // R 1.0, G 0.5 (127.5, the fraction dropped), B -1.0, A NaN.
    {"R16G16B16A16Float", PixelLayout::R16G16B16A16Float, {0, 0x3C, 0, 0x38, 0, 0xBC, 0, 0x7E},
     {0, 127, 255, 0}},
    // R 2.0, G 0.25 (63.75), B NaN, A 1.0.
    {"R32G32B32A32Float", PixelLayout::R32G32B32A32Float,
     {0, 0, 0, 0x40, 0, 0, 0x80, 0x3E, 0, 0, 0xC0, 0x7F, 0, 0, 0x80, 0x3F}, {0, 63, 255, 255}},
};
// clang-format on

class DecodesByHand : public testing::TestWithParam<HandCase> {};

TEST_P(DecodesByHand, FirstPixels) {
  const HandCase& c = GetParam();
  const auto* input = reinterpret_cast<const std::byte*>(c.input.data());
  std::uint8_t palette[1024] = {0, 0, 0, 0, 10, 20, 30, 0};
  Pixels out(64);
  if (const auto* block = std::get_if<BlockLayout>(&c.layout)) {
    DecodeBlockRow(*block, input, 4, 4, out.data(), 16);
  } else {
    const auto layout = std::get<PixelLayout>(c.layout);
    DecodePixelRow(layout, input, static_cast<std::uint32_t>(c.input.size() / PixelBytes(layout)),
                   reinterpret_cast<const std::byte*>(palette), out.data());
  }
  out.resize(c.bgra.size());
  EXPECT_EQ(out, c.bgra);
}

INSTANTIATE_TEST_SUITE_P(Layouts, DecodesByHand, testing::ValuesIn(kHandCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sodrel
