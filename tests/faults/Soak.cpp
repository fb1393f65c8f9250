// The soak: 10,000 commands, exports and imports in turn, on textures of random formats and
// sizes, every output checked byte for byte and every picture checked; the process's open
// descriptors and its memory must be as flat at the end as after the first 200 commands.
// Not in the default run: configure with -DSODREL_SOAK=ON and run `ctest -L soak`, or run
// tests/soak_test in the build folder. SODREL_SOAK_COMMANDS changes the number of commands.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>

#include "container/TextureContainer.h"
#include "tests/faults/Support.h"
#include "ui/FileCommands.h"

namespace sodrel {
namespace {

using namespace test;
namespace fs = std::filesystem;

int OpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count - 1;  // the iterator's own
}

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmRSS:")) return std::atol(line.c_str() + 6);
  }
  return -1;
}

struct Usage {
  int descriptors = OpenDescriptors();
  long residentKiB = ResidentKiB();
};

TEST(Soak, TenThousandCommandsCheckedByteForByteWithFlatDescriptorsAndMemory) {
  const char* asked = std::getenv("SODREL_SOAK_COMMANDS");
  const int commands = asked ? std::atoi(asked) : 10000;
  const int warmUp = std::min(200, commands / 2);
  ProgramFolder program;
  const Bytes header = ReadFile(program.templatePath());
  std::mt19937 random(20261206);
  const auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  const DdsFormat formats[] = {DdsFormat::Dxt1, DdsFormat::Dxt3, DdsFormat::Dxt5, DdsFormat::Rgb24,
                               DdsFormat::Rgb32};
  const Rgb colours[] = {kRed, kGreen, kBlue, kWhite};

  const Usage start;
  Usage warm;
  const auto began = std::chrono::steady_clock::now();
  std::uint64_t bytesChecked = 0;
  for (int i = 0; i < commands; ++i) {
    if (i == warmUp) warm = Usage();
    // Sides of 4 to 300 pixels, rounded to whole blocks, and up to 64 KiB of bytes after the
    // texture, so that lengths fall on every alignment.
    const DdsFormat format = formats[pick(0, 4)];
    const Rgb colour = colours[pick(0, 3)];
    const auto side = [&] { return static_cast<std::uint32_t>(pick(1, 75) * 4); };
    const Bytes dds = Concat(MakeDds(format, side(), side(), colour),
                             Pattern(static_cast<std::size_t>(pick(0, 65536)), i));
    RecordingSink sink;
    if (i % 2 == 0) {
      const fs::path container = program / "soak.bin";
      WriteFile(container, Concat(Pattern(64, i), dds));
      const ExportRun run = RunExport(container, program.path(), sink);
      ASSERT_TRUE(run.exported.written()) << "command " << i;
      ASSERT_EQ(ReadFile(WithSuffix(container, kExportSuffix)), dds) << "command " << i;
    } else {
      const fs::path file = program / "soak.dds";
      WriteFile(file, dds);
      const ImportRun run = RunImport(file, program.path(), sink);
      ASSERT_TRUE(run.built && run.built->written()) << "command " << i;
      ASSERT_EQ(ReadFile(WithSuffix(file, kBuildSuffix)), Concat(header, dds)) << "command " << i;
    }
    bytesChecked += dds.size();
    ASSERT_EQ(sink.calls, 1) << "command " << i;
    ASSERT_EQ(sink.colour(), colour) << "command " << i;
  }
  const Usage end;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

  std::cout << commands << " commands in " << seconds << " s, " << (bytesChecked >> 20)
            << " MiB of textures checked\n"
            << "open descriptors: " << start.descriptors << " at the start, " << warm.descriptors
            << " after " << warmUp << " commands, " << end.descriptors << " at the end\n"
            << "resident memory: " << start.residentKiB << " KiB at the start, " << warm.residentKiB
            << " KiB after " << warmUp << " commands, " << end.residentKiB << " KiB at the end\n";
  EXPECT_EQ(end.descriptors, warm.descriptors);
  EXPECT_EQ(end.descriptors, start.descriptors);
  // Allocator caches may still settle a little after the warm-up; a leak of even a few hundred
  // bytes a command would pass 4 MiB over 10,000 commands.
  EXPECT_LT(end.residentKiB - warm.residentKiB, 4 * 1024);
}

}  // namespace
}  // namespace sodrel
