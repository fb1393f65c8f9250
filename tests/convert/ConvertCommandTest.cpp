// Runs the sodrel-convert executable on files in temporary folders.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "container/TextureContainer.h"
#include "tests/support/TestFiles.h"
#include "workfiles/WorkingFiles.h"

namespace sodrel {
namespace {

using test::Bytes, test::Concat, test::Entries, test::Pattern, test::ReadFile, test::WriteFile;
namespace fs = std::filesystem;
using Names = std::set<std::string>;

struct Outcome {
  int status;
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
  std::ostringstream out, err;
  out << std::ifstream(capture / "out").rdbuf();
  err << std::ifstream(capture / "err").rdbuf();
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out.str(), err.str()};
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
std::vector<std::string> Words(const std::string& line, const fs::path& dir = {}) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; in >> word;) {
    if (word.starts_with("{dir}")) word.replace(0, 5, dir.string());
    words.push_back(word);
  }
  return words;
}

// The same data folder converted by the command and by the window's routines, with `header`
// as the window's KX00.dll when the command is given a header source.
TEST(Batches, SameOutputsAsTheWindowByteForByte) {
  const struct {
    const char* args;    // "{dir}" is the data folder, "{dir}/header" holds `header`
    const char* inputs;  // the files the window's routine converts
    std::optional<Bytes> header = std::nullopt;
  } cases[] = {
      {"export {dir}/b.bin", "b.bin"},
      {"export {dir}", "a.bin b.bin c.BIN"},
      {"export -r {dir}", "a.bin b.bin c.BIN sub/d.bin sub/deeper/e.bin"},
      {"build {dir} -r", "a.dds b.dds c.DDS sub/d.dds sub/deeper/e.dds"},
      {"build --template {dir}/header {dir}", "a.dds b.dds c.DDS", Pattern(1000, 8)},
      {"build --template {dir}/header {dir}", "a.dds b.dds c.DDS", Pattern(3, 8)},  // padded
      {"build --header-from {dir}/header {dir}", "a.dds b.dds c.DDS", Pattern(80, 8)}};
  for (const auto& [args, inputs, header] : cases) {
    SCOPED_TRACE(args);
    const bool build = std::string_view(args).starts_with("build");
    const std::string in = build ? ".dds" : ".bin", out = build ? ".bin" : ".dds";
    CopiedProgram program;    // its KX00.dll is the default template
    test::ProgramFolder ref;  // the window's program folder
    if (header) WriteFile(ref.templatePath(), *header);
    test::TempFolder cliData, refData;
    for (const fs::path& root : {cliData.path(), refData.path()}) {
      fs::create_directories(root / "sub" / "deeper");
      if (header) WriteFile(root / "header", *header);
      // b's output is there already, longer than the new one; c's extension is in capitals.
      std::uint32_t seed = 0;
      for (const std::string& name :
           {"a" + in, "b" + in, "b" + in + out, std::string("c") + (build ? ".DDS" : ".BIN"),
            std::string("notes.txt"), "sub/d" + in, "sub/deeper/e" + in}) {
        WriteFile(root / name, Pattern(name == "b" + in ? 65 : 3000, ++seed));
      }
    }
    const std::vector<std::string> converted = Words(inputs);
    for (const std::string& name : converted) {
      ASSERT_FALSE(build && StageCopy(refData / name, ref.path(), WorkFile::ImportFile));
      ASSERT_TRUE(
          (build ? BuildContainer(refData / name, ref.path()) : ExportTexture(refData / name))
              .written());
    }
    const Outcome run = Convert(Words(args, cliData.path()), program.exe());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err,
              std::to_string(converted.size()) + (build ? " built" : " exported") + ", 0 failed\n");
    EXPECT_EQ(Snapshot(cliData.path()), Snapshot(refData.path()));
    EXPECT_TRUE(Entries(program / "Temp").empty()) << "the working folder is never used";
  }
}

