#include "io/AtomicOutput.h"

#include <fcntl.h>
#include <sys/stat.h>

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

}  // namespace

AtomicOutput::AtomicOutput(std::filesystem::path destination)
    : destination_(std::move(destination)) {}

AtomicOutput::~AtomicOutput() {
  if (!committed_) Discard();
}

IoResult AtomicOutput::Open() {
  std::filesystem::path folder = destination_.parent_path();
  if (folder.empty()) folder = ".";
  const std::string stem = "." + destination_.filename().string() + ".part-";
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::filesystem::path candidate = folder / (stem + RandomSuffix());
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
  return {IoOutcome::WriteFailed, std::make_error_code(std::errc::file_exists)};
}

IoResult AtomicOutput::Commit() {
  if (!fd_.valid()) {
    return {IoOutcome::WriteFailed, std::make_error_code(std::errc::bad_file_descriptor)};
  }
  if (::close(fd_.release()) != 0 || ::rename(temporary_.c_str(), destination_.c_str()) != 0) {
    const IoResult failed = FromErrno(IoOutcome::WriteFailed);
    Discard();
    return failed;
  }
  committed_ = true;
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
