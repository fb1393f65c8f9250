#include "preview/DdsHeaderCheck.h"

#include <gtest/gtest.h>

#include "tests/support/DdsWriter.h"

namespace sodrel {
namespace {

using namespace test;
namespace fs = std::filesystem;

// A header and, when the check accepts it, the exact number of bytes after the header that the
// preview reads: that many are accepted and one fewer is not. Refused headers come with bytes
// enough for any surface.
struct CheckCase {
  const char* name;
  Bytes header;
  DdsCheck check;
  std::uint64_t surfaceBytes = 0;
  friend void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }
};

class HeaderCheck : public testing::TestWithParam<CheckCase> {};

TEST_P(HeaderCheck, DecidesAndCountsEveryByteTheLibraryReads) {
  const CheckCase& c = GetParam();
  const std::uint64_t headerBytes = std::min<std::uint64_t>(c.header.size(), 148);
  if (c.check != DdsCheck::Accepted) {
    const std::uint64_t more = c.check == DdsCheck::TruncatedSurface ? 0 : std::uint64_t{1} << 32;
    EXPECT_EQ(InspectDds(c.header, c.header.size() + more).check, c.check);
    return;
  }
  const DdsInfo exact = InspectDds(c.header, headerBytes + c.surfaceBytes);
  EXPECT_EQ(exact.check, DdsCheck::Accepted);
  EXPECT_EQ(exact.surfaceBytes, c.surfaceBytes);
  EXPECT_EQ(InspectDds(c.header, headerBytes + c.surfaceBytes - 1).check,
            DdsCheck::TruncatedSurface);
}

constexpr std::uint32_t kRgb = 0x40, kPitchFlag = 0x8;
const Bytes kDxt1 = MakeDdsHeader(DdsFormat::Dxt1, 4, 4);
const Masks k555{0x7C00, 0x3E0, 0x1F, 0};

// A 4x3 uncompressed header of `bits` a pixel with a pitch (and its flag when `flagged`).
Bytes Pitched(std::uint32_t bits, std::uint32_t pitch, bool flagged = true) {
  const Bytes h = UncompressedHeader(4, 3, kRgb, bits, bits == 16 ? k555 : kBgra);
  return With(With(h, 8, 0x1007 | (flagged ? kPitchFlag : 0)), 20, pitch);
}

Bytes FoundByFuzzing(const char* name) {
  return ReadFile(fs::path(SODREL_TEST_DATA) / name);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, HeaderCheck,
    testing::Values(
        CheckCase{"Dxt1PartBlocksRoundUp", MakeDdsHeader(DdsFormat::Dxt1, 5, 9), DdsCheck::Accepted,
                  2 * 3 * 8},
        CheckCase{"Dxt5OnePixel", MakeDdsHeader(DdsFormat::Dxt5, 1, 1), DdsCheck::Accepted, 16},
        CheckCase{"Rgb24RowsUnpadded", MakeDdsHeader(DdsFormat::Rgb24, 3, 5), DdsCheck::Accepted,
                  45},
        CheckCase{"Rgb32LargestPast32Bits", MakeDdsHeader(DdsFormat::Rgb32, 16384, 16384),
                  DdsCheck::Accepted, std::uint64_t{1} << 30},
        CheckCase{"Rgb16TwoBytesAPixel", Pitched(16, 0, false), DdsCheck::Accepted, 4 * 3 * 2},
        CheckCase{"Rgb16PitchPastARow", Pitched(16, 100), DdsCheck::Accepted, 2 * 100 + 4 * 2},
        CheckCase{"Rgb16MasksTheLibraryCannotConvert",
                  UncompressedHeader(4, 3, kRgb, 16, {0xFFFF, 0, 0, 0}),
                  DdsCheck::UnsupportedFormat},
        CheckCase{"Rgb8PackedRows", UncompressedHeader(4, 3, kRgb, 8, {0xFF, 0, 0, 0}),
                  DdsCheck::Accepted, 4 * 3},
        CheckCase{"Luminance8", UncompressedHeader(4, 3, 0x20000, 8, {0xFF, 0, 0, 0}),
                  DdsCheck::Accepted, 4 * 3},
        CheckCase{"PitchPastARow", Pitched(24, 100), DdsCheck::Accepted, 2 * 100 + 4 * 3},
        CheckCase{"PitchOfARow", Pitched(32, 16), DdsCheck::Accepted, 4 * 3 * 4},
        CheckCase{"PitchBelowARow", Pitched(24, 1), DdsCheck::Accepted, 4 * 3 * 3},
        CheckCase{"NegativePitch", Pitched(24, 0xFFFFFFF0), DdsCheck::Accepted, 4 * 3 * 3},
        CheckCase{"PitchWithoutItsFlag", Pitched(24, 100, false), DdsCheck::Accepted, 4 * 3 * 3},
        CheckCase{"Dx10Bc1AfterItsExtension", Dx10Header(8, 4, 71), DdsCheck::Accepted, 2 * 8},
        CheckCase{"Dx10CubeMapFirstFaceOnly", Dx10Header(4, 4, 77, 4), DdsCheck::Accepted, 16},
        CheckCase{"Dx10Rgba8", Dx10Header(2, 2, 28), DdsCheck::Accepted, 16},
        CheckCase{"Dx10Bc4", Dx10Header(4, 4, 80), DdsCheck::UnsupportedFormat},
        CheckCase{"Dx10Bc7", Dx10Header(4, 4, 98), DdsCheck::UnsupportedFormat},
        CheckCase{"Dx10Float", Dx10Header(4, 4, 2), DdsCheck::UnsupportedFormat},
        CheckCase{"Dx10Texture3D", Dx10Header(4, 4, 71, 0, 4), DdsCheck::UnsupportedFormat},
        CheckCase{"Dx10ExtensionCut", Slice(Dx10Header(4, 4, 71), 0, 140),
                  DdsCheck::TooShortForHeader},
        CheckCase{"Rgb10A2NotWholeBytes",
                  UncompressedHeader(4, 4, 0x41, 32, {0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000}),
                  DdsCheck::UnsupportedFormat},
        CheckCase{"TwoChannelsOneByte",
                  UncompressedHeader(4, 4, kRgb, 24, {0xFF, 0xFF, 0xFF0000, 0}),
                  DdsCheck::UnsupportedFormat},
        CheckCase{"LuminanceWithAlpha", UncompressedHeader(4, 4, 0x20001, 16, {0xFF, 0, 0, 0xFF00}),
                  DdsCheck::UnsupportedFormat},
        CheckCase{"Width16384", With(kDxt1, 16, 16384), DdsCheck::Accepted, 4096 * 8},
        CheckCase{"Width16385", With(kDxt1, 16, 16385), DdsCheck::BadDimensions},
        CheckCase{"Height16385", With(kDxt1, 12, 16385), DdsCheck::BadDimensions},
        CheckCase{"HeightZero", With(kDxt1, 12, 0), DdsCheck::BadDimensions},
        CheckCase{"Width2To31", With(kDxt1, 16, 0x80000000), DdsCheck::BadDimensions},
        CheckCase{"WrongMagic", With(kDxt1, 0, 0x20534443), DdsCheck::BadMagic},
        CheckCase{"WrongHeaderSize", With(kDxt1, 4, 128), DdsCheck::BadHeaderSize},
        CheckCase{"WrongPixelFormatSize", With(kDxt1, 76, 0), DdsCheck::BadPixelFormatSize},
        CheckCase{"ShorterThanHeader", Slice(kDxt1, 0, 127), DdsCheck::TooShortForHeader},
        CheckCase{"Ati2", With(kDxt1, 84, 0x32495441), DdsCheck::UnsupportedFormat},
        CheckCase{"RgbBitCount12", With(MakeDdsHeader(DdsFormat::Rgb24, 4, 4), 88, 12),
                  DdsCheck::UnsupportedFormat},
        // The library reads a file flagged RGB as uncompressed, here of 0 bits.
        CheckCase{"RgbFlagWinsOverFourCC", With(kDxt1, 80, 0x44), DdsCheck::UnsupportedFormat},
        // Files the fuzzing found: a 16-bit file of two bytes a pixel (read three bytes a pixel
        // before the view), a pitch far past the end of the file.
        CheckCase{"FoundRgb16", Slice(FoundByFuzzing("dds-rgb16-two-bytes-a-pixel.dds"), 0, 128),
                  DdsCheck::Accepted,
                  FoundByFuzzing("dds-rgb16-two-bytes-a-pixel.dds").size() - 128},
        CheckCase{"FoundPitchPastEnd", FoundByFuzzing("dds-rgb8-pitch-past-end.dds"),
                  DdsCheck::TruncatedSurface}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HeaderCheck, EveryFileTheFuzzingFoundIsReplayed) {
  EXPECT_EQ(Entries(SODREL_TEST_DATA), (std::set<std::string>{"dds-rgb16-two-bytes-a-pixel.dds",
                                                              "dds-rgb8-pitch-past-end.dds"}));
}

}  // namespace
}  // namespace sodrel
