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

constexpr std::uint64_t kKiB = 1024;

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
constexpr int kOutputFailed = static_cast<int>(ConvertOutcome::OutputFailed);
constexpr int kShown = static_cast<int>(PreviewOutcome::Shown);
constexpr int kCopyFailed = static_cast<int>(PreviewOutcome::CopyFailed);
constexpr int kSaveFailed = static_cast<int>(PreviewOutcome::SaveFailed);
constexpr Outcome kNothingStaged{false, -1, -1, 0};

const Bytes kEarlier = MakeDds(DdsFormat::Dxt1, 8, 8, kGreen);  // what the earlier run took
const Bytes kLarge = MakeDds(DdsFormat::Dxt1, 256, 256, kRed);  // 32,896 bytes; its BMP 256 KiB
// 36,832 bytes: its container (64 more) needs one memory page more than the file itself.
const Bytes kPadded = Concat(MakeDds(DdsFormat::Dxt1, 8, 8, kRed), Pattern(36832 - 160, 4));

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
    EXPECT_EQ(TemporaryFilesUnder(program()), std::vector<std::string>{});
    const bool written = outcome.converted == kWritten;
    EXPECT_EQ(ReadFile(output()), written ? OutputFor(dds) : earlier_.at(output()));
    for (const fs::path& path : Written()) {
      if (!fs::is_regular_file(path)) continue;
      const Bytes now = ReadFile(path);
      if (path == work(WorkFile::PictureLoadBmp)) {
        if (outcome.preview != kShown) {
          EXPECT_EQ(now, earlier_.at(path)) << path;
        }
      } else if (path != output()) {
        EXPECT_TRUE(now == earlier_.at(path) || now == dds) << path << " is partial";
      }
    }
  }

  // Once the fault is gone, the same command on `dds` does all it should.
  void ExpectNextRunWorks(const Bytes& dds) const {
    RecordingSink sink;
    EXPECT_EQ(Run(sink), (Outcome{true, kWritten, kShown, 1}));
    EXPECT_EQ(ReadFile(output()), OutputFor(dds));
    EXPECT_EQ(sink.colour(), kRed);
    EXPECT_EQ(TemporaryFilesUnder(program()), std::vector<std::string>{});
  }

 private:
  bool exporting() const { return command_ == Command::Export; }
  std::vector<fs::path> Written() const {
    if (exporting()) {
      return {output(), work(WorkFile::PictureDds), work(WorkFile::PictureLoadBmp)};
    }
    return {output(), work(WorkFile::ImportFile), work(WorkFile::PictureImportFile),
            work(WorkFile::PictureLoadBmp)};
  }

  Command command_;
  ProgramFolder program_;
  std::map<fs::path, Bytes> earlier_;
};

// ---- A disk that fills up part-way.

