// Runs sodrel-convert thumbnail and png, and holds their pictures against the preview's BMP.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "preview/MFreeImage.h"
#include "preview/Preview.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/RecordingSink.h"

namespace sodrel {
namespace {

using test::Bytes, test::DdsFormat, test::With;
namespace fs = std::filesystem;

// Runs sodrel-convert with `args` (words without spaces); the exit status and stderr.
std::pair<int, std::string> Convert(const std::string& args) {
  test::TempFolder capture;
  const int status = std::system(
      (std::string(SODREL_CONVERT_EXE) + " " + args + " 2>" + (capture / "err").string()).c_str());
  std::ostringstream err;
  err << std::ifstream(capture / "err").rdbuf();
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, err.str()};
}

// Every pixel as B, G, R, A bytes, row after row; empty when there is no picture.
std::vector<int> Pixels(FIBITMAP* dib) {
  std::vector<int> pixels;
  if (dib == nullptr) return pixels;
  const MFreeImage::Bitmap bgra(FreeImage_ConvertTo32Bits(dib));
  for (unsigned y = 0; y < FreeImage_GetHeight(bgra.get()); ++y) {
    const BYTE* row = FreeImage_GetScanLine(bgra.get(), y);
    pixels.insert(pixels.end(), row, row + 4 * FreeImage_GetWidth(bgra.get()));
  }
  return pixels;
}

Bytes Varied(DdsFormat format, std::uint32_t width, std::uint32_t height) {
  return test::MakeDds(format, width, height, [](std::uint32_t x, std::uint32_t y) {
    return test::Rgb{int(x * 7 % 256), int(y * 5 % 256), int((x + y) * 3 % 256)};
  });
}

// A DXT5 file whose blocks each have an alpha of their own.
Bytes WithAlpha(Bytes dxt5) {
  for (std::size_t at = 128; at < dxt5.size(); at += 16) dxt5[at] = std::byte(at / 16 * 37);
  return dxt5;
}

// The same DXT1 texture under a DX10 header: BC1, a 2D texture, one image.
Bytes Dx10(Bytes dxt1) {
  const Bytes extension = With(With(With(Bytes(20), 0, 71), 4, 3), 12, 1);
  dxt1 = With(dxt1, 84, 0x30315844);  // "DX10"
  dxt1.insert(dxt1.begin() + 128, extension.begin(), extension.end());
  return dxt1;
}

// Each texture as a DDS file and in a container: the thumbnail has the expected size, the
// colours and alpha of the preview's BMP scaled with the same filter, and --size 0 is the BMP.
TEST(Thumbnail, IsThePreviewsPictureScaledToFit) {
  const Bytes sample = test::ReadFile(fs::path(SODREL_SOURCE_DIR) / "samples/sample.bin");
  const struct {
    const char* name;
    Bytes dds;
    int size;
    unsigned width, height;
  } cases[] = {
      {"sample", test::Slice(sample, 64), 48, 48, 48},
      {"dxt1", Varied(DdsFormat::Dxt1, 256, 256), 64, 64, 64},
      {"dxt5 with alpha", WithAlpha(Varied(DdsFormat::Dxt5, 128, 128)), 64, 64, 64},
      {"wide", Varied(DdsFormat::Rgb32, 512, 128), 100, 100, 25},
      {"dx10, smaller than the size", Dx10(Varied(DdsFormat::Dxt1, 64, 32)), 256, 64, 32},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::ProgramFolder folder;
    const fs::path container = folder / "t.bin", dds = folder / "t.bin.dds";
    test::WriteFile(dds, c.dds);
    test::WriteFile(container, test::Concat(test::Pattern(64), c.dds));
    test::RecordingSink sink;
    ASSERT_TRUE(PreviewExported(container, folder.path(), sink).shown());
    const MFreeImage::Bitmap bmp =
        MFreeImage::Load(FIF_BMP, folder.work("PictureLoad.bmp").c_str(), 0);
    const MFreeImage::Bitmap scaled(
        FreeImage_Rescale(bmp.get(), int(c.width), int(c.height), FILTER_BOX));
    for (const fs::path& input : {dds, container}) {
      for (const int size : {c.size, 0}) {
        SCOPED_TRACE(input.filename().string() + " --size " + std::to_string(size));
        const fs::path png = folder / "out.png";
        ASSERT_EQ(Convert("thumbnail --size " + std::to_string(size) + " " + input.string() + " " +
                          png.string()),
                  std::pair(0, std::string()));
        const MFreeImage::Bitmap picture = MFreeImage::Load(FIF_PNG, png.c_str(), 0);
        EXPECT_EQ(FreeImage_GetWidth(picture.get()),
                  size ? c.width : unsigned(sink.picture.width()));
        EXPECT_EQ(FreeImage_GetHeight(picture.get()),
                  size ? c.height : unsigned(sink.picture.height()));
        EXPECT_EQ(Pixels(picture.get()), Pixels(size ? scaled.get() : bmp.get()));
      }
    }
  }
}

// A file that gives no picture writes nothing, leaves an earlier output as it was, and says why
// in one line.
TEST(Thumbnail, FailsWithOneLineAndNoOutput) {
  const struct {
    const char* args;  // {in} is the input, {out} the output
    Bytes input;
    int status;
    const char* reason;
  } cases[] = {
      {"{in} {out}", With(test::MakeDds(DdsFormat::Dxt1, 8, 8, test::kRed), 16, 0), 1,
       "the preview refuses this texture: width or height outside 1 to 16384"},
      {"{in} {out}", test::Pattern(300), 1, "neither a DDS file nor a container holding one"},
      {"{in}.missing {out}", {}, 1, "cannot open the input file: No such file or directory"},
      {"{in} {out}.no/out.png", test::MakeDds(DdsFormat::Dxt1, 8, 8, test::kRed), 1,
       "cannot write the PNG file: No such file or directory"},
      {"--size -1 {in} {out}", {}, 2, "--size takes a whole number from 0 to 16384"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    test::TempFolder folder;
    test::WriteFile(folder / "in", c.input);
    test::WriteFile(folder / "out", test::Pattern(10));
    std::string args = c.args;
    args.replace(args.find("{in}"), 4, (folder / "in").string());
    args.replace(args.find("{out}"), 5, (folder / "out").string());
    const auto [status, err] = Convert("thumbnail " + args);
    EXPECT_EQ(status, c.status);
    EXPECT_NE(err.find(c.reason), std::string::npos) << err;
    EXPECT_EQ(test::Entries(folder.path()), (std::set<std::string>{"in", "out"}));
    EXPECT_EQ(test::ReadFile(folder / "out"), test::Pattern(10));
  }
}

// png: every container and DDS file of a folder, in any letter case, gets its full picture.
TEST(Png, WritesAPictureBesideEachTexture) {
  test::TempFolder folder;
  const Bytes dds = Varied(DdsFormat::Dxt5, 8, 4);
  test::WriteFile(folder / "a.bin", test::Concat(test::Pattern(64), dds));
  test::WriteFile(folder / "b.DDS", dds);
  test::WriteFile(folder / "c.bin", test::Pattern(100));
  test::WriteFile(folder / "d.txt", dds);
  const auto [status, err] = Convert("png " + folder.path().string());
  EXPECT_EQ(status, 1);
  EXPECT_EQ(err, (folder / "c.bin").string() +
                     ": neither a DDS file nor a container holding one\n2 converted, 1 failed\n");
  for (const char* png : {"a.bin.png", "b.DDS.png"}) {
    const MFreeImage::Bitmap picture = MFreeImage::Load(FIF_PNG, (folder / png).c_str(), 0);
    EXPECT_EQ(FreeImage_GetWidth(picture.get()), 8u) << png;
    EXPECT_EQ(FreeImage_GetHeight(picture.get()), 4u) << png;
  }
  EXPECT_FALSE(fs::exists(folder / "c.bin.png") || fs::exists(folder / "d.txt.png"));
}

}  // namespace
}  // namespace sodrel
