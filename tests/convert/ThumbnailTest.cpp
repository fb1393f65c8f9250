// Runs sodrel-convert thumbnail and png, and holds their pictures against the preview's BMP.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "preview/MFreeImage.h"
#include "preview/Preview.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/RecordingSink.h"

namespace sodrel {
namespace {

using test::Bytes, test::DdsFormat, test::With;
namespace fs = std::filesystem;

// Runs sodrel-convert with `args` (words without spaces) in `folder`; the exit status and stderr.
std::pair<int, std::string> Convert(const std::string& args, const fs::path& folder = "/") {
  const std::string command = "cd " + folder.string() + " && " SODREL_CONVERT_EXE " " + args;
  FILE* pipe = ::popen((command + " 2>&1 >/dev/null").c_str(), "r");
  std::string err;
  for (int c; (c = std::fgetc(pipe)) != EOF;) err += char(c);
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, err};
}

// The width, the height, then every pixel as B, G, R, A, row after row; {0, 0} for no picture.
std::vector<int> Pixels(FIBITMAP* dib) {
  const MFreeImage::Bitmap bgra(FreeImage_ConvertTo32Bits(dib));
  std::vector<int> pixels{int(FreeImage_GetWidth(dib)), int(FreeImage_GetHeight(dib))};
  const BYTE* bits = FreeImage_GetBits(bgra.get());  // 32-bit rows have no padding
  pixels.insert(pixels.end(), bits, bits + 4 * std::size_t(pixels[0]) * pixels[1]);
  return pixels;
}

// A texture whose blocks differ in colour and, in DXT5, in alpha.
Bytes Varied(DdsFormat format, std::uint32_t width, std::uint32_t height) {
  Bytes dds = test::MakeDds(format, width, height, [](std::uint32_t x, std::uint32_t y) {
    return test::Rgb{int(x * 7 % 256), int(y * 5 % 256), int((x + y) * 3 % 256)};
  });
  for (std::size_t at = 128; format == DdsFormat::Dxt5 && at < dds.size(); at += 16) {
    dds[at] = std::byte(at / 16 * 37);
  }
  return dds;
}

// The same DXT1 texture under a DX10 header: BC1, a 2D texture, one image.
Bytes Dx10(Bytes dxt1) {
  const Bytes extension = With(With(With(Bytes(20), 0, 71), 4, 3), 12, 1);
  dxt1 = With(dxt1, 84, 0x30315844);  // "DX10"
  dxt1.insert(dxt1.begin() + 128, extension.begin(), extension.end());
  return dxt1;
}

// Each texture as a DDS file and in a container: the thumbnail is the preview's BMP scaled to the
// expected size with the same filter, alpha kept, and --size 0 gives the BMP itself.
TEST(Thumbnail, IsThePreviewsPictureScaledToFit) {
  const Bytes sample = test::ReadFile(fs::path(SODREL_SOURCE_DIR) / "samples/sample.bin");
  const struct {
    const char* name;
    Bytes dds;
    int size, width, height;
  } cases[] = {
      {"sample", test::Slice(sample, 64), 48, 48, 48},
      {"dxt1", Varied(DdsFormat::Dxt1, 256, 256), 64, 64, 64},
      {"dxt5 with alpha", Varied(DdsFormat::Dxt5, 128, 128), 64, 64, 64},
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
    const MFreeImage::Bitmap scaled(FreeImage_Rescale(bmp.get(), c.width, c.height, FILTER_BOX));
    for (const fs::path& input : {dds, container}) {
      for (const int size : {c.size, 0}) {
        SCOPED_TRACE(input.filename().string() + " --size " + std::to_string(size));
        const fs::path png = folder / "out.png";
        ASSERT_EQ(Convert("thumbnail --size " + std::to_string(size) + " " + input.string() + " " +
                          png.string()),
                  std::pair(0, std::string()));
        EXPECT_EQ(Pixels(MFreeImage::Load(FIF_PNG, png.c_str(), 0).get()),
                  Pixels(size ? scaled.get() : bmp.get()));
      }
    }
  }
}

// A file that gives no picture writes nothing, leaves an earlier output as it was, and says why
// in one line.
TEST(Thumbnail, FailsWithOneLineAndNoOutput) {
  const struct {
    const char* args;  // run in a folder holding `input` as "in" and an earlier "out"
    Bytes input;
    int status;
    const char* reason;
  } cases[] = {
      {"in out", With(test::MakeDds(DdsFormat::Dxt1, 8, 8, test::kRed), 16, 0), 1,
       "in: the preview refuses this texture: width or height outside 1 to 16384\n"},
      {"in out", test::Pattern(300), 1, "in: neither a DDS file nor a container holding one\n"},
      {"missing out", {}, 1, "missing: cannot open the input file: No such file or directory\n"},
      {"in no/out", test::MakeDds(DdsFormat::Dxt1, 8, 8, test::kRed), 1,
       "in: cannot write the PNG file: No such file or directory\n"},
      {"--size -1 in out", {}, 2, "sodrel-convert: --size takes a whole number from 0 to 16384\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    test::TempFolder folder;
    test::WriteFile(folder / "in", c.input);
    test::WriteFile(folder / "out", test::Pattern(10));
    const auto [status, err] = Convert(std::string("thumbnail ") + c.args, folder.path());
    // The whole of stderr, one line, for a failed file; the first line for a usage error.
    EXPECT_EQ(std::pair(status, c.status == 1 ? err : err.substr(0, err.find('\n') + 1)),
              std::pair(c.status, std::string(c.reason)));
    EXPECT_EQ(test::Entries(folder.path()), (std::set<std::string>{"in", "out"}));
    EXPECT_EQ(test::ReadFile(folder / "out"), test::Pattern(10));
  }
}

// png: every container and DDS file of a folder, in any letter case, gets its picture.
TEST(Png, WritesAPictureBesideEachTexture) {
  test::TempFolder folder;
  const Bytes dds = Varied(DdsFormat::Dxt5, 8, 4);
  test::WriteFile(folder / "a.bin", test::Concat(test::Pattern(64), dds));
  test::WriteFile(folder / "b.DDS", dds);
  test::WriteFile(folder / "c.bin", test::Pattern(100));
  const auto [status, err] = Convert("png .", folder.path());
  EXPECT_EQ(status, 1);
  EXPECT_EQ(err,
            "./c.bin: neither a DDS file nor a container holding one\n2 converted, 1 failed\n");
  EXPECT_EQ(test::Entries(folder.path()),
            (std::set<std::string>{"a.bin", "a.bin.png", "b.DDS", "b.DDS.png", "c.bin"}));
}

}  // namespace
}  // namespace sodrel
