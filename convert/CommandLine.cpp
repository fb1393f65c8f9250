#include "convert/CommandLine.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string>

#include "convert/OptionParser.h"
#include "convert/Picture.h"
#include "io/FileStatus.h"

namespace sodrel::convert {
namespace {

constexpr char kDescription[] =
    "Converts texture containers and DDS files in batches, with the same routines as the window.\n"
    "\n"
    "Commands:\n"
    "  export FILE|DIR...  write each container's DDS file to its name + \".dds\"\n"
    "  build FILE|DIR...   write each DDS file into a container named after it + \".bin\"\n"
    "                      (with --originals: NAME.bin.dds, or a picture NAME.bin.png, .tga,\n"
    "                      .bmp, .tif, becomes NAME.bin again, in its original's layout)\n"
    "  png FILE|DIR...     write each container's or DDS file's texture to its name + \".png\"\n"
    "  info FILE...        show what a file is: size, first 64 bytes, DDS format\n"
    "  thumbnail [--size N] [--top-level] INPUT OUTPUT.png\n"
    "                      write the texture of a container or DDS file as a PNG picture\n"
    "\n"
    "A folder stands for the .bin (export), .dds (build) or both (png) files directly in it.\n"
    "An output that exists is kept (and reported) unless --force is given; no command writes\n"
    "over one of its inputs. Exit status: 0 when no file failed, 1 when any failed, 2 for a usage\n"
    "error, 128 + the signal's number when interrupted.\n";

constexpr char kExamples[] =
    "\n"
    "Examples:\n"
    "  Take a game's textures out, edit them, and build containers the game accepts again:\n"
    "    sodrel-convert export -r -o work/ game/\n"
    "    sodrel-convert build -r --originals game/ -o mod/ work/\n"
    "  See every texture of a folder tree as PNG pictures, four at a time, beside them:\n"
    "    sodrel-convert png -r -j 4 game/\n"
    "  What is this file, and what does its texture look like at 128 pixels?\n"
    "    sodrel-convert info rock.bin && sodrel-convert thumbnail --size 128 rock.bin rock.png\n";

constexpr OptionEntry kOptions[] = {
    {'h', "help", "", "Displays help on commandline options."},
    {'v', "version", "", "Displays version information."},
    {'r', "recursive", "", "Also take the matching files of every subfolder of a folder."},
    {'o', "output-dir", "DIR",
     "Write the outputs into DIR, each at its input's path inside the folder it was found in "
     "(its name alone for a file given). Folders are made as needed."},
    {'f', "force", "", "Replace outputs that exist, read-only ones included."},
    {'u', "update", "",
     "Replace an output that exists only when one of its inputs is newer than it."},
    {'j', "jobs", "N", "Convert N files at once (default: one per processor)."},
    {0, "originals", "DIR",
     "build: take each REL/NAME.bin.dds's header from its original container DIR/REL/NAME.bin "
     "and name the output NAME.bin."},
    {0, "as-is", "",
     "build --originals: build an input whose layout differs from its original's all the same, "
     "with a warning."},
    {0, "reencode", "",
     "build --originals: convert an input whose layout differs from its original's into the "
     "original's layout."},
    {0, "template", "FILE",
     "build: take the header from the first 64 bytes of FILE instead of KX00.dll."},
    {0, "header-from", "CONTAINER", "build: take the header of the existing container CONTAINER."},
    {0, "raw", "", "export, build: copy the bytes whatever the file holds (for unknown layouts)."},
    {0, "dry-run", "", "List the files that would be written, one per line, and write nothing."},
    {'q', "quiet", "", "Print failures only."},
    {0, "size", "N",
     "thumbnail: fit the picture in N x N pixels (default 256; 0 keeps the full size)."},
    {0, "top-level", "",
     "thumbnail: scale the full-size texture, not its smaller copy (mip level)."},
};

constexpr ArgumentHelp kArguments[] = {
    {"command", "export, build, png, info or thumbnail."},
    {"paths", "Files, or folders of files, to convert or show."},
};

constexpr std::array<std::pair<std::string_view, Command>, 5> kCommands = {{
    {"export", Command::Export},
    {"build", Command::Build},
    {"png", Command::Png},
    {"info", Command::Info},
    {"thumbnail", Command::Thumbnail},
}};

CommandLine UsageError(std::string text) {
  return {CommandLine::Action::UsageError, {}, std::move(text)};
}

// A whole number from `least` to `most`, spaces around it and a "+" before it allowed.
std::optional<unsigned> Number(std::string text, unsigned least, unsigned most) {
  const std::size_t first = text.find_first_not_of(" \t\n\v\f\r");
  if (first == std::string::npos) return std::nullopt;
  text = text.substr(first, text.find_last_not_of(" \t\n\v\f\r") + 1 - first);
  const char* begin = text.data() + (text[0] == '+' && text.size() > 1 && text[1] != '-');
  unsigned value = 0;
  const auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < least || value > most) return std::nullopt;
  return value;
}

// export, build and png: the options of a batch.
std::string ReadBatchOptions(const ParsedOptions& parsed, Options& options) {
  options.recursive = parsed.Has("recursive");
  options.dryRun = parsed.Has("dry-run");
  options.force = parsed.Has("force");
  options.update = parsed.Has("update");
  if (options.force && options.update) return "give one of --force and --update";
  if (const auto dir = parsed.Value("output-dir")) {
    options.outputDir = PathFromText(*dir);
    if (options.outputDir.empty()) return "--output-dir takes a folder";
  }
  if (const auto jobs = parsed.Value("jobs")) {
    const auto number = Number(*jobs, 1, kMostJobs);
    if (!number) return "--jobs takes a whole number from 1 to " + std::to_string(kMostJobs);
    options.jobs = *number;
  }
  return {};
}

// build: where its headers come from.
std::string ReadHeaderSource(const ParsedOptions& parsed, Options& options) {
  const std::pair<std::string_view, HeaderSource> sources[] = {
      {"template", HeaderSource::TemplateFile},
      {"header-from", HeaderSource::Container},
      {"originals", HeaderSource::Originals}};
  int given = 0;
  for (const auto& [name, source] : sources) {
    if (const auto path = parsed.Value(name)) {
      ++given, options.headerSource = source, options.headerPath = PathFromText(*path);
    }
  }
  if (given > 0 && options.command != Command::Build) {
    return "--template, --header-from and --originals apply to build only";
  }
  if (given > 1) return "give one of --template, --header-from and --originals";
  const bool asIs = parsed.Has("as-is"), reencode = parsed.Has("reencode");
  if ((asIs || reencode) && options.headerSource != HeaderSource::Originals) {
    return "--as-is and --reencode apply to build --originals only";
  }
  if (asIs && reencode) return "give one of --as-is and --reencode";
  if (asIs) options.layoutChange = LayoutChange::BuildAsIs;
  if (reencode) options.layoutChange = LayoutChange::Reencode;
  return {};
}

// thumbnail: the picture's size and level.
std::string ReadThumbnailOptions(const ParsedOptions& parsed, Options& options) {
  if (options.command != Command::Thumbnail) {
    if (parsed.Has("size") || parsed.Has("top-level")) {
      return "--size and --top-level apply to thumbnail only";
    }
    return {};
  }
  if (const auto size = parsed.Value("size")) {
    const auto number = Number(*size, 0, kLargestPictureSide);
    if (!number) {
      return "--size takes a whole number from 0 to " + std::to_string(kLargestPictureSide);
    }
    options.size = *number;
  }
  options.topLevel = parsed.Has("top-level");
  return {};
}

}  // namespace

