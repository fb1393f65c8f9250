#include "convert/Commands.h"
#include "dds/DdsNames.h"

#include <array>
#include <cstdio>
#include <optional>
#include <span>
#include <string>

#include "container/TextureContainer.h"
#include "convert/Inputs.h"
#include "convert/Picture.h"
#include "convert/Report.h"
#include "dds/DdsHeaderCheck.h"
#include "io/FileIo.h"

namespace sodrel::convert {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kPngSuffix = ".png";
constexpr std::array<std::string_view, 2> kTextureSuffixes = {kBuildSuffix, kExportSuffix};

constexpr std::array<std::byte, 4> kDdsMagic = {std::byte{'D'}, std::byte{'D'}, std::byte{'S'},
                                                std::byte{' '}};

void WriteOut(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

bool StartsWithDdsMagic(std::span<const std::byte> bytes) {
  return bytes.size() >= kDdsMagic.size() &&
         std::equal(kDdsMagic.begin(), kDdsMagic.end(), bytes.begin());
}

// The header every container of this build starts with, or nullopt after saying why there is
// none. Read once, before any file is touched, so a bad header source writes nothing at all.
std::optional<ContainerHeader> LoadHeader(const Options& options, const fs::path& templateFolder) {
  const fs::path path = options.headerSource == HeaderSource::ProgramTemplate
                            ? HeaderTemplatePath(templateFolder)
                            : options.headerPath;
  auto fail = [&](std::string_view reason, std::string_view detail) {
    std::string line = path.native() + ": " + std::string(reason);
    if (!detail.empty()) line += ": " + std::string(detail);
    if (options.headerSource == HeaderSource::ProgramTemplate) {
      line += " (give one with --template FILE or --header-from CONTAINER)";
    }
    line += "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    return std::nullopt;
  };

  const InputCheck input = CheckInput(path);
  if (!input.ok()) return fail(Describe(ConvertOutcome::TemplateMissing), input.detail);
  ContainerHeader header{};
  if (options.headerSource != HeaderSource::Container) {
    // Like the window: the first 64 bytes, a shorter template padded with zeros.
    const ConvertResult read = ReadHeader(path, header);
    if (!read.ok()) return fail(Describe(read.outcome), read.error.message());
    return header;
  }

  // A container shorter than its header, or a DDS file given by mistake, would silently give
  // every container built a wrong header.
  if (input.size < kContainerHeaderSize) {
    return fail("too short to hold a container header (" + std::to_string(input.size) + " bytes)",
                {});
  }
  InputFile file;
  std::size_t got = 0;
  IoResult read = file.Open(path);
  if (read.ok()) read = ReadAt(file.fd(), 0, header, got);
  if (read.ok()) read = file.Unchanged();
  if (!read.ok()) return fail(Describe(ConvertOutcome::ReadFailed), read.error.message());
  if (got < kContainerHeaderSize) return fail(Describe(ConvertOutcome::ReadFailed), {});
  if (StartsWithDdsMagic(header)) return fail("a DDS file, not a container", {});
  return header;
}

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

// Whether the check got far enough into the header to have read the format and the size.
bool HeaderFieldsRead(DdsCheck check) {
  switch (check) {
    case DdsCheck::Unreadable:
    case DdsCheck::TooShortForHeader:
    case DdsCheck::BadMagic:
    case DdsCheck::BadHeaderSize:
    case DdsCheck::BadPixelFormatSize:
      return false;
    default:
      return true;
  }
}

// Prints what `info` shows of one file on stdout, after a blank line when `separate`; fails
// only when the file cannot be read.
bool ShowInfo(const fs::path& path, bool separate, Report& report) {
  const InputCheck input = CheckInput(path);
  if (!input.ok()) {
    report.Failed(path, Describe(input.result.outcome), input.detail);
    return false;
  }
  InputFile file;
  if (IoResult opened = file.Open(path); !opened.ok()) {
    report.Failed(path, {ConvertOutcome::InputMissing, opened.error});
    return false;
  }
  const std::uint64_t size = file.size();
  std::array<std::byte, kContainerHeaderSize + kDdsLongestHeaderBytes> prefix{};
  std::size_t got = 0;
  IoResult read = ReadAt(file.fd(), 0, prefix, got);
  // Cut short after its size was taken: the bytes read no longer fit that size.
  if (read.ok() && got < std::min<std::uint64_t>(size, prefix.size())) {
    read = {IoOutcome::Changed, {}};
  }
  if (read.ok()) read = file.Unchanged();
  if (!read.ok()) {
    report.Failed(path, {ConvertOutcome::ReadFailed, read.error});
    return false;
  }
  const std::span<const std::byte> bytes = std::span(prefix).first(got);
  const bool isDds = StartsWithDdsMagic(bytes);
  constexpr std::string_view kIndent = "            ";

  std::string text = (separate ? "\n" : "") + path.native() + "\n";
  text += "  file:     " + std::string(isDds ? "DDS file, " : "container, ") +
          std::to_string(size) + (size == 1 ? " byte\n" : " bytes\n");
  text += std::string(isDds ? "  first 64: " : "  header:   ") +
          Hex(bytes.first(std::min(got, kContainerHeaderSize)), kIndent) + "\n";
  if (!isDds && size <= kContainerHeaderSize) {
    text += "  texture:  none\n";
    text += "  preview:  no, " + Reason(ConvertOutcome::InputTooShort, size) + "\n";
  } else {
    const DdsInfo info =
        isDds ? InspectDds(bytes.first(std::min(got, kDdsLongestHeaderBytes)), size)
              : InspectDds(bytes.subspan(kContainerHeaderSize), size - kContainerHeaderSize);
    text +=
        "  texture:  " +
        (HeaderFieldsRead(info.check) ? DescribeFormat(info) + ", " + std::to_string(info.width) +
                                            " x " + std::to_string(info.height)
                                      : std::string("unknown")) +
        "\n";
    text += "  preview:  " +
            (info.ok() ? std::string("yes") : "no, " + std::string(Describe(info.check))) + "\n";
  }
  WriteOut(text);
  report.Succeeded();
  return true;
}

}  // namespace

int RunExport(const Options& options) {
  Report report(options.dryRun ? "to export" : "exported");
  const std::vector<fs::path> files =
      CollectInputs(options.paths, kBuildSuffix, options.recursive, report);
  report.Start(files.size(), !options.dryRun);
  for (const fs::path& file : files) {
    const InputCheck input = CheckInput(file);
    if (!input.ok()) {
      report.Failed(file, Describe(input.result.outcome), input.detail);
    } else if (options.dryRun) {
      if (input.size <= kContainerHeaderSize) {
        report.Failed(file, {ConvertOutcome::InputTooShort, {}}, input.size);
        continue;
      }
      WriteOut(WithSuffix(file, kExportSuffix).native() + "\n");
      report.Succeeded();
    } else if (const ConvertResult result = ExportTexture(file); !result.ok()) {
      std::optional<std::uint64_t> size;
      if (result.outcome == ConvertOutcome::InputTooShort) size = CheckInput(file).size;
      report.Failed(file, result, size);
    } else {
      report.Succeeded();
    }
  }
  return report.Finish();
}

int RunBuild(const Options& options, const fs::path& templateFolder) {
  const std::optional<ContainerHeader> header = LoadHeader(options, templateFolder);
  if (!header) return 1;
  Report report(options.dryRun ? "to build" : "built");
  const std::vector<fs::path> files =
      CollectInputs(options.paths, kExportSuffix, options.recursive, report);
  report.Start(files.size(), !options.dryRun);
  for (const fs::path& file : files) {
    const InputCheck input = CheckInput(file);
    const fs::path output = WithSuffix(file, kBuildSuffix);
    if (!input.ok()) {
      report.Failed(file, Describe(input.result.outcome), input.detail);
    } else if (options.dryRun) {
      if (input.size == 0) {
        report.Failed(file, {ConvertOutcome::InputEmpty, {}});
        continue;
      }
      WriteOut(output.native() + "\n");
      report.Succeeded();
    } else if (const ConvertResult result = WriteContainer(*header, file, output); !result.ok()) {
      report.Failed(file, result);
    } else {
      report.Succeeded();
    }
  }
  return report.Finish();
}

int RunInfo(const Options& options) {
  Report report("shown");
  bool shownAny = false;
  for (const fs::path& file : options.paths) {
    if (ShowInfo(file, shownAny, report)) shownAny = true;
  }
  return report.Finish();
}

int RunThumbnail(const Options& options) {
  const fs::path& input = options.paths[0];
  const InputCheck check = CheckInput(input);
  std::string line = input.native() + ": ";
  if (!check.ok()) {
    line += std::string(Describe(check.result.outcome)) + ": " + check.detail;
  } else if (const PictureResult result =
                 WritePicture(input, options.paths[1], options.size, options.topLevel);
             !result.ok()) {
    line += std::string(Describe(result.outcome));
    if (const std::string detail = result.detail(); !detail.empty()) line += ": " + detail;
  } else {
    return 0;
  }
  line += "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  return 1;
}

int RunPng(const Options& options) {
  Report report(options.dryRun ? "to convert" : "converted");
  const std::vector<fs::path> files =
      CollectInputs(options.paths, kTextureSuffixes, options.recursive, report);
  report.Start(files.size(), !options.dryRun);
  for (const fs::path& file : files) {
    const InputCheck input = CheckInput(file);
    const fs::path output = WithSuffix(file, kPngSuffix);
    if (!input.ok()) {
      report.Failed(file, Describe(input.result.outcome), input.detail);
    } else if (options.dryRun) {
      WriteOut(output.native() + "\n");
      report.Succeeded();
    } else if (const PictureResult result = WritePicture(file, output, 0); !result.ok()) {
      report.Failed(file, Describe(result.outcome), result.detail());
    } else {
      report.Succeeded();
    }
  }
  return report.Finish();
}

}  // namespace sodrel::convert
