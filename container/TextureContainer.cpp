#include "container/TextureContainer.h"

#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "io/AtomicOutput.h"
#include "io/FileIo.h"

namespace sodrel {
namespace {

ConvertResult Fail(ConvertOutcome outcome, std::error_code error = {}) {
  return {outcome, error};
}

ConvertResult Fail(const CopyFailure& failure) {
  return Fail(failure.whileReading ? ConvertOutcome::ReadFailed : ConvertOutcome::OutputFailed,
              failure.error);
}

}  // namespace

std::filesystem::path WithSuffix(const std::filesystem::path& path, std::string_view suffix) {
  std::string name = path.native();
  name.append(suffix);
  return name;
}

std::filesystem::path HeaderTemplatePath(const std::filesystem::path& programFolder) {
  return programFolder / kHeaderTemplateName;
}

ConvertResult ExportTexture(const std::filesystem::path& containerPath) {
  UniqueFd in;
  FileStamp before;
  if (std::error_code error = OpenForReading(containerPath, in, before)) {
    return Fail(ConvertOutcome::InputMissing, error);
  }
  const std::uint64_t length = before.size;
  if (length <= kContainerHeaderSize) return Fail(ConvertOutcome::InputTooShort);

  AtomicOutput output(WithSuffix(containerPath, kExportSuffix));
  if (std::error_code error = output.Open()) return Fail(ConvertOutcome::OutputFailed, error);
  if (CopyFailure failure =
          CopyBytes(in.get(), kContainerHeaderSize, output.fd(), length - kContainerHeaderSize)) {
    return Fail(failure);
  }
  if (CopyFailure failure = ExpectUnchanged(in.get(), before)) return Fail(failure);
  if (std::error_code error = output.Commit()) return Fail(ConvertOutcome::OutputFailed, error);
  return {};
}

ConvertResult ReadHeader(const std::filesystem::path& path, ContainerHeader& header) {
  header.fill(std::byte{0});
  UniqueFd in;
  std::uint64_t length = 0;
  if (std::error_code error = OpenForReading(path, in, length)) {
    return Fail(ConvertOutcome::TemplateMissing, error);
  }
  std::size_t got = 0;
  if (std::error_code error = ReadPrefix(in.get(), header, got)) {
    return Fail(ConvertOutcome::ReadFailed, error);
  }
  return {};
}

ConvertResult WriteContainer(const ContainerHeader& header, const std::filesystem::path& bodyPath,
                             const std::filesystem::path& outputPath,
                             std::optional<std::uint64_t> expectedLength) {
  UniqueFd body;
  FileStamp before;
  if (std::error_code error = OpenForReading(bodyPath, body, before)) {
    return Fail(ConvertOutcome::InputMissing, error);
  }
  const std::uint64_t length = before.size;
  if (expectedLength && length != *expectedLength) return Fail(ConvertOutcome::StagedCopyMismatch);
  if (length == 0) return Fail(ConvertOutcome::InputEmpty);

  AtomicOutput output(outputPath);
  if (std::error_code error = output.Open()) return Fail(ConvertOutcome::OutputFailed, error);
  if (std::error_code error = WriteAll(output.fd(), header)) {
    return Fail(ConvertOutcome::OutputFailed, error);
  }
  if (CopyFailure failure = CopyBytes(body.get(), 0, output.fd(), length)) return Fail(failure);
  if (CopyFailure failure = ExpectUnchanged(body.get(), before)) return Fail(failure);
  if (std::error_code error = output.Commit()) return Fail(ConvertOutcome::OutputFailed, error);
  return {};
}

ConvertResult BuildContainer(const std::filesystem::path& ddsPath,
                             const std::filesystem::path& programFolder,
                             const std::filesystem::path& stagedCopy) {
  struct stat info {};
  if (ddsPath.empty()) {
    return Fail(ConvertOutcome::InputMissing,
                std::make_error_code(std::errc::no_such_file_or_directory));
  }
  if (::stat(ddsPath.c_str(), &info) != 0) {
    return Fail(ConvertOutcome::InputMissing, std::error_code(errno, std::generic_category()));
  }
  if (!S_ISREG(info.st_mode)) {
    return Fail(ConvertOutcome::InputMissing,
                std::make_error_code(S_ISDIR(info.st_mode) ? std::errc::is_a_directory
                                                           : std::errc::invalid_argument));
  }
  const auto length = static_cast<std::uint64_t>(info.st_size);
  if (length == 0) return Fail(ConvertOutcome::InputEmpty);

  ContainerHeader header{};
  if (ConvertResult read = ReadHeader(HeaderTemplatePath(programFolder), header); !read.written()) {
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
