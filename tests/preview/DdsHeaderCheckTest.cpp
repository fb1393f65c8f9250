#include "preview/DdsHeaderCheck.h"

#include <gtest/gtest.h>

#include "tests/support/DdsWriter.h"

namespace sodrel {
namespace {

using test::DdsFormat;
using test::MakeDdsHeader;

// A header and the exact number of bytes its top surface takes after it.
struct SurfaceCase {
  const char* name;
  DdsFormat format;
  std::uint32_t width, height;
  std::uint64_t surfaceBytes;
  friend void PrintTo(const SurfaceCase& c, std::ostream* os) { *os << c.name; }
};

class SurfaceLength : public testing::TestWithParam<SurfaceCase> {};

TEST_P(SurfaceLength, ExactLengthIsAcceptedAndOneByteShortIsNot) {
  const SurfaceCase& c = GetParam();
  const test::Bytes header = MakeDdsHeader(c.format, c.width, c.height);
  const DdsInfo exact = InspectDds(header, kDdsHeaderBytes + c.surfaceBytes);
  EXPECT_EQ(exact.check, DdsCheck::Accepted);
  EXPECT_EQ(exact.surfaceBytes, c.surfaceBytes);
  EXPECT_EQ(InspectDds(header, kDdsHeaderBytes + c.surfaceBytes - 1).check,
            DdsCheck::TruncatedSurface);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, SurfaceLength,
    testing::Values(SurfaceCase{"Dxt1PartBlocksRoundUp", DdsFormat::Dxt1, 5, 9, 2 * 3 * 8},
                    SurfaceCase{"Dxt3", DdsFormat::Dxt3, 8, 4, 2 * 16},
                    SurfaceCase{"Dxt5OnePixel", DdsFormat::Dxt5, 1, 1, 16},
                    SurfaceCase{"Rgb24RowsUnpadded", DdsFormat::Rgb24, 3, 5, 45},
                    SurfaceCase{"Rgb32LargestPast32Bits", DdsFormat::Rgb32, 16384, 16384,
                                std::uint64_t{1} << 30}),
    [](const auto& info) { return std::string(info.param.name); });

// One header field of a 4x4 DXT1 file set to a value, with bytes enough for any surface.
struct FieldCase {
  const char* name;
  std::size_t offset;
  std::uint32_t value;
  DdsCheck check;
  friend void PrintTo(const FieldCase& c, std::ostream* os) { *os << c.name; }
};

class HeaderField : public testing::TestWithParam<FieldCase> {};

TEST_P(HeaderField, DecidesTheCheck) {
  const FieldCase& c = GetParam();
  const test::Bytes header = test::With(MakeDdsHeader(DdsFormat::Dxt1, 4, 4), c.offset, c.value);
  EXPECT_EQ(InspectDds(header, std::uint64_t{1} << 32).check, c.check);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, HeaderField,
    testing::Values(FieldCase{"Width16384", 16, 16384, DdsCheck::Accepted},
                    FieldCase{"Width16385", 16, 16385, DdsCheck::BadDimensions},
                    FieldCase{"Height16384", 12, 16384, DdsCheck::Accepted},
                    FieldCase{"Height16385", 12, 16385, DdsCheck::BadDimensions},
                    FieldCase{"HeightZero", 12, 0, DdsCheck::BadDimensions},
                    FieldCase{"Dx10", 84, 0x30315844, DdsCheck::UnsupportedFormat},
                    FieldCase{"LuminanceOnly", 80, 0x20000, DdsCheck::UnsupportedFormat},
                    // The library reads a file flagged RGB as uncompressed, here of 0 bits.
                    FieldCase{"RgbFlagWinsOverFourCC", 80, 0x44, DdsCheck::UnsupportedFormat}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sodrel
