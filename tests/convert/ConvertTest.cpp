// sodrel-convert's command line and batches, run in this process; a handful of runs of the real
// executable for what only it does (exit status, its own template, the progress bar).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <atomic>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "container/TextureContainer.h"
#include "convert/Commands.h"
#include "tests/support/DdsWriter.h"
#include "workfiles/WorkingFiles.h"

namespace sodrel::convert {
namespace {

using namespace test;
namespace fs = std::filesystem;
using Names = std::set<std::string>;

struct Ran {
  int status;
  std::string out, err;
};

// "export -r {dir}" as {"export", "-r", "/tmp/.../"}: words split at spaces, "{dir}" replaced.
std::vector<std::string> Words(const std::string& line, const fs::path& dir) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; in >> word;) {
    if (word.find("{dir}") != std::string::npos) word.replace(word.find("{dir}"), 5, dir.string());
    words.push_back(word);
  }
  return words;
}

CommandLine Parse(const std::string& line, const fs::path& dir = "d") {
  std::vector<std::string> words = Words("sodrel-convert " + line, dir);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

// The command line run as main() runs it, with `programFolder` as the folder of the executable.
Ran InProcess(const std::string& line, const fs::path& dir, const fs::path& programFolder = {}) {
  const CommandLine parsed = Parse(line, dir);
  EXPECT_EQ(parsed.action, CommandLine::Action::Run) << parsed.text;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const Options& o = parsed.options;
  const int status = o.command == Command::Export  ? RunExport(o)
                     : o.command == Command::Build ? RunBuild(o, programFolder)
                                                   : RunInfo(o);
  std::string out = testing::internal::GetCapturedStdout();
  return {status, out, testing::internal::GetCapturedStderr()};
}

// The real executable, from `exe`; on a `terminal` (script(1)) both streams arrive in `out`.
Ran Executable(const std::string& line, const fs::path& dir, const fs::path& exe,
               bool terminal = false) {
  TempFolder capture;
  std::string command = exe.string();
  for (const std::string& word : Words(line, dir)) command += " '" + word + "'";
  if (terminal) command = "script -qec \"" + command + "\" /dev/null";
  command += " </dev/null >" + (capture / "out").string() + " 2>" + (capture / "err").string();
  const int status = std::system(command.c_str());
  std::ostringstream out, err;
  out << std::ifstream(capture / "out").rdbuf();
  err << std::ifstream(capture / "err").rdbuf();
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out.str(), err.str()};
}

TEST(CommandLine, TakesEachOptionAndRefusesWhatDoesNotFit) {
  using enum HeaderSource;
  const struct {
    const char* line;
    const char* error;  // nullptr: runs
    Command command = Command::Export;
    bool recursive = false, dryRun = false;
    HeaderSource header = ProgramTemplate;
  } cases[] = {{"export a.bin b", nullptr},
               {"export -r --dry-run d", nullptr, Command::Export, true, true},
               {"build --recursive d", nullptr, Command::Build, true},
               {"build --template t d", nullptr, Command::Build, false, false, TemplateFile},
               {"build --header-from t d", nullptr, Command::Build, false, false, Container},
               {"info a b", nullptr, Command::Info},
               {"", "no command given"},
               {"convert d", "unknown command 'convert'"},
               {"export", "export: no file given"},
               {"export --template t d", "--template and --header-from apply to build only"},
               {"info --header-from t d", "--template and --header-from apply to build only"},
               {"build --template=a --header-from=t d", "not both"},
               {"info -r d", "info takes files only"},
               {"info --dry-run d", "info takes files only"},
               {"export --bogus d", "Unknown option 'bogus'."}};
  for (const auto& c : cases) {
    const CommandLine parsed = Parse(c.line);
    SCOPED_TRACE(c.line);
    if (c.error) {
      EXPECT_EQ(parsed.action, CommandLine::Action::UsageError);
      EXPECT_NE(parsed.text.find(c.error), std::string::npos) << parsed.text;
      continue;
    }
    ASSERT_EQ(parsed.action, CommandLine::Action::Run) << parsed.text;
    const Options& o = parsed.options;
    EXPECT_EQ(std::tuple(o.command, o.recursive, o.dryRun, o.headerSource),
              std::tuple(c.command, c.recursive, c.dryRun, c.header));
    EXPECT_EQ(o.paths.back(), std::string(c.line).substr(std::string(c.line).rfind(' ') + 1));
    EXPECT_EQ(o.headerPath, c.header == ProgramTemplate ? "" : "t");
  }
}

