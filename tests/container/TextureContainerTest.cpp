#include "container/TextureContainer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "tests/support/Rows.h"
#include "tests/support/TestFiles.h"
#include "workfiles/WorkPlaces.h"
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
  ASSERT_TRUE(ExportTexture(program / "a.bin").ok());
  EXPECT_EQ(ReadFile(program / "a.bin.dds"), dds);
  ASSERT_TRUE(StageCopy(program / "a.bin.dds", program.path(), WorkFile::ImportFile).ok());
  ASSERT_TRUE(
      BuildContainer(program / "a.bin.dds", program.path(), program.work("ImportFile")).ok());
  Bytes header = Slice(Pattern(templateSize, 11), 0, 64);
  header.resize(64, std::byte{0});
  EXPECT_EQ(ReadFile(program / "a.bin.dds.bin"), Concat(header, dds));
}

INSTANTIATE_TEST_SUITE_P(SizesAndTemplates, RoundTrip,
                         testing::Values(std::pair(1, 64), std::pair(2, 0), std::pair(65, 10),
                                         std::pair((1 << 20) - 1, 63), std::pair(1 << 20, 1000),
                                         std::pair(5 * (1 << 20) + 17, 64)));

// One export each: a container of `size` bytes, after `plant` prepared its path and the output's.
using P = const fs::path&;
struct ExportCase {
  const char* name;
  std::size_t size;
  ConvertOutcome outcome;
  void (*plant)(P in, P out) = [](P, P) {};
};

using enum ConvertOutcome;
const ExportCase kExports[] = {
    {"Empty", 0, InputTooShort},
    {"ShorterThanTheHeader", 63, InputTooShort},
    {"JustTheHeader", 64, InputTooShort},
    {"OneByteTexture", 65, Written},
    {"Missing", 0, InputMissing, [](P in, P) { fs::remove(in); }},
    {"AFolder", 0, InputMissing, [](P in, P) { fs::remove(in), fs::create_directory(in); }},
    {"AFifo", 0, InputMissing, [](P in, P) { fs::remove(in), ::mkfifo(in.c_str(), 0600); }},
    {"ALongerOutputReplaced", 300, Written, [](P, P out) { WriteFile(out, Pattern(10000, 5)); }},
    {"AFolderAtTheOutput", 300, OutputFailed, [](P, P out) { fs::create_directory(out); }},
    {"ALinkAtTheOutputReplaced", 300, Written, [](P in, P out) { fs::create_symlink(in, out); }},
    {"KeepsMode", 300, Written, [](P, P out) { WriteFile(out, {}), ::chmod(out.c_str(), 0604); }},
};

class Export : public testing::TestWithParam<ExportCase> {};

TEST_P(Export, WritesBytes64ToTheEndOrNothing) {
  TempFolder folder;
  const Bytes container = Pattern(GetParam().size, 6);
  WriteFile(folder / "a.bin", container);
  GetParam().plant(folder / "a.bin", folder / "a.bin.dds");
  const std::set<std::string> before = Entries(folder.path());
  const fs::file_status earlier = fs::symlink_status(folder / "a.bin.dds");

  EXPECT_EQ(ExportTexture(folder / "a.bin").outcome, GetParam().outcome);
  if (GetParam().outcome != Written) {
    EXPECT_EQ(Entries(folder.path()), before) << "no output and no temporary file";
    return;
  }
  EXPECT_EQ(ReadFile(folder / "a.bin.dds"), Slice(container, 64));
  EXPECT_EQ(ReadFile(folder / "a.bin"), container) << "written through a link";
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / "a.bin.dds")));
  EXPECT_TRUE(!fs::is_regular_file(earlier) ||
              fs::status(folder / "a.bin.dds").permissions() == earlier.permissions());
}

SODREL_NAMED_ROWS(Cases, Export, kExports);

// Builds that must write nothing: no template, or the chosen file or its staged copy unusable.
// `plant` gets the chosen file and the staged copy, both of 400 bytes, and the template.
struct BuildCase {
  const char* name;
  void (*plant)(P dds, P staged, P templ);
  ConvertOutcome outcome;
  std::errc error = {};
};

using enum std::errc;
const BuildCase kRefusedBuilds[] = {
    {"NoTemplate", [](P, P, P t) { fs::remove(t); }, TemplateMissing},
    {"NoStagedCopy", [](P, P s, P) { fs::remove(s); }, StagedCopyMissing},
    {"NoWorkingFolder", [](P, P s, P) { fs::remove_all(s.parent_path()); }, StagedCopyMissing},
    {"AnEarlierImportsCopy", [](P, P s, P) { WriteFile(s, Pattern(399)); }, StagedCopyMismatch},
    {"EmptyDdsFile", [](P d, P s, P) { WriteFile(d, {}), WriteFile(s, {}); }, InputEmpty},
    {"MissingDdsFile", [](P d, P, P) { fs::remove(d); }, InputMissing, no_such_file_or_directory},
    {"AFolderChosen", [](P d, P, P) { fs::remove(d), fs::create_directory(d); }, InputMissing,
     is_a_directory},
};

