#include "convert/Commands.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>

#include "PlaceholderTemplate.h"
#include "container/FileKind.h"
#include "convert/Batch.h"
#include "convert/Picture.h"
#include "convert/Reencode.h"
#include "convert/Report.h"
#include "convert/TextureNotes.h"
#include "dds/DdsNames.h"
#include "io/AtomicOutput.h"
#include "io/FileIo.h"
#include "io/FileStatus.h"
#include "io/Interrupt.h"

namespace sodrel::convert {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kPngSuffix = ".png";
constexpr std::string_view kOriginalsSuffix = ".bin.dds";

std::string Bytes(std::uint64_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

// Whether `file`, wanted as `wanted`, is taken by a command; `other` says why not for the
// kinds named nowhere else.
Verdict Unless(const FileKindResult& file, std::initializer_list<FileKind> wanted,
               std::string_view other) {
  if (std::find(wanted.begin(), wanted.end(), file.kind) != wanted.end()) return Taken();
  switch (file.kind) {
    case FileKind::Empty:
      return Refused("empty file");
    case FileKind::DdsFile:
      return Refused("a DDS file, not a container");
    case FileKind::Container:
    case FileKind::CutContainer:
      return Refused("a texture container, not a DDS file");
    default:
      return Refused(std::string(other));
  }
}

// The header of the container at `path`, or the line that says why it has none.
Verdict ContainerHeaderOf(const fs::path& path, ContainerHeader& header,
                          FileKindResult* read = nullptr) {
  FileKindResult kind = ReadKind(path);
  if (!kind.ok()) return Refused(Says(path, "cannot read", kind.error.message()));
  if (const Verdict taken =
          Unless(kind, {FileKind::Container, FileKind::CutContainer}, Describe(FileKind::Other));
      !taken.ok()) {
    return Refused(Says(path, taken.why));
  }
  std::copy_n(kind.prefix.begin(), kContainerHeaderSize, header.begin());
  if (read != nullptr) *read = std::move(kind);
  return Taken();
}

// Whether the DDS input `input` of `job` has its original's layout; if not, as `change` says:
// the line that says how they differ (a warning with --as-is, in job.warning), or an encoding
// into the original's layout (--reencode, job.reencode); if not taken, the failure's line.
Verdict CompareWithOriginal(Job& job, const DdsTexture& input, const DdsTexture& original,
                            LayoutChange change) {
  if (!HeaderRead(original.check)) {
    return Refused(
        Says(job.input.path,
             "its original " + PathText(job.original) + " holds no DDS header that can be read",
             DescribeRefusal(original)));
  }
  if (SameLayout(input, original)) return Taken();
  const std::string differs = DescribeLayout(input) + "; its original " + PathText(job.original) +
                              " holds " + DescribeLayout(original);
  switch (change) {
    case LayoutChange::BuildAsIs:
      job.warning = Says(job.input.path, "warning: " + differs + " (built as it is: --as-is)");
      return Taken();
    case LayoutChange::Reencode:
      job.reencode = true;
      return Unencodable(job, original);
    case LayoutChange::Refuse:
      break;
  }
  return Refused(
      Says(job.input.path,
           differs + " (--reencode converts it into that layout, --as-is builds it as it is)"));
}

// The header every container of this build starts with (not for --originals), or nullopt after
// saying why there is none. Read once, before any file is touched, so a bad header source
// writes nothing at all.
std::optional<ContainerHeader> LoadHeader(const Options& options, const fs::path& templateFolder) {
  ContainerHeader header{};
  if (options.headerSource == HeaderSource::Container) {
    if (const Verdict read = ContainerHeaderOf(options.headerPath, header); !read.ok()) {
      Complain(read.why);
      return std::nullopt;
    }
    return header;
  }
  const bool own = options.headerSource == HeaderSource::ProgramTemplate;
  const fs::path path = own ? HeaderTemplatePath(templateFolder) : options.headerPath;
  // Like the window: the first 64 bytes, a shorter template padded with zeros.
  if (const ConvertResult read = ReadHeader(path, header); !read.ok()) {
    Complain(Says(path, Describe(read.outcome), read.error ? read.error.message() : "") +
             (own ? " (give --originals DIR, --header-from CONTAINER or --template FILE)" : ""));
    return std::nullopt;
  }
  ContainerHeader placeholder{};
  std::memcpy(placeholder.data(), kPlaceholderTemplate,
              std::min(sizeof kPlaceholderTemplate, placeholder.size()));
  if (own && header == placeholder && !options.quiet) {
    Complain(Says(path,
                  "the placeholder header template, which no game accepts (give "
                  "--originals DIR, --header-from CONTAINER or --template FILE)"));
  }
  return header;
}

// Writes `header` (may be empty), then the input from byte `from` to its end.
JobReport Copy(const Job& job, InputFile& input, std::uint64_t from,
               std::span<const std::byte> header, OutputMode mode) {
  AtomicOutput output(job.output, mode);
  IoResult result = output.Open();
  if (result.ok() && !header.empty()) result = WriteAll(output.fd(), header);
  if (result.ok()) result = CopyBytes(input.fd(), from, output.fd(), input.size() - from, job.stop);
  if (result.ok()) result = input.Unchanged();
  if (result.ok()) result = output.Commit(job.stop);
  return Finished(job, result);
}

}  // namespace

int RunExport(const Options& options, Stop stop) {
  BatchCommand command;
  command.doneWord = "exported";
  command.dryWord = "to export";
  command.suffixes = {kBuildSuffix};
  command.notInFolders = ".bin.dds.bin";
  command.outputName = [](const std::string& name) { return name + std::string(kExportSuffix); };
  command.refuse = [&](const FileKindResult& kind, const fs::path&) {
    if (!options.raw)
      return Unless(kind, {FileKind::Container, FileKind::CutContainer}, Describe(FileKind::Other));
    if (kind.size > kContainerHeaderSize) return Taken();
    return Refused(kind.size == 0 ? "empty file"
                                  : "too short to hold a texture (" + Bytes(kind.size) + ")");
  };
  command.convert = [&](const Job& job, InputFile& input, const FileKindResult&, OutputMode mode) {
    return Copy(job, input, kContainerHeaderSize, {}, mode);
  };
  return RunBatch(command, options, stop);
}

int RunBuild(const Options& options, const fs::path& templateFolder, Stop stop) {
  const bool originals = options.headerSource == HeaderSource::Originals;
  std::optional<ContainerHeader> header;
  if (!originals && !(header = LoadHeader(options, templateFolder))) return 1;
  BatchCommand command;
  command.doneWord = "built";
  command.dryWord = "to build";
  command.suffixes = {kExportSuffix};
  // With their originals, pictures too: each is encoded into its original's layout.
  if (originals)
    command.suffixes.insert(command.suffixes.end(), {".png", ".tga", ".bmp", ".tif", ".tiff"});
  if (!originals) {
    const bool own = options.headerSource == HeaderSource::ProgramTemplate;
    command.alsoReads = {own ? HeaderTemplatePath(templateFolder) : options.headerPath};
  }
  command.outputName = [&](const std::string& name) {
    if (!originals) return name + std::string(kBuildSuffix);
    if (EndsWithIgnoringCase(name, kOriginalsSuffix)) return name.substr(0, name.size() - 4);
    const std::string stem = PathText(PathFromText(name).stem());
    return IsPictureName(name) && EndsWithIgnoringCase(stem, kBuildSuffix) ? stem : "";
  };
  command.badName = "not named NAME.bin.dds, so it has no original";
  command.refuse = [&](const FileKindResult& kind, const fs::path& path) {
    if (options.raw) return kind.kind == FileKind::Empty ? Refused("empty file") : Taken();
    if (kind.kind == FileKind::Other && IsPictureName(path)) {
      return originals ? Taken()
                       : Refused("a picture: build takes pictures with --originals DIR only");
    }
    return Unless(kind, {FileKind::DdsFile}, "not a DDS file: no DDS header at byte 0");
  };
  command.prepare = [&](Job& job, const FileKindResult& kind) {
    if (!originals) {
      job.header = *header;
      return Taken();
    }
    FileKindResult original;
    if (Verdict read = ContainerHeaderOf(job.original, job.header, &original); !read.ok()) {
      return Refused(Says(job.input.path, "its original", read.why));
    }
    if (options.raw) return Taken();
    if (kind.kind == FileKind::DdsFile) {
      return CompareWithOriginal(job, kind.dds, original.dds, options.layoutChange);
    }
    job.reencode = true;  // a picture
    return Unencodable(job, original.dds);
  };
  command.convert = [](const Job& job, InputFile& input, const FileKindResult& kind,
                       OutputMode mode) {
    if (job.reencode) return Reencode(job, input, kind, mode);
    return Copy(job, input, 0, job.header, mode);
  };
  return RunBatch(command, options, stop);
}

int RunPng(const Options& options, Stop stop) {
  BatchCommand command;
  command.doneWord = "converted";
  command.dryWord = "to convert";
  command.suffixes = {kBuildSuffix, kExportSuffix};
  command.outputName = [](const std::string& name) { return name + std::string(kPngSuffix); };
  command.refuse = [](const FileKindResult& kind, const fs::path&) {
    return Unless(kind, {FileKind::DdsFile, FileKind::Container, FileKind::CutContainer},
                  "neither a DDS file nor a texture container");
  };
  command.convert = [](const Job& job, InputFile& input, const FileKindResult& kind,
                       OutputMode mode) {
    const PictureResult result = WritePicture(input, kind, job.output, 0, mode, job.stop);
    if (result.ok()) return Reported(JobStatus::Done);
    if (result.outcome == PictureOutcome::OutputFailed) {
      return Finished(job, {IoOutcome::WriteFailed, result.error});
    }
    if (result.outcome == PictureOutcome::InputChanged)
      return Finished(job, {IoOutcome::Changed, {}});
    return Reported(JobStatus::Failed,
                    Says(job.input.path, Describe(result.outcome), result.detail()));
  };
  return RunBatch(command, options, stop);
}

int RunThumbnail(const Options& options, Stop stop) {
  const fs::path& input = options.paths[0];
  const fs::path& output = options.paths[1];
  std::string line;
  const std::optional<FileStatus> out = StatusOf(output);
  const std::string extension = PathText(output.extension());
  FileKindResult kind;
  InputFile file;
  if (const IoResult opened = file.Open(input); !opened.ok()) {
    line = Says(input, "cannot open", OpenFailure(opened));
  } else if (!(kind = ReadKind(file)).ok()) {
    line = Says(input, "cannot read", kind.error.message());
  } else if (const Verdict taken =
                 Unless(kind, {FileKind::DdsFile, FileKind::Container, FileKind::CutContainer},
                        "neither a DDS file nor a texture container");
             !taken.ok()) {
    line = Says(input, taken.why);
  } else if (const auto in = StatusOf(input); out && in && in->id == out->id) {
    line = Says(output, "would write over the input " + PathText(input));
  } else if (out && out->folder) {
    line = Says(output, "a folder is there, never replaced");
  } else if (!extension.empty() && !EndsWithIgnoringCase(extension, kPngSuffix)) {
    line = Says(output, "not a .png name: the picture is a PNG");
  } else if (const PictureResult result =
                 WritePicture(file, kind, output, options.size, OutputMode::FillPlaceholder, stop,
                              options.topLevel);
             !result.ok()) {
    line = result.outcome == PictureOutcome::OutputFailed
               ? Says(output, Describe(result.outcome), result.error.message())
               : Says(input, Describe(result.outcome), result.detail());
  } else {
    return 0;
  }
  if (const int signal = InterruptSignal(); stop.requested() && signal != 0) {
    Complain(Says(output, std::string("interrupted by ") + InterruptName(signal)));
    return 128 + signal;
  }
  Complain(line);
  return 1;
}

int RunCommand(const Options& options, const fs::path& templateFolder, Stop stop) {
  switch (options.command) {
    case Command::Export:
      return RunExport(options, stop);
    case Command::Build:
      return RunBuild(options, templateFolder, stop);
    case Command::Info:
      return RunInfo(options, stop);
    case Command::Thumbnail:
      return RunThumbnail(options, stop);
    case Command::Png:
      return RunPng(options, stop);
  }
  return 2;
}

}  // namespace sodrel::convert