// A tmpfs mounted over a folder for as long as it lives; mounted() is false where this machine
// does not let us mount one.
class SmallDisk {
 public:
  explicit SmallDisk(fs::path folder) : folder_(std::move(folder)) {
    mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=16m") == 0;
    if (!mounted_) error_ = std::strerror(errno);
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  const std::string& error() const { return error_; }
  // Leaves `room` bytes free beside what is there now; 0: room enough for anything again.
  void LeaveRoom(std::uint64_t room) const {
    struct statvfs info {};
    ASSERT_EQ(::statvfs(folder_.c_str(), &info), 0);
    const std::uint64_t used = (info.f_blocks - info.f_bfree) * info.f_frsize;
    const std::string size = "size=" + std::to_string(room == 0 ? 16 << 20 : used + room);
    ASSERT_EQ(::mount("tmpfs", folder_.c_str(), "tmpfs", MS_REMOUNT, size.c_str()), 0)
        << std::strerror(errno);
  }

 private:
  fs::path folder_;
  bool mounted_ = false;
  std::string error_;
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

enum class Disk { Tmpfs, FileSizeLimit };
enum class Where { Textures, WorkingFolder };  // the folder on the small disk

struct FullDiskCase {
  const char* name;
  Command command;
  Where where;
  const Bytes* dds;
  std::uint64_t room;  // bytes free on the disk; for the file size limit, the largest file
  Outcome outcome;
  friend void PrintTo(const FullDiskCase& c, std::ostream* os) { *os << c.name; }
};

const FullDiskCase kFullDiskCases[] = {
    // The preview still shows the earlier export of the same container (see RunExport).
    {"ExportOutput",
     Command::Export,
     Where::Textures,
     &kLarge,
     16 * kKiB,
     {true, kOutputFailed, kShown, 1}},
    {"ExportPicture",
     Command::Export,
     Where::WorkingFolder,
     &kLarge,
     64 * kKiB,
     {true, kWritten, kSaveFailed, 0}},
    {"ImportStaging", Command::Import, Where::WorkingFolder, &kLarge, 16 * kKiB, kNothingStaged},
    {"ImportBuild",
     Command::Import,
     Where::Textures,
     &kPadded,
     36864,
     {true, kOutputFailed, kShown, 1}},
    {"ImportPicture",
     Command::Import,
     Where::WorkingFolder,
     &kLarge,
     128 * kKiB,
     {true, kWritten, kSaveFailed, 0}},
};

class FullDisk : public testing::TestWithParam<std::tuple<FullDiskCase, Disk>> {};

TEST_P(FullDisk, StopsTheCommandWithoutPartialFilesAndTheNextOneWorks) {
  const auto& [c, disk] = GetParam();
  Scene scene(c.command);
  const fs::path small =
      c.where == Where::Textures ? scene.textures() : WorkingFolder(scene.program());
  std::optional<SmallDisk> tmpfs;
  if (disk == Disk::Tmpfs) {
    tmpfs.emplace(small);
    if (!tmpfs->mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << tmpfs->error();
  }
  ASSERT_NO_FATAL_FAILURE(scene.RunEarlier());
  scene.Place(*c.dds);

  RecordingSink sink;
  Outcome outcome;
  if (tmpfs) {
    ASSERT_NO_FATAL_FAILURE(tmpfs->LeaveRoom(c.room));
    outcome = scene.Run(sink);
    EXPECT_EQ(sink.calls, outcome.shown);
  } else {
    outcome = InChildWithFileSizeLimit(c.room, [&] { return scene.Run(sink); });
  }
  EXPECT_EQ(outcome, c.outcome);
  scene.ExpectNothingPartial(*c.dds, outcome);

  if (tmpfs) {
    ASSERT_NO_FATAL_FAILURE(tmpfs->LeaveRoom(0));
  }
  scene.ExpectNextRunWorks(*c.dds);
}

INSTANTIATE_TEST_SUITE_P(Steps, FullDisk,
                         testing::Combine(testing::ValuesIn(kFullDiskCases),
                                          testing::Values(Disk::Tmpfs, Disk::FileSizeLimit)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == Disk::Tmpfs ? "_Tmpfs"
                                                                          : "_FileSizeLimit");
                         });

// ---- A working folder that is missing, or holds folders at the working files' names.

struct HostileCase {
  const char* name;
  Command command;
  const char* folderAt;  // a working file's name, or nullptr: Temp/ itself is missing
  Outcome outcome;
};

class HostileWorkingFolder : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileWorkingFolder, StopsTheStepThatNeedsItAndTheNextCommandWorks) {
  const HostileCase& c = GetParam();
  Scene scene(c.command);
  ASSERT_NO_FATAL_FAILURE(scene.RunEarlier());
  scene.Place(kLarge);
  const fs::path temp = WorkingFolder(scene.program());
  const fs::path blocker = c.folderAt ? temp / c.folderAt : temp;
  if (c.folderAt) {
    fs::remove(blocker);
    fs::create_directory(blocker);
    WriteFile(blocker / "inside", Pattern(3));
  } else {
    fs::remove_all(temp);
  }