// What only the executable does: its exit status, its own template, the progress bar on a
// terminal for more than 20 files.
TEST(Executable, ExitStatusItsOwnTemplateAndProgress) {
  ProgramFolder program;  // with a copy of the executable beside its KX00.dll
  const fs::path exe = program / "sodrel-convert";
  fs::copy_file(SODREL_CONVERT_EXE, exe);
  WriteFile(program / "a.dds", Pattern(300));
  EXPECT_EQ(Executable("build {dir}/a.dds", program.path(), exe).status, 0);
  EXPECT_EQ(ReadFile(program / "a.dds.bin"),
            Concat(ReadFile(program.templatePath()), Pattern(300)));
  fs::remove(program.templatePath());
  Ran run = Executable("build {dir}/a.dds", program.path(), exe);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("/KX00.dll: cannot open the header template"), std::string::npos);
  run = Executable("export", program.path(), exe);
  EXPECT_EQ(std::tuple(run.status, run.err),
            std::tuple(2, std::string("sodrel-convert: export: no file given\nTry 'sodrel-convert "
                                      "--help'.\n")));
  run = Executable("--version", program.path(), exe);
  EXPECT_EQ(std::tuple(run.status, run.out), std::tuple(0, std::string("1.00\n")));
  run = Executable("--help", program.path(), exe);
  EXPECT_TRUE(run.out.starts_with("Usage: sodrel-convert [options] <command> FILE|DIR...\n"));
  for (const auto& [files, terminal, bar] :
       {std::tuple{21, true, true}, {20, true, false}, {21, false, false}}) {
    TempFolder data;
    for (int i = 0; i < files; ++i)
      WriteFile(data / ("t" + std::to_string(i) + ".bin"), Pattern(100));
    run = Executable("export {dir}", data.path(), exe, terminal);
    const std::string all = run.out + run.err, n = std::to_string(files);
    EXPECT_EQ(all.find("] " + n + "/" + n) != std::string::npos, bar) << all;
    EXPECT_NE(all.find(n + " exported, 0 failed"), std::string::npos) << all;
  }
}

std::map<std::string, Bytes> Snapshot(const fs::path& root) {
  std::map<std::string, Bytes> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), root)] = ReadFile(entry.path());
  }
  return files;
}

