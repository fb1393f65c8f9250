// sodrel-convert's command line, batches and pictures, run in this process (the install test
// runs the executable for what only it does: its exit status, interrupts, the progress bar, the
// README's walk-through).
#include <gtest/gtest.h>

#include <QImage>
#include <bit>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "convert/Commands.h"
#include "convert/OrderedJobRunner.h"
#include "dds/DdsFields.h"
#include "dds/LevelDecoder.h"
#include "encode/RgbaImage.h"
#include "io/AtomicOutput.h"
#include "io/ChangeWatch.h"
#include "io/ScopedSeam.h"
#include "preview/MFreeImage.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/Rows.h"

using namespace sodrel;
using namespace sodrel::convert;
using namespace sodrel::test;
using enum DdsFormat;
namespace fs = std::filesystem;

const fs::path kSource = SODREL_SOURCE_DIR;

// "export -r {dir}" as {"export", "-r", "/tmp/.../"}: words split at `separator`, "{dir}"
// replaced.
std::vector<std::string> Words(const std::string& line, const fs::path& dir, char separator = ' ') {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; std::getline(in, word, separator);) {
    if (const auto at = word.find("{dir}"); at != std::string::npos) word.replace(at, 5, dir);
    if (!word.empty()) words.push_back(word);
  }
  return words;
}

// The command line run in `dir` as main() runs it: what it wrote on stdout, then on stderr (or
// what is wrong with the command line), then its exit status; `program` stands for the folder of
// the executable.
std::string InProcess(const std::string& line, const fs::path& dir, const fs::path& program = {},
                      Stop stop = Stop()) {
  std::vector<std::string> words = Words("sodrel-convert " + line, dir);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  const CommandLine parsed = ParseCommandLine(int(argv.size()), argv.data());
  if (parsed.action != CommandLine::Action::Run) return parsed.text + "\nexit 2";
  const fs::path cwd = fs::current_path();
  fs::current_path(dir);
  testing::internal::CaptureStdout(), testing::internal::CaptureStderr();
  const int status = RunCommand(parsed.options, program, stop);
  fs::current_path(cwd);
  const std::string out = testing::internal::GetCapturedStdout();
  return out + testing::internal::GetCapturedStderr() + "exit " + std::to_string(status);
}

std::string Text(const Bytes& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Every file under `root`, with its permission bits ("292 ") before its bytes, and links as
// "-> target": a temporary left behind, a file changed or a mode lost shows up in a comparison.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = entry.path().lexically_relative(root);
    if (entry.is_symlink()) {
      files[name] = "-> " + fs::read_symlink(entry.path()).filename().string();
    } else if (entry.is_directory()) {
      files[name + "/"] = "folder";
    } else if (entry.is_regular_file()) {
      files[name] =
          std::to_string(int(entry.status().permissions())) + " " + Text(ReadFile(entry.path()));
    }
  }
  return files;
}

// One answer of the batch tool, run in a folder of every kind of input (see MakeKinds).
struct Answer {
  const char* name;
  const char* command;
  int exit;
  std::vector<std::string> says = {};  // words the output holds
  const char* whole = nullptr;         // or the whole output
  std::vector<std::string> made = {};  // the files written or replaced; all others unchanged
  bool changesInput = false;  // each input is written to after its last read, before its check
};

void MakeKinds(const fs::path& dir) {
  // A folder that holds only a folder (with a name in capitals and a link back up, which a scan
  // must not follow), a link at an output's name to its own input, a folder where an output would
  // go, an earlier build's output, an input whose output exists read-only.
  for (const char* folder : {"d/sub", "l", "w/f.bin.dds"}) fs::create_directories(dir / folder);
  const Bytes container = ReadFile(kSource / "samples/sample.bin");
  for (const char* name :
       {"c.bin", "d/sub/X.BIN", "l/c.bin", "w/f.bin", "x.bin.dds.bin", "old.bin"}) {
    WriteFile(dir / name, container);
  }
  fs::create_symlink("c.bin", dir / "l/c.bin.dds");
  fs::create_directory_symlink("..", dir / "d/sub/loop");
  WriteFile(dir / "old.bin.dds", MakeDds(Dxt1, 128, 128, kRed));  // the layout of old.bin
  fs::permissions(dir / "old.bin.dds", fs::perms(0444));
  WriteFile(dir / "t.dds", ReadFile(kSource / "samples/sample.dds"));
  WriteFile(dir / "e.bin", {});
  WriteFile(dir / "elf.bin", With(Pattern(300), 0, 0x464C457F));  // "\x7fELF"
  WriteFile(dir / "cut.bin", Slice(container, 0, 5000));
  WriteFile(dir / "odd.dds", With(MakeDds(Dxt1, 4, 4, kRed), 84, 0x44434241));  // "ABCD"
  // A built folder, an hour ago, then one input modified a nanosecond after its output.
  fs::create_directory(dir / "u");
  for (const char* name : {"u/a.bin", "u/b.bin", "u/a.bin.dds.bin"})
    WriteFile(dir / name, container);
  for (const char* name : {"u/a.bin.dds", "u/b.bin.dds"})
    WriteFile(dir / name, MakeDds(Dxt1, 4, 4, kRed));
  using namespace std::chrono_literals;
  const auto built = fs::last_write_time(dir / "c.bin") - 1h;
  for (const auto& [name, at] : {std::pair{"u/a.bin", built - 10s},
                                 {"u/a.bin.dds", built},
                                 {"u/b.bin.dds", built},
                                 {"u/a.bin.dds.bin", built},
                                 {"u/b.bin", built + 1ns}}) {
    fs::last_write_time(dir / name, at);
  }
}

class BatchTool : public testing::TestWithParam<Answer> {};

