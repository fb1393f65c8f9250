#include "convert/CommandLine.h"

#include <QCommandLineParser>
#include <QStringList>
#include <string>

#include "convert/Picture.h"

namespace sodrel::convert {
namespace {

constexpr char kDescription[] =
    "Converts texture containers and DDS files in batches, with the same routines as the window.\n"
    "\n"
    "Commands:\n"
    "  export FILE|DIR...  write each container's DDS file to its name + \".dds\"\n"
    "  build FILE|DIR...   write each DDS file into a container named after it + \".bin\"\n"
    "                      (with --originals: NAME.bin.dds becomes NAME.bin again)\n"
    "  png FILE|DIR...     write each container's or DDS file's texture to its name + \".png\"\n"
    "  info FILE...        show what a file is: size, first 64 bytes, DDS format\n"
    "  thumbnail [--size N] [--top-level] INPUT OUTPUT.png\n"
    "                      write the texture of a container or DDS file as a PNG picture\n"
    "\n"
    "A folder stands for the .bin (export), .dds (build) or both (png) files directly in it.\n"
    "An output that exists is kept (and reported) unless --force is given; no command writes\n"
    "over one of its inputs. Exit status: 0 when no file failed, 1 when any failed, 2 for a usage\n"
    "error, 128 + the signal's number when interrupted.";

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

// Latin-1 maps every byte to one character and back, so file names that are not valid UTF-8
// survive the trip through QString unchanged.
QString FromBytes(const char* bytes) {
  return QString::fromLatin1(bytes);
}
std::filesystem::path ToPath(const QString& text) {
  return text.toLatin1().toStdString();
}

CommandLine UsageError(std::string text) {
  return {CommandLine::Action::UsageError, {}, std::move(text)};
}

// Qt's "Unknown option 'bogus'." in the style of every other line: "unknown option 'bogus'".
std::string Restyled(std::string text) {
  if (!text.empty() && text.back() == '.') text.pop_back();
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = char(text[0] - 'A' + 'a');
  return text;
}

}  // namespace

CommandLine ParseCommandLine(int argc, char** argv) {
  QCommandLineParser parser;
  parser.setApplicationDescription(kDescription);
  parser.addPositionalArgument("command", "export, build, png, info or thumbnail.", "<command>");
  parser.addPositionalArgument("paths", "Files, or folders of files, to convert or show.",
                               "FILE|DIR...");
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  const QCommandLineOption recursive(
      {"r", "recursive"}, "Also take the matching files of every subfolder of a folder.");
  const QCommandLineOption outputDir(
      {"o", "output-dir"},
      "Write the outputs into DIR, each at its input's path inside the folder it was found in "
      "(its name alone for a file given). Folders are made as needed.",
      "DIR");
  const QCommandLineOption force({"f", "force"},
                                 "Replace outputs that exist, read-only ones included.");
  const QCommandLineOption jobs({"j", "jobs"},
                                "Convert N files at once (default: one per processor).", "N");
  const QCommandLineOption originals(
      "originals",
      "build: take each REL/NAME.bin.dds's header from its original container DIR/REL/NAME.bin "
      "and name the output NAME.bin.",
      "DIR");
  const QCommandLineOption templateFile(
      "template", "build: take the header from the first 64 bytes of FILE instead of KX00.dll.",
      "FILE");
  const QCommandLineOption headerFrom(
      "header-from", "build: take the header of the existing container CONTAINER.", "CONTAINER");
  const QCommandLineOption raw(
      "raw", "export, build: copy the bytes whatever the file holds (for unknown layouts).");
  const QCommandLineOption dryRun(
      "dry-run", "List the files that would be written, one per line, and write nothing.");
  const QCommandLineOption quiet({"q", "quiet"}, "Print failures only.");
  const QCommandLineOption size(
      "size", "thumbnail: fit the picture in N x N pixels (default 256; 0 keeps the full size).",
      "N");
  const QCommandLineOption topLevel(
      "top-level", "thumbnail: scale the full-size texture, not its smaller copy (mip level).");
  parser.addOptions({recursive, outputDir, force, jobs, originals, templateFile, headerFrom, raw,
                     dryRun, quiet, size, topLevel});

  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << FromBytes(argv[i]);
  if (!parser.parse(arguments)) return UsageError(Restyled(parser.errorText().toStdString()));
  if (parser.isSet(help) || parser.isSet("help-all")) {
    // Qt names the program as it was started ("./bin/sodrel-convert"); the usage names it plainly.
    std::string text = parser.helpText().toStdString();
    if (text.starts_with("Usage: ")) {
      const std::size_t end = text.find(" [options]");
      if (end != std::string::npos) text.replace(7, end - 7, "sodrel-convert");
    }
    return {CommandLine::Action::ShowHelp, {}, text + kExamples};
  }
  if (parser.isSet(version)) return {CommandLine::Action::ShowVersion, {}, {}};

  QStringList positional = parser.positionalArguments();
  if (positional.isEmpty()) return UsageError("no command given");
  const QString command = positional.takeFirst();
  Options options;
  if (command == "export") {
    options.command = Command::Export;
  } else if (command == "build") {
    options.command = Command::Build;
  } else if (command == "info") {
    options.command = Command::Info;
  } else if (command == "thumbnail") {
    options.command = Command::Thumbnail;
  } else if (command == "png") {
    options.command = Command::Png;
  } else {
    return UsageError("unknown command '" + command.toStdString() + "'");
  }
  if (positional.isEmpty()) return UsageError(command.toStdString() + ": no file given");
  for (const QString& path : positional) options.paths.push_back(ToPath(path));

  const bool batch = options.command == Command::Export || options.command == Command::Build ||
                     options.command == Command::Png;
  options.recursive = parser.isSet(recursive);
  options.dryRun = parser.isSet(dryRun);
  options.force = parser.isSet(force);
  options.raw = parser.isSet(raw);
  options.quiet = parser.isSet(quiet);
  if (!batch && (options.recursive || options.dryRun || options.force || parser.isSet(outputDir) ||
                 parser.isSet(jobs))) {
    return UsageError(command.toStdString() +
                      " takes no -r, -o, -f, -j or --dry-run: they apply to export, build and png");
  }
  if (options.command == Command::Thumbnail && options.paths.size() != 2) {
    return UsageError("thumbnail takes one input and one output file");
  }
  if (options.raw && options.command != Command::Export && options.command != Command::Build) {
    return UsageError("--raw applies to export and build only");
  }
  if (parser.isSet(outputDir)) {
    options.outputDir = ToPath(parser.value(outputDir));
    if (options.outputDir.empty()) return UsageError("--output-dir takes a folder");
  }
  if (parser.isSet(jobs)) {
    bool number = false;
    options.jobs = parser.value(jobs).toUInt(&number);
    if (!number || options.jobs < 1 || options.jobs > kMostJobs) {
      return UsageError("--jobs takes a whole number from 1 to " + std::to_string(kMostJobs));
    }
  }
  if (options.command == Command::Thumbnail) {
    if (parser.isSet(size)) {
      bool number = false;
      const uint value = parser.value(size).toUInt(&number);
      if (!number || value > kLargestPictureSide) {
        return UsageError("--size takes a whole number from 0 to " +
                          std::to_string(kLargestPictureSide));
      }
      options.size = value;
    }
    options.topLevel = parser.isSet(topLevel);
  } else if (parser.isSet(size) || parser.isSet(topLevel)) {
    return UsageError("--size and --top-level apply to thumbnail only");
  }
  const int sources =
      parser.isSet(templateFile) + parser.isSet(headerFrom) + parser.isSet(originals);
  if (sources > 0 && options.command != Command::Build) {
    return UsageError("--template, --header-from and --originals apply to build only");
  }
  if (sources > 1) return UsageError("give one of --template, --header-from and --originals");
  for (const auto& [option, source] : {std::pair{&templateFile, HeaderSource::TemplateFile},
                                       std::pair{&headerFrom, HeaderSource::Container},
                                       std::pair{&originals, HeaderSource::Originals}}) {
    if (parser.isSet(*option)) {
      options.headerSource = source;
      options.headerPath = ToPath(parser.value(*option));
    }
  }
  return {CommandLine::Action::Run, std::move(options), {}};
}

}  // namespace sodrel::convert