// The same data folder converted by the command and by the window's routines, with `header`
// as the window's KX00.dll when the command is given a header source.
TEST(Batches, WriteWhatTheWindowWritesByteForByte) {
  const struct {
    const char* args;    // "{dir}" is the data folder, "{dir}/header" holds `header`
    const char* inputs;  // the files the window's routine converts
    std::optional<Bytes> header = std::nullopt;
  } cases[] = {
      {"export {dir}/b.bin {dir} {dir}/./a.bin", "a.bin b.bin c.BIN"},
      {"export -r {dir}", "a.bin b.bin c.BIN sub/d.bin sub/deeper/e.bin"},
      {"build {dir} -r", "a.dds b.dds c.DDS sub/d.dds sub/deeper/e.dds"},
      {"build --template {dir}/header {dir}", "a.dds b.dds c.DDS", Pattern(1000, 8)},
      {"build --template {dir}/header {dir}", "a.dds b.dds c.DDS", Pattern(3, 8)},  // padded
      {"build --header-from {dir}/header {dir}", "a.dds b.dds c.DDS", Pattern(80, 8)}};
  for (const auto& [args, inputs, header] : cases) {
    SCOPED_TRACE(args);
    const bool build = std::string_view(args).starts_with("build");
    const std::string in = build ? ".dds" : ".bin", out = build ? ".bin" : ".dds";
    ProgramFolder program, ref;  // the command's and the window's
    if (header) WriteFile(ref.templatePath(), *header);
    TempFolder cliData, refData;
    for (const fs::path& root : {cliData.path(), refData.path()}) {
      fs::create_directories(root / "sub" / "deeper");
      fs::create_directory_symlink(root / "sub", root / "sub" / "deeper" / "loop");
      if (header) WriteFile(root / "header", *header);
      // b's output is there already, longer than the new one; c's extension is in capitals.
      std::uint32_t seed = 0;
      for (const std::string& name :
           {"a" + in, "b" + in, "b" + in + out, "c" + in, std::string("notes.txt"), "sub/d" + in,
            "sub/deeper/e" + in}) {
        WriteFile(root / (name == "c" + in ? (build ? "c.DDS" : "c.BIN") : name),
                  Pattern(name == "b" + in ? 65 : 3000, ++seed));
      }
    }
    const std::vector<std::string> converted = Words(inputs, {});
    for (const std::string& name : converted) {
      ASSERT_FALSE(build && StageCopy(refData / name, ref.path(), WorkFile::ImportFile));
      ASSERT_TRUE((build ? BuildContainer(refData / name, ref.path(), ref.work("ImportFile"))
                         : ExportTexture(refData / name))
                      .written());
    }
    const Ran run = InProcess(args, cliData.path(), program.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err,
              std::to_string(converted.size()) + (build ? " built" : " exported") + ", 0 failed\n");
    EXPECT_EQ(Snapshot(cliData.path()), Snapshot(refData.path()));
    EXPECT_TRUE(Entries(program / "Temp").empty()) << "the working folder is never used";
  }
}

// A dry run, then the real one, of a batch with good files and bad ones, some named twice, and
// header sources that stop a build before it writes anything.
TEST(Batches, ConvertTheGoodFilesAndReportEachBadOneWithItsReason) {
  for (const bool build : {false, true}) {
    TempFolder data;
    const std::string d = data.path(), in = build ? ".dds" : ".bin", ext = build ? ".bin" : ".dds";
    auto at = [&](const char* name) { return d + "/" + name + in; };
    WriteFile(at("a"), Pattern(200, 1));
    WriteFile(at("z"), Pattern(100, 2));
    WriteFile(at("m1"), Pattern(build ? 0 : 64, 3));  // too short; m2 is missing
    WriteFile(at("m3"), Pattern(100, 4));
    fs::create_directory(at("m3") + ext);
    WriteFile(data / "template", Pattern(64, 5));
    WriteFile(data / "short", Pattern(63));
    WriteFile(data / "dds", MakeDds(DdsFormat::Dxt1, 4, 4, kRed));
    const Names expected = Entries(data.path());
    const std::string args = std::string(build ? "build --template {dir}/template" : "export") +
                             " {dir} {dir}/z" + in + " {dir}/m2" + in + " {dir}/a" + in;
    const std::string failed =
        at("m1") +
        (build ? ": the DDS file is empty\n" : ": too short to hold a texture (64 bytes)\n") +
        at("m2") + ": cannot open the input file: No such file or directory\n";

    Ran run = InProcess(args + " --dry-run", data.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, at("a") + ext + "\n" + at("m3") + ext + "\n" + at("z") + ext + "\n");
    EXPECT_EQ(run.err, failed + (build ? "3 to build" : "3 to export") + ", 2 failed\n");
    EXPECT_EQ(Entries(data.path()), expected) << "a dry run writes nothing";
    if (build) {
      for (const auto& [header, error] :
           {std::pair{"--header-from {dir}/short",
                      "/short: too short to hold a container header (63 bytes)\n"},
            {"--header-from {dir}/dds", "/dds: a DDS file, not a container\n"},
            {"--template {dir}/gone",
             "/gone: cannot open the header template: No such file or directory\n"}}) {
        run = InProcess(std::string("build {dir} ") + header, data.path());
        EXPECT_EQ(std::tuple(run.status, run.err), std::tuple(1, d + error));
      }
      EXPECT_EQ(Entries(data.path()), expected) << "a bad header source writes nothing";
    }
    run = InProcess(args, data.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, failed + at("m3") + ": cannot write the output file: Is a directory\n" +
                           (build ? "2 built" : "2 exported") + ", 3 failed\n");
    Names written = expected;
    written.insert({"a" + in + ext, "z" + in + ext});
    EXPECT_EQ(Entries(data.path()), written) << "no partial or temporary file is left";
  }
}

