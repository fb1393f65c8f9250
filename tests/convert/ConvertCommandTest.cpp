// Runs the sodrel-convert executable on files in temporary folders.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>

#include "container/TextureContainer.h"
#include "preview/DdsHeaderCheck.h"
#include "tests/support/TestFiles.h"
#include "workfiles/WorkingFiles.h"

namespace sodrel {
namespace {

using test::Bytes;
using test::Concat;
using test::Pattern;
using test::ReadFile;
using test::WriteFile;
namespace fs = std::filesystem;
using Names = std::set<std::string>;

struct Outcome {
  int status = -1;
  std::string out, err;
};

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs `exe` with `args`. On a `terminal` (a pseudo-terminal from script(1)) stdout and stderr
// both arrive in `out`.
Outcome Convert(const std::vector<std::string>& args, const fs::path& exe = SODREL_CONVERT_EXE,
                bool terminal = false) {
  test::TempFolder capture;
  std::string command = Quote(exe);
  for (const std::string& arg : args) command += " " + Quote(arg);
  if (terminal) command = "script -qec " + Quote(command) + " /dev/null";
  command += " </dev/null >" + Quote(capture / "out") + " 2>" + Quote(capture / "err");
  const int status = std::system(command.c_str());
  auto text = [&](const char* name) {
    const Bytes bytes = ReadFile(capture / name);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  };
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text("out"), text("err")};
}

// A program folder (KX00.dll, Temp/) with a copy of the executable, for the default template.
struct CopiedProgram : test::ProgramFolder {
  CopiedProgram() { fs::copy_file(SODREL_CONVERT_EXE, exe()); }
  fs::path exe() const { return path() / "sodrel-convert"; }
};

std::map<std::string, Bytes> Snapshot(const fs::path& root) {
  std::map<std::string, Bytes> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), root)] = ReadFile(entry.path());
  }
  return files;
}

// "export -r {dir}" as {"export", "-r", "/tmp/.../"}: words split at spaces, "{dir}" replaced.
std::vector<std::string> Words(const std::string& line, const fs::path& dir) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; in >> word;) {
    if (word.starts_with("{dir}")) word.replace(0, 5, dir.string());
    words.push_back(word);
  }
  return words;
}

struct SameCase {
  const char* name;
  bool build;
  const char* args;       // "{dir}" is the data folder
  const char* converted;  // the inputs the window's routine converts
  friend void PrintTo(const SameCase& c, std::ostream* os) { *os << c.name; }
};

class SameOutputsAsTheWindow : public testing::TestWithParam<SameCase> {};

TEST_P(SameOutputsAsTheWindow, ByteForByte) {
  const SameCase& c = GetParam();
  const std::string in = c.build ? ".dds" : ".bin", out = c.build ? ".bin" : ".dds";
  CopiedProgram program;    // its KX00.dll is the default template
  test::ProgramFolder ref;  // the window's program folder, with the same KX00.dll
  test::TempFolder cliData, refData;
  for (const fs::path& root : {cliData.path(), refData.path()}) {
    fs::create_directories(root / "sub" / "deeper");
    WriteFile(root / ("a" + in), Pattern(4096, 1));
    WriteFile(root / ("b" + in), Pattern(65, 2));
    WriteFile(root / ("b" + in + out), Pattern(9000, 7));  // a longer earlier output
    WriteFile(root / (c.build ? "c.DDS" : "c.BIN"), Pattern(66, 3));
    WriteFile(root / "notes.txt", Pattern(100, 4));
    WriteFile(root / "sub" / ("d" + in), Pattern(300, 5));
    WriteFile(root / "sub" / "deeper" / ("e" + in), Pattern(70, 6));
  }
  const std::vector<std::string> converted = Words(c.converted, {});
  for (const std::string& name : converted) {
    if (c.build) {
      ASSERT_FALSE(StageCopy(refData / name, ref.path(), WorkFile::ImportFile));
    }
    ASSERT_TRUE(
        (c.build ? BuildContainer(refData / name, ref.path()) : ExportTexture(refData / name))
            .written());
  }
  const Outcome run = Convert(Words(c.args, cliData.path()), program.exe());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            std::to_string(converted.size()) + (c.build ? " built" : " exported") + ", 0 failed\n");
  EXPECT_EQ(Snapshot(cliData.path()), Snapshot(refData.path()));
  EXPECT_TRUE(test::Entries(program / "Temp").empty()) << "the working folder is never used";
}