  RecordingSink sink;
  const Outcome outcome = scene.Run(sink);
  EXPECT_EQ(outcome, c.outcome);
  if (c.folderAt) {
    EXPECT_EQ(ReadFile(blocker / "inside"), Pattern(3));
    fs::remove_all(blocker);
  } else {
    EXPECT_FALSE(fs::exists(temp)) << "the program never makes its working folder";
    fs::create_directory(temp);
  }
  EXPECT_EQ(TemporaryFilesUnder(scene.program()), std::vector<std::string>{});
  scene.ExpectNextRunWorks(kLarge);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, HostileWorkingFolder,
    testing::Values(
        // The export itself needs no working folder: only its preview stops.
        HostileCase{
            "NoWorkingFolder_Export", Command::Export, nullptr, {true, kWritten, kCopyFailed, 0}},
        HostileCase{"NoWorkingFolder_Import", Command::Import, nullptr, kNothingStaged},
        HostileCase{"FolderAtPictureDds_Export",
                    Command::Export,
                    "Picture.dds",
                    {true, kWritten, kCopyFailed, 0}},
        HostileCase{"FolderAtPictureLoadBmp_Export",
                    Command::Export,
                    "PictureLoad.bmp",
                    {true, kWritten, kSaveFailed, 0}},
        HostileCase{"FolderAtPictureLoadBmp_Import",
                    Command::Import,
                    "PictureLoad.bmp",
                    {true, kWritten, kSaveFailed, 0}},
        HostileCase{"FolderAtImportFile_Import", Command::Import, "ImportFile", kNothingStaged},
        HostileCase{"FolderAtPictureImportFile_Import", Command::Import, "PictureImportFile",
                    kNothingStaged}),
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
  EXPECT_EQ(TemporaryFilesUnder(scene.program()), std::vector<std::string>{});
  fs::create_directory(scene.textures());
  scene.Place(kLarge);
  scene.ExpectNextRunWorks(kLarge);
}

TEST(VanishingFolder, TheDdsFilesFolderGoingAfterStagingBuildsNothingButShowsTheStagedCopy) {
  Scene scene(Command::Import);
  ASSERT_NO_FATAL_FAILURE(scene.RunEarlier());
  scene.Place(kLarge);
  ASSERT_FALSE(StageCopy(scene.input(), scene.program(), WorkFile::ImportFile));
  ASSERT_FALSE(StageCopy(scene.input(), scene.program(), WorkFile::PictureImportFile));
  fs::remove_all(scene.textures());
  EXPECT_EQ(BuildContainer(scene.input(), scene.program()).outcome, ConvertOutcome::InputMissing);
  RecordingSink sink;
  EXPECT_TRUE(PreviewImported(scene.program(), sink).shown());
  EXPECT_EQ(sink.colour(), kRed);
  EXPECT_EQ(TemporaryFilesUnder(scene.program()), std::vector<std::string>{});
  fs::create_directory(scene.textures());
  scene.Place(kLarge);
  scene.ExpectNextRunWorks(kLarge);
}

// ---- A container that shrinks or grows while it is read.

struct EarlyEndCase {
  const char* name;
  std::uint64_t offset;    // where the copy starts in the source
  std::uint64_t position;  // where the output stands; 64 makes the copy unaligned
  std::uint64_t length;    // asked for, from a source of 3 MiB
};

class SourceEndingEarly : public testing::TestWithParam<EarlyEndCase> {};

TEST_P(SourceEndingEarly, FailsAsAReadFailure) {
  const EarlyEndCase& c = GetParam();
  TempFolder folder;
  WriteFile(folder / "in", Pattern(3 << 20));
  UniqueFd in(::open((folder / "in").c_str(), O_RDONLY | O_CLOEXEC));
  UniqueFd out(::open((folder / "out").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  ASSERT_TRUE(in.valid() && out.valid());
  ASSERT_EQ(::lseek(out.get(), static_cast<off_t>(c.position), SEEK_SET),
            static_cast<off_t>(c.position));
  const CopyFailure failure = CopyBytes(in.get(), c.offset, out.get(), c.length);
  EXPECT_TRUE(failure);
  EXPECT_TRUE(failure.whileReading);
}

INSTANTIATE_TEST_SUITE_P(Copies, SourceEndingEarly,
                         testing::Values(EarlyEndCase{"AlignedOneByteShort", 0, 0, (3 << 20) + 1},
                                         EarlyEndCase{"UnalignedOneByteShort", 64, 64,
                                                      (3 << 20) - 63},
                                         EarlyEndCase{"UnalignedManyChunksShort", 64, 64, 10 << 20},
                                         EarlyEndCase{"StartsPastTheEnd", 4 << 20, 0, 1},
                                         EarlyEndCase{"UnalignedStartsAtTheEnd", 3 << 20, 64, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// A file that another program cuts short and makes whole again, over and over, while it is
// copied: every copy either fails as a read failure and keeps the earlier output, or holds the
// file as it stood at one instant, never a mix of two (the copies move page-cache pages, which a
// cut zeroes in place).
struct ChangingCase {
  const char* name;
  std::size_t skipped;  // bytes of the input the output leaves out
  std::function<bool(const fs::path& input, const fs::path& program)> copy;  // true: written
  fs::path output;  // under the program folder
};

class ChangingInput : public testing::TestWithParam<ChangingCase> {};

TEST_P(ChangingInput, IsCopiedWholeOrNotAtAll) {
  const ChangingCase& c = GetParam();
  ProgramFolder program;
  const fs::path input = program / "input";
  const fs::path output = program.path() / c.output;
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
    const bool written = c.copy(input, program.path());
    const Bytes got = ReadFile(output);
    if (written) {
      // The file as it stood at one instant: the writer grows it in steps.
      EXPECT_GE(got.size(), cut - c.skipped) << "copy " << i;
      EXPECT_TRUE(got == Slice(whole, c.skipped, got.size()))
          << "copy " << i << " mixes two versions in " << got.size() << " bytes";
      earlier = got;
    } else {
      EXPECT_EQ(got, earlier) << "copy " << i;
    }
  }
  done = true;
  changer.join();
  EXPECT_EQ(TemporaryFilesUnder(program.path()), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Copies, ChangingInput,
    testing::Values(ChangingCase{"Export", 64,
                                 [](const fs::path& input, const fs::path&) {
                                   const ConvertResult result = ExportTexture(input);
                                   EXPECT_TRUE(result.written() ||
                                               result.outcome == ConvertOutcome::ReadFailed);
                                   return result.written();
                                 },
                                 "input.dds"},
                    ChangingCase{"Staging", 0,
                                 [](const fs::path& input, const fs::path& program) {
                                   return !StageCopy(input, program, WorkFile::ImportFile);
                                 },
                                 "Temp/ImportFile"}),
    [](const auto& info) { return std::string(info.param.name); });

// What the copies above rely on: a file's stamp tells a change made after it was taken.
struct ChangeCase {
  const char* name;
  std::function<void(int fd)> change;
  bool changed;
};

class StampAfterAChange : public testing::TestWithParam<ChangeCase> {};

TEST_P(StampAfterAChange, DiffersExactlyWhenTheFileChanged) {
  TempFolder folder;
  WriteFile(folder / "f", Pattern(5000));
  UniqueFd fd(::open((folder / "f").c_str(), O_RDWR | O_CLOEXEC));
  FileStamp before;
  ASSERT_FALSE(StampOf(fd.get(), before));
  GetParam().change(fd.get());
  EXPECT_EQ(static_cast<bool>(ExpectUnchanged(fd.get(), before)), GetParam().changed);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, StampAfterAChange,
    testing::Values(
        ChangeCase{"ReadOnly",
                   [](int fd) {
                     char byte;
                     ASSERT_EQ(::pread(fd, &byte, 1, 10), 1);
                   },
                   false},
        ChangeCase{"OneByteRewrittenInPlace",
                   [](int fd) { ASSERT_EQ(::pwrite(fd, "x", 1, 10), 1); }, true},
        ChangeCase{"CutShort", [](int fd) { ASSERT_EQ(::ftruncate(fd, 100), 0); }, true},
        ChangeCase{"Grown", [](int fd) { ASSERT_EQ(::pwrite(fd, "x", 1, 9000), 1); }, true}),
    [](const auto& info) { return std::string(info.param.name); });

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