TEST(Info, ShowsEachFileAndReportsTheUnreadableOne) {
  TempFolder dir;
  const std::string d = dir.path();
  const Bytes files[] = {Concat(Bytes(64, std::byte{0xab}), MakeDds(DdsFormat::Dxt5, 8, 4, kRed)),
                         With(MakeDds(DdsFormat::Dxt1, 8, 4, kRed), 84, 0x32495441),  // "ATI2"
                         Concat(Pattern(64), Pattern(300)), Bytes(1, std::byte{1})};
  // Each piece ends with the start of the next file, so that it belongs to the right one.
  const std::string shown[] = {
      d + "/f0\n  file:     container, 224 bytes\n  header:   ab ab ab ab ab ab ab ab ab ab "
          "ab ab ab ab ab ab\n            ab ",
      " ab\n  texture:  DXT5, 8 x 4\n  preview:  yes\n\n" + d +
          "/f1\n  file:     DDS file, 144 bytes\n  first 64: 44 44 53 20 7c 00 00 00 07 10 ",
      " 00\n  texture:  ATI2, 8 x 4\n  preview:  no, a pixel format the preview cannot decode\n\n" +
          d + "/f2\n",
      "\n  texture:  unknown\n  preview:  no, not a DDS file\n\n" + d +
          "/f3\n  file:     container, 1 byte\n  header:   01\n  texture:  none\n  preview:  no, "
          "too short to hold a texture (1 byte)\n"};
  for (int i = 0; i < 4; ++i) WriteFile(dir / ("f" + std::to_string(i)), files[i]);
  const Ran run = InProcess("info {dir}/f0 {dir}/f1 {dir}/f2 {dir}/f3 {dir}/gone", d);
  EXPECT_EQ(run.status, 1);
  for (const std::string& piece : shown)
    EXPECT_NE(run.out.find(piece), std::string::npos) << run.out;
  EXPECT_EQ(run.err, d + "/gone: cannot open the input file: No such file or directory\n"
                         "4 shown, 1 failed\n");
}

// A container cut short and made whole again, over and over, while `info` reads it: each run
// shows the whole container, or none, or fails to read it; never a texture read from bytes that
// are no longer there.
TEST(Info, OfAContainerCutWhileItIsReadNeverShowsBytesThatAreGone) {
  TempFolder dir;
  const Bytes whole = Concat(Pattern(64), MakeDds(DdsFormat::Dxt1, 8, 8, kRed));
  WriteFile(dir / "c.bin", whole);
  std::atomic<bool> done = false;
  std::thread cutter([&] {
    std::fstream file(dir / "c.bin", std::ios::in | std::ios::out | std::ios::binary);
    while (!done) {
      fs::resize_file(dir / "c.bin", 10);
      file.seekp(0).write(reinterpret_cast<const char*>(whole.data()),
                          std::streamsize(whole.size()));
      file.flush();
    }
  });
  int shownWhole = 0, shownGone = 0;
  for (int i = 0; i < 2000; ++i) {
    const Ran run = InProcess("info {dir}/c.bin", dir.path());
    shownWhole += run.out.find("DXT1, 8 x 8") != std::string::npos;
    shownGone += run.out.find("unknown") != std::string::npos;
  }
  done = true;
  cutter.join();
  EXPECT_GT(shownWhole, 0);
  EXPECT_EQ(shownGone, 0);
}

}  // namespace
}  // namespace sodrel::convert