TEST_P(BatchTool, Answers) {
  const Answer& answer = GetParam();
  TempFolder dir;
  MakeKinds(dir.path());
  ProgramFolder program;  // with the placeholder template that comes with the program
  WriteFile(program.templatePath(), ReadFile(kSource / "resources/KX00.dll"));
  const std::map<std::string, std::string> before = Snapshot(dir.path());

  const ScopedSeam drain(
      ChangeWatchHooks::beforeDrain, !answer.changesInput ? nullptr : +[](int fd) {
        std::ofstream("/proc/self/fd/" + std::to_string(fd), std::ios::in).seekp(10) << 'x';
      });
  const std::string output = InProcess(answer.command, dir.path(), program.path());
  EXPECT_TRUE(output.ends_with("exit " + std::to_string(answer.exit))) << output;
  EXPECT_TRUE(answer.whole == nullptr || output == answer.whole) << output;
  for (const std::string& words : answer.says) {
    EXPECT_NE(output.find(words), std::string::npos) << words << "\nnot in:\n" << output;
  }
  const std::map<std::string, std::string> after = Snapshot(dir.path());
  std::map<std::string, std::string> expected = before;
  for (const std::string& file : answer.made) {
    ASSERT_TRUE(after.contains(file)) << file << " was not written";
    EXPECT_NE(after.at(file), expected[file]) << file << " was not replaced";
    if (before.contains(file)) {  // a replaced file keeps its permission bits
      EXPECT_EQ(after.at(file).substr(0, 4), before.at(file).substr(0, 4)) << file;
    }
    expected[file] = after.at(file);
  }
  EXPECT_EQ(after, expected) << "files other than the outputs stay as they were";
}

