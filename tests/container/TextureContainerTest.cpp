#include "container/TextureContainer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "tests/support/TestFiles.h"
#include "workfiles/WorkingFiles.h"

using namespace sodrel;
using namespace sodrel::test;
namespace fs = std::filesystem;

// Export a container whose header is not the template, then build from the exported file, the
// way the import does it: stage the file, then build from the staged copy. Sizes around the 1 MiB
// copy chunk; templates shorter than the header are padded with zeros.
class RoundTrip : public testing::TestWithParam<std::pair<std::size_t, std::size_t>> {};

TEST_P(RoundTrip, ExportDropsTheHeaderAndABuildPutsTheTemplateBack) {
  const auto [size, templateSize] = GetParam();
  ProgramFolder program;
  WriteFile(program.templatePath(), Pattern(templateSize, 11));
  const Bytes dds = Pattern(size, 7);
  WriteFile(program / "a.bin", Concat(Pattern(64, 99), dds));
  ASSERT_TRUE(ExportTexture(program / "a.bin").written());
  EXPECT_EQ(ReadFile(program / "a.bin.dds"), dds);
  ASSERT_FALSE(StageCopy(program / "a.bin.dds", program.path(), WorkFile::ImportFile));
  ASSERT_TRUE(
      BuildContainer(program / "a.bin.dds", program.path(), program.work("ImportFile")).written());
  Bytes header = Slice(Pattern(templateSize, 11), 0, 64);
  header.resize(64, std::byte{0});
  EXPECT_EQ(ReadFile(program / "a.bin.dds.bin"), Concat(header, dds));
}

INSTANTIATE_TEST_SUITE_P(SizesAndTemplates, RoundTrip,
                         testing::Values(std::pair(1, 64), std::pair(2, 0), std::pair(65, 10),
                                         std::pair((1 << 20) - 1, 63), std::pair(1 << 20, 1000),
                                         std::pair(5 * (1 << 20) + 17, 64)));

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
  EXPECT_TRUE(!fs::is_regular_file(earlier) ||
              fs::status(folder / "a.bin.dds").permissions() == earlier.permissions());
}

INSTANTIATE_TEST_SUITE_P(Cases, Export, testing::ValuesIn(kExports),
                         [](const auto& info) { return std::string(info.param.name); });

// Builds that must write nothing: no template, or the chosen file or its staged copy unusable.
struct BuildCase {
  const char* name;
  void (*plant)(const ProgramFolder& program);  // a.dds and its staged copy hold 400 bytes
  ConvertOutcome outcome;
  std::errc error = {};
};

const BuildCase kRefusedBuilds[] = {
    {"NoTemplate", [](const ProgramFolder& p) { fs::remove(p.templatePath()); },
     ConvertOutcome::TemplateMissing},
    {"NoStagedCopy", [](const ProgramFolder& p) { fs::remove(p.work("ImportFile")); },
     ConvertOutcome::StagedCopyMissing},
    {"NoWorkingFolder", [](const ProgramFolder& p) { fs::remove_all(p / "Temp"); },
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
  WriteFile(program.work("ImportFile"), Pattern(400, 1));
  GetParam().plant(program);
  const std::set<std::string> before = Entries(program.path());
  errno = ENOENT;  // what a failed call before may leave
  const ConvertResult result =
      BuildContainer(program / "a.dds", program.path(), program.work("ImportFile"));
  EXPECT_EQ(result.outcome, GetParam().outcome);
  EXPECT_TRUE(GetParam().error == std::errc{} || result.error == GetParam().error) << result.error;
  EXPECT_EQ(Entries(program.path()), before) << "no output, no template, no temporary file";
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedBuild, testing::ValuesIn(kRefusedBuilds),
                         [](const auto& info) { return std::string(info.param.name); });

// A sparse container past 2 GiB: lengths and offsets must not wrap at 32 bits.
TEST(ExportTexture, AContainerOfMoreThan2GiBExportsWhole) {
  TempFolder folder;
  const std::uint64_t payload = (std::uint64_t{1} << 31) + 4096;
  std::ofstream(folder / "big.bin").seekp(std::streamoff(64 + payload - 3)).write("end", 3);
  ASSERT_TRUE(ExportTexture(folder / "big.bin").written());
  ASSERT_EQ(fs::file_size(folder / "big.bin.dds"), payload);
  std::string tail(3, ' ');
  std::ifstream(folder / "big.bin.dds").seekg(std::streamoff(payload - 3)).read(tail.data(), 3);
  EXPECT_EQ(tail, "end");
}
