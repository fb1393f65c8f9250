#include "preview/Preview.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>

#include "dds/DdsFields.h"
#include "preview/DdsDecode.h"
#include "preview/PictureFile.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/Rows.h"
#include "workfiles/WorkingFiles.h"

namespace sodrel {
namespace {
using ::PrintTo;  // rows in an unnamed namespace print their names

using namespace test;
using enum DdsFormat;
using enum DxgiFormat;
using enum DdsCheck;
using dds_fields::FourCC;

constexpr Rgb kBlack{0, 0, 0}, kYellow{255, 255, 0}, kCyan{0, 255, 255}, kMagenta{255, 0, 255};
const Rgb kPalette[] = {kRed, kGreen, kBlue, kWhite, kYellow, kCyan, kMagenta, kBlack};

// Every 4x4 block a colour of its own, exact in every format; every pixel a colour of its own.
const ColourAt ByBlock = [](auto x, auto y) { return kPalette[(x / 4 + 3 * (y / 4)) % 8]; };
const ColourAt ByPixel = [](auto x, auto y) { return kPalette[(x + 3 * y) % 8]; };
// The same with an alpha of its own for every pixel, exact in 4 bits; or in 1 bit; or opaque.
const ColourAt WithAlpha = [](auto x, auto y) {
  return Rgb{ByPixel(x, y).r, ByPixel(x, y).g, ByPixel(x, y).b, int(17 * ((x + 5 * y) % 16))};
};
const ColourAt WithAlphaBit = [](auto x, auto y) {
  return Rgb{ByPixel(x, y).r, 0, 255, int(x % 2 * 255)};
};
const ColourAt Opaque = [](auto x, auto y) {
  return Rgb{WithAlpha(x, y).r, WithAlpha(x, y).g, WithAlpha(x, y).b};
};
// Pixel (x, y) takes colours[(4y + x) % size]: the colours in turn, in rows of 4.
ColourAt InTurn(std::vector<Rgb> colours) {
  return [=](auto x, auto y) { return colours[(4 * y + x) % colours.size()]; };
}
// Grey levels in turn; with `green`, red and green levels over blue 128 (a signed zero).
ColourAt Levels(std::vector<int> red, std::vector<int> green = {}) {
  std::vector<Rgb> colours;
  for (std::size_t i = 0; i < red.size(); ++i) {
    colours.push_back(green.empty() ? Rgb{red[i], red[i], red[i]} : Rgb{red[i], green[i], 128});
  }
  return InTurn(colours);
}

template <typename... Int>
Bytes B(Int... bytes) {
  return {std::byte(bytes)...};
}
// A DDS file of the layout named by `fourCC` (legacy) or `dxgi`, holding `surface`.
Bytes Coded(std::uint32_t w, std::uint32_t h, std::uint32_t fourCC, const Bytes& surface) {
  return Concat(With(MakeDdsHeader(Dxt1, w, h), 84, fourCC), surface);
}
Bytes Coded(std::uint32_t w, std::uint32_t h, DxgiFormat dxgi, const Bytes& surface) {
  return Concat(Dx10Header(w, h, dxgi), surface);
}
// A 4x4 DXT3 or DXT5 file of one opaque block whose texel (x, y) takes colour index x.
Bytes FourIndices(DdsFormat format, std::uint32_t c0, std::uint32_t c1) {
  return With(With(MakeDds(format, 4, 4, kBlack), 136, c0 | c1 << 16), 140, 0xE4E4E4E4);
}
// 5x3 uncompressed pixels.
Bytes Flat(std::uint32_t flags, std::uint32_t bits, const Masks& masks,
           const ColourAt& colour = ByPixel) {
  return Concat(UncompressedHeader(5, 3, flags, bits, masks), Pixels(5, 3, bits, masks, colour));
}
// A BC4 channel whose pixels i and i + 8 take index i, and its levels from two endpoints.
Bytes Bc4(int e0, int e1) {
  return B(e0, e1, 0x88, 0xC6, 0xFA, 0x88, 0xC6, 0xFA);
}
// Signed endpoints 70 and -70: eight levels, shown as value + 128; 0 and 100: six levels 20
// apart, then -1.0 and 1.0.
const std::vector<int> kBc4Eight{198, 58, 178, 158, 138, 118, 98, 78},
    kBc4Six{128, 228, 148, 168, 188, 208, 1, 255};
// A P8 file 2 x 1 of palette entries 1 (R 10, G 20, B 30, A `alpha`) and 2 (40, 50, 60, 0).
Bytes Palettised(int alpha) {
  const Bytes palette = Concat(B(0, 0, 0, 0, 10, 20, 30, alpha, 40, 50, 60, 0), Bytes(1012));
  return Concat(Concat(UncompressedHeader(2, 1, 0x20, 8, {}), palette), B(1, 2));
}

struct TextureCase {
  const char* name;
  Bytes dds;  // exactly as long as its header says
  ColourAt colour = ByPixel;
  int tolerance = 0;  // for the colours DXT blocks interpolate
};

const Masks k555{0x7C00, 0x3E0, 0x1F, 0}, k565{0xF800, 0x7E0, 0x1F, 0};
const Masks k4444{0x0F00, 0x00F0, 0x000F, 0xF000}, k5551{0x7C00, 0x3E0, 0x1F, 0x8000};
const TextureCase kTextures[] = {
    {"Dxt5EndpointsAscending", FourIndices(Dxt5, 0x001F, 0xF800),
     InTurn({kBlue, kRed, {85, 0, 170}, {170, 0, 85}}), 2},
    {"Dxt3EndpointsEqual", FourIndices(Dxt3, 0x07E0, 0x07E0), InTurn({kGreen})},
    {"Dxt5_4x5", MakeDds(Dxt5, 4, 5, ByBlock), ByBlock},
    {"Dxt5_1x1", MakeDds(Dxt5, 1, 1, ByBlock), ByBlock},
    {"Dxt1_30x8", MakeDds(Dxt1, 30, 8, ByBlock), ByBlock},
    {"R8G8B8", Flat(0x40, 24, {0xFF, 0xFF00, 0xFF0000, 0})},
    {"X8B8G8R8", Flat(0x40, 32, {0xFF000000, 0xFF0000, 0xFF00, 0})},
    {"Packed555", Flat(0x40, 16, k555)},
    // 2x2, each row padded to 4 bytes, pixel (x, y) at 4y + x.
    {"Luminance8PitchPastARow",
     Concat(With(With(UncompressedHeader(2, 2, 0x20000, 8, {0xFF}), 8, 0x100F), 20, 4),
            B(0x40, 0xC0, 1, 2, 0x80, 0x20)),
     Levels({0x40, 0xC0, 1, 2, 0x80, 0x20})},
    {"Dx10R8G8B8A8", Coded(5, 3, R8G8B8A8Unorm, Pixels(5, 3, 32, kRgba, ByPixel))},
    {"Dx10B5G6R5", Coded(5, 3, B5G6R5Unorm, Pixels(5, 3, 16, k565, ByPixel))},
    // Channels in every order the tables give, alpha where it is kept and never the padding.
    {"Dx10B8G8R8A8", Coded(5, 3, B8G8R8A8Unorm, Pixels(5, 3, 32, kBgra, WithAlpha)), WithAlpha},
    {"Dx10B8G8R8X8PaddingIsNoAlpha", Coded(5, 3, B8G8R8X8Unorm, Pixels(5, 3, 32, kBgra, WithAlpha)),
     Opaque},
    {"Dx10R8G8B8A8Srgb", Coded(5, 3, R8G8B8A8UnormSrgb, Pixels(5, 3, 32, kRgba, WithAlpha)),
     WithAlpha},
    {"Dx10B4G4R4A4", Coded(5, 3, B4G4R4A4Unorm, Pixels(5, 3, 16, k4444, WithAlpha)), WithAlpha},
    {"Dx10B5G5R5A1", Coded(5, 3, B5G5R5A1Unorm, Pixels(5, 3, 16, k5551, WithAlphaBit)),
     WithAlphaBit},
    {"A8B8G8R8AlphaInTheLowByte", Flat(0x41, 32, {0xFF000000, 0xFF0000, 0xFF00, 0xFF}, WithAlpha),
     WithAlpha},
    {"R8G8B8A8", Flat(0x41, 32, kRgba, WithAlpha), WithAlpha},
    {"R8G8B8A8WithoutAlphaFlag", Flat(0x40, 32, kRgba, WithAlpha), Opaque},
    {"Legacy4444", Flat(0x41, 16, k4444, WithAlpha), WithAlpha},
    {"Legacy565", Flat(0x40, 16, k565)},
    {"Legacy444WithoutAlpha", Flat(0x40, 16, {0x0F00, 0x00F0, 0x000F, 0})},
    // The first of six faces, which is all that is read.
    {"Dx10CubeMapFirstFace", Concat(Dx10Header(8, 8, Bc3Unorm, 4), Blocks(Dxt5, 8, 8, ByBlock)),
     ByBlock},
    {"Dx10DimensionUnknown",
     Concat(With(Dx10Header(6, 6, Bc1Unorm, 0, 0), 140, 0), Blocks(Dxt1, 6, 6, ByBlock)), ByBlock},
    {"Bc4Signed", Coded(4, 4, FourCC("BC4S"), Bc4(70, 0xBA)), Levels(kBc4Eight)},
    // -128 and -127 are both -1.0, and so are the six levels between them.
    {"Bc4SignedMinusOne", Coded(4, 4, Bc4Snorm, Bc4(0x80, 0x81)),
     Levels({1, 1, 1, 1, 1, 1, 1, 255})},
    {"Bc5Signed", Coded(4, 4, Bc5Snorm, Concat(Bc4(70, 0xBA), Bc4(0, 100))),
     Levels(kBc4Eight, kBc4Six)},
    // Mode 7, red: 1020 plus the difference 100 wraps to -928 in 11 bits; unquantized 32656 and
    // -29711. Pixel 1 has index 5 (weight 21): 12192, half 0x2E23 (0.0959), 24.
    {"Bc6hSignedWrappedDifference",
     Coded(3, 1, Bc6hSf16, B(0x87, 0x7F, 0, 0, 0x20, 3, 0, 0, 0x50, 0xF, 0, 0, 0, 0, 0, 0)),
     InTurn({kRed, {24, 0, 0}, kBlack})},
    {"L8A8", Concat(UncompressedHeader(1, 1, 0x20001, 16, {0xFF, 0, 0, 0xFF00}), B(0x40, 0x80)),
     InTurn({{0x40, 0x40, 0x40, 0x80}})},
    {"A8", Concat(UncompressedHeader(1, 1, 0x2, 8, {0, 0, 0, 0xFF}), B(0x33)), Levels({0x33})},
    {"P8", Palettised(255), InTurn({{10, 20, 30}, {40, 50, 60, 0}})},
    {"P8FourthBytesAllZero", Palettised(0), InTurn({{10, 20, 30}, {40, 50, 60}})},
    {"R8", Coded(1, 1, R8Unorm, B(0x9A)), InTurn({{0x9A, 0, 0}})},
    {"R8G8", Coded(1, 1, R8G8Typeless, B(0x12, 0x34)), InTurn({{0x12, 0x34, 0}})},
    // R 1023, G 0, B 512 (127.6), A 1 of 3.
    {"R10G10B10A2", Coded(1, 1, R10G10B10A2Unorm, B(0xFF, 3, 0, 0x60)),
     InTurn({{255, 0, 128, 85}})},
    // R 0xFFFF, G 0x8000 (127.5), B 0x0081 (0.502), A 0; by its Direct3D 9 number.
    {"R16G16B16A16Unorm", Coded(1, 1, 36, B(0xFF, 0xFF, 0, 0x80, 0x81, 0, 0, 0)),
     InTurn({{255, 128, 1, 0}})},
    // R 1.0, G 0.5 (127.5, the fraction dropped), B -1.0, A NaN.
    {"R16G16B16A16Float", Coded(1, 1, R16G16B16A16Float, B(0, 0x3C, 0, 0x38, 0, 0xBC, 0, 0x7E)),
     InTurn({{255, 127, 0, 0}})},
    // R 2.0, G 0.25 (63.75), B NaN, A 1.0.
    {"R32G32B32A32Float",
     Coded(1, 1, R32G32B32A32Float,
           B(0, 0, 0, 0x40, 0, 0, 0x80, 0x3E, 0, 0, 0xC0, 0x7F, 0, 0, 0x80, 0x3F)),
     InTurn({{255, 63, 0}})},
};

class ShowsTexture : public testing::TestWithParam<TextureCase> {};

// The file is accepted, and a byte fewer is not. The picture written to PictureLoad.bmp, and
// shown, has the texture's size and every pixel's colour, as the format defines it; a decoded
// bitmap with alpha has every pixel's alpha.
TEST_P(ShowsTexture, AtItsSizeWithEveryPixelsColour) {
  const TextureCase& c = GetParam();
  EXPECT_EQ(InspectDds(c.dds, c.dds.size() - 1).check, TruncatedSurface) << "a byte fewer";
  ProgramFolder program;
  const std::filesystem::path dds = WorkFilePath(program.path(), WorkFile::PictureImportFile);
  WriteFile(dds, c.dds);
  RecordingSink sink;
  ASSERT_TRUE(PreviewImported(program.path(), sink).ok());
  const QImage bmp(QString::fromStdString(WorkFilePath(program.path(), WorkFile::PictureLoadBmp)));
  const int width = int(c.dds[16]), height = int(c.dds[12]);
  ASSERT_EQ(bmp.size(), QSize(width, height));
  EXPECT_EQ(sink.picture.convertToFormat(bmp.format()), bmp) << "the picture shown is the BMP";
  const DecodedDds decoded = DecodeDds(dds);
  const bool alpha = FreeImage_GetBPP(decoded.bitmap.get()) == 32;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const QColor shown = bmp.pixelColor(x, y);
      const Rgb got{
          shown.red(), shown.green(), shown.blue(),
          alpha ? FreeImage_GetScanLine(decoded.bitmap.get(), height - 1 - y)[4 * x + 3] : 255};
      const Rgb want = c.colour(x, y);
      const int off =
          std::abs(got.r - want.r) + std::abs(got.g - want.g) + std::abs(got.b - want.b);
      ASSERT_TRUE(off <= c.tolerance && got.a == want.a)
          << "at " << x << "," << y << ": " << got << ", not " << want;
    }
  }
}

