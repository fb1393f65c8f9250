// sodrel-convert's command line, batches and pictures, run in this process (the install test
// runs the executable for what only it does: its exit status, interrupts, the progress bar, the
// README's walk-through).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "container/TextureContainer.h"
#include "convert/Commands.h"
#include "io/AtomicOutput.h"
#include "preview/DdsDecode.h"
#include "preview/MFreeImage.h"
#include "preview/Preview.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/RecordingSink.h"
#include "workfiles/WorkingFiles.h"

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
    if (word.find("{dir}") != std::string::npos) word.replace(word.find("{dir}"), 5, dir.string());
    if (!word.empty()) words.push_back(word);
  }
  return words;
}

CommandLine Parse(const std::string& line, const fs::path& dir = "d") {
  std::vector<std::string> words = Words("sodrel-convert " + line, dir);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  return ParseCommandLine(int(argv.size()), argv.data());
}

// The command line run in `dir` as main() runs it: what it wrote on stdout, then on stderr (or
// what is wrong with the command line), then its exit status; `program` stands for the folder of
// the executable.
std::string InProcess(const std::string& line, const fs::path& dir, const fs::path& program = {}) {
  const CommandLine parsed = Parse(line, dir);
  if (parsed.action != CommandLine::Action::Run) return parsed.text + "\nexit 2";
  const fs::path cwd = fs::current_path();
  fs::current_path(dir);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int status = RunCommand(parsed.options, program);
  fs::current_path(cwd);
  const std::string out = testing::internal::GetCapturedStdout();
  return out + testing::internal::GetCapturedStderr() + "exit " + std::to_string(status);
}

// Every file under `root`, with its permission bits ("0444 ") before its bytes, and links as
// "-> target": a temporary left behind, a file changed or a mode lost shows up in a comparison.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = entry.path().lexically_relative(root);
    if (entry.is_symlink()) {
      files[name] = "-> " + fs::read_symlink(entry.path()).filename().string();
    } else if (entry.is_regular_file()) {
      const Bytes bytes = ReadFile(entry.path());
      files[name] = std::to_string(int(entry.status().permissions())) + " " +
                    std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
  }
  return files;
}

// One answer of the batch tool, run in a folder of every kind of input (see MakeKinds).
struct Answer {
  const char* command;
  int exit;
  const char* says;  // words the output holds, "|" between them; "=..." the whole output
  const char* made;  // the files written or replaced, " " between them; all others unchanged
};
void PrintTo(const Answer& answer, std::ostream* os) {
  *os << "sodrel-convert " << answer.command;
}

void MakeKinds(const fs::path& dir) {
  const Bytes container = ReadFile(kSource / "samples/sample.bin");
  WriteFile(dir / "c.bin", container);
  WriteFile(dir / "t.dds", ReadFile(kSource / "samples/sample.dds"));
  WriteFile(dir / "e.bin", {});
  WriteFile(
      dir / "elf.bin",
      Concat(Bytes{std::byte{0x7f}, std::byte{'E'}, std::byte{'L'}, std::byte{'F'}}, Pattern(296)));
  WriteFile(dir / "cut.bin", Slice(container, 0, 5000));
  WriteFile(dir / "x.bin.dds.bin", container);  // an earlier build's output
  WriteFile(dir / "odd.dds", With(MakeDds(Dxt1, 4, 4, kRed), 84, 0x44434241));  // "ABCD"
  // An input whose output exists, read-only.
  WriteFile(dir / "old.bin", container);
  WriteFile(dir / "old.bin.dds", MakeDds(Dxt1, 4, 4, kRed));
  fs::permissions(dir / "old.bin.dds", fs::perms(0444));
  // A folder that holds only a folder; a link at an output's name to its own input.
  fs::create_directories(dir / "d/sub");
  WriteFile(dir / "d/sub/x.bin", container);
  fs::create_directories(dir / "l");
  WriteFile(dir / "l/c.bin", container);
  fs::create_symlink("c.bin", dir / "l/c.bin.dds");
  fs::create_directories(dir / "w/f.bin.dds");  // a folder where an output would go
  WriteFile(dir / "w/f.bin", container);
}

class BatchTool : public testing::TestWithParam<Answer> {};