// One row a line, the table read across.
// clang-format off
const Answer kAnswers[] = {
    {.name = "NoCommand", .command = "", .exit = 2, .says = {"no command given"}},
    {.name = "ConvertD", .command = "convert d", .exit = 2, .says = {"unknown command 'convert'"}},
    {.name = "Export", .command = "export", .exit = 2, .says = {"export: no file given"}},
    {.name = "ExportTemplateTD", .command = "export --template t d", .exit = 2, .says = {"--template, --header-from and --originals apply to build"}},
    {.name = "BuildOriginalsAHeaderFromTD", .command = "build --originals a --header-from t d", .exit = 2, .says = {"give one of --template, --header-from and"}},
    {.name = "InfoRD", .command = "info -r d", .exit = 2, .says = {"info takes no -r, -o, -f, -j or --dry-run"}},
    {.name = "ThumbnailOOAB", .command = "thumbnail -o o a b", .exit = 2, .says = {"thumbnail takes no -r, -o, -f, -j or --dry-run"}},
    {.name = "PngRawD", .command = "png --raw d", .exit = 2, .says = {"--raw applies to export and build only"}},
    {.name = "ExportBogusD", .command = "export --bogus d", .exit = 2, .says = {"unknown option 'bogus'"}},
    {.name = "PngJ0D", .command = "png -j 0 d", .exit = 2, .says = {"--jobs takes a whole number from 1 to 256"}},
    {.name = "ThumbnailSize1AB", .command = "thumbnail --size -1 a b", .exit = 2, .says = {"--size takes a whole number from 0 to 16384"}},
    {.name = "ExportO", .command = "export -o", .exit = 2, .says = {"missing value after '-o'"}},
    {.name = "ExportDryRunXRqCBin", .command = "export --dry-run=x -rq c.bin", .exit = 2, .says = {"unexpected value after '--dry-run'"}},
    {.name = "ExportFUCBin", .command = "export -f -u c.bin", .exit = 2, .says = {"give one of --force and --update"}},
    {.name = "InfoUCBin", .command = "info -u c.bin", .exit = 2, .says = {"--update applies to export, build and png only"}},
    {.name = "BuildAsIsTDds", .command = "build --as-is t.dds", .exit = 2, .says = {"--as-is and --reencode apply to build --originals only"}},
    {.name = "BuildOriginalsAsIsReencodeTDds", .command = "build --originals . --as-is --reencode t.dds", .exit = 2, .says = {"give one of --as-is and --reencode"}},
    {.name = "ExportQfj2OOldBin", .command = "export -qfj2 -o=. old.bin", .exit = 0, .whole = "exit 0", .made = {"old.bin.dds"}},
    {.name = "ExportTDds", .command = "export t.dds", .exit = 1, .says = {"t.dds: a DDS file, not a container"}},
    {.name = "ExportEBin", .command = "export e.bin", .exit = 1, .says = {"e.bin: empty file"}},
    {.name = "ExportElfBin", .command = "export elf.bin", .exit = 1, .says = {"elf.bin: not a texture container: no DDS file at byte 64"}},
    {.name = "ExportCutBin", .command = "export cut.bin", .exit = 0, .says = {"cut.bin: warning: its DDS file is cut short: its header promises 8320 bytes, the file holds 4936 bytes"}, .made = {"cut.bin.dds"}},
    {.name = "ExportRawElfBin", .command = "export --raw elf.bin", .exit = 0, .says = {"1 exported"}, .made = {"elf.bin.dds"}},
    {.name = "ExportThisFolder", .command = "export .", .exit = 0, .says = {"./e.bin: skipped: empty file", "./elf.bin: skipped: not a texture", "./x.bin.dds.bin: skipped: an output of an earlier build", "./old.bin.dds: kept, exists: use --force to replace", "2 exported, 1 kept, 3 skipped, 0 failed"}, .made = {"c.bin.dds", "cut.bin.dds"}},
    {.name = "ExportQEBinCBinOldBin", .command = "export -q e.bin c.bin old.bin", .exit = 1, .whole = "sodrel-convert: e.bin: empty file\nexit 1", .made = {"c.bin.dds"}},
    {.name = "ExportFOldBin", .command = "export -f old.bin", .exit = 0, .says = {"1 exported, 0 failed"}, .made = {"old.bin.dds"}},
    {.name = "ExportDryRunOldBinCBin", .command = "export --dry-run old.bin c.bin", .exit = 0, .whole = "c.bin.dds\nold.bin.dds (exists: kept)\nsodrel-convert: 1 to export, 1 kept, 0 failed\nexit 0"},
    {.name = "InputChangedExportCBin", .command = "export c.bin", .exit = 1, .says = {"c.bin: changed while it was read", "0 exported, 1 failed"}, .made = {"c.bin"}, .changesInput = true},
    {.name = "InputChangedExportDryRunCBin", .command = "export --dry-run c.bin", .exit = 1, .says = {"c.bin: changed while it was read", "0 to export, 1"}, .made = {"c.bin"}, .changesInput = true},
    {.name = "ExportD", .command = "export d", .exit = 0, .says = {"d: no .bin files here (add -r for its subfolders)"}},
    {.name = "ExportROOutD", .command = "export -r -o out d", .exit = 0, .says = {"1 exported"}, .made = {"out/", "out/sub/", "out/sub/X.BIN.dds"}},
    {.name = "ExportROOutDSubLoopSubXBINDSubXBIND", .command = "export -r -o out d/sub/loop/sub/X.BIN d/sub/X.BIN d", .exit = 0, .whole = "sodrel-convert: 1 exported, 0 failed\nexit 0", .made = {"out/", "out/X.BIN.dds"}},
    {.name = "ExportOEBinXCBinOldBin", .command = "export -o e.bin/x c.bin old.bin", .exit = 1, .whole = "sodrel-convert: e.bin/x: cannot make the folder: Not a directory\nsodrel-convert: 0 exported, 2 failed\nexit 1"},
    {.name = "InputChangedExportOOutXCBin", .command = "export -o out/x c.bin", .exit = 1, .says = {"c.bin: changed while it was read"}, .made = {"c.bin"}, .changesInput = true},
    {.name = "ExportU", .command = "export u", .exit = 0, .says = {"u/a.bin.dds: kept, exists: use --force", "u/b.bin.dds: kept, older than its input: use -u or -f", "0 exported, 2 kept, 1 skipped"}},
    {.name = "ExportUU", .command = "export -u u", .exit = 0, .says = {"1 exported, 1 kept, 1 skipped"}, .made = {"u/b.bin.dds"}},
    {.name = "ExportUDryRunU", .command = "export -u --dry-run u", .exit = 0, .says = {"u/a.bin.dds (exists: kept)\nu/b.bin.dds (exists, older than its input: replaced)"}},
    {.name = "BuildUHeaderFromUABinUABinDds", .command = "build -u --header-from u/a.bin u/a.bin.dds", .exit = 0, .says = {"0 built, 1 kept"}},
    {.name = "BuildUHeaderFromUBBinUABinDds", .command = "build -u --header-from u/b.bin u/a.bin.dds", .exit = 0, .says = {"1 built"}, .made = {"u/a.bin.dds.bin"}},
    {.name = "ExportWFBinMissingBin", .command = "export w/f.bin missing.bin", .exit = 1, .says = {"w/f.bin.dds: a folder is there", "missing.bin: cannot open: No such file or directory"}},
    {.name = "ExportLCBin", .command = "export l/c.bin", .exit = 1, .says = {"l/c.bin.dds: would write over the input l/c.bin"}},
    {.name = "ExportOOutCBinLCBin", .command = "export -o out c.bin l/c.bin", .exit = 1, .says = {"c.bin: writes the same output as l/c.bin", "l/c.bin: writes the same output as c.bin"}},
    {.name = "BuildTDds", .command = "build t.dds", .exit = 0, .says = {"KX00.dll: the placeholder header template, which no game accepts", "1 built"}, .made = {"t.dds.bin"}},
    {.name = "BuildCBin", .command = "build c.bin", .exit = 1, .says = {"c.bin: a texture container, not a DDS file"}},
    {.name = "BuildTemplateGoneTDds", .command = "build --template gone t.dds", .exit = 1, .says = {"gone: cannot open the header template: No such file"}},
    {.name = "BuildHeaderFromTDdsTDds", .command = "build --header-from t.dds t.dds", .exit = 1, .says = {"t.dds: a DDS file, not a container"}},
    {.name = "BuildOriginalsOldBinDds", .command = "build --originals . old.bin.dds", .exit = 1, .says = {"old.bin: would write over its original container (give -o DIR)"}},
    {.name = "BuildOriginalsOOutOldBinDdsTDds", .command = "build --originals . -o out old.bin.dds t.dds", .exit = 0, .says = {"t.dds: skipped: not named NAME.bin.dds", "1 built, 1 skipped"}, .made = {"out/", "out/old.bin"}},
    {.name = "BuildOriginalsOOldBinDds", .command = "build --originals . -o . old.bin.dds", .exit = 1, .whole = "sodrel-convert: ./old.bin: would write over its original container (-o names the folder of the originals: give another)\nsodrel-convert: 0 built, 1 failed\nexit 1"},
    {.name = "BuildOriginalsLLCBinDds", .command = "build --originals l l/c.bin.dds", .exit = 1, .says = {"l/c.bin: would write over its original container"}},
    {.name = "PngCBinTDds", .command = "png c.bin t.dds", .exit = 0, .says = {"2 converted"}, .made = {"c.bin.png", "t.dds.png"}},
    {.name = "InputChangedPngTDds", .command = "png t.dds", .exit = 1, .says = {"t.dds: changed while it was read", "0 converted, 1 failed"}, .made = {"t.dds"}, .changesInput = true},
    {.name = "PngCutBinOddDds", .command = "png cut.bin odd.dds", .exit = 1, .says = {"cut.bin: the preview refuses this texture: the file ends before the texture does", "odd.dds: the preview refuses this texture: a pixel format the preview cannot decode (ABCD)"}},
    {.name = "ThumbnailCBinCBin", .command = "thumbnail c.bin ./c.bin", .exit = 1, .says = {"./c.bin: would write over the input c.bin"}},
    {.name = "ThumbnailCBinWFBinDds", .command = "thumbnail c.bin w/f.bin.dds", .exit = 1, .says = {"w/f.bin.dds: a folder is there, never replaced"}},
    {.name = "ThumbnailOddDdsOPng", .command = "thumbnail odd.dds o.png", .exit = 1, .says = {"odd.dds: the preview refuses this texture: a pixel"}},
    {.name = "ThumbnailCBinCJpg", .command = "thumbnail c.bin c.jpg", .exit = 1, .says = {"c.jpg: not a .png name"}},
    {.name = "ThumbnailElfBinOPng", .command = "thumbnail elf.bin o.png", .exit = 1, .says = {"elf.bin: neither a DDS file nor a texture container"}},
    {.name = "ThumbnailCBinNoOPng", .command = "thumbnail c.bin no/o.png", .exit = 1, .says = {"no/o.png: cannot write the PNG file: No such file or"}},
    {.name = "ThumbnailMissingOPng", .command = "thumbnail missing o.png", .exit = 1, .says = {"missing: cannot open: No such file or directory"}},
    {.name = "InputChangedThumbnailCBinOPng", .command = "thumbnail c.bin o.png", .exit = 1, .says = {"c.bin: changed while it was read"}, .made = {"c.bin"}, .changesInput = true},
    {.name = "InputChangedInfoCBin", .command = "info c.bin", .exit = 1, .says = {"c.bin: changed while it was read", "0 shown, 1 failed"}, .made = {"c.bin"}, .changesInput = true},
    {.name = "InfoCBinTDdsEBinElfBinCutBinMissing", .command = "info c.bin t.dds e.bin elf.bin cut.bin missing", .exit = 1, .says = {"file:     container, 8384 bytes\n  header:   53 4f 44 52 45 4c 2d 48", "DXT1, 128 x 128\n  levels:   1, 128 x 128\n  preview:  yes", "file:     DDS file, 8320 bytes", "00 00\n  texture:  DXT1, 128 x 128\n  levels:   1, 128 x 128\n  preview:  yes\n\ne.bin\n  file:     empty file", "file:     not a texture container, 300 bytes", "preview:  no, the file ends before the texture does", "missing: cannot open", "5 shown, 1 failed"}},
};
// clang-format on