SODREL_NAMED_ROWS(Layouts, ShowsTexture, kTextures);

// Gradients on every axis of a w x h picture, so that scaling it in any other way (rows turned
// over, columns shifted) shows.
ColourAt Gradient(int w, int h) {
  return [=](int x, int y) { return Rgb{255 * x / w, 255 * y / h, 255 * (x + y) / (w + h)}; };
}
Bytes Grey(std::uint32_t w, std::uint32_t h) {
  return Concat(UncompressedHeader(w, h, 0x20000, 8, {0xFF}),
                Pixels(w, h, 8, {0xFF}, Gradient(w, h)));
}

// A picture larger than the area it is drawn in is read from the BMP (32-, 24- and 8-bit, as
// FreeImage writes them) already scaled down to that area, as scaling the whole BMP does, within
// a level; one that fits is shown as it is.
TEST(ShowsPicture, LargerThanItsAreaScaledDownAsTheWholePictureScales) {
  const Bytes textures[] = {MakeDds(Rgb32, 2900, 1300, Gradient(2900, 1300)),
                            MakeDds(Rgb24, 1500, 600, Gradient(1500, 600)), Grey(1400, 3000),
                            MakeDds(Rgb32, 300, 100, Gradient(300, 100))};
  for (const Bytes& texture : textures) {
    ProgramFolder program;
    WriteFile(WorkFilePath(program.path(), WorkFile::PictureImportFile), texture);
    RecordingSink sink;
    sink.drawn = QSize(1329, 561);
    ASSERT_TRUE(PreviewImported(program.path(), sink).ok());
    const QImage bmp(
        QString::fromStdString(WorkFilePath(program.path(), WorkFile::PictureLoadBmp)));
    const QImage want = bmp.scaled(bmp.size().boundedTo(sink.drawn), Qt::IgnoreAspectRatio,
                                   Qt::SmoothTransformation)
                            .convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(sink.picture.size(), want.size());
    int off = 0;
    for (int y = 0; y < want.height(); ++y) {
      for (int x = 0; x < want.width(); ++x) {
        const QColor a = sink.picture.pixelColor(x, y), b = want.pixelColor(x, y);
        off = std::max({off, std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                        std::abs(a.blue() - b.blue())});
      }
    }
    EXPECT_LE(off, bmp.size() == want.size() ? 0 : 1) << bmp.width() << " x " << bmp.height();
  }
}