TEST_P(BatchTool, Answers) {
  const Answer& answer = GetParam();
  TempFolder dir;
  MakeKinds(dir.path());
  ProgramFolder program;  // with the placeholder template that comes with the program
  WriteFile(program.templatePath(), ReadFile(kSource / "resources/KX00.dll"));
  const std::map<std::string, std::string> before = Snapshot(dir.path());

  const std::string output = InProcess(answer.command, dir.path(), program.path());
  EXPECT_TRUE(output.ends_with("exit " + std::to_string(answer.exit))) << output;
  if (answer.says[0] == '=') {
    EXPECT_EQ(output, answer.says + 1);
  }
  for (const std::string& words : Words(answer.says[0] == '=' ? "" : answer.says, {}, '|')) {
    EXPECT_NE(output.find(words), std::string::npos) << words << "\nnot in:\n" << output;
  }
  const std::map<std::string, std::string> after = Snapshot(dir.path());
  std::map<std::string, std::string> expected = before;
  for (const std::string& made : Words(answer.made, {})) {
    ASSERT_TRUE(after.contains(made)) << made << " was not written";
    EXPECT_NE(after.at(made), expected[made]) << made << " was not replaced";
    if (before.contains(made)) {  // a replaced file keeps its permission bits
      EXPECT_EQ(after.at(made).substr(0, 4), before.at(made).substr(0, 4)) << made;
    }
    expected[made] = after.at(made);
  }
  EXPECT_EQ(after, expected) << "files other than the outputs stay as they were";
}

const Answer kAnswers[] = {
    {"", 2, "no command given", ""},
    {"convert d", 2, "unknown command 'convert'", ""},
    {"export", 2, "export: no file given", ""},
    {"export --template t d", 2, "--template, --header-from and --originals apply to build", ""},
    {"build --originals a --header-from t d", 2, "give one of --template, --header-from and", ""},
    {"info -r d", 2, "info takes no -r, -o, -f, -j or --dry-run", ""},
    {"thumbnail -o o a b", 2, "thumbnail takes no -r, -o, -f, -j or --dry-run", ""},
    {"png --raw d", 2, "--raw applies to export and build only", ""},
    {"export --bogus d", 2, "unknown option 'bogus'", ""},
    {"png -j 0 d", 2, "--jobs takes a whole number from 1 to 256", ""},
    {"thumbnail --size -1 a b", 2, "--size takes a whole number from 0 to 16384", ""},
    {"export c.bin", 0, "1 exported, 0 failed", "c.bin.dds"},
    {"export t.dds", 1, "t.dds: a DDS file, not a container", ""},
    {"export e.bin", 1, "e.bin: empty file", ""},
    {"export elf.bin", 1, "elf.bin: not a texture container: no DDS file at byte 64", ""},
    {"export cut.bin", 0,
     "cut.bin: warning: its DDS file is cut short: its header promises 8320 bytes, the "
     "file holds 4936 bytes",
     "cut.bin.dds"},
    {"export --raw elf.bin", 0, "1 exported", "elf.bin.dds"},
    {"export .", 0,
     "./e.bin: skipped: empty file|./elf.bin: skipped: not a texture|./x.bin.dds.bin: "
     "skipped: an output of an earlier build|./old.bin.dds: kept, exists: use --force to "
     "replace|2 exported, 1 kept, 3 skipped, 0 failed",
     "c.bin.dds cut.bin.dds"},
    {"export -q e.bin c.bin", 1, "=sodrel-convert: e.bin: empty file\nexit 1", "c.bin.dds"},
    {"export -f old.bin", 0, "1 exported, 0 failed", "old.bin.dds"},
    {"export --dry-run old.bin c.bin", 0,
     "=c.bin.dds\nold.bin.dds (exists: kept)\nsodrel-convert: 1 to export, 1 kept, 0 "
     "failed\nexit 0",
     ""},
    {"export d", 0, "d: no .bin files here (add -r for its subfolders)", ""},
    {"export w/f.bin missing.bin", 1,
     "w/f.bin.dds: a folder is there|missing.bin: cannot open: No such file or directory", ""},
    {"export -r -o out d", 0, "1 exported", "out/sub/x.bin.dds"},
    {"export l/c.bin", 1, "l/c.bin.dds: would write over the input l/c.bin", ""},
    {"export -o out c.bin l/c.bin", 1,
     "c.bin: writes the same output as l/c.bin|l/c.bin: writes the same output as c.bin", ""},
    {"build t.dds", 0, "KX00.dll: the placeholder header template, which no game accepts|1 built",
     "t.dds.bin"},
    {"build c.bin", 1, "c.bin: a texture container, not a DDS file", ""},
    {"build --template gone t.dds", 1, "gone: cannot open the header template: No such file", ""},
    {"build --header-from t.dds t.dds", 1, "t.dds: a DDS file, not a container", ""},
    {"build --originals . old.bin.dds", 1,
     "old.bin: would write over its original container (give -o DIR)", ""},
    {"build --originals . -o out old.bin.dds t.dds", 0,
     "t.dds: skipped: not named NAME.bin.dds|1 built, 1 skipped", "out/old.bin"},
    {"build --originals l l/c.bin.dds", 1, "l/c.bin: would write over its original container", ""},
    {"png c.bin t.dds", 0, "2 converted", "c.bin.png t.dds.png"},
    {"png cut.bin odd.dds", 1,
     "cut.bin: the preview refuses this texture: the file ends before the texture does|"
     "odd.dds: the preview refuses this texture: a pixel format the preview cannot "
     "decode (ABCD)",
     ""},
    {"thumbnail c.bin ./c.bin", 1, "./c.bin: would write over the input c.bin", ""},
    {"thumbnail c.bin w/f.bin.dds", 1, "w/f.bin.dds: a folder is there, never replaced", ""},
    {"thumbnail odd.dds o.png", 1, "odd.dds: the preview refuses this texture: a pixel", ""},
    {"thumbnail c.bin c.jpg", 1, "c.jpg: not a .png name", ""},
    {"thumbnail elf.bin o.png", 1, "elf.bin: neither a DDS file nor a texture container", ""},
    {"thumbnail c.bin no/o.png", 1,
     "no/o.png: cannot write the PNG file: No such file or directory", ""},
    {"thumbnail missing o.png", 1, "missing: cannot open: No such file or directory", ""},
    {"info c.bin t.dds e.bin elf.bin cut.bin missing", 1,
     "file:     container, 8384 bytes\n  header:   53 4f 44 52 45 4c 2d 48|DXT1, 128 x "
     "128\n  preview:  yes|file:     DDS file, 8320 bytes|file:     empty file|"
     "file:     not a texture container, 300 bytes|preview:  no, the file ends before "
     "the texture does|missing: cannot open|5 shown, 1 failed",
     ""}};
