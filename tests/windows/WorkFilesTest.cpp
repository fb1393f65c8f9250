#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "container/TextureContainer.h"
#include "tests/support/TestFiles.h"
#include "workfiles/WorkingFiles.h"
#include "workfiles/WorkingFolderLock.h"

// The container and the working files on Windows, in a program folder whose name is not ASCII.
namespace sodrel {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::Pattern;

TEST(WindowsWorkFiles, ExportStageAndBuildGiveTheContainerBackUnderAWideName) {
  test::ProgramFolder program;
  const fs::path folder = program.path() / L"Mods \u00e9\u0434\u4e2d";
  fs::create_directory(folder);
  const fs::path container = folder / L"r\u00fcstung.bin";
  const Bytes header = Pattern(64, 64), payload = Pattern(3 << 20, 7);  // the template's header
  test::WriteFile(container, test::Concat(header, payload));

  ASSERT_TRUE(ExportTexture(container).ok());
  const fs::path dds = WithSuffix(container, kExportSuffix);
  EXPECT_EQ(test::ReadFile(dds), payload);
  ASSERT_TRUE(StageCopy(dds, program.path(), WorkFile::ImportFile).ok());
  ASSERT_TRUE(
      BuildContainer(dds, program.path(), WorkFilePath(program.path(), WorkFile::ImportFile)).ok());
  EXPECT_EQ(test::ReadFile(WithSuffix(dds, kBuildSuffix)), test::ReadFile(container));

  // The clean-up stops at the first working file missing, and never deletes a folder.
  fs::create_directory(WorkFilePath(program.path(), WorkFile::PictureDds));
  const CleanupResult cleared = ClearWorkingFiles(program.path());
  EXPECT_FALSE(cleared.ok());
  EXPECT_TRUE(fs::is_directory(WorkFilePath(program.path(), WorkFile::PictureDds)));
}

TEST(WindowsWorkFiles, ASecondLockOnTheWorkingFolderWaitsForTheFirst) {
  test::ProgramFolder program;
  std::atomic<bool> second{false};
  std::thread waiter;
  {
    const WorkingFolderLock first(program.path());
    ASSERT_TRUE(first.held()) << first.error().message();
    waiter = std::thread([&] {
      const WorkingFolderLock lock(program.path());
      second = lock.held();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(second);
  }
  waiter.join();
  EXPECT_TRUE(second);
}

}  // namespace
}  // namespace sodrel
