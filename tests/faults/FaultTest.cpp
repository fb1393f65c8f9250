// Both file commands under injected faults: a disk that fills up part-way (a file size limit), a
// working folder that holds folders at the working files' names, an input cut short or changing
// while it is read, and a second instance sharing the program folder. In every case nothing
// crashes, no partial or temporary file is left, an earlier output is either intact or replaced
// whole, and the next command works once the fault is gone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <array>
#include <csignal>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include "container/TextureContainer.h"
#include "io/FileIo.h"
#include "io/ScopedSeam.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/Rows.h"
#include "ui/FileCommands.h"

using namespace sodrel;
using namespace sodrel::test;
namespace fs = std::filesystem;

// What a command did: whether the import made both staged copies, the outcome of the export or
// the build and of the preview (NotDone: not run), and how many pictures the sink got.
struct Outcome {
  bool staged = false;
  ConvertOutcome converted = ConvertOutcome::NotDone;
  PreviewOutcome preview = PreviewOutcome::NotDone;
  int pictures = 0;
  friend bool operator==(const Outcome&, const Outcome&) = default;
  friend void PrintTo(const Outcome& o, std::ostream* out) {
    *out << (o.staged ? "staged" : "not staged") << ", converted: " << Describe(o.converted)
         << ", preview: " << Describe(o.preview) << ", " << o.pictures << " picture(s)";
  }
};
using enum ConvertOutcome;
constexpr PreviewOutcome Shown = PreviewOutcome::Shown, CopyFailed = PreviewOutcome::CopyFailed,
                         SaveFailed = PreviewOutcome::SaveFailed;
constexpr Outcome kAllDone{true, Written, Shown, 1}, kNothingStaged{};
// The output failed; the preview shows the earlier output of the same input (see ExportAndPreview).
constexpr Outcome kOutputFails{true, OutputFailed, Shown, 1};
constexpr Outcome kTooShort{true, InputTooShort, Shown, 1};
constexpr Outcome kNothingShown{true, InputTooShort, CopyFailed, 0};
constexpr Outcome kCopyFails{true, Written, CopyFailed, 0};
constexpr Outcome kSaveFails{true, Written, SaveFailed, 0};

const Bytes kEarlier = MakeDds(DdsFormat::Dxt1, 8, 8, kGreen);  // what the earlier run took
const Bytes kLarge = MakeDds(DdsFormat::Dxt1, 256, 256, kRed);  // 32,896 bytes; its BMP 256 KiB

// Runs the export of NAME.bin, or the import of NAME.dds, holding `dds`.
Outcome RunCommand(const ProgramFolder& program, bool exporting, const Bytes& dds,
                   RecordingSink& sink, const std::string& name = "textures/tex") {
  const fs::path input = program / (name + (exporting ? ".bin" : ".dds"));
  if (!dds.empty()) WriteFile(input, exporting ? Concat(Pattern(64, 5), dds) : dds);
  if (exporting) {
    const ExportRun run = ExportAndPreview(input, program.path(), sink);
    return {true, run.exported.outcome, run.preview.outcome, sink.calls};
  }
  const ImportRun run = RunImport(input, program.path(), sink);
  if (!run.built) return {run.staging.ok(), NotDone, PreviewOutcome::NotDone, sink.calls};
  return {run.staging.ok(), run.built->outcome, run.preview->outcome, sink.calls};
}

// Runs `run` with no file writable past `limit` bytes, as on a disk that fills up.
Outcome WithFileSizeLimit(rlim_t limit, const std::function<Outcome()>& run) {
  rlimit before{};
  ::getrlimit(RLIMIT_FSIZE, &before);
  const rlimit limited{limit, before.rlim_max};
  const auto handler = std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
  ::setrlimit(RLIMIT_FSIZE, &limited);
  const Outcome outcome = run();
  ::setrlimit(RLIMIT_FSIZE, &before), std::signal(SIGXFSZ, handler);
  return outcome;
}

enum class Fault { DiskFull, FolderInstead, CutShort, CutNoEarlier };
using enum Fault;

