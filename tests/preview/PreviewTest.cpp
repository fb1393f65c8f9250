#include "preview/Preview.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <chrono>

#include "container/TextureContainer.h"
#include "preview/MFreeImage.h"
#include "tests/support/DdsWriter.h"
#include "workfiles/WorkingFiles.h"

namespace sodrel {
namespace {

using test::Bytes;
using test::DdsFormat;
using test::kBlue;
using test::kGreen;
using test::kRed;
using test::MakeDds;
using test::ReadFile;
using test::Rgb;
using test::With;
using test::WriteFile;
namespace fs = std::filesystem;

struct RecordingSink : PictureSink {
  void ShowPicture(const QImage& shown) override {
    ++calls;
    picture = shown;
  }
  int calls = 0;
  QImage picture;
};

Rgb At(const QImage& image, int x, int y) {
  const QColor c = image.pixelColor(x, y);
  return {c.red(), c.green(), c.blue()};
}

class Previewing : public testing::Test {
 protected:
  // Writes `dds` as the current container's exported file and previews it.
  PreviewResult Preview(const Bytes& dds) {
    WriteFile(WithSuffix(current, kExportSuffix), dds);
    return PreviewExported(current, program.path(), sink);
  }
  fs::path Work(WorkFile file) const { return WorkFilePath(program.path(), file); }
  std::set<std::string> WorkingFiles() const { return test::Entries(program / "Temp"); }