INSTANTIATE_TEST_SUITE_P(
    Batches, SameOutputsAsTheWindow,
    testing::Values(SameCase{"ExportOneFile", false, "export {dir}/b.bin", "b.bin"},
                    SameCase{"ExportFolder", false, "export {dir}", "a.bin b.bin c.BIN"},
                    SameCase{"ExportRecursively", false, "export -r {dir}",
                             "a.bin b.bin c.BIN sub/d.bin sub/deeper/e.bin"},
                    SameCase{"BuildFolder", true, "build {dir}", "a.dds b.dds c.DDS"},
                    SameCase{"BuildRecursively", true, "build {dir} -r",
                             "a.dds b.dds c.DDS sub/d.dds sub/deeper/e.dds"}),
    testing::PrintToStringParamName());

struct HeaderCase {
  const char* name;
  const char* option;               // names `optionFile`; nullptr: KX00.dll is missing
  std::optional<Bytes> optionFile;  // nullopt: a missing file
  std::optional<Bytes> header;      // nullopt: the batch must stop before writing anything
  const char* error = "";
  friend void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.name; }
};

class HeaderSources : public testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderSources, HeadEveryContainerOrStopTheWholeBatch) {
  const HeaderCase& c = GetParam();
  CopiedProgram program;
  if (!c.option) fs::remove(program.templatePath());
  if (c.optionFile) WriteFile(program / "source", *c.optionFile);
  test::TempFolder data;
  WriteFile(data / "a.dds", Pattern(300, 1));
  WriteFile(data / "b.dds", Pattern(5, 2));
  std::vector<std::string> args{"build", data.path()};
  if (c.option) args.insert(args.end(), {c.option, program / "source"});

  const Outcome run = Convert(args, program.exe());
  if (c.header) {
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(data / "a.dds.bin"), Concat(*c.header, Pattern(300, 1)));
    EXPECT_EQ(ReadFile(data / "b.dds.bin"), Concat(*c.header, Pattern(5, 2)));
  } else {
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
    EXPECT_EQ(test::Entries(data.path()), (Names{"a.dds", "b.dds"}));
  }
  EXPECT_TRUE(test::Entries(program / "Temp").empty());
}

const Bytes kDdsStart = {std::byte{'D'}, std::byte{'D'}, std::byte{'S'}, std::byte{' '}};

INSTANTIATE_TEST_SUITE_P(
    Sources, HeaderSources,
    testing::Values(HeaderCase{"ProgramTemplateMissing",
                               nullptr,
                               {},
                               std::nullopt,
                               "KX00.dll: cannot open the header template"},
                    HeaderCase{"Template", "--template", Pattern(1000, 8), Pattern(64, 8)},
                    HeaderCase{"ShortTemplate", "--template", Pattern(3, 8),
                               Concat(Pattern(3, 8), Bytes(61, std::byte{0}))},
                    HeaderCase{"TemplateMissing", "--template", std::nullopt, std::nullopt,
                               "source: cannot open the header template"},
                    HeaderCase{"HeaderFrom", "--header-from", Concat(Pattern(64, 7), Pattern(9)),
                               Pattern(64, 7)},
                    HeaderCase{"HeaderFromTooShort", "--header-from", Pattern(63, 7), std::nullopt,
                               "too short to hold a container header (63 bytes)"},
                    HeaderCase{"HeaderFromADdsFile", "--header-from",
                               Concat(kDdsStart, Pattern(200)), std::nullopt,
                               "a DDS file, not a container"}),
    testing::PrintToStringParamName());

struct MixedCase {
  const char* name;
  bool build;
  std::optional<std::size_t> badSize;  // of m.bin / m.dds; nullopt: missing
  bool outputIsAFolder;
  const char* reason;
  friend void PrintTo(const MixedCase& c, std::ostream* os) { *os << c.name; }
};

class MixedBatch : public testing::TestWithParam<MixedCase> {};

TEST_P(MixedBatch, GoodFilesConvertAndTheBadOneIsReportedWithItsReason) {
  const MixedCase& c = GetParam();
  const std::string in = c.build ? ".dds" : ".bin", out = in + (c.build ? ".bin" : ".dds");
  test::TempFolder data;
  WriteFile(data / ("a" + in), Pattern(200, 1));
  WriteFile(data / ("z" + in), Pattern(100, 2));
  WriteFile(data / "template", Pattern(64, 3));
  if (c.badSize) WriteFile(data / ("m" + in), Pattern(*c.badSize, 4));
  if (c.outputIsAFolder) fs::create_directory(data / ("m" + out));
  Names expected = test::Entries(data.path());
  expected.insert({"a" + out, "z" + out});
  std::vector<std::string> args{c.build ? "build" : "export", data / ("z" + in), data / ("m" + in),
                                data / ("a" + in)};
  if (c.build) args.insert(args.end(), {"--template", data / "template"});

  const Outcome run = Convert(args);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, (data / ("m" + in)).string() + ": " + c.reason + "\n" +
                         (c.build ? "2 built" : "2 exported") + ", 1 failed\n");
  EXPECT_EQ(test::Entries(data.path()), expected) << "no partial or temporary file is left";
}