SODREL_NAMED_ROWS(Kinds, BatchTool, kAnswers);

// An edited texture against its original: built when the layouts are the same, refused with
// both layouts named when not, built with that line as a warning with --as-is, nothing written
// by a dry run.
struct Edit {
  const char* name;
  Bytes original, edited;
  const char* differs;  // words of the line naming both layouts; "" when they are the same
};
Bytes Dx10(DxgiFormat format, std::uint32_t miscFlag = 0, std::uint32_t images = 1) {
  Bytes blocks;
  const ColourAt red = [](auto, auto) { return kRed; };
  for (std::uint32_t i = 0; i < images; ++i) blocks = Concat(blocks, Blocks(Dxt1, 8, 8, red));
  return Concat(Dx10Header(8, 8, format, miscFlag), blocks);
}
const Bytes kDxt1_8 = MakeDds(Dxt1, 8, 8, kRed), kChain = Concat(With(kDxt1_8, 28, 4), Bytes(24));
const Edit kEdits[] = {
    {"Same", kDxt1_8, MakeDds(Dxt1, 8, 8, kBlue), ""},
    {"MipCountZeroAndOne", With(kDxt1_8, 28, 1), With(kDxt1_8, 28, 0), ""},
    {"AlphaFlagOnDxt1", kDxt1_8, With(kDxt1_8, 80, 5), ""},
    {"AnotherFormat", kDxt1_8, MakeDds(Dxt5, 8, 8, kRed),
     "DXT5, 8 x 8, 1 level; its original game/r.bin holds DXT1, 8 x 8, 1 level"},
    {"AnotherSize", kDxt1_8, MakeDds(Dxt1, 8, 4, kRed), "DXT1, 8 x 4, 1 level; its original"},
    {"FewerLevels", kChain, kDxt1_8, "holds DXT1, 8 x 8, 4 levels"},
    {"Dx10ForLegacy", kDxt1_8, Dx10(DxgiFormat::Bc1Unorm), "DX10 BC1_UNORM, 8 x 8, 1 level; its"},
    {"SrgbForLinear", Dx10(DxgiFormat::Bc1Unorm), Dx10(DxgiFormat::Bc1UnormSrgb), "BC1_UNORM_SRGB"},
    {"CubeFor2D", Dx10(DxgiFormat::Bc1Unorm), Dx10(DxgiFormat::Bc1Unorm, 4, 6), "level, cube map;"},
    {"UncompressedForDxt1", kDxt1_8,
     Concat(UncompressedHeader(8, 8, 0x41, 32, kBgra),
            Pixels(8, 8, 32, kBgra,
                   [](auto x, auto y) {
                     return Rgb{int(x * 30), int(y * 30), 9};
                   })),
     "uncompressed 32-bit B8G8R8A8, 8 x 8, 1 level; its original"},
};
class EditedTexture : public testing::TestWithParam<Edit> {};
TEST_P(EditedTexture, IsBuiltOnlyInItsOriginalsLayout) {
  const Edit& e = GetParam();
  TempFolder dir;
  fs::create_directories(dir / "game"), fs::create_directories(dir / "work");
  WriteFile(dir / "game/r.bin", Concat(Pattern(64, 5), e.original));
  WriteFile(dir / "work/r.bin.dds", e.edited);
  const std::string run = "build --originals game -o mod work/r.bin.dds";
  const std::string dry = InProcess("--dry-run " + run, dir.path());
  EXPECT_FALSE(fs::exists(dir / "mod")) << dry;
  const bool same = *e.differs == 0;
  for (const auto& [output, options] : {std::pair(dry, ""),
                                        {InProcess(run, dir.path()), ""},
                                        {InProcess("-f --as-is " + run, dir.path()), "as-is"}}) {
    const bool asIs = *options != 0;
    EXPECT_TRUE(output.ends_with(same || asIs ? "exit 0" : "exit 1")) << output;
    EXPECT_EQ(output.find(same ? "its original" : e.differs) != std::string::npos, !same) << output;
    EXPECT_EQ(output.find(asIs ? "warning: " : "--as-is builds it as it is)") != std::string::npos,
              !same)
        << output;
  }
  EXPECT_EQ(ReadFile(dir / "mod/r.bin"), Concat(Pattern(64, 5), e.edited));
}
SODREL_NAMED_ROWS(Layouts, EditedTexture, kEdits);

// What info says of a mip chain: its levels, where a file cut inside it ends, its images.
TEST(Info, ShowsTheMipChainAndWhereAFileEndsInsideIt) {
  TempFolder dir;
  const Bytes chain = Concat(kChain, Bytes(32));  // 8 x 8, 4 x 4, 2 x 2, 1 x 1: 56 bytes
  const Bytes array = Concat(With(Dx10Header(4, 4, DxgiFormat::Bc1Unorm), 140, 2), Bytes(16));
  for (const auto& [dds, words] :
       {std::pair{chain, "levels:   4, 8 x 8 to 1 x 1\n  preview:  yes\nsodrel-convert: 1 shown"},
        {Slice(chain, 0, 128 + 44),
         "levels:   4 promised, 2 whole: the file ends inside level 2\n  preview:  yes\n"
         "sodrel-convert: t.dds: warning: the DDS file ends inside mip level 2: its header "
         "promises 184 bytes for all its levels, the file holds 172 bytes"},
        {Slice(chain, 0, 148),
         "4 promised, 0 whole: the file ends inside level 0\n  preview:  "
         "no, the file ends before|is cut short: its header promises 184"},
        {array, "levels:   1, 4 x 4\n  images:   2, an array\n"},
        {MakeDds(Dxt1, 4, 4, kRed), "texture:  DXT1, 4 x 4\n  levels:   1, 4 x 4\n  preview"}}) {
    WriteFile(dir / "t.dds", dds);
    const std::string output = InProcess("info t.dds", dir.path());
    for (const std::string& word : Words(words, {}, '|'))
      EXPECT_NE(output.find(word), std::string::npos) << word << "\nnot in:\n" << output;
  }
}