// A DDS file of `width` x `height` in `fourCC`, with `surface` bytes after its header.
Bytes Dds(const char (&fourCC)[5], std::uint32_t width, std::uint32_t height, std::size_t surface) {
  Bytes dds(128 + surface);
  std::memcpy(dds.data(), "DDS ", 4);
  std::memcpy(&dds[84], fourCC, 4);
  // Header size, flags, height, width, pixel-format size and flags (0x4: FourCC).
  const std::uint32_t fields[][2] = {{4, 124},    {8, 0x1007}, {12, height},
                                     {16, width}, {76, 32},    {80, 0x4}};
  for (const auto& [at, value] : fields) {
    for (int i = 0; i < 4; ++i) dds[at + i] = static_cast<std::byte>(value >> (8 * i));
  }
  return dds;
}

// A dry run, then the real one, of a batch with good files and bad ones, some named twice.
TEST(MixedBatch, GoodFilesConvertAndEachBadOneIsReportedWithItsReason) {
  for (const bool build : {false, true}) {
    test::TempFolder data;
    const std::string d = data.path(), in = build ? ".dds" : ".bin", ext = build ? ".bin" : ".dds";
    auto at = [&](const char* name) { return d + "/" + name + in; };
    WriteFile(at("a"), Pattern(200, 1));
    WriteFile(at("z"), Pattern(100, 2));
    WriteFile(at("m1"), Pattern(build ? 0 : 64, 3));  // too short; m2 is missing
    WriteFile(at("m3"), Pattern(100, 4));
    fs::create_directory(at("m3") + ext);
    WriteFile(data / (build ? "template" : "other.dds"), Pattern(64, 5));
    Names expected = Entries(data.path());
    std::vector<std::string> args{build ? "build" : "export", d, at("z"), at("m2"), at("a")};
    if (build) args.insert(args.end(), {"--template", d + "/template"});
    const std::string failed =
        at("m1") +
        (build ? ": the DDS file is empty\n" : ": too short to hold a texture (64 bytes)\n") +
        at("m2") + ": cannot open the input file: No such file or directory\n";

    args.push_back("--dry-run");
    Outcome run = Convert(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, at("a") + ext + "\n" + at("m3") + ext + "\n" + at("z") + ext + "\n");
    EXPECT_EQ(run.err, failed + (build ? "3 to build" : "3 to export") + ", 2 failed\n");
    EXPECT_EQ(Entries(data.path()), expected) << "a dry run writes nothing";

    args.pop_back();
    run = Convert(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, failed + at("m3") + ": cannot write the output file: Is a directory\n" +
                           (build ? "2 built" : "2 exported") + ", 3 failed\n");
    expected.insert({std::string("a") + in + ext, std::string("z") + in + ext});
    EXPECT_EQ(Entries(data.path()), expected) << "no partial or temporary file is left";
  }
}

// Usage errors, header sources that stop a build before it writes anything, and commands
// that have nothing to do.
TEST(CommandLine, ExitStatusAndMessages) {
  CopiedProgram program;  // without its KX00.dll
  fs::remove(program.templatePath());
  test::TempFolder dir;
  WriteFile(dir / "a.dds", Pattern(300));
  WriteFile(dir / "short", Pattern(63));
  WriteFile(dir / "dds", Dds("DXT1", 8, 8, 32));
  const struct {
    const char* args;  // "{dir}" stands for the folder above
    int status;
    const char *out, *err;  // found in stdout and stderr
  } cases[] = {
      {"", 2, "", "no command given\nTry 'sodrel-convert --help'.\n"},
      {"convert {dir}", 2, "", "unknown command 'convert'"},
      {"export", 2, "", "export: no file given"},
      {"export --template {dir} {dir}", 2, "", "apply to build only"},
      {"build --template=a --header-from=b {dir}", 2, "", "not both"},
      {"info -r {dir}", 2, "", "info takes files only"},
      {"build {dir}", 1, "", "/KX00.dll: cannot open the header template"},
      {"build {dir} --template {dir}/gone", 1, "", "/gone: cannot open the header template"},
      {"build {dir} --header-from {dir}/short", 1, "",
       "/short: too short to hold a container header (63 bytes)"},
      {"build {dir} --header-from {dir}/dds", 1, "", "/dds: a DDS file, not a container"},
      {"--help", 0, "Usage: sodrel-convert [options] <command> FILE|DIR...\n", ""},
      {"--version", 0, "1.00\n", ""},
      {"export {dir}", 0, "", "no .bin files here\n0 exported, 0 failed\n"}};
  for (const auto& c : cases) {
    const Outcome run = Convert(Words(c.args, dir.path()), program.exe());
    EXPECT_EQ(run.status, c.status) << c.args;
    EXPECT_NE(run.out.find(c.out), std::string::npos) << c.args << ": " << run.out;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << c.args << ": " << run.err;
  }
  EXPECT_EQ(Entries(dir.path()), (Names{"a.dds", "dds", "short"}));
}