INSTANTIATE_TEST_SUITE_P(Kinds, BatchTool, testing::ValuesIn(kAnswers));

// The same data folder converted by the command and by the window's routines, with `header`
// as the window's KX00.dll when the command is given a header source.
TEST(Batches, WriteWhatTheWindowWritesByteForByte) {
  const std::tuple<const char*, const char*, Bytes> cases[] = {
      // the command; the files the window's routine converts; "{dir}/header" when not empty
      {"export -f {dir}/b.bin {dir} {dir}/./a.bin", "a.bin b.bin c.BIN", {}},
      {"export -f -r {dir}", "a.bin b.bin c.BIN sub/d.bin sub/deeper/e.bin", {}},
      {"build {dir} -f -r -j 3", "a.dds b.dds c.DDS sub/d.dds sub/deeper/e.dds", {}},
      {"build -f --template {dir}/header {dir}", "a.dds b.dds c.DDS", Pattern(1000, 8)},
      {"build -f --template {dir}/header {dir}", "a.dds b.dds c.DDS", Pattern(3, 8)},  // padded
      {"build -f --header-from {dir}/header {dir}", "a.dds b.dds c.DDS",
       Concat(Pattern(64, 8), MakeDds(Dxt1, 4, 4, kRed))}};
  for (const auto& [args, inputs, header] : cases) {
    const bool build = std::string_view(args).starts_with("build");
    const std::string in = build ? ".dds" : ".bin", out = build ? ".bin" : ".dds";
    ProgramFolder program, ref;  // the command's and the window's
    if (!header.empty()) WriteFile(ref.templatePath(), header);
    TempFolder cliData, refData;
    for (const fs::path& root : {cliData.path(), refData.path()}) {
      fs::create_directories(root / "sub" / "deeper");
      fs::create_directory_symlink(root / "sub", root / "sub" / "deeper" / "loop");
      if (!header.empty()) WriteFile(root / "header", header);
      // b's output is there already, longer than the new one; c's extension is in capitals.
      std::uint32_t seed = 0;
      for (const std::string& name :
           {"a" + in, "b" + in, "b" + in + out, std::string(build ? "c.DDS" : "c.BIN"),
            std::string("notes.txt"), "sub/d" + in, "sub/deeper/e" + in}) {
        const Bytes dds = MakeDds(Dxt1, name == "b" + in ? 4 : 64, 8, Rgb{int(++seed * 40), 0, 0});
        WriteFile(root / name, name.ends_with(in + out) ? Pattern(3000)
                               : build                  ? dds
                                                        : Concat(Pattern(64, seed), dds));
      }
    }
    const std::vector<std::string> converted = Words(inputs, {});
    for (const std::string& name : converted) {
      ASSERT_TRUE(!build || StageCopy(refData / name, ref.path(), WorkFile::ImportFile).ok());
      ASSERT_TRUE((build ? BuildContainer(refData / name, ref.path(), ref.work("ImportFile"))
                         : ExportTexture(refData / name))
                      .ok());
    }
    EXPECT_EQ(InProcess(args, cliData.path(), program.path()),
              "sodrel-convert: " + std::to_string(converted.size()) +
                  (build ? " built" : " exported") + ", 0 failed\nexit 0")
        << args;
    EXPECT_EQ(Snapshot(cliData.path()), Snapshot(refData.path())) << args;
    EXPECT_TRUE(Entries(program / "Temp").empty()) << "the working folder is never used";
  }
}