// The header a build puts before the whole DDS file: the template given, padded with zeros, or
// the first 64 bytes of the container given.
TEST(Build, PutsTheHeaderGivenBeforeTheWholeDdsFile) {
  TempFolder dir;
  const Bytes dds = MakeDds(Dxt1, 8, 4, kRed);
  WriteFile(dir / "t.dds", dds), WriteFile(dir / "short", Pattern(10));
  WriteFile(dir / "c.bin", Concat(Pattern(64, 3), MakeDds(Dxt1, 4, 4, kGreen)));
  for (const auto& [option, header] :
       {std::pair("--template short", Concat(Pattern(10), Bytes(54))),
        std::pair("--header-from c.bin", Pattern(64, 3))}) {
    EXPECT_EQ(InProcess("build -f " + std::string(option) + " t.dds", dir.path()),
              "sodrel-convert: 1 built, 0 failed\nexit 0");
    EXPECT_EQ(ReadFile(dir / "t.dds.bin"), Concat(header, dds)) << option;
  }
}

// The surface of mip level k of a width x height texture, in image `image` of an array: a red of
// its own, so that a picture drawn from the wrong level or image shows; in DXT5 each block has
// an alpha of its own. With a header of its own, a DDS file of that level alone.
Bytes Level(DdsFormat format, std::uint32_t width, std::uint32_t height, std::uint32_t k,
            std::uint32_t image = 0, bool alone = false) {
  width = std::max(1u, width >> k), height = std::max(1u, height >> k);
  Bytes level = Blocks(format, width, height, [=](auto x, auto y) {
    return Rgb{int((k + 16 * image) * 97 % 256), int(x * 16 % 256), int(y * 16 % 256)};
  });
  for (std::size_t at = 0; format == Dxt5 && at < level.size(); at += 16) {
    level[at] = std::byte(at / 16 * 37 % 256);
  }
  return alone ? Concat(MakeDdsHeader(format, width, height), level) : level;
}

// -j 2 and -j 1 on the same folder: the same pictures, byte for byte, and the same report. The
// first picture takes long and fails only at its end (its name is too long once ".png" is added),
// so with two jobs the later files are done first; they are still reported after it.
TEST(Batches, GiveTheSameOutputsAndReportWithTwoJobsAsWithOne) {
  TempFolder dir;
  WriteFile(dir / (std::string(251, 'a') + ".dds"), Level(Rgb32, 1024, 512, 0, 0, true));
  for (int i = 0; i < 10; ++i) {
    const Bytes dds = Level(i % 2 ? Dxt5 : Rgb32, 32 + 4 * i, 16, 0, 0, true);
    WriteFile(dir / ("t" + std::to_string(i) + (i % 3 ? ".dds" : ".bin")),
              i % 3 ? (i % 4 ? dds : Slice(dds, 0, 200)) : Concat(Pattern(64, i), dds));
  }
  WriteFile(dir / "e.dds", {});
  const std::string one = InProcess("png -j 1 -o out {dir}", dir.path());
  fs::rename(dir / "out", dir / "one");
  EXPECT_EQ(InProcess("png -j 2 -o out {dir}", dir.path()), one);
  EXPECT_EQ(Snapshot(dir / "out"), Snapshot(dir / "one"));
  EXPECT_TRUE(one.ends_with("8 converted, 1 skipped, 3 failed\nexit 1")) << one;
}

// A texture with a mip chain, and the pictures of it that thumbnail options give: each has the
// sides given and every pixel the red of the level drawn, which no other level or image has.
struct Thumbs {
  const char* name;
  DdsFormat format;
  std::uint32_t width, height, levels;  // levels: the header's mip count
  std::uint32_t stored;                 // levels held whole; then half of the next, if any
  std::vector<std::tuple<const char*, std::uint32_t, int, int>> chosen;  // options, level, sides
  bool arrayOfTwo = false;  // a DX10 array of two images
};

// Each as a DDS file and in a container; the sides follow the top level's, whichever is drawn.
TEST(Thumbnail, IsTheSmallestStoredLevelAtLeastItsSizeScaledToFit) {
  // clang-format off
  const Thumbs cases[] = {
      {"Dxt1_1000x600", Dxt1, 1000, 600, 10, 10, {{"--size 256", 1, 256, 154},
          {"--size 16", 5, 16, 10}, {"--size 1", 9, 1, 1}, {"--size 600", 0, 600, 360},
          {"--size 0", 0, 1000, 600}, {"--size 2000", 0, 1000, 600},  // never scaled up
          {"--top-level --size 256", 0, 256, 154}}},
      {"Dxt5_3x5", Dxt5, 3, 5, 3, 3, {{"--size 2", 1, 1, 2}, {"--size 1", 2, 1, 1},
          {"--size 3", 0, 2, 3}}},
      {"Rgba32PartChain", Rgb32, 64, 32, 4, 4, {{"--size 10", 2, 10, 5}, {"--size 4", 3, 4, 2},
          {"--size 33", 0, 33, 17}}},
      {"Dx10ArrayOfTwo", Dxt5, 256, 128, 9, 9, {{"--size 64", 2, 64, 32}, {"--size 1", 8, 1, 1}},
          true},
      {"Dxt5ChainCutInLevel3", Dxt5, 256, 256, 9, 3, {{"--size 16", 2, 16, 16},
          {"--size 128", 1, 128, 128}}},
  };
  // clang-format on
  for (const Thumbs& c : cases) {
    Bytes dds = c.arrayOfTwo ? With(Dx10Header(c.width, c.height, DxgiFormat::Bc3Unorm), 140, 2)
                             : MakeDdsHeader(c.format, c.width, c.height);
    // The mip count, and a pitch: the top's rows (32-bit), not those of the levels after it.
    dds = With(With(With(dds, 8, 0x2100F), 20, c.width * 4), 28, c.levels);
    for (std::uint32_t image = 0; image < (c.arrayOfTwo ? 2u : 1u); ++image) {
      for (std::uint32_t k = 0; k < c.levels && k <= c.stored; ++k) {
        const Bytes level = Level(c.format, c.width, c.height, k, image);
        dds = Concat(dds, k < c.stored ? level : Slice(level, 0, level.size() / 2));
      }
    }
    TempFolder dir;
    WriteFile(dir / "t.dds", dds);
    WriteFile(dir / "t.bin", Concat(Pattern(64), dds));
    for (const auto& [options, k, width, height] : c.chosen) {
      const int red = int(k * 97 % 256),
                stored = c.format == Rgb32 ? red : red >> 3 << 3 | red >> 5;
      for (const std::string input : {"t.dds", "t.bin"}) {
        const std::string args = "thumbnail " + std::string(options) + " " + input + " o.png";
        ASSERT_EQ(InProcess(args, dir.path()), "exit 0") << c.name << ": " << args;
        const QImage png(QString::fromStdString(dir / "o.png"));
        std::set<int> reds;
        for (int y = 0; y < png.height(); ++y) {
          for (int x = 0; x < png.width(); ++x) reds.insert(png.pixelColor(x, y).red());
        }
        EXPECT_EQ(png.size(), QSize(width, height)) << c.name << ": " << args;
        EXPECT_EQ(reds, std::set<int>{stored}) << c.name << ": " << args;
      }
    }
  }
}