struct FaultCase {
  const char* name;
  bool exporting;
  Fault fault;
  const char* at;  // under Temp/: the entry faulted
  Outcome outcome;
  rlim_t room = 0;  // for DiskFull, the largest file that can be written
};

const FaultCase kFaultCases[] = {
    {"ExportOutput_DiskFull", true, DiskFull, "", kOutputFails, 16 << 10},
    {"ExportPicture_DiskFull", true, DiskFull, "", kSaveFails, 64 << 10},
    {"ImportStaging_DiskFull", false, DiskFull, "", kNothingStaged, 16 << 10},
    {"FolderAtPictureDds", true, FolderInstead, "Picture.dds", kCopyFails},
    {"FolderAtPictureLoadBmp", true, FolderInstead, "PictureLoad.bmp", kSaveFails},
    {"FolderAtImportFile", false, FolderInstead, "ImportFile", kNothingStaged},
    {"FolderAtPictureImportFile", false, FolderInstead, "PictureImportFile", kNothingStaged},
    // Too short to export: the earlier export of the same container is shown.
    {"ContainerCutShort", true, CutShort, "", kTooShort},
    // Nor an earlier export: nothing is shown, not even the Picture.dds of the run before.
    {"ContainerCutShortWithoutEarlierExport", true, CutNoEarlier, "", kNothingShown},
};

class CommandFault : public testing::TestWithParam<FaultCase> {};

TEST_P(CommandFault, StopsTheCommandWithoutPartialFilesAndTheNextOneWorks) {
  const FaultCase& c = GetParam();
  ProgramFolder program;
  fs::create_directory(program / "textures");
  const fs::path at = program.work(c.at);
  const fs::path input = program / (c.exporting ? "textures/tex.bin" : "textures/tex.dds");
  const fs::path output = WithSuffix(input, c.exporting ? kExportSuffix : kBuildSuffix);
  RecordingSink earlierSink;
  ASSERT_EQ(RunCommand(program, c.exporting, kEarlier, earlierSink), kAllDone);
  std::map<fs::path, Bytes> earlier{{output, ReadFile(output)}};  // and every working file
  for (const auto& file : fs::directory_iterator(program / "Temp")) earlier[file] = ReadFile(file);

  const Bytes placed = c.exporting ? Concat(Pattern(64, 5), kLarge) : kLarge;
  WriteFile(input, c.fault == CutShort || c.fault == CutNoEarlier ? Pattern(10) : placed);
  if (c.fault == CutNoEarlier) fs::remove(output), earlier[output] = {};
  if (c.fault == FolderInstead) fs::remove(at), fs::create_directories(at / "inside");
  RecordingSink sink;
  const auto run = [&] { return RunCommand(program, c.exporting, {}, sink); };
  const Outcome outcome = c.fault == DiskFull ? WithFileSizeLimit(c.room, run) : run();
  EXPECT_EQ(outcome, c.outcome);

  // Nothing partial: each file holds what it held before or the whole new content.
  for (const auto& entry : fs::recursive_directory_iterator(program.path())) {
    EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << "left: " << entry.path();
  }
  const bool done = outcome.converted == Written;
  EXPECT_EQ(fs::exists(output) ? ReadFile(output) : Bytes{},
            !done         ? earlier[output]
            : c.exporting ? Slice(placed, 64)
                          : Concat(ReadFile(program.templatePath()), placed));
  EXPECT_TRUE(sink.calls == 0 || sink.colour() == (done ? kRed : kGreen))
      << "a picture not its own";
  for (const auto& [path, before] : earlier) {
    if (!fs::is_regular_file(path) || path == output) continue;
    const Bytes now = ReadFile(path);
    if (path.extension() != ".bmp") {
      EXPECT_TRUE(now == before || now == kLarge) << path << " is partial";
    } else if (outcome.preview != Shown) {
      EXPECT_EQ(now, before) << path;
    }
  }

  // Once the fault is gone, the same command does all it should.
  if (c.fault == FolderInstead) fs::remove_all(at);
  RecordingSink next;
  EXPECT_EQ(RunCommand(program, c.exporting, kLarge, next), kAllDone);
  EXPECT_EQ(next.colour(), kRed);
}

