#include "preview/Preview.h"

#include <gtest/gtest.h>

#include <QImage>
#include <chrono>
#include <cstdlib>

#include "container/TextureContainer.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/RecordingSink.h"
#include "workfiles/WorkingFiles.h"

namespace sodrel {
namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr Rgb kBlack{0, 0, 0}, kYellow{255, 255, 0}, kCyan{0, 255, 255}, kMagenta{255, 0, 255};
const Rgb kPalette[] = {kRed, kGreen, kBlue, kWhite, kYellow, kCyan, kMagenta, kBlack};

// Every 4x4 block a colour of its own, exact in every format.
Rgb ByBlock(std::uint32_t x, std::uint32_t y) {
  return kPalette[(x / 4 + 3 * (y / 4)) % 8];
}
// Every pixel a colour of its own.
Rgb ByPixel(std::uint32_t x, std::uint32_t y) {
  return kPalette[(x + 3 * y) % 8];
}
Rgb Grey(std::uint32_t x, std::uint32_t y) {
  const int level = static_cast<int>(x * 40 + y * 7) % 256;
  return {level, level, level};
}

// A 4x4 DXT3 or DXT5 file of one block: an opaque alpha half, then a colour half whose texel
// (x, y) uses index x.
Bytes FourIndexBlock(DdsFormat format, std::uint16_t c0, std::uint16_t c1) {
  Bytes dds = MakeDdsHeader(format, 4, 4);
  const int alpha[8] = {255, 255, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 8; ++i) dds.push_back(std::byte(format == DdsFormat::Dxt3 ? 255 : alpha[i]));
  for (int b : {c0 & 0xFF, c0 >> 8, c1 & 0xFF, c1 >> 8}) dds.push_back(std::byte(b));
  for (int i = 0; i < 4; ++i) dds.push_back(std::byte(0xE4));  // indices 0, 1, 2, 3 in each row
  return dds;
}

// c0 blue and c1 red: the four colours of the format, by index.
Rgb BlueToRed(std::uint32_t x, std::uint32_t) {
  const Rgb colours[] = {kBlue, kRed, {85, 0, 170}, {170, 0, 85}};
  return colours[x];
}

struct TextureCase {
  const char* name;
  Bytes dds;
  int width, height;
  ColourAt colour;
  friend void PrintTo(const TextureCase& c, std::ostream* os) { *os << c.name; }
};

class ShowsTexture : public testing::TestWithParam<TextureCase> {};

// The picture written to PictureLoad.bmp has the texture's size and every pixel's colour, as the
// format defines it (within 2 for the colours DXT blocks interpolate).
TEST_P(ShowsTexture, AtItsSizeWithEveryPixelsColour) {
  const TextureCase& c = GetParam();
  ProgramFolder program;
  WriteFile(WorkFilePath(program.path(), WorkFile::PictureImportFile), c.dds);
  RecordingSink sink;
  ASSERT_TRUE(PreviewImported(program.path(), sink).shown());
  const QImage bmp(QString::fromStdString(WorkFilePath(program.path(), WorkFile::PictureLoadBmp)));
  ASSERT_EQ(bmp.size(), QSize(c.width, c.height));
  for (int y = 0; y < c.height; ++y) {
    for (int x = 0; x < c.width; ++x) {
      const QColor got = bmp.pixelColor(x, y);
      const Rgb want = c.colour(x, y);
      ASSERT_LE(std::abs(got.red() - want.r) + std::abs(got.green() - want.g) +
                    std::abs(got.blue() - want.b),
                2)
          << "at " << x << "," << y << ": " << got.name().toStdString();
    }
  }
}

// A DX10 cube map of six faces, the first of them ByBlock and the others white.
Bytes CubeMap() {
  Bytes dds = Concat(Dx10Header(8, 8, 77, 4), Blocks(DdsFormat::Dxt5, 8, 8, ByBlock));
  for (int face = 1; face < 6; ++face) dds = Concat(dds, Blocks(DdsFormat::Dxt5, 8, 8, ByPixel));
  return dds;
}

Bytes Uncompressed(std::uint32_t flags, std::uint32_t bits, const Masks& masks,
                   const ColourAt& colour = ByPixel) {
  return Concat(UncompressedHeader(5, 3, flags, bits, masks), Pixels(5, 3, bits, masks, colour));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ShowsTexture,
    testing::Values(
        TextureCase{"Dxt5EndpointsAscending", FourIndexBlock(DdsFormat::Dxt5, 0x001F, 0xF800), 4, 4,
                    BlueToRed},
        TextureCase{"Dxt3EndpointsAscending", FourIndexBlock(DdsFormat::Dxt3, 0x001F, 0xF800), 4, 4,
                    BlueToRed},
        TextureCase{"Dxt5EndpointsEqual", FourIndexBlock(DdsFormat::Dxt5, 0x07E0, 0x07E0), 4, 4,
                    [](auto, auto) { return kGreen; }},
        TextureCase{"Dxt3EndpointsEqual", FourIndexBlock(DdsFormat::Dxt3, 0x07E0, 0x07E0), 4, 4,
                    [](auto, auto) { return kGreen; }},
        TextureCase{"Dxt1_6x6", MakeDds(DdsFormat::Dxt1, 6, 6, ByBlock), 6, 6, ByBlock},
        TextureCase{"Dxt5_6x6", MakeDds(DdsFormat::Dxt5, 6, 6, ByBlock), 6, 6, ByBlock},
        TextureCase{"Dxt1_5x3", MakeDds(DdsFormat::Dxt1, 5, 3, ByBlock), 5, 3, ByBlock},
        TextureCase{"Dxt5_5x3", MakeDds(DdsFormat::Dxt5, 5, 3, ByBlock), 5, 3, ByBlock},
        TextureCase{"Dxt1_2x2", MakeDds(DdsFormat::Dxt1, 2, 2, ByBlock), 2, 2, ByBlock},
        TextureCase{"Dxt5_1x1", MakeDds(DdsFormat::Dxt5, 1, 1, ByBlock), 1, 1, ByBlock},
        TextureCase{"Dxt1_30x10", MakeDds(DdsFormat::Dxt1, 30, 10, ByBlock), 30, 10, ByBlock},
        TextureCase{"R8G8B8A8", Uncompressed(0x41, 32, kRgba), 5, 3, ByPixel},
        TextureCase{"B8G8R8A8", Uncompressed(0x41, 32, kBgra), 5, 3, ByPixel},
        TextureCase{"R8G8B8", Uncompressed(0x40, 24, {0xFF, 0xFF00, 0xFF0000, 0}), 5, 3, ByPixel},
        TextureCase{"X8B8G8R8", Uncompressed(0x40, 32, {0xFF000000, 0xFF0000, 0xFF00, 0}), 5, 3,
                    ByPixel},
        TextureCase{"Packed555", Uncompressed(0x40, 16, {0x7C00, 0x3E0, 0x1F, 0}), 5, 3, ByPixel},
        TextureCase{"Packed565", Uncompressed(0x40, 16, {0xF800, 0x7E0, 0x1F, 0}), 5, 3, ByPixel},
        TextureCase{"Luminance8", Uncompressed(0x20000, 8, {0xFF, 0, 0, 0}, Grey), 5, 3, Grey},
        TextureCase{"Dx10Bc1", Concat(Dx10Header(6, 6, 71), Blocks(DdsFormat::Dxt1, 6, 6, ByBlock)),
                    6, 6, ByBlock},
        TextureCase{"Dx10Bc3", Concat(Dx10Header(8, 4, 78), Blocks(DdsFormat::Dxt5, 8, 4, ByBlock)),
                    8, 4, ByBlock},
        TextureCase{"Dx10R8G8B8A8", Concat(Dx10Header(5, 3, 28), Pixels(5, 3, 32, kRgba, ByPixel)),
                    5, 3, ByPixel},
        TextureCase{
            "Dx10B5G6R5",
            Concat(Dx10Header(5, 3, 85), Pixels(5, 3, 16, {0xF800, 0x7E0, 0x1F, 0}, ByPixel)), 5, 3,
            ByPixel},
        TextureCase{"Dx10CubeMapFirstFace", CubeMap(), 8, 8, ByBlock}),
    [](const auto& info) { return std::string(info.param.name); });

class Previewing : public testing::Test {
 protected:
  // Writes `dds` as the current container's exported file and previews it.
  PreviewResult Preview(const Bytes& dds) {
    WriteFile(WithSuffix(current, kExportSuffix), dds);
    return PreviewExported(current, program.path(), sink);
  }
  fs::path Work(WorkFile file) const { return WorkFilePath(program.path(), file); }
  std::set<std::string> WorkingFiles() const { return Entries(program / "Temp"); }