// Each pixel of a picture scaled down is the mean of the texels under it, rounded half up, alpha
// too: 4 x 2 texels into 2 x 1 pixels, reds 0, 1, 2, 3 (1.5) and 10, 10, 10, 11 (10.25).
TEST(Thumbnail, EachPixelIsTheRoundedMeanOfItsTexels) {
  TempFolder dir;
  const int reds[2][4] = {{0, 1, 10, 10}, {2, 3, 10, 11}};
  WriteFile(dir / "t.dds", Concat(UncompressedHeader(4, 2, 0x41, 32, kBgra),
                                  Pixels(4, 2, 32, kBgra, [&](std::uint32_t x, std::uint32_t y) {
                                    return Rgb{reds[y][x], 0, 0, 200 + reds[y][x]};
                                  })));
  ASSERT_EQ(InProcess("thumbnail --size 2 t.dds o.png", dir.path()), "exit 0");
  const QImage png(QString::fromStdString(dir / "o.png"));
  ASSERT_EQ(png.size(), QSize(2, 1));
  EXPECT_EQ(png.pixelColor(0, 0), QColor(2, 0, 0, 202));
  EXPECT_EQ(png.pixelColor(1, 0), QColor(10, 0, 0, 210));
}

// A file manager's placeholder (an empty file with one link) is written in place, so that the
// file manager reads the picture through the stream it holds open; any other file is replaced.
TEST(Thumbnail, WritesIntoAnEmptyPlaceholderAndReplacesAnythingElse) {
  TempFolder dir;
  WriteFile(dir / "c.bin", ReadFile(kSource / "samples/sample.bin"));
  for (const auto& [size, links, inPlace] :
       {std::tuple{0, 1, true}, std::tuple{10, 1, false}, std::tuple{0, 2, false}}) {
    WriteFile(dir / "o.png", Pattern(size));
    if (links == 2) fs::create_hard_link(dir / "o.png", dir / "other");
    std::ifstream reader(dir / "o.png", std::ios::binary);  // the file manager's open stream
    ASSERT_EQ(InProcess("thumbnail c.bin o.png", dir.path()), "exit 0");
    const std::string seen{std::istreambuf_iterator<char>(reader), {}};
    EXPECT_EQ(seen.starts_with("\x89PNG"), inPlace) << size << " bytes, " << links << " links";
    EXPECT_TRUE(Text(ReadFile(dir / "o.png")).starts_with("\x89PNG"));
    fs::remove(dir / "other");
  }
  EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"c.bin", "o.png"}));
}

// A stopped output is discarded, whichever way it was written, and what was there stays; a
// stopped batch starts no job.
TEST(Outputs, ThatAreStoppedLeaveNothingAndTheEarlierFileIntact) {
  const std::atomic<int> requested{1};
  for (const auto& [mode, unnamed] : {std::pair{OutputMode::Replace, false},
                                      {OutputMode::Keep, true},
                                      {OutputMode::Keep, false}}) {
    const ScopedSeam named(AtomicOutputHooks::noUnnamed, !unnamed);
    TempFolder dir;
    if (mode == OutputMode::Replace) WriteFile(dir / "o", Pattern(3));
    AtomicOutput output(dir / "o", mode);
    ASSERT_TRUE(output.Open().ok() && WriteAll(output.fd(), Pattern(5)).ok());
    EXPECT_EQ(output.Commit(Stop(requested)).error, std::errc::interrupted) << unnamed;
    const auto left =
        mode == OutputMode::Replace ? std::set<std::string>{"o"} : std::set<std::string>{};
    EXPECT_EQ(Entries(dir.path()), left) << unnamed;
  }
  TempFolder dir;
  WriteFile(dir / "c.bin", ReadFile(kSource / "samples/sample.bin"));
  static_cast<void>(InProcess("export c.bin", dir.path(), {}, Stop(requested)));
  EXPECT_EQ(Entries(dir.path()), std::set<std::string>{"c.bin"});
  int started = 0;
  RunInOrder(
      3, 2, Stop(requested), [&](std::size_t) { return ++started, JobReport{}; },
      [](const JobReport&) {});
  EXPECT_EQ(started, 0);
}

// An output that keeps what exists never replaces a file that appears while it is written,
// whether it is an unnamed file linked in or (on filesystems without those) a named temporary.
TEST(Outputs, ThatKeepWhatExistsNeverReplaceAFileThatAppearedMeanwhile) {
  for (const bool unnamed : {true, false}) {
    const ScopedSeam named(AtomicOutputHooks::noUnnamed, !unnamed);
    TempFolder dir;
    AtomicOutput output(dir / "o", OutputMode::Keep);
    ASSERT_TRUE(output.Open().ok());
    EXPECT_EQ(output.temporaryPath().empty(), unnamed);
    ASSERT_TRUE(WriteAll(output.fd(), Pattern(5)).ok());
    WriteFile(dir / "o", Pattern(3));
    EXPECT_EQ(output.Commit(Stop()).error, std::errc::file_exists) << unnamed;
    EXPECT_EQ(ReadFile(dir / "o"), Pattern(3)) << unnamed;
    EXPECT_EQ(Entries(dir.path()), std::set<std::string>{"o"}) << unnamed;
  }
}

