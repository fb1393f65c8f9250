#include "container/TextureContainer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "tests/support/TestFiles.h"
#include "workfiles/WorkingFiles.h"

namespace sodrel {
namespace {

using namespace test;
namespace fs = std::filesystem;

// Builds `dds` the way the import command does: stage it, then build from the staged copy.
ConvertResult StageAndBuild(const ProgramFolder& program, const fs::path& dds) {
  EXPECT_FALSE(StageCopy(dds, program.path(), WorkFile::ImportFile));
  return BuildContainer(dds, program.path(), program.work("ImportFile"));
}

// Sizes around the 1 MiB copy chunk; the container's header is not the template's.
class RoundTrip : public testing::TestWithParam<std::size_t> {};

TEST_P(RoundTrip, ExportDropsTheHeaderAndABuildPutsTheTemplateBack) {
  ProgramFolder program;
  const Bytes dds = Pattern(GetParam(), 7);
  WriteFile(program / "a.bin", Concat(Pattern(64, 99), dds));
  ASSERT_TRUE(ExportTexture(program / "a.bin").written());
  EXPECT_EQ(ReadFile(program / "a.bin.dds"), dds);
  ASSERT_TRUE(StageAndBuild(program, program / "a.bin.dds").written());
  EXPECT_EQ(ReadFile(program / "a.bin.dds.bin"), Concat(ReadFile(program.templatePath()), dds));
}

INSTANTIATE_TEST_SUITE_P(Sizes, RoundTrip,
                         testing::Values(1, 2, (1 << 20) - 1, 1 << 20, 5 * (1 << 20) + 17));

// One export each: a container of `size` bytes, after `plant` prepared the folder.
struct ExportCase {
  const char* name;
  std::size_t size;
  ConvertOutcome outcome;
  void (*plant)(const fs::path& folder) = [](const fs::path&) {};
};

const ExportCase kExports[] = {
    {"Empty", 0, ConvertOutcome::InputTooShort},
    {"ShorterThanTheHeader", 63, ConvertOutcome::InputTooShort},
    {"JustTheHeader", 64, ConvertOutcome::InputTooShort},
    {"OneByteTexture", 65, ConvertOutcome::Written},
    {"Missing", 0, ConvertOutcome::InputMissing,
     [](const fs::path& f) { fs::remove(f / "a.bin"); }},
    {"AFolder", 0, ConvertOutcome::InputMissing,
     [](const fs::path& f) { fs::remove(f / "a.bin"), fs::create_directory(f / "a.bin"); }},
    {"AFifoIsNotWaitedOn", 0, ConvertOutcome::InputMissing,
     [](const fs::path& f) { fs::remove(f / "a.bin"), ::mkfifo((f / "a.bin").c_str(), 0600); }},
    {"ALongerEarlierOutputIsReplacedWhole", 300, ConvertOutcome::Written,
     [](const fs::path& f) { WriteFile(f / "a.bin.dds", Pattern(10000, 5)); }},
    {"AFolderAtTheOutput", 300, ConvertOutcome::OutputFailed,
     [](const fs::path& f) { fs::create_directory(f / "a.bin.dds"); }},
    {"ALinkAtTheOutputIsReplacedNotFollowed", 300, ConvertOutcome::Written,
     [](const fs::path& f) { fs::create_symlink(f / "precious", f / "a.bin.dds"); }},
    {"AReplacedOutputKeepsItsPermissions", 300, ConvertOutcome::Written,
     [](const fs::path& f) {
       WriteFile(f / "a.bin.dds", {}), fs::permissions(f / "a.bin.dds", fs::perms(0604));
     }},
};

class Export : public testing::TestWithParam<ExportCase> {};

TEST_P(Export, WritesBytes64ToTheEndOrNothing) {
  TempFolder folder;
  const Bytes container = Pattern(GetParam().size, 6);
  WriteFile(folder / "a.bin", container);
  WriteFile(folder / "precious", Pattern(30, 1));
  GetParam().plant(folder.path());
  const std::set<std::string> before = Entries(folder.path());
  const fs::file_status earlier = fs::symlink_status(folder / "a.bin.dds");

  EXPECT_EQ(ExportTexture(folder / "a.bin").outcome, GetParam().outcome);
  EXPECT_EQ(ReadFile(folder / "precious"), Pattern(30, 1));
  if (GetParam().outcome != ConvertOutcome::Written) {
    EXPECT_EQ(Entries(folder.path()), before) << "no output and no temporary file";
    return;
  }
  EXPECT_EQ(ReadFile(folder / "a.bin.dds"), Slice(container, 64));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / "a.bin.dds")));
  if (fs::is_regular_file(earlier)) {
    EXPECT_EQ(fs::status(folder / "a.bin.dds").permissions(), earlier.permissions());
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Export, testing::ValuesIn(kExports),
                         [](const auto& info) { return std::string(info.param.name); });