INSTANTIATE_TEST_SUITE_P(
    BadFiles, MixedBatch,
    testing::Values(
        MixedCase{"ExportEmpty", false, 0, false, "too short to hold a texture (0 bytes)"},
        MixedCase{"ExportHeaderOnly", false, 64, false, "too short to hold a texture (64 bytes)"},
        MixedCase{"ExportMissing", false, std::nullopt, false,
                  "cannot open the input file: No such file or directory"},
        MixedCase{"ExportOutputIsAFolder", false, 100, true,
                  "cannot write the output file: Is a directory"},
        MixedCase{"BuildEmpty", true, 0, false, "the DDS file is empty"},
        MixedCase{"BuildOutputIsAFolder", true, 100, true,
                  "cannot write the output file: Is a directory"}),
    testing::PrintToStringParamName());

// A DDS file of `width` x `height` in `fourCC`, with `surface` bytes after its header.
Bytes Dds(const char (&fourCC)[5], std::uint32_t width, std::uint32_t height, std::size_t surface) {
  Bytes dds = Concat(kDdsStart, Bytes(124 + surface, std::byte{0}));
  // Header size, flags, height, width, pixel-format size, pixel-format flags (0x4: FourCC).
  const std::uint32_t fields[][2] = {{4, 124},    {8, 0x1007}, {12, height},
                                     {16, width}, {76, 32},    {80, 0x4}};
  for (const auto& [at, value] : fields) {
    for (int i = 0; i < 4; ++i) dds[at + i] = static_cast<std::byte>(value >> (8 * i));
  }
  for (int i = 0; i < 4; ++i) dds[84 + i] = static_cast<std::byte>(fourCC[i]);
  return dds;
}

std::string NotShown(DdsCheck check) {
  return "  preview:  no, " + std::string(Describe(check)) + "\n";
}

struct LineCase {
  const char* name;
  const char* args;  // "{dir}" stands for an empty temporary folder
  int status;
  std::string out;                           // found in stdout
  const char* err;                           // found in stderr
  std::optional<Bytes> file = std::nullopt;  // written to {dir}/f first
  friend void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }
};

class CommandLine : public testing::TestWithParam<LineCase> {};

TEST_P(CommandLine, ExitStatusAndMessages) {
  test::TempFolder dir;
  if (GetParam().file) WriteFile(dir / "f", *GetParam().file);
  const Names before = test::Entries(dir.path());
  const Outcome run = Convert(Words(GetParam().args, dir.path()));
  EXPECT_EQ(run.status, GetParam().status) << run.err;
  EXPECT_NE(run.out.find(GetParam().out), std::string::npos) << run.out;
  EXPECT_NE(run.err.find(GetParam().err), std::string::npos) << run.err;
  EXPECT_EQ(test::Entries(dir.path()), before);
}