// A container cut short and made whole again, over and over, while `info` reads it: each run
// shows the whole container, or the cut one, or fails to read it; never the whole one's size
// with bytes of the cut one.
TEST(Info, OfAContainerCutWhileItIsReadNeverShowsBytesThatAreGone) {
  TempFolder dir;
  const Bytes whole = Concat(Pattern(64), MakeDds(Dxt1, 8, 8, kRed));
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
  const std::string mixed = "not a texture container, " + std::to_string(whole.size());
  int shownWhole = 0, shownMixed = 0;
  for (int i = 0; i < 2000; ++i) {
    const std::string run = InProcess("info {dir}/c.bin", dir.path());
    shownWhole += run.find("DXT1, 8 x 8") != std::string::npos;
    shownMixed += run.find(mixed) != std::string::npos || run.find("unknown") != std::string::npos;
  }
  done = true;
  cutter.join();
  EXPECT_GT(shownWhole, 0);
  EXPECT_EQ(shownMixed, 0);
}

// The width, the height, then every pixel as B, G, R, A, row after row.
std::vector<int> Bgra(FIBITMAP* dib) {
  const MFreeImage::Bitmap bgra(FreeImage_ConvertTo32Bits(dib));
  std::vector<int> pixels{int(FreeImage_GetWidth(dib)), int(FreeImage_GetHeight(dib))};
  const BYTE* bits = FreeImage_GetBits(bgra.get());  // 32-bit rows have no padding
  pixels.insert(pixels.end(), bits, bits + 4 * std::size_t(pixels[0]) * pixels[1]);
  return pixels;
}

// A texture whose blocks differ in colour and, in DXT5, in alpha.
Bytes Varied(DdsFormat format, std::uint32_t width, std::uint32_t height) {
  Bytes dds = MakeDds(format, width, height, [](std::uint32_t x, std::uint32_t y) {
    return Rgb{int(x * 7 % 256), int(y * 5 % 256), int((x + y) * 3 % 256)};
  });
  for (std::size_t at = 128; format == Dxt5 && at < dds.size(); at += 16)
    dds[at] = std::byte(at / 16 * 37);
  return dds;
}