// A picture of gentle gradients and, unless opaque, a sharp alpha edge.
RgbaImage Gradients(std::uint32_t width, std::uint32_t height, bool opaque) {
  RgbaImage image{width, height, std::vector<std::uint8_t>(4 * width * height)};
  for (std::uint32_t i = 0; i < width * height; ++i) {
    const std::uint32_t x = i % width, y = i / width;
    const std::uint8_t rgba[] = {std::uint8_t(40 + x * 80 / width),
                                 std::uint8_t(90 + y * 80 / height),
                                 std::uint8_t(220 - (x + y) * 60 / (width + height)),
                                 std::uint8_t(opaque || x < width / 2 ? 255 : 70)};
    std::copy_n(rgba, 4, &image.pixels[4 * i]);
  }
  return image;
}

// `picture` saved by FreeImage as `fif`, with its alpha or, when `alpha` is false, without.
void SavePicture(const fs::path& path, const RgbaImage& picture, FREE_IMAGE_FORMAT fif,
                 bool alpha) {
  const int bpp = alpha ? 32 : 24, w = int(picture.width), h = int(picture.height);
  const MFreeImage::Bitmap dib(FreeImage_Allocate(w, h, bpp));
  for (int y = 0; y < h; ++y) {
    BYTE* row = FreeImage_GetScanLine(dib.get(), h - 1 - y);
    for (int x = 0; x < w; ++x, row += bpp / 8) {
      const std::uint8_t* p = &picture.pixels[4 * (y * w + x)];
      row[FI_RGBA_RED] = p[0], row[FI_RGBA_GREEN] = p[1], row[FI_RGBA_BLUE] = p[2];
      if (alpha) row[FI_RGBA_ALPHA] = p[3];
    }
  }
  ASSERT_TRUE(FreeImage_Save(fif, dib.get(), path.c_str(), 0));
}

// The level `level` of the DDS file in `file`, 64 bytes in, decoded as R, G, B, A.
RgbaImage Decoded(const fs::path& file, const DdsTexture& texture, const DdsLevel& level) {
  InputFile input;
  EXPECT_TRUE(input.Open(file).ok());
  RgbaImage image{level.width, level.height,
                  std::vector<std::uint8_t>(4 * level.width * level.height)};
  LevelDecoder decoder(input.fd(), 64, texture, level);
  EXPECT_TRUE(decoder.Decode(0, level.height, image.pixels.data()).ok());
  for (std::size_t i = 0; i < image.pixels.size(); i += 4)
    std::swap(image.pixels[i], image.pixels[i + 2]);
  return image;
}

// The PSNR of `got` against `want` over the channels named in `channels` ("RGBA"), 99 when equal.
double Psnr(const RgbaImage& got, const RgbaImage& want, std::string_view channels) {
  double error = 0, count = 0;
  for (std::size_t i = 0; i < got.pixels.size(); ++i) {
    // Transparent texels carry no colour.
    if (channels.find("RGBA"[i % 4]) == std::string_view::npos || got.pixels[i | 3] == 0) continue;
    error += std::pow(double(got.pixels[i]) - want.pixels[i], 2), ++count;
  }
  return error == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * count / error);
}

// Each pixel the mean of the 2 x 2 pixels of `image` under it (sides even or 1).
RgbaImage Halved(const RgbaImage& image) {
  const std::uint32_t w = std::max(1u, image.width / 2), h = std::max(1u, image.height / 2);
  RgbaImage half{w, h, std::vector<std::uint8_t>(4 * w * h)};
  for (std::uint32_t i = 0; i < 4 * w * h; ++i) {
    const std::uint32_t x = i / 4 % w, y = i / 4 / w, c = i % 4;
    const auto at = [&](std::uint32_t dx, std::uint32_t dy) {
      return image.pixels[4 * (std::min(2 * y + dy, image.height - 1) * image.width +
                               std::min(2 * x + dx, image.width - 1)) +
                          c];
    };
    half.pixels[i] = std::uint8_t((at(0, 0) + at(1, 0) + at(0, 1) + at(1, 1) + 2) / 4);
  }
  return half;
}

// An original's DDS file with its whole chain, every byte 0x11.
Bytes Chain(const Bytes& header) {
  const Bytes chained =
      With(header, 28, std::bit_width(std::max(unsigned(header[12]), unsigned(header[16]))));
  const DdsTexture t = InspectDds(chained, UINT32_MAX);
  return Concat(chained, Bytes(t.bytesNeeded - t.dataOffset, std::byte{0x11}));
}

struct Reencoding {
  const char* name;
  Bytes original;
  const char* channels;  // those the layout keeps; "a": alpha alone, decoded as grey
  double psnr;           // the least of the built top level against the picture
};
using dds_fields::FourCC;
const Bytes kLegacy = MakeDdsHeader(Dxt1, 64, 32);
const Reencoding kReencodings[] = {
    {"Dxt1", Chain(kLegacy), "RGB", 30},
    {"Dxt1WithAlpha", With(With(Chain(kLegacy), 136, 0x07E0001F), 140, ~0u), "RGB", 30},
    {"Dxt3", Chain(With(kLegacy, 84, FourCC("DXT3"))), "RGBA", 30},
    {"Dxt5", Chain(With(kLegacy, 84, FourCC("DXT5"))), "RGBA", 30},
    {"Bc4", Chain(With(kLegacy, 84, FourCC("ATI1"))), "R", 35},
    {"Dx10Bc5", Chain(Dx10Header(64, 32, DxgiFormat::Bc5Unorm)), "RG", 35},
    {"Dx10Bc7Srgb", Chain(Dx10Header(64, 32, DxgiFormat::Bc7UnormSrgb)), "RGBA", 35},
    {"B8G8R8A8", Chain(UncompressedHeader(64, 32, 0x41, 32, kBgra)), "RGBA", 99},
    {"R8G8B8", Chain(UncompressedHeader(64, 32, 0x40, 24, {0xFF, 0xFF00, 0xFF0000, 0})), "RGB", 99},
    {"B5G6R5", Chain(UncompressedHeader(64, 32, 0x40, 16, {0xF800, 0x7E0, 0x1F, 0})), "RGB", 40},
    {"L8", Chain(UncompressedHeader(64, 32, 0x20000, 8, {0xFF, 0, 0, 0})), "R", 99},
    {"Dx10R8G8B8A8Srgb", Chain(Dx10Header(64, 32, DxgiFormat::R8G8B8A8UnormSrgb)), "RGBA", 99},
    {"Dx10A8", Chain(Dx10Header(64, 32, DxgiFormat::A8Unorm)), "a", 99},  // shown as red
};
class Reencoded : public testing::TestWithParam<Reencoding> {};