// A BMP whose header disagrees with its data, or that holds what the preview never writes, gives
// no picture: {the 32-bit field at, its value}, or cut by a byte (at 0).
TEST(ShowsPicture, NoneFromABmpWhoseSizesDisagreeWithItsData) {
  TempFolder folder;
  QImage(5, 3, QImage::Format_RGB888).save(QString::fromStdString(folder / "a.bmp"));
  const Bytes good = ReadFile(folder / "a.bmp");
  const std::pair<std::size_t, std::uint32_t> changes[] = {{2, std::uint32_t(good.size() + 1)},
                                                           {10, std::uint32_t(good.size() - 44)},
                                                           {18, 6},
                                                           {22, 4},
                                                           {18, 0},
                                                           {22, 0x80000000},
                                                           {28, 16},
                                                           {30, 1},
                                                           {0, 0}};
  EXPECT_FALSE(ReadPicture(folder / "a.bmp", {}).isNull()) << "the BMP as written";
  for (const auto& [at, value] : changes) {
    WriteFile(folder / "a.bmp", at == 0 ? Slice(good, 0, good.size() - 1) : With(good, at, value));
    EXPECT_TRUE(ReadPicture(folder / "a.bmp", {}).isNull()) << at << " " << value;
  }
}

// A header and, when the check accepts it, the exact number of bytes after the header that the
// preview reads: that many are accepted and one fewer is not. Refused headers come with bytes
// enough for any surface.
struct CheckCase {
  const char* name;
  Bytes header;
  DdsCheck check;
  std::uint64_t surfaceBytes = 0;
};

