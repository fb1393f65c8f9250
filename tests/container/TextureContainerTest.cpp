#include "container/TextureContainer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "tests/support/TestFiles.h"
#include "workfiles/WorkingFiles.h"

namespace sodrel {
namespace {

using test::Bytes;
using test::Concat;
using test::Pattern;
using test::ReadFile;
using test::Slice;
using test::WriteFile;
namespace fs = std::filesystem;

constexpr std::size_t kMiB = 1 << 20;

// Builds `dds` the way the import command does: stage it, then build.
ConvertResult StageAndBuild(const test::ProgramFolder& program, const fs::path& dds) {
  EXPECT_FALSE(StageCopy(dds, program.path(), WorkFile::ImportFile));
  return BuildContainer(dds, program.path());
}

class RoundTrip : public testing::TestWithParam<std::size_t> {};

TEST_P(RoundTrip, BuildThenExportGivesBackTheDdsFileByteForByte) {
  test::ProgramFolder program;
  const Bytes dds = Pattern(GetParam(), 7);
  const fs::path ddsPath = program / "texture.dds";
  WriteFile(ddsPath, dds);

  ASSERT_TRUE(StageAndBuild(program, ddsPath).written());
  const fs::path container = program / "texture.dds.bin";
  EXPECT_EQ(ReadFile(container), Concat(ReadFile(program.templatePath()), dds));

  ASSERT_TRUE(ExportTexture(container).written());
  EXPECT_EQ(ReadFile(program / "texture.dds.bin.dds"), dds);
}

TEST_P(RoundTrip, ExportThenBuildReproducesTheContainerWhenItsHeaderIsTheTemplate) {
  test::ProgramFolder program;
  const Bytes container = Concat(ReadFile(program.templatePath()), Pattern(GetParam(), 3));
  const fs::path binPath = program / "a.bin";
  WriteFile(binPath, container);

  ASSERT_TRUE(ExportTexture(binPath).written());
  const fs::path ddsPath = program / "a.bin.dds";
  EXPECT_EQ(ReadFile(ddsPath), Slice(container, 64));

  ASSERT_TRUE(StageAndBuild(program, ddsPath).written());
  EXPECT_EQ(ReadFile(program / "a.bin.dds.bin"), container);
}

// Sizes around the 1 MiB copy chunk and a few MiB.
INSTANTIATE_TEST_SUITE_P(Sizes, RoundTrip,
                         testing::Values(1, 2, kMiB - 1, kMiB, kMiB + 1, 5 * kMiB + 17));

TEST(ExportTexture, ADifferentHeaderIsDroppedAndOnlyTheHeaderDiffersAfterARebuild) {
  test::ProgramFolder program;
  const Bytes container = Concat(Pattern(64, 99), Pattern(500, 4));
  WriteFile(program / "a.bin", container);
  ASSERT_TRUE(ExportTexture(program / "a.bin").written());
  ASSERT_TRUE(StageAndBuild(program, program / "a.bin.dds").written());
  const Bytes rebuilt = ReadFile(program / "a.bin.dds.bin");
  EXPECT_EQ(Slice(rebuilt, 0, 64), ReadFile(program.templatePath()));
  EXPECT_EQ(Slice(rebuilt, 64), Slice(container, 64));
}

struct ExportBoundary {
  std::size_t containerSize;
  ConvertOutcome outcome;
  friend void PrintTo(const ExportBoundary& c, std::ostream* os) {
    *os << c.containerSize << " bytes";
  }
};

class ExportBoundaries : public testing::TestWithParam<ExportBoundary> {};

TEST_P(ExportBoundaries, OnlyAContainerLongerThanItsHeaderExports) {
  test::TempFolder folder;
  const Bytes container = Pattern(GetParam().containerSize);
  WriteFile(folder / "a.bin", container);
  EXPECT_EQ(ExportTexture(folder / "a.bin").outcome, GetParam().outcome);
  if (GetParam().outcome == ConvertOutcome::Written) {
    EXPECT_EQ(ReadFile(folder / "a.bin.dds"), Slice(container, 64));
  } else {
    EXPECT_EQ(test::Entries(folder.path()), std::set<std::string>{"a.bin"});
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ExportBoundaries,
                         testing::Values(ExportBoundary{0, ConvertOutcome::InputTooShort},
                                         ExportBoundary{63, ConvertOutcome::InputTooShort},
                                         ExportBoundary{64, ConvertOutcome::InputTooShort},
                                         ExportBoundary{65, ConvertOutcome::Written},
                                         ExportBoundary{66, ConvertOutcome::Written}));

TEST(ExportTexture, AMissingOrEmptyPathCreatesNothing) {
  test::TempFolder folder;
  EXPECT_EQ(ExportTexture(folder / "nothing.bin").outcome, ConvertOutcome::InputMissing);
  EXPECT_EQ(ExportTexture("").outcome, ConvertOutcome::InputMissing);
  EXPECT_EQ(ExportTexture(folder.path()).outcome, ConvertOutcome::InputMissing);
  EXPECT_TRUE(test::Entries(folder.path()).empty());
}

TEST(ExportTexture, AFifoIsRefusedInsteadOfWaitingForAWriter) {
  test::TempFolder folder;
  ASSERT_EQ(::mkfifo((folder / "pipe.bin").c_str(), 0600), 0);
  EXPECT_EQ(ExportTexture(folder / "pipe.bin").outcome, ConvertOutcome::InputMissing);
  EXPECT_FALSE(fs::exists(folder / "pipe.bin.dds"));
}

TEST(ExportTexture, ALongerEarlierOutputIsReplacedByExactlyTheNewContent) {
  test::TempFolder folder;
  WriteFile(folder / "a.bin.dds", Pattern(10000, 5));
  const Bytes container = Pattern(64 + 100, 6);
  WriteFile(folder / "a.bin", container);
  ASSERT_TRUE(ExportTexture(folder / "a.bin").written());
  EXPECT_EQ(ReadFile(folder / "a.bin.dds"), Slice(container, 64));
}

TEST(ExportTexture, AnOutputPathHeldByAFolderFailsAndLeavesNoTemporaryFile) {
  test::TempFolder folder;
  WriteFile(folder / "a.bin", Pattern(200));
  fs::create_directory(folder / "a.bin.dds");
  WriteFile(folder / "a.bin.dds" / "inside", Pattern(3));
  EXPECT_EQ(ExportTexture(folder / "a.bin").outcome, ConvertOutcome::OutputFailed);
  EXPECT_EQ(test::Entries(folder.path()), (std::set<std::string>{"a.bin", "a.bin.dds"}));
  EXPECT_EQ(ReadFile(folder / "a.bin.dds" / "inside"), Pattern(3));
}

TEST(ExportTexture, AnOutputPathThatIsASymbolicLinkIsReplacedAndItsTargetUntouched) {
  test::TempFolder folder;
  WriteFile(folder / "precious", Pattern(30, 1));
  fs::create_symlink(folder / "precious", folder / "a.bin.dds");
  const Bytes container = Pattern(100, 2);
  WriteFile(folder / "a.bin", container);
  ASSERT_TRUE(ExportTexture(folder / "a.bin").written());
  EXPECT_FALSE(fs::is_symlink(folder / "a.bin.dds"));
  EXPECT_EQ(ReadFile(folder / "a.bin.dds"), Slice(container, 64));
  EXPECT_EQ(ReadFile(folder / "precious"), Pattern(30, 1));
}

struct TemplateCase {
  const char* name;
  std::optional<std::size_t> templateSize;  // nullopt: no template file at all
  ConvertOutcome outcome;
  friend void PrintTo(const TemplateCase& c, std::ostream* os) { *os << c.name; }
};

class HeaderTemplate : public testing::TestWithParam<TemplateCase> {};

TEST_P(HeaderTemplate, GivesItsFirst64BytesZeroPaddedOrStopsTheBuild) {
  test::ProgramFolder program;
  fs::remove(program.templatePath());
  const std::optional<std::size_t> size = GetParam().templateSize;
  const Bytes templ = Pattern(size.value_or(0), 11);
  if (size) WriteFile(program.templatePath(), templ);
  const Bytes dds = Pattern(300, 12);
  WriteFile(program / "a.dds", dds);

  EXPECT_EQ(StageAndBuild(program, program / "a.dds").outcome, GetParam().outcome);
  if (!size) {
    EXPECT_FALSE(fs::exists(program.templatePath())) << "reading must not create the template";
    EXPECT_FALSE(fs::exists(program / "a.dds.bin"));
    return;
  }
  Bytes header = Slice(templ, 0, 64);
  header.resize(64, std::byte{0});
  EXPECT_EQ(ReadFile(program / "a.dds.bin"), Concat(header, dds));
}

INSTANTIATE_TEST_SUITE_P(Templates, HeaderTemplate,
                         testing::Values(TemplateCase{"Missing", std::nullopt,
                                                      ConvertOutcome::TemplateMissing},
                                         TemplateCase{"Empty", 0, ConvertOutcome::Written},
                                         TemplateCase{"Shorter", 10, ConvertOutcome::Written},
                                         TemplateCase{"Exact", 64, ConvertOutcome::Written},
                                         TemplateCase{"Longer", 1000, ConvertOutcome::Written}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BuildContainer, RefusesAMissingStaleOrAbsentStagedCopy) {
  test::ProgramFolder program;
  WriteFile(program / "a.dds", Pattern(400, 1));
  EXPECT_EQ(BuildContainer(program / "a.dds", program.path()).outcome,
            ConvertOutcome::StagedCopyMissing);

  WriteFile(program.work("ImportFile"), Pattern(399, 2));  // left by an earlier import
  EXPECT_EQ(BuildContainer(program / "a.dds", program.path()).outcome,
            ConvertOutcome::StagedCopyMismatch);

  fs::remove_all(program / "Temp");
  EXPECT_EQ(BuildContainer(program / "a.dds", program.path()).outcome,
            ConvertOutcome::StagedCopyMissing);
  EXPECT_FALSE(fs::exists(program / "a.dds.bin"));
}

TEST(BuildContainer, AnEmptyOrMissingDdsFileYieldsNoContainer) {
  test::ProgramFolder program;
  WriteFile(program / "empty.dds", {});
  EXPECT_EQ(StageAndBuild(program, program / "empty.dds").outcome, ConvertOutcome::InputEmpty);
  EXPECT_FALSE(fs::exists(program / "empty.dds.bin"));
  EXPECT_EQ(BuildContainer(program / "gone.dds", program.path()).outcome,
            ConvertOutcome::InputMissing);
  EXPECT_FALSE(fs::exists(program / "gone.dds.bin"));
}

TEST(BuildContainer, AppendsTheSuffixToTheFullNameWhateverItEndsWith) {
  test::ProgramFolder program;
  WriteFile(program / "a.bin", Pattern(100));
  ASSERT_TRUE(StageAndBuild(program, program / "a.bin").written());
  EXPECT_TRUE(fs::exists(program / "a.bin.bin"));
  WriteFile(program / "b.dds", Pattern(100));
  ASSERT_TRUE(ExportTexture(program / "b.dds").written());
  EXPECT_TRUE(fs::exists(program / "b.dds.dds"));
}

// A sparse container past 2 GiB: lengths and offsets must not wrap at 32 bits.
TEST(ExportTexture, AContainerOfMoreThan2GiBExportsWhole) {
  test::TempFolder folder;
  const std::uint64_t payload = (std::uint64_t{1} << 31) + 4096;
  const Bytes tail = Pattern(4096, 21);
  {
    std::ofstream out(folder / "big.bin", std::ios::binary);
    out.write("H", 1);
    out.seekp(static_cast<std::streamoff>(64 + payload - tail.size()));
    out.write(reinterpret_cast<const char*>(tail.data()),
              static_cast<std::streamsize>(tail.size()));
  }
  ASSERT_TRUE(ExportTexture(folder / "big.bin").written());
  const fs::path dds = folder / "big.bin.dds";
  ASSERT_EQ(fs::file_size(dds), payload);
  std::ifstream in(dds, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(payload - tail.size()));
  Bytes got(tail.size());
  in.read(reinterpret_cast<char*>(got.data()), static_cast<std::streamsize>(got.size()));
  EXPECT_EQ(got, tail);
}

}  // namespace
}  // namespace sodrel