  test::ProgramFolder program;
  fs::path current = program / "a.bin";
  RecordingSink sink;
};

template <typename Case>
class PreviewingEach : public Previewing, public testing::WithParamInterface<Case> {};

const auto kCaseName = [](const auto& info) { return std::string(info.param.name); };

struct TextureCase {
  const char* name;
  DdsFormat format;
  std::uint32_t width, height;
  int shownWidth, shownHeight;
  int rightRows;  // top rows the library decodes faithfully
  friend void PrintTo(const TextureCase& c, std::ostream* os) { *os << c.name; }
};

using ShowsTexture = PreviewingEach<TextureCase>;

TEST_P(ShowsTexture, AtItsSizeWithEveryPixelsColour) {
  const TextureCase& c = GetParam();
  // Red, blue, green and white quarters: a picture flipped or mirrored anywhere shows it.
  const auto colourAt = [&](std::uint32_t x, std::uint32_t y) {
    if (test::IsBlockFormat(c.format)) x = x / 4 * 4, y = y / 4 * 4;
    if (y < c.height / 2) return x < c.width / 2 ? kRed : kBlue;
    return x < c.width / 2 ? kGreen : test::kWhite;
  };
  ASSERT_TRUE(Preview(MakeDds(c.format, c.width, c.height, colourAt)).shown());
  ASSERT_EQ(sink.calls, 1);
  ASSERT_EQ(sink.picture.size(), QSize(c.shownWidth, c.shownHeight));
  for (int y = 0; y < c.rightRows; ++y) {
    for (int x = 0; x < c.shownWidth; ++x) {
      ASSERT_EQ(At(sink.picture, x, y), colourAt(x, y)) << "at " << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ShowsTexture,
    testing::Values(TextureCase{"Rgb24_4x4", DdsFormat::Rgb24, 4, 4, 4, 4, 4},
                    TextureCase{"Rgb24OddSides_3x5", DdsFormat::Rgb24, 3, 5, 3, 5, 5},
                    TextureCase{"Rgb32_8x4", DdsFormat::Rgb32, 8, 4, 8, 4, 4},
                    TextureCase{"Dxt1_4x4", DdsFormat::Dxt1, 4, 4, 4, 4, 4},
                    TextureCase{"Dxt1_512x128", DdsFormat::Dxt1, 512, 128, 512, 128, 128},
                    TextureCase{"Dxt3_8x4", DdsFormat::Dxt3, 8, 4, 8, 4, 4},
                    TextureCase{"Dxt5_256x256", DdsFormat::Dxt5, 256, 256, 256, 256, 256},
                    TextureCase{"Dxt5HeightRoundsDown_8x30", DdsFormat::Dxt5, 8, 30, 8, 28, 28},
                    // The library reads only the whole blocks of each row, not the part block
                    // ending it: from the second block row on, blocks shift left.
                    TextureCase{"Dxt5WidthRoundsDown_30x30", DdsFormat::Dxt5, 30, 30, 28, 28, 4}),
    kCaseName);

TEST_F(Previewing, Rgb32RowsAreShownAsStoredWhateverTheMasksSay) {
  ASSERT_TRUE(
      Preview(With(With(MakeDds(DdsFormat::Rgb32, 4, 4, kRed), 92, 0xFF), 100, 0xFF0000)).shown());
  EXPECT_EQ(At(sink.picture, 0, 0), kRed);
}

// Past Qt's default limit of 128 MiB for reading one image.
TEST_F(Previewing, ATextureOfMoreThan128MiBOfPixelsIsShown) {
  ASSERT_TRUE(Preview(MakeDds(DdsFormat::Dxt1, 8192, 4100, kBlue)).shown());
  EXPECT_EQ(sink.picture.size(), QSize(8192, 4100));
  EXPECT_EQ(At(sink.picture, 8191, 4099), kBlue);
}

struct RefusalCase {
  const char* name;
  Bytes dds;
  PreviewOutcome outcome;
  DdsCheck check;
  friend void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }
};

using Refuses = PreviewingEach<RefusalCase>;

TEST_P(Refuses, QuicklyAndKeepsTheEarlierPicture) {
  ASSERT_TRUE(Preview(MakeDds(DdsFormat::Dxt1, 8, 8, kGreen)).shown());
  const Bytes earlierBmp = ReadFile(Work(WorkFile::PictureLoadBmp));

  const auto start = std::chrono::steady_clock::now();
  const PreviewResult result = Preview(GetParam().dds);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(result.outcome, GetParam().outcome);
  EXPECT_EQ(result.check, GetParam().check);
  EXPECT_EQ(sink.calls, 1);
  EXPECT_EQ(At(sink.picture, 0, 0), kGreen);
  EXPECT_EQ(ReadFile(Work(WorkFile::PictureLoadBmp)), earlierBmp);
  EXPECT_EQ(ReadFile(Work(WorkFile::PictureDds)), GetParam().dds);
  EXPECT_EQ(WorkingFiles(), (std::set<std::string>{"Picture.dds", "PictureLoad.bmp"}));
}

const Bytes kDxt1 = MakeDds(DdsFormat::Dxt1, 8, 8, kBlue);
const Bytes kDxt5 = MakeDds(DdsFormat::Dxt5, 64, 64, kBlue);
constexpr auto kRejected = PreviewOutcome::Rejected;

INSTANTIATE_TEST_SUITE_P(
    Files, Refuses,
    testing::Values(
        RefusalCase{"Width2To31", With(kDxt1, 16, 0x80000000), kRejected, DdsCheck::BadDimensions},
        RefusalCase{"WidthAllOnes", With(kDxt1, 16, 0xFFFFFFFF), kRejected,
                    DdsCheck::BadDimensions},
        RefusalCase{"HeightPastLimit", With(kDxt1, 12, 1 << 20), kRejected,
                    DdsCheck::BadDimensions},
        RefusalCase{"ZeroWidth", With(kDxt1, 16, 0), kRejected, DdsCheck::BadDimensions},
        RefusalCase{"HugeSidesTinyPayload", With(With(kDxt1, 16, 16384), 12, 16384), kRejected,
                    DdsCheck::TruncatedSurface},
        RefusalCase{"TruncatedPayload", test::Slice(kDxt5, 0, kDxt5.size() - 1), kRejected,
                    DdsCheck::TruncatedSurface},
        RefusalCase{"WrongMagic", With(kDxt1, 0, 0x20534443), kRejected, DdsCheck::BadMagic},
        RefusalCase{"WrongHeaderSize", With(kDxt1, 4, 128), kRejected, DdsCheck::BadHeaderSize},
        RefusalCase{"WrongPixelFormatSize", With(kDxt1, 76, 0), kRejected,
                    DdsCheck::BadPixelFormatSize},
        RefusalCase{"ShorterThanHeader", test::Slice(kDxt1, 0, 127), kRejected,
                    DdsCheck::TooShortForHeader},
        RefusalCase{"Empty", {}, kRejected, DdsCheck::TooShortForHeader},
        RefusalCase{"Ati2", With(kDxt5, 84, 0x32495441), kRejected, DdsCheck::UnsupportedFormat},
        RefusalCase{"RgbBitCount12", With(MakeDds(DdsFormat::Rgb24, 4, 4, kBlue), 88, 12),
                    kRejected, DdsCheck::UnsupportedFormat},
        // Passed by the check, but below one whole block the library gives no bitmap.
        RefusalCase{"Dxt1_2x2", MakeDds(DdsFormat::Dxt1, 2, 2, kBlue), PreviewOutcome::NotDecoded,
                    DdsCheck::Accepted},
        RefusalCase{"Dxt5_4x2", MakeDds(DdsFormat::Dxt5, 4, 2, kBlue), PreviewOutcome::NotDecoded,
                    DdsCheck::Accepted}),
    kCaseName);

TEST_F(Previewing, TwoPreviewsInARowReplaceTheCopyTheBmpAndThePicture) {
  ASSERT_TRUE(Preview(MakeDds(DdsFormat::Dxt1, 8, 8, kRed)).shown());
  const Bytes firstBmp = ReadFile(Work(WorkFile::PictureLoadBmp));
  const Bytes second = MakeDds(DdsFormat::Rgb24, 4, 4, kBlue);
  ASSERT_TRUE(Preview(second).shown());
  EXPECT_EQ(ReadFile(Work(WorkFile::PictureDds)), second);
  EXPECT_NE(ReadFile(Work(WorkFile::PictureLoadBmp)), firstBmp);
  EXPECT_EQ(sink.calls, 2);
  EXPECT_EQ(sink.picture.size(), QSize(4, 4));
  EXPECT_EQ(At(sink.picture, 3, 3), kBlue);
}

TEST_F(Previewing, NoExportedFileOrNoWorkingFolderStopsBeforeTheLibrary) {
  ASSERT_TRUE(Preview(MakeDds(DdsFormat::Dxt1, 8, 8, kRed)).shown());
  fs::remove(WithSuffix(current, kExportSuffix));
  EXPECT_EQ(PreviewExported(current, program.path(), sink).outcome, PreviewOutcome::CopyFailed);
  EXPECT_EQ(PreviewExported("", program.path(), sink).outcome, PreviewOutcome::CopyFailed);
  fs::remove_all(program / "Temp");
  EXPECT_EQ(Preview(MakeDds(DdsFormat::Dxt1, 8, 8, kBlue)).outcome, PreviewOutcome::CopyFailed);
  EXPECT_EQ(sink.calls, 1);
  EXPECT_EQ(At(sink.picture, 0, 0), kRed);
}

TEST_F(Previewing, AFailedSaveShowsNothingAndLeavesNoTemporaryFile) {
  fs::create_directory(Work(WorkFile::PictureLoadBmp));
  WriteFile(Work(WorkFile::PictureLoadBmp) / "inside", test::Pattern(3));
  EXPECT_EQ(Preview(MakeDds(DdsFormat::Dxt1, 8, 8, kRed)).outcome, PreviewOutcome::SaveFailed);
  EXPECT_EQ(sink.calls, 0);
  EXPECT_EQ(WorkingFiles(), (std::set<std::string>{"Picture.dds", "PictureLoad.bmp"}));
  EXPECT_EQ(ReadFile(Work(WorkFile::PictureLoadBmp) / "inside"), test::Pattern(3));
}

TEST_F(Previewing, ALinkPlantedAtTheBmpNameIsReplacedAndItsTargetUntouched) {
  WriteFile(program / "victim", test::Pattern(40));
  fs::create_symlink(program / "victim", Work(WorkFile::PictureLoadBmp));
  ASSERT_TRUE(Preview(MakeDds(DdsFormat::Dxt1, 8, 8, kRed)).shown());
  EXPECT_EQ(ReadFile(program / "victim"), test::Pattern(40));
  EXPECT_FALSE(fs::is_symlink(Work(WorkFile::PictureLoadBmp)));
}

TEST_F(Previewing, ImportedFileWithoutExtensionIsDecodedAsDdsInPlace) {
  EXPECT_EQ(PreviewImported(program.path(), sink).check, DdsCheck::Unreadable);
  WriteFile(Work(WorkFile::PictureImportFile), MakeDds(DdsFormat::Dxt5, 16, 8, kBlue));
  ASSERT_TRUE(PreviewImported(program.path(), sink).shown());
  EXPECT_EQ(sink.picture.size(), QSize(16, 8));
  EXPECT_EQ(At(sink.picture, 15, 7), kBlue);
  EXPECT_EQ(WorkingFiles(), (std::set<std::string>{"PictureImportFile", "PictureLoad.bmp"}));
}

TEST(PreviewFolders, AProgramFolderWithNonAsciiLettersWorks) {
  test::TempFolder root;
  const fs::path program = root / "Tëxtür 纹理";
  fs::create_directories(program / "Temp");
  const fs::path current = program / "текстура.bin";
  WriteFile(WithSuffix(current, kExportSuffix), MakeDds(DdsFormat::Dxt1, 8, 4, kGreen));
  RecordingSink sink;
  ASSERT_TRUE(PreviewExported(current, program, sink).shown());
  EXPECT_EQ(At(sink.picture, 7, 3), kGreen);
}

TEST(MFreeImageSave, IsTrueOnlyForAWrittenFileAndNeverTouchesAFileForANullBitmap) {
  test::TempFolder folder;
  WriteFile(folder / "a.dds", MakeDds(DdsFormat::Dxt1, 4, 4, kRed));
  WriteFile(folder / "keep.bmp", test::Pattern(10));
  const MFreeImage::Bitmap bitmap = MFreeImage::Load(FIF_DDS, (folder / "a.dds").c_str(), 0);
  ASSERT_TRUE(bitmap);
  EXPECT_FALSE(MFreeImage::Save(FIF_BMP, nullptr, (folder / "keep.bmp").c_str(), 0));
  EXPECT_EQ(ReadFile(folder / "keep.bmp"), test::Pattern(10));
  EXPECT_FALSE(MFreeImage::Save(FIF_BMP, bitmap.get(), (folder / "no/x.bmp").c_str(), 0));
  EXPECT_TRUE(MFreeImage::Save(FIF_BMP, bitmap.get(), (folder / "x.bmp").c_str(), 0));
  EXPECT_EQ(QImage((folder / "x.bmp").c_str()).size(), QSize(4, 4));
}

}  // namespace
}  // namespace sodrel