class HeaderTemplate : public testing::TestWithParam<int> {};  // its size; -1: none

TEST_P(HeaderTemplate, GivesItsFirst64BytesZeroPaddedOrStopsTheBuild) {
  ProgramFolder program;
  fs::remove(program.templatePath());
  const Bytes templ = Pattern(std::max(GetParam(), 0), 11);
  if (GetParam() >= 0) WriteFile(program.templatePath(), templ);
  const Bytes dds = Pattern(300, 12);
  WriteFile(program / "a.dds", dds);

  const ConvertResult result = StageAndBuild(program, program / "a.dds");
  if (GetParam() < 0) {
    EXPECT_EQ(result.outcome, ConvertOutcome::TemplateMissing);
    EXPECT_FALSE(fs::exists(program.templatePath())) << "reading must not create the template";
    EXPECT_FALSE(fs::exists(program / "a.dds.bin"));
    return;
  }
  Bytes header = Slice(templ, 0, 64);
  header.resize(64, std::byte{0});
  EXPECT_EQ(ReadFile(program / "a.dds.bin"), Concat(header, dds));
}

INSTANTIATE_TEST_SUITE_P(Sizes, HeaderTemplate, testing::Values(-1, 0, 10, 63, 64, 1000));

// Builds that must write nothing: the chosen file or its staged copy is not usable.
struct BuildCase {
  const char* name;
  void (*plant)(const ProgramFolder& program);  // a.dds holds 400 bytes before
  ConvertOutcome outcome;
  std::errc error = {};
};

const BuildCase kRefusedBuilds[] = {
    {"NoStagedCopy", [](const ProgramFolder&) {}, ConvertOutcome::StagedCopyMissing},
    {"NoWorkingFolder", [](const ProgramFolder& p) { fs::remove(p / "Temp"); },
     ConvertOutcome::StagedCopyMissing},
    {"AnEarlierImportsCopy",
     [](const ProgramFolder& p) { WriteFile(p.work("ImportFile"), Pattern(399)); },
     ConvertOutcome::StagedCopyMismatch},
    {"EmptyDdsFile",
     [](const ProgramFolder& p) {
       WriteFile(p / "a.dds", {}), WriteFile(p.work("ImportFile"), {});
     },
     ConvertOutcome::InputEmpty},
    {"MissingDdsFile", [](const ProgramFolder& p) { fs::remove(p / "a.dds"); },
     ConvertOutcome::InputMissing, std::errc::no_such_file_or_directory},
    {"AFolderChosen",
     [](const ProgramFolder& p) { fs::remove(p / "a.dds"), fs::create_directory(p / "a.dds"); },
     ConvertOutcome::InputMissing, std::errc::is_a_directory},
};

class RefusedBuild : public testing::TestWithParam<BuildCase> {};

TEST_P(RefusedBuild, WritesNothing) {
  ProgramFolder program;
  WriteFile(program / "a.dds", Pattern(400, 1));
  GetParam().plant(program);
  errno = ENOENT;  // what a failed call before may leave
  const ConvertResult result =
      BuildContainer(program / "a.dds", program.path(), program.work("ImportFile"));
  EXPECT_EQ(result.outcome, GetParam().outcome);
  EXPECT_TRUE(GetParam().error == std::errc{} || result.error == GetParam().error) << result.error;
  EXPECT_FALSE(fs::exists(program / "a.dds.bin"));
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedBuild, testing::ValuesIn(kRefusedBuilds),
                         [](const auto& info) { return std::string(info.param.name); });

// A sparse container past 2 GiB: lengths and offsets must not wrap at 32 bits.
TEST(ExportTexture, AContainerOfMoreThan2GiBExportsWhole) {
  TempFolder folder;
  const std::uint64_t payload = (std::uint64_t{1} << 31) + 4096;
  const Bytes tail = Pattern(4096, 21);
  {
    std::ofstream out(folder / "big.bin", std::ios::binary);
    out.seekp(static_cast<std::streamoff>(64 + payload - tail.size()));
    out.write(reinterpret_cast<const char*>(tail.data()), std::streamsize(tail.size()));
  }
  ASSERT_TRUE(ExportTexture(folder / "big.bin").written());
  ASSERT_EQ(fs::file_size(folder / "big.bin.dds"), payload);
  std::ifstream in(folder / "big.bin.dds", std::ios::binary);
  in.seekg(static_cast<std::streamoff>(payload - tail.size()));
  Bytes got(tail.size());
  in.read(reinterpret_cast<char*>(got.data()), std::streamsize(got.size()));
  EXPECT_EQ(got, tail);
}

}  // namespace
}  // namespace sodrel
