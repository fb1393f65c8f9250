// sodrel-convert's command line, batches and pictures, run in this process (the install test
// runs the executable for what only it does: its exit status, its own template, the progress bar).
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "container/TextureContainer.h"
#include "convert/Commands.h"
#include "preview/MFreeImage.h"
#include "preview/Preview.h"
#include "tests/support/RecordingSink.h"
#include "workfiles/WorkingFiles.h"

using namespace sodrel;
using namespace sodrel::convert;
using namespace sodrel::test;
using enum DdsFormat;
namespace fs = std::filesystem;

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
  return ParseCommandLine(int(argv.size()), argv.data());
}

// The command line run in `dir` as main() runs it: what it wrote on stdout, then on stderr, then
// its exit status; `program` stands for the folder of the executable.
std::string InProcess(const std::string& line, const fs::path& dir, const fs::path& program = {}) {
  const Options options = Parse(line, dir).options;
  const fs::path cwd = fs::current_path();
  fs::current_path(dir);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int status = std::array<std::function<int()>, 5>{
      [&] { return RunExport(options); }, [&] { return RunBuild(options, program); },
      [&] { return RunInfo(options); }, [&] { return RunThumbnail(options); },
      [&] { return RunPng(options); }}[int(options.command)]();
  fs::current_path(cwd);
  const std::string out = testing::internal::GetCapturedStdout();
  return out + testing::internal::GetCapturedStderr() + "exit " + std::to_string(status);
}

// Each option that does not fit the command is refused with its reason.
TEST(CommandLine, RefusesWhatDoesNotFit) {
  for (const auto& [line, error] : std::initializer_list<std::pair<const char*, const char*>>{
           {"", "no command given"},
           {"convert d", "unknown command 'convert'"},
           {"export", "export: no file given"},
           {"export --template t d", "--template and --header-from apply to build only"},
           {"info --header-from t d", "--template and --header-from apply to build only"},
           {"build --template a --header-from t d", "give either --template or"},
           {"info -r d", "info takes files only"},
           {"info --dry-run d", "info takes files only"},
           {"export --bogus d", "Unknown option 'bogus'."},
           {"thumbnail --size -1 a b", "--size takes a whole number from 0 to 16384"}}) {
    const CommandLine parsed = Parse(line);
    EXPECT_EQ(parsed.action, CommandLine::Action::UsageError) << line;
    EXPECT_TRUE(parsed.text.starts_with(error)) << line << ": " << parsed.text;
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
  const std::tuple<const char*, const char*, Bytes> cases[] = {
      // the command; the files the window's routine converts; "{dir}/header" when not empty
      {"export {dir}/b.bin {dir} {dir}/./a.bin", "a.bin b.bin c.BIN", {}},
      {"export -r {dir}", "a.bin b.bin c.BIN sub/d.bin sub/deeper/e.bin", {}},
      {"build {dir} -r", "a.dds b.dds c.DDS sub/d.dds sub/deeper/e.dds", {}},
      {"build --template {dir}/header {dir}", "a.dds b.dds c.DDS", Pattern(1000, 8)},
      {"build --template {dir}/header {dir}", "a.dds b.dds c.DDS", Pattern(3, 8)},  // padded
      {"build --header-from {dir}/header {dir}", "a.dds b.dds c.DDS", Pattern(80, 8)}};
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
        WriteFile(root / name, Pattern(name == "b" + in ? 65 : 3000, ++seed));
      }
    }
    const std::vector<std::string> converted = Words(inputs, {});
    for (const std::string& name : converted) {
      ASSERT_TRUE(!build || StageCopy(refData / name, ref.path(), WorkFile::ImportFile).ok());
      ASSERT_TRUE((build ? BuildContainer(refData / name, ref.path(), ref.work("ImportFile"))
                         : ExportTexture(refData / name))
                      .ok());
    }
    EXPECT_EQ(
        InProcess(args, cliData.path(), program.path()),
        std::to_string(converted.size()) + (build ? " built" : " exported") + ", 0 failed\nexit 0")
        << args;
    EXPECT_EQ(Snapshot(cliData.path()), Snapshot(refData.path())) << args;
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
    WriteFile(data / "dds", MakeDds(Dxt1, 4, 4, kRed));
    const std::set<std::string> before = Entries(data.path());
    const std::string args = std::string(build ? "build --template {dir}/template" : "export") +
                             " {dir} {dir}/z" + in + " {dir}/m2" + in + " {dir}/a" + in;
    const std::string failed =
        at("m1") +
        (build ? ": the DDS file is empty\n" : ": too short to hold a texture (64 bytes)\n") +
        at("m2") + ": cannot open the input file: No such file or directory\n";
    EXPECT_EQ(InProcess(args + " --dry-run", d),
              at("a") + ext + "\n" + at("m3") + ext + "\n" + at("z") + ext + "\n" + failed +
                  (build ? "3 to build" : "3 to export") + ", 2 failed\nexit 1");
    for (const auto& [header, error] : std::initializer_list<std::pair<const char*, const char*>>{
             {"--header-from {dir}/short",
              "/short: too short to hold a container header (63 bytes)"},
             {"--header-from {dir}/dds", "/dds: a DDS file, not a container"},
             {"--template {dir}/gone",
              "/gone: cannot open the header template: No such file or directory"}}) {
      if (build)
        EXPECT_EQ(InProcess(std::string("build {dir} ") + header, d), d + error + "\nexit 1");
    }
    fs::create_directory(data / "none");
    EXPECT_EQ(InProcess((build ? "build --template {dir}/template" : "export") +
                            std::string(" -r {dir}/none"),
                        d),
              d + "/none: no " + in + " files here or in any subfolder\n0 " +
                  (build ? "built" : "exported") + ", 0 failed\nexit 0");
    fs::remove(data / "none");
    EXPECT_EQ(Entries(data.path()), before) << "a dry run or a bad header source writes nothing";
    EXPECT_EQ(InProcess(args, d), failed + at("m3") +
                                      ": cannot write the output file: Is a directory\n" +
                                      (build ? "2 built" : "2 exported") + ", 3 failed\nexit 1");
  }
}

