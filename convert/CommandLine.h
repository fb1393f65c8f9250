#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sodrel::convert {

enum class Command { Export, Build, Info, Thumbnail, Png };

// Where `build` takes the 64-byte header of every container it writes.
enum class HeaderSource {
  ProgramTemplate,  // KX00.dll, the one the window reads (workfiles/WorkPlaces.h)
  TemplateFile,     // --template FILE: its first 64 bytes, a shorter file padded with zeros
  Container,        // --header-from CONTAINER: the header of an existing container
  Originals,        // --originals DIR: each DDS file's own original container in DIR
};

// build --originals: what becomes of an input whose layout differs from its original's.
enum class LayoutChange {
  Refuse,
  BuildAsIs,  // --as-is: built all the same, with a warning
  Reencode,   // --reencode: converted into the original's layout
};

struct Options {
  Command command = Command::Export;
  std::vector<std::filesystem::path> paths;  // files and folders, exactly as given
  bool recursive = false;
  bool dryRun = false;
  bool force = false;               // replace existing outputs
  bool update = false;              // replace an existing output when an input is newer than it
  bool raw = false;                 // export and build: copy bytes whatever the file holds
  bool quiet = false;               // only failures on stderr
  unsigned jobs = 0;                // files converted at once; 0: one per processor
  std::filesystem::path outputDir;  // empty: each output beside its input
  HeaderSource headerSource = HeaderSource::ProgramTemplate;
  std::filesystem::path headerPath;                  // for TemplateFile, Container and Originals
  LayoutChange layoutChange = LayoutChange::Refuse;  // for Originals
  std::uint32_t size = 256;  // thumbnail: the picture fits size x size; 0 keeps it whole
  bool topLevel = false;     // thumbnail: from the top surface, not a stored mip level
};

inline constexpr unsigned kMostJobs = 256;

struct CommandLine {
  enum class Action { Run, ShowHelp, ShowVersion, UsageError };
  Action action = Action::UsageError;
  Options options;
  std::string text;  // the help text, or what is wrong with the command line
};

// File names are taken byte for byte, whatever their encoding, on Windows as UTF-8.
CommandLine ParseCommandLine(int argc, char** argv);

}  // namespace sodrel::convert
