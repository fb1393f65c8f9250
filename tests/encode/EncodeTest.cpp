#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>

#include "dds/BlockDecoders.h"
#include "dds/DdsFields.h"
#include "encode/Bc7Encoder.h"
#include "encode/BlockEncoder.h"
#include "encode/MipChain.h"
#include "encode/PixelPacker.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/Rows.h"

namespace sodrel {
namespace {
using ::PrintTo;  // rows in an unnamed namespace print their names

using namespace test;
using enum BlockEncoding;

constexpr std::uint32_t kWidth = 61, kHeight = 37;  // edge blocks cut at both sides
// Both colours are exact in 5:6:5, so every layout stores them without loss.
constexpr std::uint8_t kFlat[4] = {206, 162, 49, 255}, kOther[4] = {16, 40, 247, 255};

RgbaImage Picture(std::uint32_t width, std::uint32_t height) {
  RgbaImage image{width, height, std::vector<std::uint8_t>(4 * width * height)};
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint8_t* p = &image.pixels[4 * (y * width + x)];
      const std::uint8_t* two = x < 6 ? kFlat : kOther;  // block (1, 0): two colours
      // The corner is an edge block of one pixel: only it counts, so it comes out exact.
      if (x == width - 1 && y == height - 1) {
        std::copy(kFlat, kFlat + 4, p);
        continue;
      }
      if (y < 4 && x < 8) {
        std::copy(x < 4 ? kFlat : two, (x < 4 ? kFlat : two) + 4, p);
        continue;
      }
      // Gradients, the edges of a checker board and an alpha ramp below a sharp alpha edge.
      p[0] = std::uint8_t(x * 255 / (width - 1));
      p[1] = std::uint8_t(y * 255 / (height - 1));
      p[2] = (x / 8 + y / 8) % 2 ? 220 : 30;
      p[3] = y < height / 2 ? 255 : std::uint8_t(x * 255 / (width - 1));
    }
  }
  return image;
}

struct EncodeCase {
  std::string name;
  BlockEncoding encoding;
  Bytes header;
  unsigned channels;   // compared from red on: 1 BC4, 2 BC5, 3 colour alone, 4 with alpha
  double minimumPsnr;  // about 2 dB below what was measured
  int twoColourTolerance = 0;
};

std::vector<EncodeCase> EncodeCases() {
  const Bytes dxt1 = MakeDdsHeader(DdsFormat::Dxt1, kWidth, kHeight);
  return {
      {"Bc1", Bc1, dxt1, 3, 36},
      {"Bc1WithAlpha", Bc1WithAlpha, dxt1, 3, 36},
      {"Bc2", Bc2, MakeDdsHeader(DdsFormat::Dxt3, kWidth, kHeight), 4, 36},
      {"Bc3", Bc3, MakeDdsHeader(DdsFormat::Dxt5, kWidth, kHeight), 4, 37},
      {"Bc4", Bc4, With(dxt1, dds_fields::kFourCCAt, dds_fields::FourCC("ATI1")), 1, 50},
      {"Bc5", Bc5, With(dxt1, dds_fields::kFourCCAt, dds_fields::FourCC("ATI2")), 2, 50},
      {"Bc7", Bc7, Dx10Header(kWidth, kHeight, DxgiFormat::Bc7Unorm), 4, 41, 1},
  };
}

class EncodesAsPillowDecodes : public testing::TestWithParam<EncodeCase> {};

// Pillow decodes what we encode: the flat block and the corner exactly, the two-colour block
// within the row's tolerance, the whole picture within its PSNR; BC1 opaque, BC1 with alpha cut at
// 128.
TEST_P(EncodesAsPillowDecodes, Picture) {
  const EncodeCase& c = GetParam();
  const RgbaImage picture = Picture(kWidth, kHeight);
  const std::vector<std::byte> blocks = EncodeBlocks(picture, c.encoding, 2);
  ASSERT_EQ(blocks.size(), 16 * 10 * EncodedBlockBytes(c.encoding));
  TempFolder folder;
  WriteFile(folder / "t.dds", Concat(c.header, blocks));
  const std::string command =
      "cd '" + folder.path().string() +
      R"(' && /usr/bin/python3 -c 'from PIL import Image; open("t.rgba", "wb").write()"
      R"(Image.open("t.dds").convert("RGBA").tobytes())')";
  ASSERT_EQ(std::system(command.c_str()), 0) << "needs Pillow for /usr/bin/python3";
  const Bytes decoded = ReadFile(folder / "t.rgba");
  ASSERT_EQ(decoded.size(), picture.pixels.size());
  double squared = 0, count = 0;
  for (std::size_t i = 0; i < decoded.size(); ++i) {
    const std::uint32_t x = i / 4 % kWidth, y = i / 4 / kWidth;
    const int ours = int(decoded[i]), original = picture.pixels[i];
    const int alpha = picture.pixels[i | 3];
    if (i % 4 == 3 && (c.encoding == Bc1 || c.encoding == Bc1WithAlpha)) {
      ASSERT_EQ(ours, c.encoding == Bc1 || alpha >= 128 ? 255 : 0) << "x " << x << ", y " << y;
    }
    if (i % 4 >= c.channels || (c.encoding == Bc1WithAlpha && alpha < 128)) continue;
    if ((y < 4 && x < 8) || i / 4 == kWidth * kHeight - 1) {
      ASSERT_NEAR(ours, original, x < 4 || x == kWidth - 1 ? 0 : c.twoColourTolerance)
          << "x " << x << ", y " << y;
    }
    squared += (ours - original) * (ours - original), ++count;
  }
  EXPECT_GE(10 * std::log10(255.0 * 255.0 * count / std::max(squared, 1.0)), c.minimumPsnr);
}