  ProgramFolder program;
  fs::path current = program / "a.bin";
  RecordingSink sink;
};

TEST_F(Previewing, ARefusedFileIsRefusedQuicklyAndKeepsTheEarlierPicture) {
  ASSERT_TRUE(Preview(MakeDds(DdsFormat::Dxt1, 8, 8, kGreen)).shown());
  const Bytes earlierBmp = ReadFile(Work(WorkFile::PictureLoadBmp));
  for (const Bytes& refused :
       {Concat(Dx10Header(4, 4, 98), Pattern(16)),
        With(With(MakeDds(DdsFormat::Dxt1, 8, 8, kBlue), 16, 16384), 12, 16384)}) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Preview(refused).outcome, PreviewOutcome::Rejected);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  }
  EXPECT_EQ(sink.calls, 1);
  EXPECT_EQ(sink.colour(), kGreen);
  EXPECT_EQ(ReadFile(Work(WorkFile::PictureLoadBmp)), earlierBmp);
  EXPECT_EQ(WorkingFiles(), (std::set<std::string>{"Picture.dds", "PictureLoad.bmp"}));
}

TEST_F(Previewing, TwoPreviewsInARowReplaceTheCopyTheBmpAndThePicture) {
  ASSERT_TRUE(Preview(MakeDds(DdsFormat::Dxt1, 8, 8, kRed)).shown());
  const Bytes firstBmp = ReadFile(Work(WorkFile::PictureLoadBmp));
  const Bytes second = MakeDds(DdsFormat::Rgb24, 4, 4, kBlue);
  ASSERT_TRUE(Preview(second).shown());
  EXPECT_EQ(ReadFile(Work(WorkFile::PictureDds)), second);
  EXPECT_NE(ReadFile(Work(WorkFile::PictureLoadBmp)), firstBmp);
  EXPECT_EQ(sink.calls, 2);
  EXPECT_EQ(sink.picture.size(), QSize(4, 4));
  EXPECT_EQ(sink.colour(3, 3), kBlue);
}

