#include "workfiles/WorkingFiles.h"

#include <gtest/gtest.h>

#include "tests/support/TestFiles.h"

namespace sodrel {
namespace {

using test::Pattern;
using test::ReadFile;
using test::WriteFile;
namespace fs = std::filesystem;

TEST(WorkingFiles, NamesKeepTheirExactLettersUnderTemp) {
  const fs::path program = "/opt/sodrel";
  EXPECT_EQ(WorkFilePath(program, WorkFile::PictureDds), "/opt/sodrel/Temp/Picture.dds");
  EXPECT_EQ(WorkFilePath(program, WorkFile::PictureLoadBmp), "/opt/sodrel/Temp/PictureLoad.bmp");
  EXPECT_EQ(WorkFilePath(program, WorkFile::ImportFile), "/opt/sodrel/Temp/ImportFile");
  EXPECT_EQ(WorkFilePath(program, WorkFile::PictureImportFile),
            "/opt/sodrel/Temp/PictureImportFile");
}

struct CleanupCase {
  const char* name;
  std::set<std::string> present;    // working files there before the clean-up
  std::set<std::string> remaining;  // working files there after it
  int deleted;
  friend void PrintTo(const CleanupCase& c, std::ostream* os) { *os << c.name; }
};

class Cleanup : public testing::TestWithParam<CleanupCase> {};

TEST_P(Cleanup, DeletesInOrderAndStopsAtTheFirstMissingFile) {
  test::ProgramFolder program;
  for (const std::string& name : GetParam().present) WriteFile(program.work(name), Pattern(8));
  const CleanupResult result = ClearWorkingFiles(program.path());
  EXPECT_EQ(result.deleted, GetParam().deleted);
  EXPECT_EQ(result.allDeleted(), GetParam().deleted == 4);
  EXPECT_EQ(static_cast<bool>(result.error), GetParam().deleted != 4);
  EXPECT_EQ(test::Entries(program / "Temp"), GetParam().remaining);
}

INSTANTIATE_TEST_SUITE_P(
    WhatIsThere, Cleanup,
    testing::Values(CleanupCase{"Nothing", {}, {}, 0},
                    CleanupCase{"ExportsOnly", {"Picture.dds", "PictureLoad.bmp"}, {}, 2},
                    CleanupCase{"ImportsOnly",
                                {"PictureLoad.bmp", "ImportFile", "PictureImportFile"},
                                {"PictureLoad.bmp", "ImportFile", "PictureImportFile"},
                                0},
                    CleanupCase{
                        "ExportsOnlyWithImportsLeftByAnEarlierRun",
                        {"Picture.dds", "PictureLoad.bmp", "ImportFile", "PictureImportFile"},
                        {},
                        4},
                    CleanupCase{"GapInTheMiddle",
                                {"Picture.dds", "PictureLoad.bmp", "PictureImportFile"},
                                {"PictureImportFile"},
                                2},
                    CleanupCase{"OtherFilesAreNotOurs",
                                {"Picture.dds", "PictureLoad.bmp", "ImportFile",
                                 "PictureImportFile", "notes.txt"},
                                {"notes.txt"},
                                4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Cleanup, AWorkingFileThatCannotBeDeletedStopsTheCleanupThere) {
  test::ProgramFolder program;
  WriteFile(program.work("Picture.dds"), Pattern(8));
  WriteFile(program.work("PictureLoad.bmp"), Pattern(8));
  // Even root cannot unlink a directory, empty or not.
  fs::create_directory(program.work("ImportFile"));
  WriteFile(program.work("ImportFile") / "x", Pattern(1));
  WriteFile(program.work("PictureImportFile"), Pattern(8));

  const CleanupResult result = ClearWorkingFiles(program.path());
  EXPECT_EQ(result.deleted, 2);
  EXPECT_TRUE(result.error);
  EXPECT_TRUE(fs::exists(program.work("ImportFile") / "x"));
  EXPECT_TRUE(fs::exists(program.work("PictureImportFile")));
}

TEST(Cleanup, AMissingWorkingFolderStopsAtTheFirstFile) {
  test::TempFolder program;
  EXPECT_EQ(ClearWorkingFiles(program.path()).deleted, 0);
}

TEST(StageCopy, ReplacesAnEarlierCopyWithTheWholeFile) {
  test::ProgramFolder program;
  WriteFile(program.work("ImportFile"), Pattern(5000, 1));
  WriteFile(program / "a.dds", Pattern(70, 2));
  EXPECT_FALSE(StageCopy(program / "a.dds", program.path(), WorkFile::ImportFile));
  EXPECT_EQ(ReadFile(program.work("ImportFile")), Pattern(70, 2));
  EXPECT_EQ(test::Entries(program / "Temp"), std::set<std::string>{"ImportFile"});
}

TEST(StageCopy, FailsWithoutTouchingTheWorkingFolderWhenTheSourceOrTempIsUnusable) {
  test::ProgramFolder program;
  WriteFile(program.work("ImportFile"), Pattern(50, 1));
  EXPECT_TRUE(StageCopy(program / "missing.dds", program.path(), WorkFile::ImportFile));
  EXPECT_EQ(ReadFile(program.work("ImportFile")), Pattern(50, 1));
  EXPECT_EQ(test::Entries(program / "Temp"), std::set<std::string>{"ImportFile"});

  // Temp replaced by a plain file: the copy's folder is not a folder.
  WriteFile(program / "a.dds", Pattern(70, 2));
  fs::remove_all(program / "Temp");
  WriteFile(program / "Temp", Pattern(4));
  EXPECT_TRUE(StageCopy(program / "a.dds", program.path(), WorkFile::ImportFile));
  EXPECT_EQ(ReadFile(program / "Temp"), Pattern(4));
}

TEST(StageCopy, ALinkPlantedAtAWorkingFileNameNeverRedirectsTheWrite) {
  test::ProgramFolder program;
  WriteFile(program / "victim", Pattern(40, 3));
  fs::create_symlink(program / "victim", program.work("PictureImportFile"));
  WriteFile(program / "a.dds", Pattern(70, 2));
  EXPECT_FALSE(StageCopy(program / "a.dds", program.path(), WorkFile::PictureImportFile));
  EXPECT_EQ(ReadFile(program / "victim"), Pattern(40, 3));
  EXPECT_FALSE(fs::is_symlink(program.work("PictureImportFile")));
  EXPECT_EQ(ReadFile(program.work("PictureImportFile")), Pattern(70, 2));
}

}  // namespace
}  // namespace sodrel