CommandLine ParseCommandLine(int argc, char** argv) {
  const ParsedOptions parsed = ParseOptions(kOptions, argc, argv);
  if (!parsed.error.empty()) return UsageError(parsed.error);
  if (parsed.Has("help")) {
    return {CommandLine::Action::ShowHelp,
            {},
            "Usage: sodrel-convert [options] <command> FILE|DIR...\n" + std::string(kDescription) +
                "\n" + OptionsHelp(kOptions, kArguments) + kExamples};
  }
  if (parsed.Has("version")) return {CommandLine::Action::ShowVersion, {}, {}};

  if (parsed.words.empty()) return UsageError("no command given");
  const std::string& command = parsed.words[0];
  Options options;
  const auto known = std::find_if(kCommands.begin(), kCommands.end(),
                                  [&](const auto& entry) { return entry.first == command; });
  if (known == kCommands.end()) return UsageError("unknown command '" + command + "'");
  options.command = known->second;
  if (parsed.words.size() < 2) return UsageError(command + ": no file given");
  for (auto word = parsed.words.begin() + 1; word != parsed.words.end(); ++word) {
    options.paths.push_back(PathFromText(*word));
  }

  const bool batch = options.command == Command::Export || options.command == Command::Build ||
                     options.command == Command::Png;
  options.raw = parsed.Has("raw");
  options.quiet = parsed.Has("quiet");
  if (!batch) {
    for (const char* name : {"recursive", "dry-run", "force", "output-dir", "jobs"}) {
      if (parsed.Has(name)) {
        return UsageError(command +
                          " takes no -r, -o, -f, -j or --dry-run: they apply to export, build and "
                          "png");
      }
    }
    if (parsed.Has("update")) return UsageError("--update applies to export, build and png only");
  }
  if (options.command == Command::Thumbnail && options.paths.size() != 2) {
    return UsageError("thumbnail takes one input and one output file");
  }
  if (options.raw && options.command != Command::Export && options.command != Command::Build) {
    return UsageError("--raw applies to export and build only");
  }
  std::string error = batch ? ReadBatchOptions(parsed, options) : "";
  if (error.empty()) error = ReadThumbnailOptions(parsed, options);
  if (error.empty()) error = ReadHeaderSource(parsed, options);
  if (!error.empty()) return UsageError(error);
  return {CommandLine::Action::Run, std::move(options), {}};
}

}  // namespace sodrel::convert