TEST_F(Previewing, NoExportedFileOrNoWorkingFolderStopsBeforeTheLibrary) {
  ASSERT_TRUE(Preview(MakeDds(DdsFormat::Dxt1, 8, 8, kRed)).shown());
  fs::remove(WithSuffix(current, kExportSuffix));
  EXPECT_EQ(PreviewExported(current, program.path(), sink).outcome, PreviewOutcome::CopyFailed);
  EXPECT_EQ(PreviewExported("", program.path(), sink).outcome, PreviewOutcome::CopyFailed);
  fs::remove_all(program / "Temp");
  EXPECT_EQ(Preview(MakeDds(DdsFormat::Dxt1, 8, 8, kBlue)).outcome, PreviewOutcome::CopyFailed);
  EXPECT_EQ(sink.calls, 1);
  EXPECT_EQ(sink.colour(), kRed);
}

TEST_F(Previewing, AFailedSaveShowsNothingAndLeavesNoTemporaryFile) {
  fs::create_directory(Work(WorkFile::PictureLoadBmp));
  WriteFile(Work(WorkFile::PictureLoadBmp) / "inside", Pattern(3));
  EXPECT_EQ(Preview(MakeDds(DdsFormat::Dxt1, 8, 8, kRed)).outcome, PreviewOutcome::SaveFailed);
  EXPECT_EQ(sink.calls, 0);
  EXPECT_EQ(WorkingFiles(), (std::set<std::string>{"Picture.dds", "PictureLoad.bmp"}));
  EXPECT_EQ(ReadFile(Work(WorkFile::PictureLoadBmp) / "inside"), Pattern(3));
}

TEST_F(Previewing, ALinkPlantedAtTheBmpNameIsReplacedAndItsTargetUntouched) {
  WriteFile(program / "victim", Pattern(40));
  fs::create_symlink(program / "victim", Work(WorkFile::PictureLoadBmp));
  ASSERT_TRUE(Preview(MakeDds(DdsFormat::Dxt1, 8, 8, kRed)).shown());
  EXPECT_EQ(ReadFile(program / "victim"), Pattern(40));
  EXPECT_FALSE(fs::is_symlink(Work(WorkFile::PictureLoadBmp)));
}

// Past Qt's default limit of 128 MiB for reading one image.
TEST_F(Previewing, ATextureOfMoreThan128MiBOfPixelsIsShown) {
  ASSERT_TRUE(Preview(MakeDds(DdsFormat::Dxt1, 8192, 4100, kBlue)).shown());
  EXPECT_EQ(sink.picture.size(), QSize(8192, 4100));
  EXPECT_EQ(sink.colour(8191, 4099), kBlue);
}

TEST(PreviewFolders, AProgramFolderWithNonAsciiLettersWorks) {
  TempFolder root;
  const fs::path program = root / "Tëxtür 纹理";
  fs::create_directories(program / "Temp");
  const fs::path current = program / "текстура.bin";
  WriteFile(WithSuffix(current, kExportSuffix), MakeDds(DdsFormat::Dxt1, 8, 4, kGreen));
  RecordingSink sink;
  ASSERT_TRUE(PreviewExported(current, program, sink).shown());
  EXPECT_EQ(sink.colour(7, 3), kGreen);
}

}  // namespace
}  // namespace sodrel