class RefusedBuild : public testing::TestWithParam<BuildCase> {};

TEST_P(RefusedBuild, WritesNothing) {
  ProgramFolder program;
  WriteFile(program / "a.dds", Pattern(400, 1));
  WriteFile(program.work("ImportFile"), Pattern(400, 1));
  GetParam().plant(program / "a.dds", program.work("ImportFile"), program.templatePath());
  const std::set<std::string> before = Entries(program.path());
  errno = ENOENT;  // what a failed call before may leave
  const ConvertResult result =
      BuildContainer(program / "a.dds", program.path(), program.work("ImportFile"));
  EXPECT_EQ(result.outcome, GetParam().outcome);
  EXPECT_TRUE(GetParam().error == std::errc{} || result.error == GetParam().error) << result.error;
  EXPECT_EQ(Entries(program.path()), before) << "no output, no template, no temporary file";
}

SODREL_NAMED_ROWS(Cases, RefusedBuild, kRefusedBuilds);

// A sparse container past 2 GiB: lengths and offsets must not wrap at 32 bits.
TEST(ExportTexture, AContainerOfMoreThan2GiBExportsWhole) {
  TempFolder folder;
  const std::uint64_t payload = (std::uint64_t{1} << 31) + 4096;
  std::ofstream(folder / "big.bin").seekp(std::streamoff(64 + payload - 3)).write("end", 3);
  ASSERT_TRUE(ExportTexture(folder / "big.bin").ok());
  ASSERT_EQ(fs::file_size(folder / "big.bin.dds"), payload);
  std::string tail(3, ' ');
  std::ifstream(folder / "big.bin.dds").seekg(std::streamoff(payload - 3)).read(tail.data(), 3);
  EXPECT_EQ(tail, "end");
}

// Where the window works and which template builds read, in a test folder holding the program
// folder P (no Temp/ in it, or a file at that name: nowhere to write; root may write any folder)
// and the home folder h. A nullptr variable is unset; an empty or relative one is ignored.
struct PlacesCase {
  const char* name;
  bool tempIsAFile, window;  // the window makes its folders; sodrel-convert makes nothing
  const char *cache, *config, *userTemplate, *work, *templ;  // folders: P, or X/sodrel-tools
};

const PlacesCase kPlaces[] = {
    {"TempMadeByTheWindow", false, true, "/c", "/g", "/g", "P", "P"},
    {"NothingMadeByTheCommandLine", false, false, "/c", "/g", nullptr, "P", "P"},
    {"UnsetInHome", true, true, nullptr, nullptr, "/h/.config", "h/.cache", "h/.config"},
    {"EmptyOrRelativeAsUnset", true, true, "", "g", nullptr, "h/.cache", "P"},
    {"Set", true, true, "/c", "/g", "/g", "c", "g"},
    {"SetWithoutTemplate", true, false, "/c", "/g", "/h/.config", "c", "P"},
};

class Places : public testing::TestWithParam<PlacesCase> {};

TEST_P(Places, ProgramFolderWhenItsTempIsWritableElseTheUsersOwn) {
  const PlacesCase& c = GetParam();
  TempFolder root;
  const auto at = [&](const char* v) { return v[0] == '/' ? root.path().native() + v : v; };
  const auto ours = [&](const char* v) {
    return v[0] == 'P' ? root / v : root / v / "sodrel-tools";
  };
  fs::create_directory(root / "P");
  if (c.tempIsAFile) WriteFile(root / "P/Temp", {});
  if (c.userTemplate) fs::create_directories(at(c.userTemplate) + "/sodrel-tools");
  if (c.userTemplate) WriteFile(at(c.userTemplate) + "/sodrel-tools/KX00.dll", {});
  ::setenv("HOME", at("/h").c_str(), 1);  // each test runs in a process of its own
  c.cache ? ::setenv("XDG_CACHE_HOME", at(c.cache).c_str(), 1) : ::unsetenv("XDG_CACHE_HOME");
  c.config ? ::setenv("XDG_CONFIG_HOME", at(c.config).c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");

  const WorkPlaces places = FindWorkPlaces(root / "P", c.window);
  EXPECT_EQ(places.workParent, ours(c.work));
  EXPECT_EQ(places.templateFolder, ours(c.templ));
  const fs::path work = WorkingFolder(places.workParent);
  EXPECT_EQ(fs::is_directory(work), c.window) << "made by the window alone";
  EXPECT_TRUE(!c.window || c.work[0] == 'P' ||
              fs::status(work).permissions() == fs::perms::owner_all);
}

SODREL_NAMED_ROWS(Cases, Places, kPlaces);