SODREL_NAMED_ROWS(Faults, CommandFault, kFaultCases);

// Two processes export, import and clean up textures of the same length but different colours,
// hundreds of times each, in one program folder: each must write and show only its own. Without
// the working folder's lock one builds or shows the other's staged copies, or loses its own to
// the other's clean-up, within a few rounds.
TEST(TwoInstances, EachBuildsAndShowsOnlyItsOwnTextures) {
  ProgramFolder program;
  for (const Rgb colour : {kRed, kGreen}) {
    if (::fork() != 0) continue;
    const Bytes dds = MakeDds(DdsFormat::Dxt1, 64, 64, colour);
    const std::string name = std::to_string(colour.r);
    int failures = 0;
    for (int round = 0; round < 300; ++round) {
      for (const bool exporting : {true, false}) {
        RecordingSink sink;
        const fs::path output = program / (name + (exporting ? ".bin.dds" : ".dds.bin"));
        failures +=
            RunCommand(program, exporting, dds, sink, name) != kAllDone ||
            sink.colour() != colour ||
            ReadFile(output) != (exporting ? dds : Concat(ReadFile(program.templatePath()), dds));
      }
      if (round % 3 == 2) static_cast<void>(RunCleanup(program.path()));
    }
    ::_exit(failures == 0 ? 0 : 1);
  }
  for (int child = 0, status = -1; child < 2; ++child) EXPECT_TRUE(::wait(&status) > 0 && !status);
}

