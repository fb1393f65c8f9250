#include <gtest/gtest.h>

#include <cstdlib>

#include "dds/BlockDecoders.h"
#include "dds/DdsFields.h"
#include "dds/LevelDecoder.h"
#include "preview/DdsDecode.h"
#include "tests/support/BlockModes.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/Rows.h"

namespace sodrel {
namespace {
using ::PrintTo;  // rows in an unnamed namespace print their names

using namespace test;
using enum BlockLayout;
using enum DxgiFormat;

constexpr std::uint32_t kWidth = 253, kHeight = 249;  // thousands of blocks, cut at both edges

struct PillowCase {
  std::string name;
  Bytes header;
  BlockLayout layout;
  int mode;  // forced into the low bits of every block; -1: blocks left as drawn
  int tolerance = 0;
};

std::vector<PillowCase> PillowCases() {
  const Bytes legacy = MakeDdsHeader(DdsFormat::Dxt1, kWidth, kHeight);
  std::vector<PillowCase> cases = {
      {"Dxt1", legacy, Bc1, -1},
      {"Dxt3", With(legacy, 84, dds_fields::FourCC("DXT3")), Bc2, -1},
      {"Dxt5", With(legacy, 84, dds_fields::FourCC("DXT5")), Bc3, -1},
      {"Bc4", With(legacy, 84, dds_fields::FourCC("ATI1")), Bc4Unsigned, -1},
      {"Bc5", With(legacy, 84, dds_fields::FourCC("ATI2")), Bc5Unsigned, -1}};
  const auto add = [&](std::string name, DxgiFormat dxgi, BlockLayout layout, int tolerance,
                       std::vector<int> modes) {
    for (int m : modes) {
      cases.push_back(
          {name + std::to_string(m), Dx10Header(kWidth, kHeight, dxgi), layout, m, tolerance});
    }
  };
  add("Bc7Mode", Bc7Unorm, Bc7, 0, {0, 1, 2, 3, 4, 5, 6, 7, 8});  // 8: reserved, a first byte of 0
  add("Bc6hUf16Mode", Bc6hUf16, Bc6hUnsigned, 1,
      {0, 1, 2, 6, 10, 14, 18, 22, 26, 30, 3, 7, 11, 15, 19, 23, 27, 31});
  // Pillow 9.4 leaves signed endpoints unextended after adding the differences: it is asked only
  // of modes 3 and 30, which store none, and 15, whose 16-bit endpoints need no extension.
  add("Bc6hSf16Mode", Bc6hSf16, Bc6hSigned, 1, {3, 30, 15});
  return cases;
}

// Random blocks for the whole texture, every one in `c.mode`.
Bytes RandomBlocks(const PillowCase& c) {
  const std::size_t size = BlockBytes(c.layout);
  Bytes blocks = Pattern((kWidth + 3) / 4 * ((kHeight + 3) / 4) * size, 1000 * c.mode + 7);
  for (std::size_t at = 0; c.mode >= 0 && at < blocks.size(); at += size) {
    if (c.layout == Bc7) {
      ForceBc7Mode(blocks[at], unsigned(c.mode));
    } else {
      ForceBc6hMode(blocks[at], unsigned(c.mode));
    }
  }
  return blocks;
}

class MatchesPillow : public testing::TestWithParam<PillowCase> {};

// Random blocks shown by the preview as Pillow shows them, every byte of B, G, R and A. BC6H
// within 1: Pillow interpolates without the format's rounding (+32).
TEST_P(MatchesPillow, OnRandomBlocks) {
  const PillowCase& c = GetParam();
  TempFolder folder;
  WriteFile(folder / "t.dds", Concat(c.header, RandomBlocks(c)));
  const std::string command =
      "cd '" + folder.path().string() +
      R"(' && /usr/bin/python3 -c 'from PIL import Image; open("t.bgra", "wb").write()"
      R"(Image.open("t.dds").convert("RGBA").tobytes("raw", "BGRA"))')";
  ASSERT_EQ(std::system(command.c_str()), 0)
      << "needs Pillow for /usr/bin/python3 (Debian: apt-get install python3-pil)";
  Bytes theirs = ReadFile(folder / "t.bgra"), ours(kWidth * kHeight * 4);
  // Pillow 9.4 makes the reserved BC7 mode opaque black; the format defines all zeros.
  if (c.name == "Bc7Mode8") theirs.assign(theirs.size(), std::byte{0});
  const DecodedDds decoded = DecodeDds(folder / "t.dds");
  FIBITMAP* dib = decoded.bitmap.get();
  ASSERT_TRUE(dib && FreeImage_GetBPP(dib) == 32 && FreeImage_GetWidth(dib) == kWidth &&
              FreeImage_GetHeight(dib) == kHeight);
  FreeImage_ConvertToRawBits(reinterpret_cast<BYTE*>(ours.data()), dib, kWidth * 4, 32, 0xFF0000,
                             0xFF00, 0xFF, TRUE);  // top row first, as Pillow's
  ASSERT_EQ(ours.size(), theirs.size());
  std::size_t wrong = 0, first = 0;
  for (std::size_t b = 0; b < ours.size(); ++b) {
    if (std::abs(int(ours[b]) - int(theirs[b])) > c.tolerance && wrong++ == 0) first = b;
  }
  EXPECT_EQ(wrong, 0u) << "first at x " << first / 4 % kWidth << ", y " << first / 4 / kWidth
                       << ", channel " << std::string(1, "BGRA"[first % 4]) << ": ours "
                       << int(ours[first]) << ", Pillow's " << int(theirs[first]);
}

SODREL_NAMED_ROWS(Layouts, MatchesPillow, PillowCases());

}  // namespace
}  // namespace sodrel

namespace sodrel {
namespace {

// Random rows of every layout family decoded on 1, 3 and 7 threads, from a row inside a row of
// blocks: the same pixels each time.
TEST(LevelDecoder, GivesTheSamePixelsOnAnyNumberOfThreads) {
  using test::Dx10Header;
  TempFolder folder;
  for (const DxgiFormat format :
       {DxgiFormat::Bc1Unorm, DxgiFormat::Bc4Unorm, DxgiFormat::Bc6hUf16, DxgiFormat::Bc7Unorm,
        DxgiFormat::B8G8R8A8Unorm, DxgiFormat::R16G16B16A16Float}) {
    const Bytes header = test::Dx10Header(1001, 203, format);
    const DdsTexture texture = InspectDds(header, UINT32_MAX);
    ASSERT_TRUE(texture.ok()) << int(format);
    test::WriteFile(folder / "t.dds",
                    test::Concat(header, test::Pattern(texture.top().bytes(), 3)));
    InputFile file;
    ASSERT_TRUE(file.Open(folder / "t.dds").ok());
    std::vector<std::vector<std::uint8_t>> decoded;
    for (unsigned threads : {1u, 3u, 7u}) {
      LevelDecoder decoder(file.fd(), 0, texture, texture.top());
      decoded.emplace_back(1001 * 201 * 4);
      ASSERT_TRUE(decoder.Decode(1, 201, decoded.back().data(), threads).ok());
    }
    EXPECT_EQ(decoded[0], decoded[1]) << int(format);
    EXPECT_EQ(decoded[0], decoded[2]) << int(format);
  }
}

}  // namespace
}  // namespace sodrel