class HeaderCheck : public testing::TestWithParam<CheckCase> {};

TEST_P(HeaderCheck, DecidesAndCountsEveryByteTheLibraryReads) {
  const CheckCase& c = GetParam();
  if (c.check != Accepted) {
    const bool cut = c.check == TruncatedSurface || c.check == MissingPalette;
    EXPECT_EQ(InspectDds(c.header, c.header.size() + (cut ? 0 : 1ull << 32)).check, c.check);
    return;
  }
  const std::uint64_t all = std::min<std::uint64_t>(c.header.size(), 148) + c.surfaceBytes;
  const DdsTexture texture = InspectDds(c.header, all);
  ASSERT_EQ(texture.check, Accepted);
  EXPECT_EQ(texture.top().bytes(), c.surfaceBytes);
  EXPECT_EQ(InspectDds(c.header, all - 1).check, TruncatedSurface);
}

// A 4x3 uncompressed header of `bits` a pixel with a pitch (and its flag when `flagged`).
Bytes Pitched(std::uint32_t bits, std::uint32_t pitch, bool flagged = true) {
  const Bytes h = UncompressedHeader(4, 3, 0x40, bits, bits == 16 ? k555 : kBgra);
  return With(With(h, 8, 0x1007 | (flagged ? 0x8 : 0)), 20, pitch);
}
Bytes Plain(std::uint32_t flags, std::uint32_t bits, const Masks& masks) {
  return UncompressedHeader(4, 3, flags, bits, masks);
}
const std::filesystem::path kFound = std::filesystem::path(SODREL_SOURCE_DIR) / "tests/data";

