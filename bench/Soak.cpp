// The soak: 10,000 commands, exports and imports in turn, on textures of random formats and
// sizes, every output checked byte for byte and every picture checked; the process's open
// descriptors and its memory must be as flat at the end as after the first 200 commands.
// Usage: build/bench/sodrel-soak [COMMANDS]; exit status 0 when every check held.

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>

#include "container/TextureContainer.h"
#include "tests/support/RecordingSink.h"
#include "ui/FileCommands.h"
#include "workfiles/WorkingFiles.h"

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

// Stops the soak with what went wrong at command `i`.
bool Check(bool ok, int i, const char* what) {
  if (!ok) std::cerr << "command " << i << ": " << what << "\n";
  return ok;
}

int Soak(int commands) {
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
      const ExportRun run = ExportAndPreview(container, program.path(), sink);
      if (!Check(run.exported.ok(), i, "not exported") ||
          !Check(ReadFile(WithSuffix(container, kExportSuffix)) == dds, i, "wrong export")) {
        return 1;
      }
    } else {
      const fs::path file = program / "soak.dds";
      WriteFile(file, dds);
      const ImportRun run = RunImport(file, program.path(), sink);
      if (!Check(run.built && run.built->ok(), i, "not built") ||
          !Check(ReadFile(WithSuffix(file, kBuildSuffix)) == Concat(header, dds), i,
                 "wrong container")) {
        return 1;
      }
    }
    bytesChecked += dds.size();
    if (!Check(sink.calls == 1 && sink.colour() == colour, i, "wrong picture")) return 1;
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
  // Allocator caches may still settle a little after the warm-up; a leak of even a few hundred
  // bytes a command would pass 4 MiB over 10,000 commands.
  const bool flat = end.descriptors == warm.descriptors && end.descriptors == start.descriptors &&
                    end.residentKiB - warm.residentKiB < 4 * 1024;
  std::cout << (flat ? "flat: passed\n" : "FAILED: descriptors or memory grew\n");
  return flat ? 0 : 1;
}

}  // namespace
}  // namespace sodrel

int main(int argc, char** argv) {
  return sodrel::Soak(argc > 1 ? std::atoi(argv[1]) : 10000);
}
