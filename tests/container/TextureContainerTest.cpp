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

// One conversion each, after `plant` prepared its input, its output, the staged copy and the
// template: the export of a container of `size` bytes, or the build from a DDS file of `size`
// bytes, staged as the import stages it. Either the whole output is written or nothing is.
using P = const fs::path&;
struct ConvertCase {
  const char* name;
  bool exporting;
  std::size_t size;
  ConvertOutcome outcome;
  void (*plant)(P in, P out, P staged, P templ) = [](P, P, P, P) {};
  std::errc error = {};
};

using enum ConvertOutcome;
using enum std::errc;
const ConvertCase kConversions[] = {
    {"ExportEmpty", true, 0, InputTooShort},
    {"ExportShorterThanTheHeader", true, 63, InputTooShort},
    {"ExportJustTheHeader", true, 64, InputTooShort},
    {"ExportOneByteTexture", true, 65, Written},
    {"ExportOverChunks", true, 5 * (1 << 20) + 17, Written},  // the copy moves 1 MiB at a time
    {"ExportMissing", true, 0, InputMissing, [](P in, P, P, P) { fs::remove(in); }},
    {"ExportAFolder", true, 0, InputMissing,
     [](P in, P, P, P) { fs::remove(in), fs::create_directory(in); }},
    {"ExportAFifo", true, 0, InputMissing,
     [](P in, P, P, P) { fs::remove(in), ::mkfifo(in.c_str(), 0600); }},
    {"ExportOverALongerOutput", true, 300, Written,
     [](P, P out, P, P) { WriteFile(out, Pattern(10000, 5)); }},
    {"ExportAtAFolder", true, 300, OutputFailed, [](P, P out, P, P) { fs::create_directory(out); }},
    {"ExportOverALinkToItsInput", true, 300, Written,
     [](P in, P out, P, P) { fs::create_symlink(in, out); }},
    {"ExportKeepsTheMode", true, 300, Written,
     [](P, P out, P, P) { WriteFile(out, {}), ::chmod(out.c_str(), 0604); }},
    {"BuildOverChunks", false, (1 << 20) + 1, Written},
    {"BuildWithAShortTemplatePadded", false, 1, Written,
     [](P, P, P, P t) { WriteFile(t, Pattern(10, 11)); }},
    {"BuildWithTheFirst64BytesOfALongTemplate", false, 400, Written,
     [](P, P, P, P t) { WriteFile(t, Pattern(1000, 11)); }},
    {"BuildWithoutTemplate", false, 400, TemplateMissing, [](P, P, P, P t) { fs::remove(t); }},
    {"BuildWithoutStagedCopy", false, 400, StagedCopyMissing, [](P, P, P s, P) { fs::remove(s); }},
    {"BuildWithoutWorkingFolder", false, 400, StagedCopyMissing,
     [](P, P, P s, P) { fs::remove_all(s.parent_path()); }},
    {"BuildFromAnEarlierImportsCopy", false, 400, StagedCopyMismatch,
     [](P, P, P s, P) { WriteFile(s, Pattern(399)); }},
    {"BuildFromAnEmptyFile", false, 0, InputEmpty},
    {"BuildFromAMissingFile", false, 400, InputMissing, [](P in, P, P, P) { fs::remove(in); },
     no_such_file_or_directory},
    {"BuildFromAFolder", false, 400, InputMissing,
     [](P in, P, P, P) { fs::remove(in), fs::create_directory(in); }, is_a_directory},
};

class Conversion : public testing::TestWithParam<ConvertCase> {};

TEST_P(Conversion, WritesTheWholeOutputOrNothing) {
  const ConvertCase& c = GetParam();
  ProgramFolder program;
  const fs::path in = program / (c.exporting ? "a.bin" : "a.dds"),
                 staged = program.work("ImportFile");
  const fs::path out = WithSuffix(in, c.exporting ? kExportSuffix : kBuildSuffix);
  const Bytes input = Pattern(c.size, 6);
  WriteFile(in, input), WriteFile(staged, input);
  c.plant(in, out, staged, program.templatePath());
  const std::set<std::string> before = Entries(program.path());
  const fs::file_status earlier = fs::symlink_status(out);
  errno = ENOENT;  // what a failed call before may leave
  const ConvertResult result =
      c.exporting ? ExportTexture(in) : BuildContainer(in, program.path(), staged);
  EXPECT_EQ(result.outcome, c.outcome);
  EXPECT_TRUE(c.error == std::errc{} || result.error == c.error) << result.error;
  if (c.outcome != Written) {
    EXPECT_EQ(Entries(program.path()), before) << "no output and no temporary file";
    return;
  }
  Bytes header = c.exporting ? Bytes{} : Slice(ReadFile(program.templatePath()), 0, 64);
  header.resize(c.exporting ? 0 : 64, std::byte{0});  // a short template padded with zeros
  EXPECT_EQ(ReadFile(out), Concat(header, Slice(input, c.exporting ? 64 : 0)));
  EXPECT_EQ(ReadFile(in), input) << "written through a link";
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out)));
  EXPECT_TRUE(!fs::is_regular_file(earlier) ||
              fs::status(out).permissions() == earlier.permissions());
}

SODREL_NAMED_ROWS(Cases, Conversion, kConversions);

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
  EXPECT_EQ(TemplateFolderNow(places), ours(c.templ));
  if (c.work[0] != 'P') {  // a template the user puts in their own folder later is read from then
    const fs::path own = ours(c.config && c.config[0] == '/' ? c.config + 1 : "h/.config");
    fs::create_directories(own), WriteFile(HeaderTemplatePath(own), {});
    EXPECT_EQ(TemplateFolderNow(places), own);
  }
  const fs::path work = WorkingFolder(places.workParent);
  EXPECT_EQ(fs::is_directory(work), c.window) << "made by the window alone";
  EXPECT_TRUE(!c.window || c.work[0] == 'P' ||
              fs::status(work).permissions() == fs::perms::owner_all);
}

SODREL_NAMED_ROWS(Cases, Places, kPlaces);
