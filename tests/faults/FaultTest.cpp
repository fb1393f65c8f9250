// Both file commands under injected faults: a disk that fills up part-way, a working folder that
// is missing or holds folders at the working files' names, a folder that vanishes between two
// steps, and a container that shrinks or grows while it is read. In every case nothing crashes,
// no partial or temporary file is left, an earlier output is either intact or replaced whole,
// and the next command works once the fault is gone. (tests/container covers the export and the
// build alone on a disk that fills up.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <array>
#include <atomic>
#include <csignal>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <thread>

#include "container/FileIo.h"
#include "container/TextureContainer.h"
#include "tests/faults/Support.h"
#include "tests/ui/ModalWatcher.h"
#include "ui/FileCommands.h"
#include "ui/frmMain.h"
#include "workfiles/WorkingFiles.h"

namespace sodrel {
namespace {

using namespace test;
namespace fs = std::filesystem;

enum class Command { Export, Import };

// What a command did, in a form a child process can hand back through a pipe. -1: not run.
struct Outcome {
  bool staged = true;  // the import made both staged copies
  int converted = -1;  // the ConvertOutcome of the export or the build
  int preview = -1;    // the PreviewOutcome
  int shown = 0;       // pictures the sink got
  friend bool operator==(const Outcome&, const Outcome&) = default;
  friend void PrintTo(const Outcome& o, std::ostream* os) {
    *os << "{staged " << o.staged << ", converted " << o.converted << ", preview " << o.preview
        << ", shown " << o.shown << "}";
  }
};

constexpr int kWritten = static_cast<int>(ConvertOutcome::Written);
constexpr int kShown = static_cast<int>(PreviewOutcome::Shown);
constexpr Outcome kAllDone{true, kWritten, kShown, 1};
constexpr Outcome kNothingStaged{false, -1, -1, 0};
// The output failed; the preview shows the earlier output of the same input (see RunExport).
constexpr Outcome kOutputFails{true, static_cast<int>(ConvertOutcome::OutputFailed), kShown, 1};
constexpr Outcome kCopyFails{true, kWritten, static_cast<int>(PreviewOutcome::CopyFailed), 0};
constexpr Outcome kSaveFails{true, kWritten, static_cast<int>(PreviewOutcome::SaveFailed), 0};

const Bytes kEarlier = MakeDds(DdsFormat::Dxt1, 8, 8, kGreen);  // what the earlier run took
const Bytes kLarge = MakeDds(DdsFormat::Dxt1, 256, 256, kRed);  // 32,896 bytes; its BMP 256 KiB
// 36,832 bytes: its container (64 more) needs one memory page more than the file itself.
const Bytes kPadded = Concat(MakeDds(DdsFormat::Dxt1, 8, 8, kRed), Pattern(36832 - 160, 4));

void ExpectNoTemporaryFiles(const fs::path& folder) {
  EXPECT_EQ(TemporaryFilesUnder(folder), std::vector<std::string>{});
}

// A program folder with its textures in textures/, where one earlier run of `command` took
// kEarlier, and the files that run left.
class Scene {
 public:
  explicit Scene(Command command) : command_(command) { fs::create_directory(textures()); }

  fs::path textures() const { return program_ / "textures"; }
  fs::path program() const { return program_.path(); }
  fs::path input() const { return textures() / (exporting() ? "tex.bin" : "tex.dds"); }
  fs::path output() const {
    return WithSuffix(input(), exporting() ? kExportSuffix : kBuildSuffix);
  }
  fs::path work(WorkFile file) const { return WorkFilePath(program(), file); }

  // Places the file the command takes for `dds`: a container holding it, or the file itself.
  void Place(const Bytes& dds) const {
    WriteFile(input(), exporting() ? Concat(Pattern(64, 5), dds) : dds);
  }
  // What the command's output holds for `dds`.
  Bytes OutputFor(const Bytes& dds) const {
    return exporting() ? dds : Concat(ReadFile(program_.templatePath()), dds);
  }
  Outcome Run(RecordingSink& sink) const {
    Outcome o;
    if (exporting()) {
      const ExportRun run = RunExport(input(), program(), sink);
      o.converted = static_cast<int>(run.exported.outcome);
      o.preview = static_cast<int>(run.preview.outcome);
    } else {
      const ImportRun run = RunImport(input(), program(), sink);
      o.staged = !run.staging;
      if (run.built) o.converted = static_cast<int>(run.built->outcome);
      if (run.preview) o.preview = static_cast<int>(run.preview->outcome);
    }
    o.shown = sink.calls;
    return o;
  }