SODREL_NAMED_ROWS(Encodings, EncodesAsPillowDecodes, EncodeCases());

// Every BC7 block, edge blocks and all, decodes with our decoder to what the encoder chose it by;
// the picture and noisy blocks between them use each of the modes the encoder writes.
TEST(Bc7Encoder, DecodesToWhatItChose) {
  const RgbaImage picture = Picture(64, 64);
  const Bytes noise = Pattern(64 * 200, 7);
  std::set<int> modes;
  for (int b = 0; b < 256 + 200; ++b) {
    std::uint8_t pixels[64];
    for (int i = 0; i < 16; ++i) {
      for (int c = 0; c < 4; ++c) {
        pixels[4 * i + c] =
            b < 256 ? picture.pixels[4 * ((b / 16 * 4 + i / 4) * 64 + b % 16 * 4 + i % 4) + c]
                    : std::uint8_t(int(noise[64 * (b - 256) + 4 * i + c]) / (b % 3 + 1) +
                                   (c == 3 && b % 2 ? 255 : 0));
      }
    }
    const auto counted = static_cast<std::uint16_t>(b % 5 == 0 ? 0x0777 : 0xFFFF);
    std::byte block[16];
    std::uint8_t chosen[64], bgra[64];
    EncodeBc7Block(pixels, counted, block, chosen);
    DecodeBc7Block(block, bgra);
    for (int i = 0; i < 64; ++i) {
      ASSERT_EQ(int(bgra[i / 4 * 4 + (i % 4 == 3 ? 3 : 2 - i % 4)]), int(chosen[i]))
          << "block " << b;
    }
    modes.insert(std::countr_zero(std::to_integer<unsigned>(block[0])));
  }
  EXPECT_EQ(modes, (std::set<int>{1, 3, 4, 5, 6, 7}));
}

struct PackCase {
  std::string name;
  PixelPacking packing;
  std::vector<int> bytes;  // of the pixel R 200, G 100, B 50, A 128, worked out by hand
};

// Each channel rounded to the nearest of its levels: B4G4R4A4 stores 12, 6, 3, 8 where
// truncating would store 11, 5, 2, 7; 200 in 5 bits is 24 (widened back 198), not 25 (206).
std::vector<PackCase> PackCases() {
  return {
      {"L8_R8", {8, {0xFF, 0, 0, 0}}, {200}},
      {"A8", {8, {0, 0, 0, 0xFF}}, {128}},
      {"L8A8", {16, {0xFF, 0, 0, 0xFF00}}, {200, 128}},
      {"R8G8", {16, {0xFF, 0xFF00, 0, 0}}, {200, 100}},
      {"B5G6R5", {16, {0xF800, 0x7E0, 0x1F, 0}}, {0x26, 0xC3}},
      {"B5G5R5A1", {16, {0x7C00, 0x3E0, 0x1F, 0x8000}}, {0x86, 0xE1}},
      {"B4G4R4A4", {16, {0xF00, 0xF0, 0xF, 0xF000}}, {0x63, 0x8C}},
      {"B8G8R8A8", {32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}}, {50, 100, 200, 128}},
      {"B8G8R8X8", {32, {0xFF0000, 0xFF00, 0xFF, 0}}, {50, 100, 200, 0}},
      {"R8G8B8A8", {32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}}, {200, 100, 50, 128}},
      {"R10G10B10A2", {32, {0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000}}, {0x22, 0x47, 0x96, 0x8C}},
      {"B8G8R8", {24, {0xFF0000, 0xFF00, 0xFF, 0}}, {50, 100, 200}},
      {"R8G8B8", {24, {0xFF, 0xFF00, 0xFF0000, 0}}, {200, 100, 50}},
  };
}