TEST(Info, ShowsEachFileAndReportsTheUnreadableOne) {
  test::TempFolder dir;
  const std::string d = dir.path();
  const Bytes files[] = {Concat(Bytes(64, std::byte{0xab}), Dds("DXT5", 256, 128, 256 * 128)),
                         Dds("ATI2", 64, 32, 2048), Concat(Pattern(64), Pattern(300)),
                         Bytes(17, std::byte{1})};
  // Each piece ends with the start of the next file, so that it belongs to the right one.
  const std::string shown[] = {
      d + "/f0\n  file:     container, 32960 bytes\n  header:   ab ab ab ab ab ab ab ab ab ab "
          "ab ab ab ab ab ab\n            ab ",
      " ab\n  texture:  DXT5, 256 x 128\n  preview:  yes\n\n" + d +
          "/f1\n  file:     DDS file, 2176 bytes\n  first 64: 44 44 53 20 7c 00 00 00 07 10 ",
      " 00\n  texture:  ATI2, 64 x 32\n  preview:  no, a pixel format the preview cannot "
      "decode\n\n" +
          d + "/f2\n",
      "\n  texture:  unknown\n  preview:  no, not a DDS file\n\n" + d +
          "/f3\n  file:     container, 17 bytes\n  header:   01 01 01 01 01 01 01 01 01 01 01 "
          "01 01 01 01 01\n            01\n  texture:  none\n  preview:  no, too short to hold "
          "a texture (17 bytes)\n"};
  for (int i = 0; i < 4; ++i) WriteFile(dir / ("f" + std::to_string(i)), files[i]);
  const Outcome run = Convert(Words("info {dir}/f0 {dir}/f1 {dir}/f2 {dir}/f3 {dir}/gone", d));
  EXPECT_EQ(run.status, 1);
  for (const std::string& piece : shown)
    EXPECT_NE(run.out.find(piece), std::string::npos) << run.out;
  EXPECT_EQ(run.err, d + "/gone: cannot open the input file: No such file or directory\n"
                         "4 shown, 1 failed\n");
  EXPECT_EQ(Entries(dir.path()), (Names{"f0", "f1", "f2", "f3"}));
}

TEST(Progress, ShownOnlyOnATerminalForMoreThan20Files) {
  for (const auto& [files, terminal, bar] :
       {std::tuple{21, true, true}, {20, true, false}, {21, false, false}}) {
    test::TempFolder data;
    for (int i = 0; i < files; ++i)
      WriteFile(data / ("t" + std::to_string(i) + ".bin"), Pattern(100));
    const Outcome run = Convert({"export", data.path()}, SODREL_CONVERT_EXE, terminal);
    const std::string all = run.out + run.err, n = std::to_string(files);
    SCOPED_TRACE(n + (terminal ? " files on a terminal: " : " files elsewhere: ") + all);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(all.find("\r[") != std::string::npos, bar);
    EXPECT_EQ(all.find("] " + n + "/" + n) != std::string::npos, bar);
    EXPECT_NE(all.find(n + " exported, 0 failed"), std::string::npos);
  }
}

}  // namespace
}  // namespace sodrel
