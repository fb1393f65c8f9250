#include "io/AtomicOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>

namespace sodrel {
namespace {

std::string RandomSuffix() {
  static std::mt19937_64 generator{std::random_device{}()};
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::uniform_int_distribution<std::size_t> pick(0, sizeof(kAlphabet) - 2);
  std::string suffix(8, 'x');
  for (char& c : suffix) c = kAlphabet[pick(generator)];
  return suffix;
}

std::filesystem::path FolderOf(const std::filesystem::path& destination) {
  std::filesystem::path folder = destination.parent_path();
  return folder.empty() ? "." : folder;
}

IoResult Failed(std::errc error) {
  return {IoOutcome::WriteFailed, std::make_error_code(error)};
}

}  // namespace

AtomicOutput::AtomicOutput(std::filesystem::path destination, OutputMode mode)
    : destination_(std::move(destination)), mode_(mode) {}

AtomicOutput::~AtomicOutput() {
  if (!committed_) Discard();
}

IoResult AtomicOutput::Open() {
  const std::string stem = "." + destination_.filename().string() + ".part-";
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::filesystem::path candidate = FolderOf(destination_) / (stem + RandomSuffix());
    int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_.reset(fd);
      temporary_ = std::move(candidate);
      // A replaced file keeps its permission bits.
      struct stat existing {};
      if (::lstat(destination_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        ::fchmod(fd, existing.st_mode & 07777);
      }
      return Done();
    }
    if (errno != EEXIST) return FromErrno(IoOutcome::WriteFailed);
  }
  return Failed(std::errc::file_exists);
}

IoResult AtomicOutput::Commit() {
  if (!fd_.valid()) return Failed(std::errc::bad_file_descriptor);
  IoResult result = Done();
  if (::close(fd_.release()) != 0) {
    result = FromErrno(IoOutcome::WriteFailed);
  } else if (mode_ == OutputMode::Keep) {
    result = LinkWithoutReplacing();
  } else if (::rename(temporary_.c_str(), destination_.c_str()) != 0) {
    result = FromErrno(IoOutcome::WriteFailed);
  }
  if (!result.ok()) {
    Discard();
    return result;
  }
  committed_ = true;
  return Done();
}

// Puts the named temporary at the destination unless something is there: atomically where the
// filesystem can (renameat2 with RENAME_NOREPLACE, or a hard link), with a last look otherwise.
IoResult AtomicOutput::LinkWithoutReplacing() {
  if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, destination_.c_str(), RENAME_NOREPLACE) ==
      0) {
    temporary_.clear();
    return Done();
  }
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
    return FromErrno(IoOutcome::WriteFailed);
  }
  if (::link(temporary_.c_str(), destination_.c_str()) == 0) {
    ::unlink(temporary_.c_str());
    temporary_.clear();
    return Done();
  }
  if (errno != EPERM && errno != EOPNOTSUPP) return FromErrno(IoOutcome::WriteFailed);
  struct stat existing {};
  if (::lstat(destination_.c_str(), &existing) == 0) return Failed(std::errc::file_exists);
  if (::rename(temporary_.c_str(), destination_.c_str()) != 0) {
    return FromErrno(IoOutcome::WriteFailed);
  }
  temporary_.clear();
  return Done();
}

void AtomicOutput::Discard() {
  fd_.reset();
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    temporary_.clear();
  }
}

}  // namespace sodrel