class PacksPixels : public testing::TestWithParam<PackCase> {};

// Two pixels a row, two rows, the pitch 3 bytes past the packed row: zeros.
TEST_P(PacksPixels, RoundedIntoEachMask) {
  const PackCase& c = GetParam();
  const RgbaImage image{
      2, 2, {200, 100, 50, 128, 200, 100, 50, 128, 200, 100, 50, 128, 200, 100, 50, 128}};
  const auto pitch = static_cast<std::uint32_t>(2 * c.bytes.size() + 3);
  std::vector<int> expected;
  for (int row = 0; row < 2; ++row) {
    for (int pixel = 0; pixel < 2; ++pixel)
      expected.insert(expected.end(), c.bytes.begin(), c.bytes.end());
    expected.insert(expected.end(), 3, 0);
  }
  std::vector<int> packed;
  for (std::byte b : PackPixels(image, c.packing, pitch)) packed.push_back(int(b));
  EXPECT_EQ(packed, expected);
  EXPECT_TRUE(PackPixels(image, c.packing, pitch - 4).empty()) << "a pitch shorter than the row";
}

SODREL_NAMED_ROWS(Layouts, PacksPixels, PackCases());

TEST(PackPixels, RefusesPackingsNoPixelHolds) {
  const RgbaImage image{1, 1, {1, 2, 3, 4}};
  for (const PixelPacking& p :
       {PixelPacking{12, {0xFF, 0, 0, 0}}, PixelPacking{16, {0xFF, 0x1F0, 0, 0}},
        PixelPacking{16, {0x1FF00, 0, 0, 0}}, PixelPacking{16, {0x505, 0, 0, 0}},
        PixelPacking{32, {}}}) {
    EXPECT_TRUE(PackPixels(image, p, 4).empty())
        << p.bitCount << " " << p.masks[0] << " " << p.masks[1];
  }
  EXPECT_TRUE(PackPixels({2, 1, {1, 2, 3, 4}}, {32, {0xFF, 0, 0, 0}}, 8).empty())
      << "pixels missing";
}

// 5 x 3 halves to 2 x 1 (the last column and row weighted in) and to 1 x 1, and no further.
TEST(MakeMipChain, OddSidesCountEveryPixel) {
  RgbaImage top{5, 3, std::vector<std::uint8_t>(60, 255)};
  for (int i = 0; i < 15; ++i) {
    top.pixels[4 * i] = std::uint8_t(i % 5 < 2 ? 30 : i % 5 < 4 ? 120 : 210);
    top.pixels[4 * i + 1] = std::uint8_t(i < 10 ? 0 : 90);
  }
  const std::vector<RgbaImage> chain = MakeMipChain(top, 5, false);
  ASSERT_EQ(chain.size(), 3u);
  ASSERT_EQ(chain[1].width * 10 + chain[1].height, 21u);
  EXPECT_EQ(std::vector<int>(chain[1].pixels.begin(), chain[1].pixels.end()),
            (std::vector<int>{30, 30, 255, 255, 150, 30, 255, 255}));
  ASSERT_EQ(chain[2].width * chain[2].height, 1u);
  EXPECT_EQ(chain[2].pixels[0], 90);
}

// Transparent pixels' colour does not bleed into visible ones; sRGB averages in linear light.
TEST(MakeMipChain, WeighsByAlphaAndLinearLight) {
  const RgbaImage top{2, 2, {255, 0, 0, 0, 0, 0, 255, 255, 0, 0, 0, 0, 0, 255, 0, 0}};
  const RgbaImage level = MakeMipChain(top, 2, false)[1];
  EXPECT_EQ(std::vector<int>(level.pixels.begin(), level.pixels.end()),
            (std::vector<int>{0, 0, 255, 64}));
  const RgbaImage grey{2, 1, {0, 0, 0, 255, 255, 255, 255, 255}};
  EXPECT_EQ(MakeMipChain(grey, 2, true)[1].pixels[0], 188);
  EXPECT_EQ(MakeMipChain(grey, 2, false)[1].pixels[0], 128);
  const RgbaImage clear{2, 1, {200, 0, 0, 0, 100, 0, 0, 0}};
  EXPECT_EQ(MakeMipChain(clear, 2, false)[1].pixels[0], 150) << "all transparent: plain average";
}

}  // namespace
}  // namespace sodrel
