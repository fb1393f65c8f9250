#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <tuple>
#include <vector>

#include "bench/Generate.h"
#include "bench/Measure.h"
#include "bench/Suite.h"
#include "dds/DdsNames.h"
#include "dds/DdsTexture.h"

namespace sodrel::bench {
namespace {

namespace fs = std::filesystem;

class Folder {
 public:
  Folder() {
    std::string pattern = (fs::temp_directory_path() / "sodrel-bench-test.XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~Folder() { fs::remove_all(path_); }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

std::vector<std::byte> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> chars{std::istreambuf_iterator<char>(in), {}};
  std::vector<std::byte> bytes(chars.size());
  std::memcpy(bytes.data(), chars.data(), chars.size());
  return bytes;
}

std::uint16_t Read16(const std::vector<std::byte>& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(std::to_integer<unsigned>(bytes[at]) |
                                    std::to_integer<unsigned>(bytes[at + 1]) << 8);
}

// The textures must pass the same check the preview applies, or a preview run measures a refusal.
TEST(GeneratedTextures, PassThePreviewHeaderCheckWithTheirWholeSurface) {
  Folder folder;
  struct Shape {
    TextureFormat format;
    std::uint32_t width, height;
  };
  for (const Shape& s : {Shape{TextureFormat::Dxt1, 64, 64}, Shape{TextureFormat::Dxt5, 256, 128},
                         Shape{TextureFormat::Rgba32, 64, 32}, Shape{TextureFormat::Dxt1, 6, 10},
                         Shape{TextureFormat::Bc7, 64, 32}, Shape{TextureFormat::Bc6h, 6, 10}}) {
    SCOPED_TRACE(std::string(FormatName(s.format)) + " " + std::to_string(s.width));
    const fs::path path = folder / "texture.dds";
    ASSERT_FALSE(WriteTexture(path, s.format, s.width, s.height));
    const DdsTexture info = InspectDdsFile(path);
    EXPECT_EQ(info.check, DdsCheck::Accepted) << Describe(info.check);
    EXPECT_EQ(info.header.width, s.width);
    EXPECT_EQ(info.header.height, s.height);
    EXPECT_EQ(fs::file_size(path), info.bytesNeeded);
  }
}

// Blocks with c0 <= c1 switch to three colours and transparency, which is not what we time.
TEST(GeneratedTextures, EveryColourBlockHasFourColours) {
  Folder folder;
  for (TextureFormat format : {TextureFormat::Dxt1, TextureFormat::Dxt5}) {
    ASSERT_FALSE(WriteTexture(folder / "t.dds", format, 64, 64));
    const std::vector<std::byte> bytes = ReadAll(folder / "t.dds");
    const std::size_t blockBytes = format == TextureFormat::Dxt1 ? 8 : 16;
    const std::size_t colourAt = blockBytes - 8;
    ASSERT_EQ(bytes.size(), 128 + 16 * 16 * blockBytes);
    for (std::size_t at = 128; at < bytes.size(); at += blockBytes) {
      ASSERT_GT(Read16(bytes, at + colourAt), Read16(bytes, at + colourAt + 2)) << at;
    }
  }
}

// Every pairing of width, height and format once, in folders and subfolders, each texture
// readable as planned: a batch over the folder must meet every shape.
TEST(TextureFolder, HoldsEveryShapeOnceInNestedFolders) {
  Folder folder;
  const std::vector<FolderTexture> plan = PlanTextureFolder(8, 16, 32);
  ASSERT_EQ(plan.size(), 8u);
  ASSERT_FALSE(WriteTextureFolder(folder / "t", plan));
  std::set<std::tuple<TextureFormat, std::uint32_t, std::uint32_t>> shapes;
  std::set<fs::path> folders;
  for (const FolderTexture& t : plan) {
    SCOPED_TRACE(t.relative.string());
    const DdsTexture info = InspectDdsFile(folder / "t" / t.relative);
    EXPECT_EQ(info.check, DdsCheck::Accepted) << Describe(info.check);
    EXPECT_EQ(info.header.width, t.width);
    EXPECT_EQ(info.header.height, t.height);
    EXPECT_EQ(DescribeFormat(info), t.format == TextureFormat::Dxt1 ? "DXT1" : "DXT5");
    shapes.emplace(t.format, t.width, t.height);
    folders.insert(t.relative.parent_path());
  }
  EXPECT_EQ(shapes.size(), 8u);
  EXPECT_TRUE(folders.count("set0/more") && folders.count("set1"));
}

TEST(FilledFile, HasTheExactLengthStartsWithThePrefixAndHasNoRuns) {
  Folder folder;
  const std::vector<std::byte> prefix{std::byte{'D'}, std::byte{'D'}, std::byte{'S'}};
  const std::uint64_t size = (1 << 20) + 13;  // more than one chunk, not a whole word
  ASSERT_FALSE(WriteFilledFile(folder / "f", prefix, size));
  const std::vector<std::byte> bytes = ReadAll(folder / "f");
  ASSERT_EQ(bytes.size(), size);
  EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), bytes.begin()));
  // Not a file of zeros or of a repeated page, which a copy could take shortcuts on.
  EXPECT_NE(std::memcmp(bytes.data() + 4096, bytes.data() + 8192, 4096), 0);
  EXPECT_NE(bytes[size - 1], std::byte{0});
}

TEST(SameContents, FindsADifferenceAnywhereAndADifferentLength) {
  Folder folder;
  const std::uint64_t size = (3 << 20) / 2;  // the last byte lies in the second chunk
  ASSERT_FALSE(WriteFilledFile(folder / "a", {}, size));
  ASSERT_FALSE(WriteFilledFile(folder / "b", {}, size));
  std::error_code error;
  EXPECT_TRUE(SameContents(folder / "a", folder / "b", error));

  std::vector<std::byte> changed = ReadAll(folder / "b");
  changed.back() ^= std::byte{1};
  std::ofstream(folder / "b", std::ios::binary)
      .write(reinterpret_cast<const char*>(changed.data()), static_cast<long>(changed.size()));
  EXPECT_FALSE(SameContents(folder / "a", folder / "b", error));
  EXPECT_FALSE(error);

  changed.pop_back();
  std::ofstream(folder / "c", std::ios::binary)
      .write(reinterpret_cast<const char*>(changed.data()), static_cast<long>(changed.size()));
  EXPECT_FALSE(SameContents(folder / "a", folder / "c", error));

  EXPECT_FALSE(SameContents(folder / "a", folder / "missing", error));
  EXPECT_TRUE(error);
}

TEST(RunTimed, ReportsFailuresAndRedirectsOutput) {
  Folder folder;
  EXPECT_TRUE(RunTimed({{"true"}, {}}).succeeded);
  EXPECT_FALSE(RunTimed({{"false"}, {}}).succeeded);
  EXPECT_FALSE(RunTimed({{"/nonexistent/program"}, {}}).succeeded);

  const RunResult echoed = RunTimed({{"echo", "hello"}, folder / "out"});
  EXPECT_TRUE(echoed.succeeded);
  EXPECT_GT(echoed.ms, 0);
  EXPECT_GT(echoed.peakRssMiB, 0);
  EXPECT_EQ(ReadAll(folder / "out").size(), 6u);
}

TEST(Summarize, TakesTheMedianOfPairwiseRatiosAndTheHighestPeak) {
  auto run = [](double ms, double rss) { return RunResult{ms, rss, true}; };
  // The ratio of the medians would be 20 / 20 = 1; the pairs say ours is twice as slow.
  const CaseSummary s = Summarize("x", {run(10, 3), run(20, 9), run(40, 4), run(60, 5)},
                                  {run(5, 1), run(10, 1), run(20, 1), run(100, 1)});
  EXPECT_EQ(s.runs, 4);
  EXPECT_DOUBLE_EQ(s.oursMs, 30);
  EXPECT_DOUBLE_EQ(s.peerMs, 15);
  EXPECT_DOUBLE_EQ(s.ratio, 2);
  EXPECT_DOUBLE_EQ(s.peakRssMiB, 9);
  EXPECT_EQ(MachineLine(s), "bench x ours_ms=30.0 peer_ms=15.0 ratio=2.000 peak_rss_mib=9.0");
  CaseSummary counted = s;
  counted.bytesRead = 472;
  EXPECT_EQ(MachineLine(counted), MachineLine(s) + " bytes_read=472");
}

// Reads of other files, and of a descriptor after it was closed and reused, are not counted.
TEST(BytesRead, CountsWhatTheCommandReadOfItsInputOnly) {
  Folder folder;
  ASSERT_FALSE(WriteFilledFile(folder / "input", {}, 5000));
  ASSERT_FALSE(WriteFilledFile(folder / "other", {}, 300));
  const Command sums{{"md5sum", (folder / "input").string(), (folder / "other").string()},
                     folder / "out"};
  EXPECT_EQ(BytesRead(sums, folder / "input", folder / "log"), 5000u);
  EXPECT_EQ(BytesRead({{"false"}, {}}, folder / "input", folder / "log"), std::nullopt);
}

// A quick suite of one run each over the cases whose names start with `only`, working in `work`.
SuiteOptions QuickSuite(const std::string& only, const fs::path& work) {
  SuiteOptions options;
  options.quick = true;
  options.warmups = 0;
  options.runs = 1;
  options.only = only;
  options.work = work;
  options.headerTemplate = SODREL_BENCH_TEMPLATE;
  return options;
}

// A run that "succeeds" without the right output must fail the whole benchmark, or the table
// would time a broken operation.
TEST(Suite, FailsWhenOurOutputIsMissingOrWrong) {
  Folder folder;
  const fs::path writesWrongBytes = folder / "wrong-export";
  std::ofstream(writesWrongBytes) << "#!/bin/sh\nprintf 'not the payload' > \"$2.dds\"\n";
  fs::permissions(writesWrongBytes, fs::perms::owner_all);
  for (const fs::path& program : {fs::path("true"), writesWrongBytes}) {
    SCOPED_TRACE(program.string());
    const fs::path work = folder / ("work-" + program.filename().string());
    fs::create_directory(work);
    SuiteOptions options = QuickSuite("export_", work);
    options.benchProgram = program;
    EXPECT_EQ(RunSuite(options), 1);
  }
}

// The batch case runs the real programs through a wrapper that spoils one picture after the
// real run: of the two jobs' run only (bytes differ from one job's), or of both (same bytes, but
// another texture's picture, of another size). Its arguments: png -r -q -f -j N -o OUT DIR.
TEST(Suite, BatchCaseFailsUnlessBothRunsWriteTheRightPictures) {
  const std::string spoil = "p=$(find \"$8\" -name '*.png' | sort); f=$(echo \"$p\" | tail -1); ";
  const struct {
    std::string script;
    int status;
  } cases[] = {
      {"", 0},
      {"[ \"$6\" = 2 ] && printf x >> \"$f\"", 1},
      {"cp \"$(echo \"$p\" | head -1)\" \"$f\"", 1},
  };
  Folder folder;
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    const fs::path work = folder / ("work" + std::to_string(++n));
    const fs::path wrapper = folder / ("convert" + std::to_string(n));
    fs::create_directory(work);
    std::ofstream(wrapper) << "#!/bin/sh\n" SODREL_BENCH_CONVERT " \"$@\" || exit\n"
                           << spoil << c.script << "\nexit 0\n";
    fs::permissions(wrapper, fs::perms::owner_all);
    SuiteOptions options = QuickSuite("png_r_", work);
    options.benchProgram = SODREL_BENCH_PROGRAM;
    options.convertProgram = wrapper;
    EXPECT_EQ(RunSuite(options), c.status);
  }
}

TEST(Suite, FailsWhenNoCaseIsMeasured) {
  Folder folder;
  fs::create_directory(folder / "work");
  EXPECT_EQ(RunSuite(QuickSuite("no_such_case", folder / "work")), 1);
}

}  // namespace
}  // namespace sodrel::bench