  // Runs the command once on kEarlier, and remembers what it left.
  void RunEarlier() {
    Place(kEarlier);
    RecordingSink sink;
    ASSERT_EQ(Run(sink).preview, kShown);
    for (const fs::path& path : Written()) earlier_[path] = ReadFile(path);
  }

  // After a failed run on `dds`: no temporary file anywhere, the output and the staged copies
  // hold either what they held before or the whole new content, and the picture is the earlier
  // one unless this run showed its own.
  void ExpectNothingPartial(const Bytes& dds, const Outcome& outcome) const {
    ExpectNoTemporaryFiles(program());
    const bool written = outcome.converted == kWritten;
    EXPECT_EQ(ReadFile(output()), written ? OutputFor(dds) : earlier_.at(output()));
    for (const fs::path& path : Written()) {
      if (!fs::is_regular_file(path) || path == output()) continue;
      const Bytes now = ReadFile(path);
      if (path != work(WorkFile::PictureLoadBmp)) {
        EXPECT_TRUE(now == earlier_.at(path) || now == dds) << path << " is partial";
      } else if (outcome.preview != kShown) {
        EXPECT_EQ(now, earlier_.at(path)) << path;
      }
    }
  }

  // Once the fault is gone, the same command on `dds` does all it should.
  void ExpectNextRunWorks(const Bytes& dds) const {
    fs::create_directories(textures());
    Place(dds);
    RecordingSink sink;
    EXPECT_EQ(Run(sink), kAllDone);
    EXPECT_EQ(ReadFile(output()), OutputFor(dds));
    EXPECT_EQ(sink.colour(), kRed);
    ExpectNoTemporaryFiles(program());
  }

 private:
  bool exporting() const { return command_ == Command::Export; }
  std::vector<fs::path> Written() const {
    if (exporting()) return {output(), work(WorkFile::PictureDds), work(WorkFile::PictureLoadBmp)};
    return {output(), work(WorkFile::ImportFile), work(WorkFile::PictureImportFile),
            work(WorkFile::PictureLoadBmp)};
  }

