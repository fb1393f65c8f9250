// Files the fuzzing of the preview (tests/fuzz) found the library reading past the end of, kept
// in tests/data/, and the header check's rules they led to: the file must hold every byte the
// library reads for the top surface.
#include <gtest/gtest.h>

#include <chrono>

#include "preview/DdsHeaderCheck.h"
#include "preview/Preview.h"
#include "tests/faults/Support.h"

namespace sodrel {
namespace {

using namespace test;
namespace fs = std::filesystem;

const fs::path kData = SODREL_TEST_DATA;

struct FoundCase {
  const char* file;
  DdsCheck check;
  friend void PrintTo(const FoundCase& c, std::ostream* os) { *os << c.file; }
};

const FoundCase kFound[] = {
    // 16-bit pixels: the library reads three bytes a pixel, the file holds two.
    {"dds-rgb16-two-bytes-a-pixel.dds", DdsCheck::TruncatedSurface},
    // A header pitch far larger than a row: the library seeks a pitch ahead for each row.
    {"dds-rgb8-pitch-past-end.dds", DdsCheck::TruncatedSurface},
};

class FoundByFuzzing : public testing::TestWithParam<FoundCase> {};

TEST_P(FoundByFuzzing, IsRefusedQuicklyBeforeTheLibrarySeesIt) {
  ProgramFolder program;
  fs::copy_file(kData / GetParam().file, program.work("PictureImportFile"));
  RecordingSink sink;
  const auto start = std::chrono::steady_clock::now();
  const PreviewResult result = PreviewImported(program.path(), sink);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(result.outcome, PreviewOutcome::Rejected);
  EXPECT_EQ(result.check, GetParam().check);
  EXPECT_EQ(sink.calls, 0);
  EXPECT_EQ(Entries(program / "Temp"), std::set<std::string>{"PictureImportFile"});
}

INSTANTIATE_TEST_SUITE_P(Files, FoundByFuzzing, testing::ValuesIn(kFound), [](const auto& info) {
  std::string name = fs::path(info.param.file).stem().string();
  std::erase(name, '-');
  return name;
});

TEST(FoundByFuzzing, EveryFileInTheDataFolderIsReplayed) {
  std::set<std::string> replayed;
  for (const FoundCase& c : kFound) replayed.insert(c.file);
  EXPECT_EQ(Entries(kData), replayed);
}

constexpr std::uint32_t kPitchFlag = 0x8;

// A 4x3 uncompressed header of `bits` per pixel, with a pitch (and its flag when `flagged`).
Bytes Header(std::uint32_t bits, std::uint32_t pitch = 0, bool flagged = true) {
  const Bytes header = With(MakeDdsHeader(DdsFormat::Rgb24, 4, 3), 88, bits);
  return With(With(header, 8, 0x1007 | (flagged ? kPitchFlag : 0)), 20, pitch);
}

struct ReadCase {
  const char* name;
  Bytes header;
  std::uint64_t surfaceBytes;  // what the library reads after the header
  friend void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }
};

class LibraryReads : public testing::TestWithParam<ReadCase> {};

TEST_P(LibraryReads, ExactlyThatMuchIsAcceptedAndOneByteLessIsNot) {
  const ReadCase& c = GetParam();
  const DdsInfo exact = InspectDds(c.header, kDdsHeaderBytes + c.surfaceBytes);
  EXPECT_EQ(exact.check, DdsCheck::Accepted);
  EXPECT_EQ(exact.surfaceBytes, c.surfaceBytes);
  EXPECT_EQ(InspectDds(c.header, kDdsHeaderBytes + c.surfaceBytes - 1).check,
            DdsCheck::TruncatedSurface);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, LibraryReads,
    testing::Values(ReadCase{"Rgb16ReadAsThreeBytesAPixel", Header(16), 4 * 3 * 3},
                    ReadCase{"Rgb8PackedRows", Header(8), 4 * 3},
                    ReadCase{"PitchPastARow", Header(24, 100), 2 * 100 + 4 * 3},
                    ReadCase{"Rgb16PitchPastARow", Header(16, 100), 2 * 100 + 4 * 3},
                    ReadCase{"PitchOfARow", Header(32, 16), 4 * 3 * 4},
                    ReadCase{"PitchBelowARow", Header(24, 1), 4 * 3 * 3},
                    // The library takes the pitch as signed.
                    ReadCase{"NegativePitch", Header(24, 0xFFFFFFF0), 4 * 3 * 3},
                    ReadCase{"PitchWithoutItsFlag", Header(24, 100, false), 4 * 3 * 3}),
    [](const auto& info) { return std::string(info.param.name); });

// Rows padded to the header's pitch are what the library shows, so the rule keeps such a file.
TEST(LibraryReads, RowsPaddedToThePitchAreShownWithTheirColours) {
  ProgramFolder program;
  Bytes dds = Header(24, 20);
  for (const Rgb& row : {kRed, kGreen, kBlue}) {
    Bytes padded(20, std::byte{0x55});
    for (int x = 0; x < 4; ++x) {
      padded[3 * x] = std::byte(row.b), padded[3 * x + 1] = std::byte(row.g);
      padded[3 * x + 2] = std::byte(row.r);
    }
    dds = Concat(dds, padded);
  }
  WriteFile(program.work("PictureImportFile"), Slice(dds, 0, dds.size() - 8));
  RecordingSink sink;
  ASSERT_TRUE(PreviewImported(program.path(), sink).shown());
  for (int y = 0; y < 3; ++y) {
    const QColor c = sink.picture.pixelColor(3, y);
    EXPECT_EQ((Rgb{c.red(), c.green(), c.blue()}), (y == 0 ? kRed : y == 1 ? kGreen : kBlue));
  }
}

}  // namespace
}  // namespace sodrel