TEST(Info, ShowsEachFileAndReportsTheUnreadableOne) {
  TempFolder dir;
  WriteFile(dir / "f0", Concat(Bytes(64, std::byte{0xab}), MakeDds(Dxt5, 8, 4, kRed)));
  WriteFile(dir / "f1", With(MakeDds(Dxt1, 8, 4, kRed), 84, 0x32495441));  // "ATI2"
  WriteFile(dir / "f2", Concat(Bytes(64, std::byte{0xcd}), Pattern(300)));
  WriteFile(dir / "f3", Bytes(1, std::byte{1}));
  const auto hex = [&](const char* name) {  // the file's first 64 bytes, 16 a line
    std::string text;
    char two[3];
    for (int i = 0; i < 64; ++i) {
      std::snprintf(two, sizeof two, "%02x", int(ReadFile(dir / name)[i]));
      text += (i == 0 ? "" : i % 16 ? " " : "\n            ") + std::string(two);
    }
    return text + "\n";
  };
  EXPECT_EQ(InProcess("info f0 f1 f2 f3 gone", dir.path()),
            "f0\n  file:     container, 224 bytes\n  header:   " + hex("f0") +
                "  texture:  DXT5, 8 x 4\n  preview:  yes\n\nf1\n  file:     DDS file, 144 bytes\n"
                "  first 64: " +
                hex("f1") +
                "  texture:  ATI2, 8 x 4\n  preview:  no, the file ends before the texture does\n"
                "\nf2\n  file:     container, 364 bytes\n  header:   " +
                hex("f2") +
                "  texture:  unknown\n  preview:  no, not a DDS file\n\nf3\n  file:     container, "
                "1 byte\n  header:   01\n  texture:  none\n  preview:  no, too short to hold a "
                "texture (1 byte)\ngone: cannot open the input file: No such file or directory\n"
                "4 shown, 1 failed\nexit 1");
}

// A container cut short and made whole again, over and over, while `info` reads it: each run
// shows the whole container, or none, or fails to read it; never a texture read from bytes that
// are no longer there.
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
  int shownWhole = 0, shownGone = 0;
  for (int i = 0; i < 2000; ++i) {
    const std::string run = InProcess("info {dir}/c.bin", dir.path());
    shownWhole += run.find("DXT1, 8 x 8") != std::string::npos;
    shownGone += run.find("unknown") != std::string::npos;
  }
  done = true;
  cutter.join();
  EXPECT_GT(shownWhole, 0);
  EXPECT_EQ(shownGone, 0);
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

// Each texture as a DDS file and in a container: the thumbnail is the preview's BMP scaled to the
// expected size with the same filter, alpha kept, and --size 0 gives the BMP itself.
TEST(Thumbnail, IsThePreviewsPictureScaledToFit) {
  const Bytes sample = ReadFile(fs::path(SODREL_SOURCE_DIR) / "samples/sample.bin");
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

// A file that gives no picture writes nothing, leaves an earlier output as it was, and says why
// in one line.
TEST(Thumbnail, FailsWithOneLineAndNoOutput) {
  const Bytes dxt1 = MakeDds(Dxt1, 8, 8, kRed);
  const std::tuple<const char*, Bytes, const char*> cases[] = {
      // the files, "in", the reason
      {"in out", Concat(Dx10Header(8, 8, DxgiFormat::Bc7Unorm), Bytes(63)),
       "in: the preview refuses this texture: the file ends before the texture does (DX10 "
       "BC7_UNORM)"},
      {"missing out", {}, "missing: cannot open the input file: No such file or directory"},
      {"in no/out", dxt1, "in: cannot write the PNG file: No such file or directory"}};
  for (const auto& [files, input, reason] : cases) {
    TempFolder folder;
    WriteFile(folder / "in", input);
    WriteFile(folder / "out", Pattern(10));
    EXPECT_EQ(InProcess(std::string("thumbnail ") + files, folder.path()),
              reason + std::string("\nexit 1"));
    EXPECT_EQ(Entries(folder.path()), (std::set<std::string>{"in", "out"}));
    EXPECT_EQ(ReadFile(folder / "out"), Pattern(10));
  }
}