  Command command_;
  ProgramFolder program_;
  std::map<fs::path, Bytes> earlier_;
};

// ---- A disk that fills up part-way (a tmpfs where this machine lets us mount one, a child
// process with a file size limit either way), a working folder that is missing, or a folder at
// a working file's name.

// A tmpfs mounted over a folder for as long as it lives; `error` tells why this machine does not
// let us mount one.
struct SmallDisk {
  explicit SmallDisk(fs::path at) : folder(std::move(at)) {
    if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=16m") != 0) error = strerror(errno);
  }
  ~SmallDisk() {
    if (error.empty()) ::umount2(folder.c_str(), MNT_DETACH);
  }
  // Leaves `room` bytes free beside what is there now; 0: room enough for anything again.
  void LeaveRoom(std::uint64_t room) const {
    struct statvfs info {};
    ASSERT_EQ(::statvfs(folder.c_str(), &info), 0);
    const std::uint64_t used = (info.f_blocks - info.f_bfree) * info.f_frsize;
    const std::string size = "size=" + std::to_string(room == 0 ? 16 << 20 : used + room);
    ASSERT_EQ(::mount("tmpfs", folder.c_str(), "tmpfs", MS_REMOUNT, size.c_str()), 0)
        << std::strerror(errno);
  }
  const fs::path folder;
  std::string error;
};

// Runs `run` in a child process that may write no file past `limit` bytes, as on a disk that
// fills up, and returns what it did.
Outcome InChildWithFileSizeLimit(rlim_t limit, const std::function<Outcome()>& run) {
  int ends[2];
  EXPECT_EQ(::pipe(ends), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ends[0]);
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit rl{limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &rl);
    const Outcome outcome = run();
    const bool sent = ::write(ends[1], &outcome, sizeof outcome) == sizeof outcome;
    ::_exit(sent ? 0 : 1);
  }
  ::close(ends[1]);
  Outcome outcome{false, -2, -2, -2};
  EXPECT_EQ(::read(ends[0], &outcome, sizeof outcome), static_cast<ssize_t>(sizeof outcome));
  ::close(ends[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child crashed";
  return outcome;
}

enum class Fault { Tmpfs, FileSizeLimit, Missing, FolderInstead };
using enum Command;
using enum Fault;

struct FaultCase {
  const char* name;
  Command command;
  Fault fault;
  const char* at;  // under the program folder: the folder on the small disk, or the entry faulted
  Outcome outcome;
  std::uint64_t room = 0;  // bytes free on the disk; for the file size limit, the largest file
  const Bytes* dds = &kLarge;
  friend void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }
};

const FaultCase kFaultCases[] = {
    {"ExportOutput_Tmpfs", Export, Tmpfs, "textures", kOutputFails, 16 << 10},
    {"ExportOutput_FileSizeLimit", Export, FileSizeLimit, "textures", kOutputFails, 16 << 10},
    {"ExportPicture_Tmpfs", Export, Tmpfs, "Temp", kSaveFails, 64 << 10},
    {"ExportPicture_FileSizeLimit", Export, FileSizeLimit, "Temp", kSaveFails, 64 << 10},
    {"ImportStaging_Tmpfs", Import, Tmpfs, "Temp", kNothingStaged, 16 << 10},
    {"ImportStaging_FileSizeLimit", Import, FileSizeLimit, "Temp", kNothingStaged, 16 << 10},
    {"ImportBuild_Tmpfs", Import, Tmpfs, "textures", kOutputFails, 36864, &kPadded},
    {"ImportBuild_FileSizeLimit", Import, FileSizeLimit, "textures", kOutputFails, 36864, &kPadded},
    {"ImportPicture_Tmpfs", Import, Tmpfs, "Temp", kSaveFails, 128 << 10},
    {"ImportPicture_FileSizeLimit", Import, FileSizeLimit, "Temp", kSaveFails, 128 << 10},
    // The export itself needs no working folder: only its preview stops.
    {"NoWorkingFolder_Export", Export, Missing, "Temp", kCopyFails},
    {"NoWorkingFolder_Import", Import, Missing, "Temp", kNothingStaged},
    {"FolderAtPictureDds_Export", Export, FolderInstead, "Temp/Picture.dds", kCopyFails},
    {"FolderAtPictureLoadBmp_Export", Export, FolderInstead, "Temp/PictureLoad.bmp", kSaveFails},
    {"FolderAtPictureLoadBmp_Import", Import, FolderInstead, "Temp/PictureLoad.bmp", kSaveFails},
    {"FolderAtImportFile_Import", Import, FolderInstead, "Temp/ImportFile", kNothingStaged},
    {"FolderAtPictureImportFile_Import", Import, FolderInstead, "Temp/PictureImportFile",
     kNothingStaged},
};

class CommandFault : public testing::TestWithParam<FaultCase> {};

TEST_P(CommandFault, StopsTheCommandWithoutPartialFilesAndTheNextOneWorks) {
  const FaultCase& c = GetParam();
  Scene scene(c.command);
  const fs::path at = scene.program() / c.at;
  std::optional<SmallDisk> tmpfs;
  if (c.fault == Tmpfs) {
    tmpfs.emplace(at);
    if (!tmpfs->error.empty()) GTEST_SKIP() << "cannot mount a tmpfs here: " << tmpfs->error;
  }
  ASSERT_NO_FATAL_FAILURE(scene.RunEarlier());
  scene.Place(*c.dds);
  if (tmpfs) {
    ASSERT_NO_FATAL_FAILURE(tmpfs->LeaveRoom(c.room));
  }
  if (c.fault == Missing || c.fault == FolderInstead) fs::remove_all(at);
  if (c.fault == FolderInstead) {
    fs::create_directory(at);
    WriteFile(at / "inside", Pattern(3));
  }

  RecordingSink sink;
  const Outcome outcome = c.fault == FileSizeLimit
                              ? InChildWithFileSizeLimit(c.room, [&] { return scene.Run(sink); })
                              : scene.Run(sink);
  EXPECT_EQ(outcome, c.outcome);
  scene.ExpectNothingPartial(*c.dds, outcome);

  if (tmpfs) {
    ASSERT_NO_FATAL_FAILURE(tmpfs->LeaveRoom(0));
  } else if (c.fault == Missing) {
    EXPECT_FALSE(fs::exists(at)) << "the program never makes its working folder";
    fs::create_directory(at);
  } else if (c.fault == FolderInstead) {
    EXPECT_EQ(ReadFile(at / "inside"), Pattern(3));
    fs::remove_all(at);
  }
  scene.ExpectNextRunWorks(*c.dds);
}

INSTANTIATE_TEST_SUITE_P(Faults, CommandFault, testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- A folder that vanishes between two steps of a command.

TEST(VanishingFolder, TheExportsFolderGoingBeforeThePreviewStopsOnlyThePreview) {
  Scene scene(Command::Export);
  ASSERT_NO_FATAL_FAILURE(scene.RunEarlier());
  ASSERT_TRUE(ExportTexture(scene.input()).written());
  fs::remove_all(scene.textures());
  RecordingSink sink;
  EXPECT_EQ(PreviewExported(scene.input(), scene.program(), sink).outcome,
            PreviewOutcome::CopyFailed);
  EXPECT_EQ(sink.calls, 0);
  ExpectNoTemporaryFiles(scene.program());
  scene.ExpectNextRunWorks(kLarge);
}

TEST(VanishingFolder, TheDdsFilesFolderGoingAfterStagingBuildsNothingButShowsTheStagedCopy) {
  Scene scene(Command::Import);
  ASSERT_NO_FATAL_FAILURE(scene.RunEarlier());
  scene.Place(kLarge);
  for (WorkFile staged : {WorkFile::ImportFile, WorkFile::PictureImportFile}) {
    ASSERT_FALSE(StageCopy(scene.input(), scene.program(), staged));
  }
  fs::remove_all(scene.textures());
  EXPECT_EQ(BuildContainer(scene.input(), scene.program()).outcome, ConvertOutcome::InputMissing);
  RecordingSink sink;
  EXPECT_TRUE(PreviewImported(scene.program(), sink).shown());
  EXPECT_EQ(sink.colour(), kRed);
  ExpectNoTemporaryFiles(scene.program());
  scene.ExpectNextRunWorks(kLarge);
}

// ---- A container that shrinks or grows while it is read.

TEST(SourceEndingEarly, FailsAsAReadFailure) {
  TempFolder folder;
  WriteFile(folder / "in", Pattern(3 << 20));
  // Where the copy starts in the source, where the output stands (64 makes the copy unaligned),
  // and the length asked for: one byte short, many chunks short, starting at or past the end.
  const std::uint64_t cases[][3] = {{0, 0, (3 << 20) + 1},
                                    {64, 64, (3 << 20) - 63},
                                    {64, 64, 10 << 20},
                                    {4 << 20, 0, 1},
                                    {3 << 20, 64, 1}};
  for (const auto& [offset, position, length] : cases) {
    UniqueFd in(::open((folder / "in").c_str(), O_RDONLY | O_CLOEXEC));
    UniqueFd out(::open((folder / "out").c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    ASSERT_TRUE(in.valid() && out.valid());
    ASSERT_EQ(::lseek(out.get(), static_cast<off_t>(position), SEEK_SET), position);
    const CopyFailure failure = CopyBytes(in.get(), offset, out.get(), length);
    EXPECT_TRUE(failure && failure.whileReading) << offset << " " << position << " " << length;
  }
}

// A file that another program cuts short and makes whole again, over and over, while the export
// or the staging copies it: every copy either fails as a read failure and keeps the earlier
// output, or holds the file as it stood at one instant, never a mix of two (the copies move
// page-cache pages, which a cut zeroes in place); once the file stays whole, the copy works.
class ChangingInput : public testing::TestWithParam<Command> {};

TEST_P(ChangingInput, IsCopiedWholeOrNotAtAll) {
  const bool exporting = GetParam() == Export;
  ProgramFolder program;
  const fs::path input = program / "input";
  const fs::path output = exporting ? program / "input.dds" : program.work("ImportFile");
  const std::size_t skipped = exporting ? 64 : 0;  // bytes of the input the output leaves out
  const auto copy = [&] {                          // true: written
    if (!exporting) return !StageCopy(input, program.path(), WorkFile::ImportFile);
    const ConvertResult result = ExportTexture(input);
    EXPECT_TRUE(result.written() || result.outcome == ConvertOutcome::ReadFailed);
    return result.written();
  };
  const Bytes whole = Pattern(64 + (8 << 20), 8);
  const std::size_t cut = 64 + (1 << 20) + 3;
  WriteFile(input, whole);
  Bytes earlier = Pattern(10, 9);
  WriteFile(output, earlier);

  std::atomic<bool> done = false;
  std::thread changer([&] {
    UniqueFd fd(::open(input.c_str(), O_WRONLY | O_CLOEXEC));
    while (!done) {
      ASSERT_EQ(::ftruncate(fd.get(), static_cast<off_t>(cut)), 0);
      const std::size_t rest = whole.size() - cut;
      ASSERT_EQ(::pwrite(fd.get(), whole.data() + cut, rest, static_cast<off_t>(cut)),
                static_cast<ssize_t>(rest));
    }
  });
  for (int i = 0; i < 60; ++i) {
    const bool written = copy();
    const Bytes got = ReadFile(output);
    if (written) {
      // The file as it stood at one instant: the writer grows it in steps.
      EXPECT_GE(got.size(), cut - skipped) << "copy " << i;
      EXPECT_TRUE(got == Slice(whole, skipped, got.size()))
          << "copy " << i << " mixes two versions in " << got.size() << " bytes";
      earlier = got;
    } else {
      EXPECT_EQ(got, earlier) << "copy " << i;
    }
  }
  done = true;
  changer.join();
  ExpectNoTemporaryFiles(program.path());
  EXPECT_TRUE(copy());
  EXPECT_EQ(ReadFile(output), Slice(whole, skipped));
}

INSTANTIATE_TEST_SUITE_P(Copies, ChangingInput, testing::Values(Export, Import),
                         [](const auto& info) {
                           return info.param == Export ? "Export" : "Staging";
                         });

// What the copies above rely on: a file's stamp tells a change made after it was taken.
TEST(StampAfterAChange, DiffersExactlyWhenTheFileChanged) {
  const struct {
    const char* name;
    void (*change)(int fd);
    bool changed;
  } cases[] = {
      {"read only", [](int fd) { EXPECT_EQ(::pread(fd, std::array<char, 1>{}.data(), 1, 10), 1); },
       false},
      {"one byte rewritten in place", [](int fd) { EXPECT_EQ(::pwrite(fd, "x", 1, 10), 1); }, true},
      {"cut short", [](int fd) { EXPECT_EQ(::ftruncate(fd, 100), 0); }, true},
      {"grown", [](int fd) { EXPECT_EQ(::pwrite(fd, "x", 1, 9000), 1); }, true},
  };
  TempFolder folder;
  for (const auto& c : cases) {
    WriteFile(folder / "f", Pattern(5000));
    UniqueFd fd(::open((folder / "f").c_str(), O_RDWR | O_CLOEXEC));
    FileStamp before;
    ASSERT_FALSE(StampOf(fd.get(), before));
    c.change(fd.get());
    EXPECT_EQ(static_cast<bool>(ExpectUnchanged(fd.get(), before)), c.changed) << c.name;
  }
}

// ---- In the window.

TEST(WindowFaults, AFailedExportShowsTheEarlierExportOfTheSameContainer) {
  ProgramFolder program;
  frmMain window(program.path());
  const auto open = [&](const fs::path& path) {
    ModalWatcher<QFileDialog> dialog([&](QFileDialog* d) {
      auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      name->setText(QString::fromStdString(path.string()));
      QTest::keyClick(name, Qt::Key_Return);
    });
    window.mnuOpenFile_Click();
    EXPECT_EQ(dialog.seen(), 1);
  };
  const auto shown = [&] {
    return window.findChild<QLabel*>(QStringLiteral("Image1"))->pixmap().toImage().pixelColor(0, 0);
  };
  WriteFile(program / "a.bin", Concat(Pattern(64), MakeDds(DdsFormat::Dxt1, 8, 8, kRed)));
  open(program / "a.bin");
  ASSERT_EQ(shown(), QColor(Qt::red));
  WriteFile(program / "b.bin", Concat(Pattern(64), MakeDds(DdsFormat::Dxt1, 8, 8, kBlue)));
  open(program / "b.bin");
  ASSERT_EQ(shown(), QColor(Qt::blue));

  WriteFile(program / "a.bin", Pattern(10));  // now too short: a.bin.dds is the old texture
  open(program / "a.bin");
  EXPECT_EQ(window.currentPath().toStdString(), (program / "a.bin").string());
  EXPECT_EQ(shown(), QColor(Qt::red));
}

}  // namespace
}  // namespace sodrel
