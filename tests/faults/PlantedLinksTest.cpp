// A link planted at a working file's name never makes a command write, nor the clean-up delete,
// the file it points to: every write into Temp/ replaces the name itself, and the clean-up
// removes the link. (tests/workfiles covers StageCopy alone.)
#include <gtest/gtest.h>

#include "container/TextureContainer.h"
#include "tests/faults/Support.h"
#include "ui/FileCommands.h"

namespace sodrel {
namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr const char* kNames[] = {"Picture.dds", "PictureLoad.bmp", "ImportFile",
                                  "PictureImportFile"};

enum class Targets { FilesElsewhere, TheCommandsOwnFiles };

class PlantedLinks : public testing::TestWithParam<Targets> {};

TEST_P(PlantedLinks, AreReplacedAndTheirTargetsNeverWrittenNorDeleted) {
  ProgramFolder program;
  const Bytes red = MakeDds(DdsFormat::Dxt1, 8, 8, kRed);
  const Bytes blue = MakeDds(DdsFormat::Dxt1, 8, 8, kBlue);
  WriteFile(program / "a.bin", Concat(Pattern(64), red));
  WriteFile(program / "a.bin.dds", red);
  WriteFile(program / "b.dds", blue);
  // Links at all four names, to files elsewhere or to the very files the commands copy from.
  std::vector<fs::path> targets;
  for (const char* name : kNames) {
    fs::path target = program / (std::string("elsewhere-") + name);
    if (GetParam() == Targets::TheCommandsOwnFiles) {
      target = std::string(name).starts_with("Picture") && name != std::string("PictureImportFile")
                   ? program / "a.bin.dds"
                   : program / "b.dds";
    } else {
      WriteFile(target, Pattern(50));
    }
    targets.push_back(target);
  }
  const auto plant = [&] {
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
      fs::remove(program.work(kNames[i]));
      fs::create_symlink(targets[i], program.work(kNames[i]));
    }
  };
  const auto expectTargetsUntouched = [&] {
    for (const fs::path& target : targets) {
      const Bytes now = ReadFile(target);
      EXPECT_TRUE(now == Pattern(50) || now == red || now == blue) << target << " was written";
    }
    EXPECT_EQ(ReadFile(program / "b.dds"), blue);
  };

  plant();
  RecordingSink sink;
  EXPECT_TRUE(RunExport(program / "a.bin", program.path(), sink).preview.shown());
  EXPECT_EQ(sink.colour(), kRed);
  const ImportRun import = RunImport(program / "b.dds", program.path(), sink);
  EXPECT_TRUE(import.built->written() && import.preview->shown());
  EXPECT_EQ(sink.colour(), kBlue);
  EXPECT_EQ(ReadFile(program / "a.bin.dds"), red);
  EXPECT_EQ(ReadFile(program / "b.dds.bin"), Concat(ReadFile(program.templatePath()), blue));
  for (const char* name : kNames) {
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(program.work(name)))) << name;
  }
  expectTargetsUntouched();

  plant();
  EXPECT_TRUE(RunCleanup(program.path()).allDeleted());
  EXPECT_TRUE(Entries(program / "Temp").empty());
  expectTargetsUntouched();
}

INSTANTIATE_TEST_SUITE_P(Links, PlantedLinks,
                         testing::Values(Targets::FilesElsewhere, Targets::TheCommandsOwnFiles),
                         [](const auto& info) {
                           return info.param == Targets::FilesElsewhere ? "ToFilesElsewhere"
                                                                        : "ToTheCommandsOwnFiles";
                         });

}  // namespace
}  // namespace sodrel