TEST(SourceEndingEarly, FailsAsAReadFailure) {
  TempFolder folder;
  WriteFile(folder / "in", Pattern(3 << 20));
  // Where the copy starts in the source, where the output stands (64 makes the copy unaligned),
  // and the length asked for: one byte short, many chunks short, starting at or past the end.
  const std::uint64_t cases[][3] = {
      {0, 0, (3 << 20) + 1}, {64, 64, (3 << 20) - 63}, {64, 64, 10 << 20}, {4 << 20, 0, 1}};
  for (const auto& [offset, position, length] : cases) {
    UniqueFd in(::open((folder / "in").c_str(), O_RDONLY | O_CLOEXEC));
    UniqueFd out(::open((folder / "out").c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    ::lseek(out.get(), off_t(position), SEEK_SET);
    const IoResult copied = CopyBytes(in.get(), offset, out.get(), length, Stop());
    EXPECT_EQ(copied.outcome, IoOutcome::ReadFailed) << offset << " " << position << " " << length;
  }
}

const std::pair<const char*, void (*)(int)> kChanges[] = {
    {"rewrite one byte in place", [](int fd) { ::pwrite(fd, "x", 1, 10); }},
    {"cut", [](int fd) { ::ftruncate(fd, 100); }},
    {"regrow to the same length", [](int fd) { ::ftruncate(fd, 100), ::ftruncate(fd, 5000); }},
    {"change the mode", [](int fd) { ::fchmod(fd, 0600); }},
};

// The inotify watches this process holds.
int Watches() {
  int watches = 0;
  for (const auto& fd : fs::directory_iterator("/proc/self/fdinfo")) {
    std::ifstream info(fd.path());
    for (std::string line; std::getline(info, line);) watches += line.starts_with("inotify wd:");
  }
  return watches;
}

// Our own reads are no change. The watch sees every change; the stamp promises only to see one
// made a tick or more after it was taken (within a tick, kernels before 6.13 leave size and times
// as they were), so the change comes a tick later here.
TEST(ChangeNotices, TheWatchAndTheStampSeeEveryChangeAndNothingElse) {
  TempFolder folder;
  for (const auto& [name, change] : kChanges) {
    WriteFile(folder / "f", Pattern(5000));
    UniqueFd reader(::open((folder / "f").c_str(), O_RDONLY | O_CLOEXEC));
    ChangeWatch watch(reader.get());
    FileStamp before, after;
    ASSERT_TRUE(watch.active() && StampOf(reader.get(), before).ok());
    ::pread(reader.get(), std::array<char, 64>{}.data(), 64, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // a tick is 1 to 10 ms
    EXPECT_TRUE(!watch.Changed() && StampOf(reader.get(), after).ok() && after == before) << name;
    change(UniqueFd(::open((folder / "f").c_str(), O_RDWR | O_CLOEXEC)).get());
    EXPECT_TRUE(watch.Changed()) << name;
    EXPECT_TRUE(StampOf(reader.get(), after).ok() && after != before) << name;
  }
  EXPECT_EQ(Watches(), 0) << "a watch outlived its last user";  // the user's limit is small
}

// The whole check through the export and the staging copy: a change injected into the input
// between its last read and its check is refused, with the earlier output kept, whether the
// watch sees it or, where no watch can be had, the stamp (the change then comes a tick later).
TEST(ChangeWhileRead, IsRefusedWithTheEarlierOutputKept) {
  static void (*injected)(int) = nullptr;
  const ScopedSeam drain(
      ChangeWatchHooks::beforeDrain, +[](int fd) {
        if (ChangeWatchHooks::noWatch) std::this_thread::sleep_for(std::chrono::milliseconds(30));
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        if (injected != nullptr) injected(UniqueFd(::open(self.c_str(), O_RDWR | O_CLOEXEC)).get());
      });
  ProgramFolder program;
  const fs::path input = program / "a.bin";
  for (const bool exporting : {true, false}) {
    const fs::path output =
        exporting ? WithSuffix(input, kExportSuffix) : program.work("ImportFile");
    const auto copy = [&] {
      return exporting ? ExportTexture(input).ok()
                       : StageCopy(input, program.path(), WorkFile::ImportFile).ok();
    };
    for (const bool withWatch : {true, false}) {
      const ScopedSeam watch(ChangeWatchHooks::noWatch, !withWatch);
      for (const auto& [name, change] : kChanges) {
        WriteFile(input, Pattern(5000, 3)), WriteFile(output, Pattern(10, 4));
        injected = change;
        EXPECT_FALSE(copy()) << name << (withWatch ? "" : ", no watch");
        EXPECT_EQ(ReadFile(output), Pattern(10, 4)) << name;
      }
      injected = nullptr;
      EXPECT_TRUE(copy()) << "unchanged" << (withWatch ? "" : ", no watch");
    }
  }
}

// Each way CopyBytes moves bytes: our pipe (unaligned), the kernel's copy (aligned) and the
// buffer (the kernel's copies refused); each copies exactly and each stops when asked.
TEST(CopyPaths, EachCopiesExactlyAndStopsWhenAsked) {
  TempFolder folder;
  const Bytes source = Pattern((3 << 20) + 77);
  WriteFile(folder / "in", source);
  const struct {
    const char* name;
    std::uint64_t offset;
    bool kernel;
  } ways[] = {{"pipe", 64, true}, {"kernel copy", 0, true}, {"buffer", 64, false}};
  for (const auto& way : ways) {
    const ScopedSeam buffer(FileIoHooks::noKernelCopy, !way.kernel);
    for (const int asked : {0, 1}) {
      const std::atomic<int> flag{asked};
      UniqueFd in(::open((folder / "in").c_str(), O_RDONLY | O_CLOEXEC));
      UniqueFd out(::open((folder / "out").c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
      ::lseek(out.get(), off_t(way.offset), SEEK_SET);
      const IoResult copied =
          CopyBytes(in.get(), way.offset, out.get(), source.size() - way.offset, Stop(flag));
      if (asked) {
        EXPECT_EQ(copied.error, std::errc::interrupted) << way.name;
        continue;
      }
      EXPECT_TRUE(copied.ok()) << way.name;
      const Bytes got = ReadFile(folder / "out");
      EXPECT_TRUE(got.size() == source.size() &&
                  std::equal(got.begin() + way.offset, got.end(), source.begin() + way.offset))
          << way.name;
    }
  }
}