// -j 2 and -j 1 on the same folder: the same pictures, byte for byte, and the same report. The
// first picture takes long and fails only at its end (its name is too long once ".png" is added),
// so with two jobs the later files are done first; they are still reported after it.
TEST(Batches, GiveTheSameOutputsAndReportWithTwoJobsAsWithOne) {
  TempFolder dir;
  WriteFile(dir / (std::string(251, 'a') + ".dds"), Varied(Rgb32, 1024, 512));
  for (int i = 0; i < 10; ++i) {
    const Bytes dds = Varied(i % 2 ? Dxt5 : Rgb32, 32 + 4 * i, 16);
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

// Each texture as a DDS file and in a container: the thumbnail is the preview's BMP scaled to the
// expected size with the same filter, alpha kept, and --size 0 gives the BMP itself.
TEST(Thumbnail, IsThePreviewsPictureScaledToFit) {
  const Bytes sample = ReadFile(kSource / "samples/sample.bin");
  const std::tuple<Bytes, int, int, int> cases[] = {
      // the texture, --size, the picture's sides
      {Slice(sample, 64), 48, 48, 48},
      {Varied(Dxt1, 256, 256), 64, 64, 64},
      {Varied(Dxt5, 128, 128), 64, 64, 64},
      {Varied(Rgb32, 512, 128), 100, 100, 25},
      {Concat(Dx10Header(64, 32, DxgiFormat::Bc1Unorm), Slice(Varied(Dxt1, 64, 32), 128)), 256, 64,
       32}};
  for (const auto& [dds, size, width, height] : cases) {
    ProgramFolder folder;
    const fs::path container = folder / "t.bin", file = folder / "t.bin.dds";
    WriteFile(file, dds);
    WriteFile(container, Concat(Pattern(64), dds));
    RecordingSink sink;
    ASSERT_TRUE(PreviewExported(container, folder.path(), sink).ok());
    const MFreeImage::Bitmap bmp =
        MFreeImage::Load(FIF_BMP, folder.work("PictureLoad.bmp").c_str(), 0);
    const MFreeImage::Bitmap scaled(FreeImage_Rescale(bmp.get(), width, height, FILTER_BOX));
    for (const std::string input : {"t.bin.dds", "t.bin"}) {
      for (const int fit : {size, 0}) {
        const std::string args = "thumbnail --size " + std::to_string(fit) + " " + input + " o.png";
        ASSERT_EQ(InProcess(args, folder.path()), "exit 0") << args;
        EXPECT_EQ(Bgra(MFreeImage::Load(FIF_PNG, (folder / "o.png").c_str(), 0).get()),
                  Bgra(fit ? scaled.get() : bmp.get()))
            << args;
      }
    }
  }
}

// Level k of a generated mip chain, in image `image` of an array: a red of its own, so that a
// picture drawn from the wrong level or image shows.
ColourAt LevelColour(std::uint32_t k, std::uint32_t image = 0) {
  return [=](auto x, auto y) {
    return Rgb{int((k + 16 * image) * 97 % 256), int(x * 16 % 256), int(y * 16 % 256)};
  };
}

struct MipCase {
  const char* name;
  DdsFormat format;
  std::uint32_t width, height, levels;  // levels: the header's mip count
  std::uint32_t stored;                 // levels held whole; then half of the next, if any
  std::vector<std::pair<const char*, std::uint32_t>> chosen;  // thumbnail options, the level
  std::optional<DxgiFormat> arrayOfTwo = {};                  // a DX10 array of two images
};

// The thumbnail of a texture with a mip chain, as a DDS file and in a container, is the level
// that should be chosen, written alone as a DDS file, decoded and box-scaled to the picture's
// sides.
TEST(Thumbnail, IsTheSmallestStoredLevelAtLeastItsSizeScaledToFit) {
  // clang-format off
  const MipCase cases[] = {
      {"Dxt1_1000x600", Dxt1, 1000, 600, 10, 10, {{"--size 256", 1}, {"--size 16", 5},
          {"--size 1", 9}, {"--size 600", 0}, {"--size 0", 0}, {"--top-level --size 256", 0}}},
      {"Dxt5_3x5", Dxt5, 3, 5, 3, 3, {{"--size 2", 1}, {"--size 1", 2}, {"--size 3", 0}}},
      {"Rgba32PartChain", Rgb32, 64, 32, 4, 4, {{"--size 10", 2}, {"--size 4", 3}, {"--size 33", 0}}},
      {"Dx10Array", Dxt5, 256, 128, 9, 9, {{"--size 64", 2}, {"--size 1", 8}}, DxgiFormat::Bc3Unorm},
      {"Dxt5ChainCutInLevel3", Dxt5, 256, 256, 9, 3, {{"--size 16", 2}, {"--size 128", 1}}},
  };
  // clang-format on
  for (const MipCase& c : cases) {
    Bytes dds = c.arrayOfTwo ? With(Dx10Header(c.width, c.height, *c.arrayOfTwo), 140, 2)
                             : MakeDdsHeader(c.format, c.width, c.height);
    // The mip count, and a pitch: the top's rows (32-bit), not those of the levels after it.
    dds = With(With(With(dds, 8, 0x2100F), 20, c.width * 4), 28, c.levels);
    const auto side = [](std::uint32_t s, std::uint32_t k) { return std::max(1u, s >> k); };
    for (std::uint32_t image = 0; image < (c.arrayOfTwo ? 2 : 1); ++image) {
      for (std::uint32_t k = 0; k < c.levels; ++k) {
        const Bytes level =
            Blocks(c.format, side(c.width, k), side(c.height, k), LevelColour(k, image));
        dds = Concat(dds, k < c.stored ? level : Slice(level, 0, level.size() / 2));
        if (k >= c.stored) break;
      }
    }
    TempFolder dir;
    WriteFile(dir / "t.dds", dds);
    WriteFile(dir / "t.bin", Concat(Pattern(64), dds));
    for (const auto& [options, k] : c.chosen) {
      WriteFile(dir / "level.dds",
                MakeDds(c.format, side(c.width, k), side(c.height, k), LevelColour(k)));
      MFreeImage::Bitmap want = std::move(DecodeDds(dir / "level.dds").bitmap);
      for (const char* input : {"t.dds", "t.bin"}) {
        const std::string args = "thumbnail " + std::string(options) + " " + input + " o.png";
        ASSERT_EQ(InProcess("thumbnail --top-level " + args.substr(10), dir.path()), "exit 0");
        const MFreeImage::Bitmap top = MFreeImage::Load(FIF_PNG, (dir / "o.png").c_str(), 0);
        ASSERT_EQ(InProcess(args, dir.path()), "exit 0") << c.name << ": " << args;
        const MFreeImage::Bitmap got = MFreeImage::Load(FIF_PNG, (dir / "o.png").c_str(), 0);
        const unsigned w = FreeImage_GetWidth(got.get()), h = FreeImage_GetHeight(got.get());
        EXPECT_EQ(std::pair(w, h),
                  std::pair(FreeImage_GetWidth(top.get()), FreeImage_GetHeight(top.get())))
            << c.name << ": " << args << ": the sides of the top level's thumbnail";
        if (w != FreeImage_GetWidth(want.get()) || h != FreeImage_GetHeight(want.get())) {
          want.reset(FreeImage_Rescale(want.get(), int(w), int(h), FILTER_BOX));
        }
        EXPECT_EQ(Bgra(got.get()), Bgra(want.get())) << c.name << ": " << args;
      }
    }
  }
}

// A file manager's placeholder (an empty file with one link) is written in place, so that the
// file manager reads the picture through the stream it holds open; any other file is replaced.
TEST(Thumbnail, WritesIntoAnEmptyPlaceholderAndReplacesAnythingElse) {
  TempFolder dir;
  WriteFile(dir / "c.bin", ReadFile(kSource / "samples/sample.bin"));
  const auto inode = [&] {
    struct stat info {};
    return ::stat((dir / "o.png").c_str(), &info) == 0 ? info.st_ino : 0;
  };
  for (const auto& [before, links, inPlace] :
       {std::tuple{0, 1, true}, std::tuple{10, 1, false}, std::tuple{0, 2, false}}) {
    WriteFile(dir / "o.png", Pattern(before));
    if (links == 2) fs::create_hard_link(dir / "o.png", dir / "other");
    std::ifstream reader(dir / "o.png", std::ios::binary);  // the file manager's open stream
    const auto placeholder = inode();
    ASSERT_EQ(InProcess("thumbnail c.bin o.png", dir.path()), "exit 0");
    EXPECT_EQ(inode() == placeholder, inPlace) << before << " bytes, " << links << " links";
    const std::string seen{std::istreambuf_iterator<char>(reader), {}};
    EXPECT_EQ(seen.starts_with("\x89PNG"), inPlace) << before << " bytes, " << links << " links";
    fs::remove(dir / "other");
  }
  EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"c.bin", "o.png"}));
}

// An output that keeps what exists never replaces a file that appears while it is written,
// whether it is an unnamed file linked in or (on filesystems without those) a named temporary.
TEST(Outputs, ThatKeepWhatExistsNeverReplaceAFileThatAppearedMeanwhile) {
  for (const bool unnamed : {true, false}) {
    AtomicOutputHooks::noUnnamed = !unnamed;
    TempFolder dir;
    AtomicOutput output(dir / "o", OutputMode::Keep);
    ASSERT_TRUE(output.Open().ok());
    EXPECT_EQ(output.temporaryPath().empty(), unnamed);
    ASSERT_TRUE(WriteAll(output.fd(), Pattern(5)).ok());
    WriteFile(dir / "o", Pattern(3));
    EXPECT_EQ(output.Commit().error, std::errc::file_exists) << unnamed;
    EXPECT_EQ(ReadFile(dir / "o"), Pattern(3)) << unnamed;
    EXPECT_EQ(Entries(dir.path()), std::set<std::string>{"o"}) << unnamed;
    AtomicOutputHooks::noUnnamed = false;
  }
}