// Each picture kind into each layout: the original's 64 bytes and DDS header as they were, its
// layout, the top level near the picture, each level near the box filter of the one above.
TEST_P(Reencoded, PicturesGoBackInTheOriginalsLayout) {
  const Reencoding& r = GetParam();
  TempFolder dir;
  fs::create_directories(dir / "game"), fs::create_directories(dir / "work");
  const DdsTexture original = InspectDds(r.original, r.original.size());
  ASSERT_TRUE(original.ok() && original.whole());
  const auto [rgba, rgb] = std::pair(Gradients(64, 32, false), Gradients(64, 32, true));
  for (const auto& [name, fif, alpha] : {std::tuple("p.bin.png", FIF_PNG, true),
                                         {"o.bin.png", FIF_PNG, false},
                                         {"t.bin.TGA", FIF_TARGA, true}}) {
    WriteFile(dir / "game" / fs::path(name).stem(), Concat(Pattern(64, 9), r.original));
    SavePicture(dir / "work" / name, alpha ? rgba : rgb, fif, alpha);
  }
  const std::string output = InProcess("build --originals game -o mod work", dir.path());
  ASSERT_TRUE(output.ends_with("3 built, 0 failed\nexit 0")) << output;
  const bool dropsAlpha =
      std::string_view(r.channels).find_first_of("Aa") == std::string_view::npos &&
      std::string_view(r.name) != "Dxt1WithAlpha";
  EXPECT_EQ(output.find("transparency was dropped") != std::string::npos, dropsAlpha) << output;
  for (const char* name : {"p.bin", "o.bin", "t.bin"}) {
    SCOPED_TRACE(name);
    const Bytes built = ReadFile(dir / "mod" / name);
    ASSERT_EQ(built.size(), 64 + r.original.size());
    EXPECT_EQ(Slice(built, 0, 64 + original.dataOffset),
              Concat(Pattern(64, 9), Slice(r.original, 0, original.dataOffset)));
    const DdsTexture texture = InspectDds(Slice(built, 64), built.size() - 64);
    ASSERT_TRUE(SameLayout(texture, original));
    RgbaImage want = *name == 'o' ? rgb : rgba;
    const bool alphaAlone = r.channels == std::string_view("a");
    for (std::size_t i = 0; alphaAlone && i < want.pixels.size(); i += 4) {
      want.pixels[i] = want.pixels[i + 3];  // shown as grey
    }
    const char* channels = alphaAlone ? "R" : r.channels;
    EXPECT_GE(Psnr(Decoded(dir / "mod" / name, texture, texture.top()), want, channels), r.psnr);
    // The opaque picture's levels: those of a plain box filter (alpha weighs colours otherwise).
    for (std::size_t k = 1; *name == 'o' && k < texture.levels.size(); ++k) {
      want = Halved(want);
      const RgbaImage level = Decoded(dir / "mod" / name, texture, texture.levels[k]);
      EXPECT_GE(Psnr(level, want, channels), r.psnr >= 99 ? 40 : 25) << "level " << k;
    }
  }
}
SODREL_NAMED_ROWS(Layouts, Reencoded, kReencodings);

// What build refuses to encode, and the files it gives back as they were: a picture equal to
// its original's top level, a DDS file of another layout converted with --reencode.
TEST(Reencode, RefusesWhatItCannotEncodeAndKeepsWhatIsNotEdited) {
  TempFolder dir;
  for (const char* folder : {"game", "work", "cube", "bc6"}) fs::create_directories(dir / folder);
  const Bytes dxt1 = Chain(kLegacy);
  WriteFile(dir / "game/a.bin", Concat(Pattern(64), dxt1));
  WriteFile(dir / "game/b.bin", Concat(Pattern(64), dxt1));
  WriteFile(dir / "work/b.bin.dds", Chain(Dx10Header(64, 32, DxgiFormat::Bc7Unorm)));
  ASSERT_EQ(InProcess("png -o work game/a.bin", dir.path()),
            "sodrel-convert: 1 converted, 0 failed\nexit 0");
  EXPECT_EQ(InProcess("build --originals game -o mod --reencode work", dir.path()),
            "sodrel-convert: 2 built, 0 failed\nexit 0");
  EXPECT_EQ(ReadFile(dir / "mod/a.bin"), ReadFile(dir / "game/a.bin")) << "not edited";
  EXPECT_TRUE(
      SameLayout(InspectDdsFile(dir / "mod/b.bin", 64), InspectDdsFile(dir / "game/b.bin", 64)));

  WriteFile(
      dir / "cube/c.bin",
      Concat(Pattern(64), Concat(Dx10Header(64, 32, DxgiFormat::Bc1Unorm, 4), Bytes(6 * 1024))));
  WriteFile(dir / "bc6/c.bin",
            Concat(Pattern(64), Concat(Dx10Header(64, 32, DxgiFormat::Bc6hUf16), Bytes(2048))));
  SavePicture(dir / "work/c.bin.png", Gradients(64, 32, true), FIF_PNG, false);
  SavePicture(dir / "work/a.bin.tif", Gradients(8, 8, true), FIF_TIFF, false);
  for (const auto& [line, words] :
       {std::pair{"build --template game/a.bin work/c.bin.png",
                  "work/c.bin.png: a picture: build takes pictures with --originals DIR only"},
        {"build --originals cube -o mod work/c.bin.png",
         "holds 6 images (a cube map or an array): build encodes"},
        {"build --originals bc6 -o mod work/c.bin.png",
         "the original is DX10 BC6H_UF16, which build cannot encode"},
        {"build --originals game -o m2 work/a.bin.tif",
         "work/a.bin.tif: 8 x 8; its original game/a.bin is 64 x 32"},
        {"build --originals game -o m2 work/a.bin.tif work/a.bin.png",
         "work/a.bin.png: writes the same output as work/a.bin.tif"}}) {
    const std::string output = InProcess(line, dir.path());
    EXPECT_TRUE(output.find(words) != std::string::npos && output.ends_with("exit 1")) << output;
  }
}