const Bytes kDxt5 = Dds("DXT5", 256, 128, 256 * 128);

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLine,
    testing::Values(
        LineCase{"Nothing", "", 2, "", "no command given\nTry 'sodrel-convert --help'.\n"},
        LineCase{"UnknownCommand", "convert {dir}", 2, "", "unknown command 'convert'"},
        LineCase{"NoFile", "export", 2, "", "export: no file given"},
        LineCase{"TemplateForExport", "export --template {dir} {dir}", 2, "",
                 "apply to build only"},
        LineCase{"TwoHeaderSources", "build --template=a --header-from=b {dir}", 2, "", "not both"},
        LineCase{"RecursiveInfo", "info -r {dir}", 2, "", "info takes files only"},
        LineCase{"Help", "--help", 0, "Usage: sodrel-convert [options] <command> FILE|DIR...\n",
                 ""},
        LineCase{"Version", "--version", 0, "1.00\n", ""},
        LineCase{"NothingToExport", "export {dir}", 0, "",
                 "no .bin files here\n0 exported, 0 failed\n"},
        LineCase{"InfoOnMissingFile", "info {dir}/x", 1, "",
                 "x: cannot open the input file: No such file or directory\n0 shown, 1 failed"},
        LineCase{
            "InfoOnContainer", "info {dir}/f", 0,
            "/f\n  file:     container, 32960 bytes\n  header:   ab ab ab ab ab ab ab ab ab ab "
            "ab ab ab ab ab ab\n            ab ",
            "1 shown, 0 failed\n", Concat(Bytes(64, std::byte{0xab}), kDxt5)},
        LineCase{"InfoOnContainerFormat", "info {dir}/f", 0,
                 "ab\n  texture:  DXT5, 256 x 128\n  preview:  yes\n", "",
                 Concat(Bytes(64, std::byte{0xab}), kDxt5)},
        LineCase{"InfoOnDdsThePreviewCannotShow", "info {dir}/f", 0,
                 "  file:     DDS file, 2176 bytes\n  first 64: 44 44 53 20 7c 00 00 00 07 10 ", "",
                 Dds("ATI2", 64, 32, 2048)},
        LineCase{"InfoOnDdsThePreviewCannotShowFormat", "info {dir}/f", 0,
                 "  texture:  ATI2, 64 x 32\n" + NotShown(DdsCheck::UnsupportedFormat), "",
                 Dds("ATI2", 64, 32, 2048)},
        LineCase{"InfoOnMalformedContainer", "info {dir}/f", 0,
                 "  texture:  unknown\n" + NotShown(DdsCheck::BadMagic), "",
                 Concat(Pattern(64), Pattern(300))},
        LineCase{"InfoOnPartOfAHeader", "info {dir}/f", 0,
                 " 01\n            01\n  texture:  none\n"
                 "  preview:  no, too short to hold a texture (17 bytes)\n",
                 "", Bytes(17, std::byte{1})}),
    testing::PrintToStringParamName());

TEST(DryRun, ListsTheOutputsSortedOnceEachAndWritesNothing) {
  test::TempFolder data;
  fs::create_directory(data / "sub");
  for (const char* name : {"b.bin", "a.bin", "sub/c.bin", "b.dds"}) {
    WriteFile(data / name, Pattern(100));
  }
  WriteFile(data / "short.bin", Pattern(64));
  const Names before = test::Entries(data.path());
  const std::string d = data.path();

  const Outcome run = Convert({"export", "--dry-run", "-r", d + "/b.bin", d, d + "/gone.bin"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, d + "/a.bin.dds\n" + d + "/b.bin.dds\n" + d + "/sub/c.bin.dds\n");
  EXPECT_EQ(run.err, d + "/gone.bin: cannot open the input file: No such file or directory\n" + d +
                         "/short.bin: too short to hold a texture (64 bytes)\n" +
                         "3 to export, 2 failed\n");
  const Outcome build = Convert({"build", "--dry-run", "--template", d + "/a.bin", d});
  EXPECT_EQ(build.out, d + "/b.dds.bin\n");
  EXPECT_EQ(build.status, 0);
  EXPECT_EQ(test::Entries(data.path()), before);
  EXPECT_EQ(test::Entries(data / "sub"), Names{"c.bin"});
}

struct ProgressCase {
  const char* name;
  int files;
  bool terminal, bar;
  friend void PrintTo(const ProgressCase& c, std::ostream* os) { *os << c.name; }
};

class Progress : public testing::TestWithParam<ProgressCase> {};

TEST_P(Progress, ShownOnlyOnATerminalForMoreThan20Files) {
  test::TempFolder data;
  for (int i = 0; i < GetParam().files; ++i) {
    WriteFile(data / ("t" + std::to_string(i) + ".bin"), Pattern(100));
  }
  const Outcome run = Convert({"export", data.path()}, SODREL_CONVERT_EXE, GetParam().terminal);
  const std::string all = run.out + run.err, n = std::to_string(GetParam().files);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(all.find("\r[") != std::string::npos, GetParam().bar) << all;
  EXPECT_EQ(all.find("] " + n + "/" + n) != std::string::npos, GetParam().bar) << all;
  EXPECT_NE(all.find(n + " exported, 0 failed"), std::string::npos) << all;
}

INSTANTIATE_TEST_SUITE_P(Outputs, Progress,
                         testing::Values(ProgressCase{"ManyFilesOnATerminal", 21, true, true},
                                         ProgressCase{"FewFilesOnATerminal", 20, true, false},
                                         ProgressCase{"ManyFilesElsewhere", 21, false, false}),
                         testing::PrintToStringParamName());

}  // namespace
}  // namespace sodrel
