// sodrel-bench: times our export, build, preview and thumbnail against the usual command-line
// tools.
//
//   sodrel-bench suite --work DIR [--quick] [--runs N] [--warmups N] [--only PREFIX]
//   sodrel-bench export CONTAINER          one export, as the window's export command does it
//   sodrel-bench build DDS PROGRAM_FOLDER  one build from the staged Temp/ImportFile
//   sodrel-bench texture PATH dxt1|dxt5|rgba32|bc7|bc6h SIDE [mips]   writes a test texture (with
//                                                   its mip chain), for the suite and profiling
//   sodrel-bench folder PATH COUNT SMALLEST LARGEST   writes a folder of COUNT textures
//                                                     (PlanTextureFolder), for the batch cases
//
// Each timed run of ours is one start of this program doing one operation, so it pays process
// start-up like the peer commands do. This program links only the container code; the preview
// runs in sodrel-bench-preview, which links Qt and the image library.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "bench/Generate.h"
#include "bench/Suite.h"
#include "container/TextureContainer.h"
#include "workfiles/WorkingFiles.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: sodrel-bench suite --work DIR [--quick] [--runs N] [--warmups N] "
               "[--only PREFIX] [--template PATH]\n"
               "       sodrel-bench export CONTAINER\n"
               "       sodrel-bench build DDS PROGRAM_FOLDER\n"
               "       sodrel-bench texture PATH dxt1|dxt5|rgba32|bc7|bc6h SIDE [mips]\n"
               "       sodrel-bench folder PATH COUNT SMALLEST LARGEST\n");
  return 2;
}

int Finish(const sodrel::ConvertResult& result) {
  if (result.ok()) return 0;
  std::fprintf(stderr, "%s%s%s\n", std::string(sodrel::Describe(result.outcome)).c_str(),
               result.error ? ": " : "", result.error ? result.error.message().c_str() : "");
  return 1;
}

bool ParseCount(const char* text, int& value) {
  char* end = nullptr;
  const long parsed = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || parsed < 0 || parsed > 100000) return false;
  value = static_cast<int>(parsed);
  return true;
}

int Texture(const char* path, std::string_view name, const char* sideText, bool mips) {
  using sodrel::bench::TextureFormat;
  int side = 0;
  if (!ParseCount(sideText, side) || side == 0) return Usage();
  for (TextureFormat format : sodrel::bench::kTextureFormats) {
    if (name != sodrel::bench::FormatName(format)) continue;
    const auto size = static_cast<std::uint32_t>(side);
    if (std::error_code error = sodrel::bench::WriteTexture(path, format, size, size, mips)) {
      std::fprintf(stderr, "sodrel-bench: %s\n", error.message().c_str());
      return 1;
    }
    return 0;
  }
  return Usage();
}

int Folder(const char* path, const char* countText, const char* smallestText,
           const char* largestText) {
  int count = 0, smallest = 0, largest = 0;
  if (!ParseCount(countText, count) || !ParseCount(smallestText, smallest) ||
      !ParseCount(largestText, largest) || smallest == 0 || largest < smallest) {
    return Usage();
  }
  namespace bench = sodrel::bench;
  const auto plan = bench::PlanTextureFolder(static_cast<std::size_t>(count),
                                             static_cast<std::uint32_t>(smallest),
                                             static_cast<std::uint32_t>(largest));
  if (std::error_code error = bench::WriteTextureFolder(path, plan)) {
    std::fprintf(stderr, "sodrel-bench: %s\n", error.message().c_str());
    return 1;
  }
  return 0;
}

int Suite(int argc, char** argv) {
  namespace fs = std::filesystem;
  sodrel::bench::SuiteOptions options;
  options.headerTemplate = SODREL_BENCH_TEMPLATE;
  for (int i = 2; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--quick") {
      options.quick = true;
      options.warmups = 0;
      options.runs = 1;
    } else if (arg == "--work" && hasValue) {
      options.work = argv[++i];
    } else if (arg == "--template" && hasValue) {
      options.headerTemplate = argv[++i];
    } else if (arg == "--only" && hasValue) {
      options.only = argv[++i];
    } else if (arg == "--runs" && hasValue) {
      if (!ParseCount(argv[++i], options.runs) || options.runs == 0) return Usage();
    } else if (arg == "--warmups" && hasValue) {
      if (!ParseCount(argv[++i], options.warmups)) return Usage();
    } else {
      return Usage();
    }
  }
  std::error_code error;
  if (options.work.empty() || !fs::is_directory(options.work, error) ||
      !fs::is_empty(options.work, error)) {
    std::fprintf(stderr, "sodrel-bench: --work must name an empty folder\n");
    return 2;
  }
  options.benchProgram = fs::read_symlink("/proc/self/exe", error);
  if (error) options.benchProgram = fs::absolute(argv[0]);
  options.previewProgram = options.benchProgram.parent_path() / "sodrel-bench-preview";
  options.convertProgram = SODREL_BENCH_CONVERT;
  options.encodeProgram = options.benchProgram.parent_path() / "sodrel-bench-encode";
  options.psnrScript = SODREL_BENCH_PSNR_SCRIPT;
  return sodrel::bench::RunSuite(options);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string_view command = argv[1];
  if (command == "export" && argc == 3) return Finish(sodrel::ExportTexture(argv[2]));
  if (command == "build" && argc == 4) {
    return Finish(sodrel::BuildContainer(
        argv[2], argv[3], sodrel::WorkFilePath(argv[3], sodrel::WorkFile::ImportFile)));
  }
  if (command == "texture" && (argc == 5 || (argc == 6 && argv[5] == std::string_view("mips")))) {
    return Texture(argv[2], argv[3], argv[4], argc == 6);
  }
  if (command == "folder" && argc == 6) return Folder(argv[2], argv[3], argv[4], argv[5]);
  if (command == "suite") return Suite(argc, argv);
  return Usage();
}
