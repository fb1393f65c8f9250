#include "workfiles/WorkingFiles.h"

#include <gtest/gtest.h>

#include "tests/support/TestFiles.h"

using namespace sodrel;
using namespace sodrel::test;
namespace fs = std::filesystem;
using Names = std::set<std::string>;

struct CleanupCase {
  const char* name;
  Names present;    // in Temp/ before the clean-up; "ImportFile/" is a folder of that name
  Names remaining;  // in Temp/ after it
  int deleted;
};

// The clean-up deletes in its order and stops at the first name it cannot delete.
const CleanupCase kCleanups[] = {
    {"Nothing", {}, {}, 0},
    {"ExportsOnly", {"Picture.dds", "PictureLoad.bmp"}, {}, 2},
    {"ImportsOnly",
     {"PictureLoad.bmp", "ImportFile", "PictureImportFile"},
     {"PictureLoad.bmp", "ImportFile", "PictureImportFile"},
     0},
    {"GapInTheMiddle",
     {"Picture.dds", "PictureLoad.bmp", "PictureImportFile"},
     {"PictureImportFile"},
     2},
    {"AFolderStopsIt",
     {"Picture.dds", "PictureLoad.bmp", "ImportFile/", "PictureImportFile"},
     {"ImportFile", "PictureImportFile"},
     2},
    {"AllAndAFileNotOurs",
     {"Picture.dds", "PictureLoad.bmp", "ImportFile", "PictureImportFile", "notes.txt"},
     {"notes.txt"},
     4},
};

class Cleanup : public testing::TestWithParam<CleanupCase> {};

TEST_P(Cleanup, DeletesInOrderAndStopsAtTheFirstItCannotDelete) {
  ProgramFolder program;
  for (std::string name : GetParam().present) {
    name.ends_with('/') ? void(fs::create_directories(program.work(name) / "inside"))
                        : WriteFile(program.work(name), Pattern(8));
  }
  const CleanupResult result = ClearWorkingFiles(program.path());
  EXPECT_EQ(result.deleted, GetParam().deleted);
  EXPECT_EQ(result.allDeleted(), GetParam().deleted == 4);
  EXPECT_EQ(static_cast<bool>(result.error), GetParam().deleted != 4);
  EXPECT_EQ(Entries(program / "Temp"), GetParam().remaining);
}

INSTANTIATE_TEST_SUITE_P(WhatIsThere, Cleanup, testing::ValuesIn(kCleanups),
                         [](const auto& info) { return std::string(info.param.name); });
