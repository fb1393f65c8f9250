// Two instances started from the same program folder share its four working files; the working
// folder's lock makes their commands and clean-ups take turns.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <QLineEdit>
#include <chrono>
#include <future>
#include <thread>

#include "container/TextureContainer.h"
#include "tests/faults/Support.h"
#include "ui/FileCommands.h"
#include "ui/frmMain.h"
#include "workfiles/WorkingFiles.h"
#include "workfiles/WorkingFolderLock.h"

extern char** environ;

namespace sodrel {
namespace {

using namespace test;
namespace fs = std::filesystem;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Whether another open file description of the working folder could take the lock now.
bool OthersCanLock(const ProgramFolder& program) {
  UniqueFd other(::open((program / "Temp").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return ::flock(other.get(), LOCK_EX | LOCK_NB) == 0;
}

TEST(WorkingFolderLock, KeepsOthersOutUntilItGoes) {
  ProgramFolder program;
  {
    const WorkingFolderLock lock(program.path());
    EXPECT_TRUE(lock.held());
    EXPECT_FALSE(OthersCanLock(program));
  }
  EXPECT_TRUE(OthersCanLock(program));
}

TEST(WorkingFolderLock, IsNotHeldAndDoesNotWaitWithoutAWorkingFolder) {
  ProgramFolder program;
  fs::remove(program / "Temp");
  EXPECT_EQ(WorkingFolderLock(program.path()).error(), std::errc::no_such_file_or_directory);
  WriteFile(program / "Temp", Pattern(3));
  const WorkingFolderLock lock(program.path());
  EXPECT_FALSE(lock.held());
  EXPECT_EQ(lock.error(), std::errc::not_a_directory);
}

// The other instance: takes the lock, says so, holds it for `hold`, runs `work` and lets go.
std::thread OtherInstance(const ProgramFolder& program, milliseconds hold,
                          std::function<void()> work, std::promise<void>& holding) {
  return std::thread([&program, hold, work = std::move(work), &holding] {
    const WorkingFolderLock lock(program.path());
    holding.set_value();
    std::this_thread::sleep_for(hold);
    work();
  });
}

TEST(WorkingFolderLock, AnImportWaitsForTheOtherInstancesCommand) {
  ProgramFolder program;
  const Bytes dds = MakeDds(DdsFormat::Dxt1, 8, 8, kBlue);
  WriteFile(program / "a.dds", dds);
  std::promise<void> holding;
  // The other instance stages its own file while it holds the lock.
  std::thread other = OtherInstance(
      program, milliseconds(300),
      [&] { WriteFile(program.work("ImportFile"), Pattern(dds.size())); }, holding);
  holding.get_future().wait();
  const auto start = Clock::now();
  RecordingSink sink;
  const ImportRun run = RunImport(program / "a.dds", program.path(), sink);
  EXPECT_GE(Clock::now() - start, milliseconds(250));
  other.join();
  EXPECT_TRUE(run.built && run.built->written());
  EXPECT_EQ(ReadFile(program / "a.dds.bin"), Concat(ReadFile(program.templatePath()), dds));
  EXPECT_EQ(sink.colour(), kBlue);
}

TEST(WorkingFolderLock, ClosingTheWindowWaitsAndThenDeletesTheOtherInstancesFiles) {
  ProgramFolder program;
  frmMain window(program.path());
  window.findChild<QLineEdit*>(QStringLiteral("OpenFile"))->setText("/x/a.dds");
  std::promise<void> holding;
  std::thread other = OtherInstance(
      program, milliseconds(300),
      [&] {
        for (const char* name :
             {"Picture.dds", "PictureLoad.bmp", "ImportFile", "PictureImportFile"}) {
          WriteFile(program.work(name), Pattern(4));
        }
      },
      holding);
  holding.get_future().wait();
  window.show();
  const auto start = Clock::now();
  EXPECT_TRUE(window.close());
  EXPECT_GE(Clock::now() - start, milliseconds(250));
  other.join();
  EXPECT_TRUE(Entries(program / "Temp").empty());
  EXPECT_TRUE(window.currentPath().isEmpty()) << "all four went, so the path is emptied";
}

pid_t Spawn(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  EXPECT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
  return pid;
}

// Two processes import and export textures of the same length but different colours, hundreds of
// times each, in one program folder: each container must hold its own DDS file and each picture
// shown must be its own. Without the lock the staged copies of one are built and shown by the
// other within a few rounds.
TEST(TwoInstances, EachBuildsAndShowsOnlyItsOwnTextures) {
  ProgramFolder program;
  const std::vector<std::pair<std::string, Rgb>> instances = {{"first", kRed}, {"second", kGreen}};
  std::vector<pid_t> running;
  for (const auto& [name, colour] : instances) {
    const Bytes dds = MakeDds(DdsFormat::Dxt1, 64, 64, colour);
    WriteFile(program / (name + ".dds"), dds);
    WriteFile(program / (name + ".bin"), Concat(Pattern(64, 2), dds));
    running.push_back(Spawn({SODREL_INSTANCE_LOOP, program.path().string(), program.path().string(),
                             name, std::to_string(colour.r), std::to_string(colour.g),
                             std::to_string(colour.b), "300"}));
  }
  for (pid_t pid : running) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "see the instance's stderr";
  }
}

}  // namespace
}  // namespace sodrel
