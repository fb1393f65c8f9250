#include <string>

#include "container/FileKind.h"
#include "convert/Commands.h"
#include "convert/Inputs.h"
#include "convert/Report.h"
#include "convert/TextureNotes.h"
#include "dds/DdsNames.h"
#include "io/FileStatus.h"

namespace sodrel::convert {
namespace fs = std::filesystem;
namespace {

std::string Hex(std::span<const std::byte> bytes, std::string_view indent) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) text += i % 16 == 0 ? "\n" + std::string(indent) : " ";
    const auto b = std::to_integer<unsigned>(bytes[i]);
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

// What `info` shows of one file, or the failure's line when it cannot be read.
bool ShowInfo(const fs::path& path, InputFile& file, std::string& text, std::string& warning) {
  FileKindResult kind;
  IoResult read = (kind = ReadKind(file));
  if (read.ok()) read = file.Unchanged();
  if (!read.ok()) {
    text =
        Says(path, read.outcome == IoOutcome::Changed ? "changed while it was read" : "cannot read",
             read.outcome == IoOutcome::Changed ? "" : read.error.message());
    return false;
  }
  const bool container = kind.kind == FileKind::Container || kind.kind == FileKind::CutContainer;
  const std::string_view what = kind.kind == FileKind::Empty     ? "empty file"
                                : kind.kind == FileKind::DdsFile ? "DDS file"
                                : container                      ? "container"
                                                                 : "not a texture container";
  constexpr std::string_view kIndent = "            ";
  text += PathText(path) + "\n  file:     " + std::string(what);
  if (kind.kind != FileKind::Empty) {
    text += ", " + std::to_string(kind.size) + (kind.size == 1 ? " byte" : " bytes");
    text += std::string(container ? "\n  header:   " : "\n  first 64: ") +
            Hex(kind.bytes().first(std::min(kind.got, kContainerHeaderSize)), kIndent);
  }
  const DdsTexture& dds = kind.dds;
  if (kind.kind == FileKind::DdsFile || container) {
    const bool read = HeaderRead(dds.check);
    text += "\n  texture:  " + (read ? LayoutName(dds) + ", " + std::to_string(dds.header.width) +
                                           " x " + std::to_string(dds.header.height)
                                     : std::string("unknown"));
    if (read) text += "\n  levels:   " + DescribeLevels(dds);
    if (read && dds.images > 1) {
      text += "\n  images:   " + std::to_string(dds.images) +
              (dds.cube ? ", cube faces" : ", an array");
    }
    text += "\n  preview:  " +
            (dds.ok() ? std::string("yes") : "no, " + std::string(Describe(dds.check)));
    warning = CutWarning(path, kind);
  } else {
    text += "\n  texture:  none\n  preview:  no";
  }
  text += "\n";
  return true;
}

}  // namespace

int RunInfo(const Options& options, Stop stop) {
  Report report("shown", options.quiet);
  report.Start(options.paths.size(), false);
  bool shownAny = false;
  for (const fs::path& path : options.paths) {
    if (stop.requested()) break;
    std::string text, warning;
    InputFile file;
    if (const IoResult opened = file.Open(path); !opened.ok()) {
      report.Add(Reported(JobStatus::Failed, Says(path, "cannot open", OpenFailure(opened))));
    } else if (!ShowInfo(path, file, text, warning)) {
      report.Add(Reported(JobStatus::Failed, text));
    } else {
      JobReport shown =
          Listed(JobStatus::Done, (shownAny ? "\n" : "") + text.substr(0, text.size() - 1));
      if (!warning.empty()) shown.warnings.push_back(warning);
      report.Add(shown);
      shownAny = true;
    }
  }
  return report.Finish();
}

}  // namespace sodrel::convert