const Bytes kDxt1 = MakeDdsHeader(Dxt1, 4, 4);
const Bytes kRgb16 = ReadFile(kFound / "dds-rgb16-two-bytes-a-pixel.dds");  // found by fuzzing
const CheckCase kHeaders[] = {
    {"Rgb32LargestPast32Bits", MakeDdsHeader(Rgb32, 16384, 16384), Accepted, 1ull << 30},
    {"Rgb16PitchPastARow", Pitched(16, 100), Accepted, 2 * 100 + 4 * 2},
    {"Rgb16MasksTheLibraryCannotConvert", Plain(0x40, 16, {0xFFFF, 0, 0, 0}), UnsupportedFormat},
    {"PitchBelowARow", Pitched(24, 1), Accepted, 4 * 3 * 3},
    {"NegativePitch", Pitched(24, 0xFFFFFFF0), Accepted, 4 * 3 * 3},
    {"PitchWithoutItsFlag", Pitched(24, 100, false), Accepted, 4 * 3 * 3},
    {"Bc4PartBlocksRoundUp", With(MakeDdsHeader(Dxt1, 5, 5), 84, FourCC("BC4U")), Accepted, 32},
    {"Dx10UnknownDxgi", Dx10Header(4, 4, DxgiFormat(200)), UnsupportedFormat},
    {"Dx10Texture3D", Dx10Header(4, 4, Bc7Unorm, 0, 4), NotTwoDimensional},
    {"Dx10VolumeCaps", With(Dx10Header(4, 4, Bc3UnormSrgb, 0, 0), 112, 0x200000),
     NotTwoDimensional},
    {"PaletteCut", Plain(0x20, 8, {}), MissingPalette},
    {"Dx10ExtensionCut", Slice(Dx10Header(4, 4, Bc1Unorm), 0, 140), TooShortForHeader},
    {"Rgb10A2", Plain(0x41, 32, {0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000}), Accepted, 4 * 3 * 4},
    {"Rgb10A2RedHigh", Plain(0x41, 32, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}),
     UnsupportedFormat},
    {"TwoChannelsOneByte", Plain(0x40, 24, {0xFF, 0xFF, 0xFF0000, 0}), UnsupportedFormat},
    {"GreyAlphaAsRgb", Plain(0x41, 16, {0xFF, 0xFF, 0xFF, 0xFF00}), Accepted, 4 * 3 * 2},
    {"LuminanceWithAlphaHigh", Plain(0x20001, 16, {0xFF00, 0, 0, 0xFF}), UnsupportedFormat},
    {"Width16385", With(kDxt1, 16, 16385), BadDimensions},
    {"Height16385", With(kDxt1, 12, 16385), BadDimensions},
    {"WrongMagic", With(kDxt1, 0, 0x20534443), BadMagic},
    {"WrongHeaderSize", With(kDxt1, 4, 128), BadHeaderSize},
    {"WrongPixelFormatSize", With(kDxt1, 76, 0), BadPixelFormatSize},
    {"ShorterThanHeader", Slice(kDxt1, 0, 127), TooShortForHeader},
    {"RgbFlagWinsOverFourCC", With(kDxt1, 80, 0x44), UnsupportedFormat},  // of 0 bits
    {"FoundRgb16", Slice(kRgb16, 0, 128), Accepted, kRgb16.size() - 128},
    {"FoundPitchPastEnd", ReadFile(kFound / "dds-rgb8-pitch-past-end.dds"), TruncatedSurface},
};

SODREL_NAMED_ROWS(Headers, HeaderCheck, kHeaders);

}  // namespace
}  // namespace sodrel
