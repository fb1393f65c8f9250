// One instance of the program, for the two-instance test: runs the window's two commands in turn
// on its own container NAME.bin and its own DDS file NAME.dds, COUNT times, in a program folder
// another instance uses at the same time. After each command it checks that it wrote and showed
// its own texture, whose every pixel is RED,GREEN,BLUE. Exits 1 when any check failed.
// Usage: instance_loop PROGRAM_FOLDER TEXTURE_FOLDER NAME RED GREEN BLUE COUNT
#include <cstdio>
#include <cstdlib>
#include <string>

#include "container/TextureContainer.h"
#include "tests/faults/Support.h"
#include "ui/FileCommands.h"

using namespace sodrel;
using namespace sodrel::test;
namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc != 8) {
    std::fprintf(stderr, "usage: instance_loop PROGRAM TEXTURES NAME RED GREEN BLUE COUNT\n");
    return 2;
  }
  const fs::path program = argv[1];
  const fs::path container = fs::path(argv[2]) / (std::string(argv[3]) + ".bin");
  const fs::path dds = fs::path(argv[2]) / (std::string(argv[3]) + ".dds");
  const Rgb colour{std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6])};
  const int count = std::atoi(argv[7]);
  const Bytes exported = Slice(ReadFile(container), kContainerHeaderSize);
  const Bytes built = Concat(ReadFile(HeaderTemplatePath(program)), ReadFile(dds));

  int failures = 0;
  const auto check = [&](bool ok, int round, const char* what) {
    if (ok) return;
    if (++failures <= 5) std::fprintf(stderr, "%s, round %d: %s\n", argv[3], round, what);
  };
  for (int round = 0; round < count; ++round) {
    RecordingSink sink;
    const ExportRun exportRun = RunExport(container, program, sink);
    check(exportRun.preview.shown(), round, "the export was not shown");
    check(ReadFile(WithSuffix(container, kExportSuffix)) == exported, round, "wrong export");
    check(sink.calls == 1 && sink.colour() == colour, round, "the export showed another picture");

    const ImportRun importRun = RunImport(dds, program, sink);
    check(!importRun.staging && importRun.preview && importRun.preview->shown(), round,
          "the import was not shown");
    check(ReadFile(WithSuffix(dds, kBuildSuffix)) == built, round, "the container is another's");
    check(sink.calls == 2 && sink.colour() == colour, round, "the import showed another picture");
  }
  if (failures > 0)
    std::fprintf(stderr, "%s: %d of %d checks failed\n", argv[3], failures, count * 6);
  return failures == 0 ? 0 : 1;
}
