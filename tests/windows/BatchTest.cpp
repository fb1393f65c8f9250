#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "convert/Main.h"
#include "convert/Wildcards.h"
#include "io/FileStatus.h"
#include "tests/support/Rows.h"
#include "tests/support/TestFiles.h"

// The batch tool on Windows, run as wmain() runs it (UTF-8 words, wildcards expanded by the
// program), in a folder whose name is not ASCII (the names here are UTF-8); names differing in
// case are one file there.
namespace sodrel {
namespace {

namespace fs = std::filesystem;
using namespace test;
using ::PrintTo;  // rows print as their names

const fs::path kSource = SODREL_SOURCE_DIR;

std::string RunTool(const std::string& line, const fs::path& dir) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; in >> word;) words.push_back(word);
  const fs::path cwd = fs::current_path();
  fs::current_path(dir);
  words = convert::ExpandWildcards(words);
  words.insert(words.begin(), "sodrel-convert");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  testing::internal::CaptureStdout(), testing::internal::CaptureStderr();
  const int status = convert::RunProgram(int(argv.size()), argv.data());
  fs::current_path(cwd);
  const std::string out = testing::internal::GetCapturedStdout();
  return out + testing::internal::GetCapturedStderr() + "exit " + std::to_string(status);
}

struct Answer {
  const char* name;
  const char* command;
  int exit;
  std::vector<std::string> says = {};
  std::vector<std::string> made = {};    // files there after the run that were not before
  std::vector<std::string> sameAs = {};  // pairs of files with the same bytes after the run
};

class WindowsBatch : public testing::TestWithParam<Answer> {};

TEST_P(WindowsBatch, Answers) {
  const Answer& answer = GetParam();
  TempFolder root;
  const fs::path dir = root.path() / PathFromText("Mods é中");
  for (const char* folder : {"game", "work"}) fs::create_directories(dir / folder);
  const Bytes dds = ReadFile(kSource / "samples/sample.dds");
  const Bytes container = Concat(Pattern(64, 9), dds);
  for (const char* name : {"Rüstung.bin", "old.bin", "game/r.bin", "game/p.bin"}) {
    WriteFile(dir / PathFromText(name), container);
  }
  WriteFile(dir / "old.bin.dds", dds);
  WriteFile(dir / "work/r.bin.dds", dds);
  WriteFile(dir / "work/p.bin.tif",
            Concat({std::byte('I'), std::byte('I'), std::byte('*'), std::byte(0)}, Pattern(200)));
  WriteFile(dir / "t.hdr", Pattern(64, 3));  // a template

  const std::string output = RunTool(answer.command, dir);
  EXPECT_TRUE(output.ends_with("exit " + std::to_string(answer.exit))) << output;
  for (const std::string& words : answer.says) {
    EXPECT_NE(output.find(words), std::string::npos) << words << "\nnot in:\n" << output;
  }
  for (const std::string& file : answer.made) {
    EXPECT_TRUE(fs::exists(dir / PathFromText(file))) << file << " not made\n" << output;
  }
  for (std::size_t i = 0; i + 1 < answer.sameAs.size(); i += 2) {
    EXPECT_EQ(ReadFile(dir / answer.sameAs[i]), ReadFile(dir / answer.sameAs[i + 1]))
        << answer.sameAs[i];
  }
}

// clang-format off
const Answer kAnswers[] = {
    {.name = "ExportWildcardWithoutCase", .command = "export -o out *.BIN", .exit = 0, .says = {"2 exported"}, .made = {"out/Rüstung.bin.dds", "out/old.bin.dds"}, .sameAs = {"out/old.bin.dds", "old.bin.dds"}},
    {.name = "WildcardMatchingNothing", .command = "export *.xyz", .exit = 1, .says = {"*.xyz: cannot open: No such file"}},
    {.name = "NameNotAsciiShownInUtf8", .command = "info Rüstung.bin", .exit = 0, .says = {"Rüstung.bin\n  file:     container, 8384 bytes"}},
    {.name = "KeptThenReplaced", .command = "export old.bin", .exit = 0, .says = {"old.bin.dds: kept, exists: use --force"}},
    {.name = "Replaced", .command = "export -f old.bin", .exit = 0, .says = {"1 exported"}},
    {.name = "BuildWithTemplateBackslashes", .command = "build --template t.hdr work\\r.bin.dds", .exit = 0, .says = {"1 built"}, .made = {"work/r.bin.dds.bin"}},
    {.name = "OriginalsUnchangedGiveTheSameBytes", .command = "build -r --originals game -o mod work", .exit = 1, .says = {"1 built", "p.bin.tif: a TIFF picture, which this build cannot read"}, .sameAs = {"mod/r.bin", "game/r.bin"}},
    {.name = "OverTheOriginalsSpelledInCapitals", .command = "build --originals game -o GAME work\\r.bin.dds", .exit = 1, .says = {"would write over its original container"}},
    {.name = "ThumbnailOverItsInputInCapitals", .command = "thumbnail old.bin OLD.BIN", .exit = 1, .says = {"OLD.BIN: would write over the input old.bin"}},
};
// clang-format on
SODREL_NAMED_ROWS(Kinds, WindowsBatch, kAnswers);

}  // namespace
}  // namespace sodrel
