#include "container/TextureContainer.h"

#include <cerrno>
#include <string>

#include "io/AtomicOutput.h"
#include "io/FileIo.h"

namespace sodrel {
namespace {

ConvertResult Fail(ConvertOutcome outcome, std::error_code error = {}) {
  return {outcome, error};
}

// A failed read or copy, as the conversion's outcome.
ConvertResult Fail(const IoResult& failure) {
  return Fail(failure.outcome == IoOutcome::WriteFailed ? ConvertOutcome::OutputFailed
                                                        : ConvertOutcome::ReadFailed,
              failure.error);
}

ConvertResult Written() {
  return {ConvertOutcome::Written, {}};
}

}  // namespace

std::filesystem::path WithSuffix(const std::filesystem::path& path, std::string_view suffix) {
  std::filesystem::path name = path;
  name += suffix;
  return name;
}

std::filesystem::path HeaderTemplatePath(const std::filesystem::path& templateFolder) {
  return templateFolder / kHeaderTemplateName;
}

ConvertResult ExportTexture(const std::filesystem::path& containerPath) {
  InputFile in;
  if (IoResult opened = in.Open(containerPath); !opened.ok()) {
    return Fail(ConvertOutcome::InputMissing, opened.error);
  }
  const std::uint64_t length = in.size();
  if (length <= kContainerHeaderSize) return Fail(ConvertOutcome::InputTooShort);

  AtomicOutput output(WithSuffix(containerPath, kExportSuffix));
  if (IoResult created = output.Open(); !created.ok()) return Fail(created);
  if (IoResult copied = CopyBytes(in.fd(), kContainerHeaderSize, output.fd(),
                                  length - kContainerHeaderSize, Stop());
      !copied.ok()) {
    return Fail(copied);
  }
  if (IoResult same = in.Unchanged(); !same.ok()) return Fail(same);
  if (IoResult committed = output.Commit(Stop()); !committed.ok()) return Fail(committed);
  return Written();
}

ConvertResult ReadHeader(const std::filesystem::path& path, ContainerHeader& header) {
  header.fill(std::byte{0});
  InputFile in;
  if (IoResult opened = in.Open(path); !opened.ok()) {
    return Fail(ConvertOutcome::TemplateMissing, opened.error);
  }
  std::size_t got = 0;
  if (IoResult read = ReadAt(in.fd(), 0, header, got); !read.ok()) return Fail(read);
  if (IoResult same = in.Unchanged(); !same.ok()) return Fail(same);
  return Written();
}

ConvertResult WriteContainer(const ContainerHeader& header, const std::filesystem::path& bodyPath,
                             const std::filesystem::path& outputPath,
                             std::optional<std::uint64_t> expectedLength) {
  InputFile body;
  if (IoResult opened = body.Open(bodyPath); !opened.ok()) {
    return Fail(ConvertOutcome::InputMissing, opened.error);
  }
  const std::uint64_t length = body.size();
  if (expectedLength && length != *expectedLength) return Fail(ConvertOutcome::StagedCopyMismatch);
  if (length == 0) return Fail(ConvertOutcome::InputEmpty);

  AtomicOutput output(outputPath);
  if (IoResult created = output.Open(); !created.ok()) return Fail(created);
  if (IoResult written = WriteAll(output.fd(), header); !written.ok()) return Fail(written);
  if (IoResult copied = CopyBytes(body.fd(), 0, output.fd(), length, Stop()); !copied.ok()) {
    return Fail(copied);
  }
  if (IoResult same = body.Unchanged(); !same.ok()) return Fail(same);
  if (IoResult committed = output.Commit(Stop()); !committed.ok()) return Fail(committed);
  return Written();
}

ConvertResult BuildContainer(const std::filesystem::path& ddsPath,
                             const std::filesystem::path& templateFolder,
                             const std::filesystem::path& stagedCopy) {
  if (ddsPath.empty()) {
    return Fail(ConvertOutcome::InputMissing,
                std::make_error_code(std::errc::no_such_file_or_directory));
  }
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(ddsPath, error);
  if (error) return Fail(ConvertOutcome::InputMissing, error);
  if (!std::filesystem::is_regular_file(status)) {
    return Fail(
        ConvertOutcome::InputMissing,
        std::make_error_code(std::filesystem::is_directory(status) ? std::errc::is_a_directory
                                                                   : std::errc::invalid_argument));
  }
  const std::uint64_t length = std::filesystem::file_size(ddsPath, error);
  if (error) return Fail(ConvertOutcome::InputMissing, error);
  if (length == 0) return Fail(ConvertOutcome::InputEmpty);

  ContainerHeader header{};
  if (ConvertResult read = ReadHeader(HeaderTemplatePath(templateFolder), header); !read.ok()) {
    return read;
  }
  ConvertResult result =
      WriteContainer(header, stagedCopy, WithSuffix(ddsPath, kBuildSuffix), length);
  if (result.outcome == ConvertOutcome::InputMissing) {
    result.outcome = ConvertOutcome::StagedCopyMissing;
  }
  return result;
}

}  // namespace sodrel
