#include "io/AtomicOutput.h"

#include "io/OutputNames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>

namespace sodrel {
namespace {

IoResult Failed(std::errc error) {
  return {IoOutcome::WriteFailed, std::make_error_code(error)};
}

// The folder's entry for a rename is on disk once the folder is synced. Not every filesystem syncs
// a folder (some refuse with EINVAL); the new file is in place and whole either way.
void SyncFolderOf(const std::filesystem::path& destination) {
  const UniqueFd folder(::open(FolderOf(destination).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.valid()) ::fsync(folder.get());
}

}  // namespace

IoResult AtomicOutput::Open() {
  if (mode_ == OutputMode::FillPlaceholder && OpenInPlace()) return Done();
  if (mode_ == OutputMode::Keep && !AtomicOutputHooks::noUnnamed && OpenUnnamed()) return Done();
  return OpenNamed();
}

bool AtomicOutput::OpenInPlace() {
  const auto placeholder = [](const struct stat& info) {
    return S_ISREG(info.st_mode) && info.st_size == 0 && info.st_nlink == 1;
  };
  struct stat named {
  }, opened{};
  if (::lstat(destination_.c_str(), &named) != 0 || !placeholder(named)) return false;
  UniqueFd fd(::open(destination_.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  // Still that very file, and still empty: nothing of anyone else's is written over.
  if (!fd.valid() || ::fstat(fd.get(), &opened) != 0 || !placeholder(opened) ||
      opened.st_dev != named.st_dev || opened.st_ino != named.st_ino ||
      ::fcntl(fd.get(), F_SETFL, 0) != 0) {
    return false;
  }
  fd_ = std::move(fd);
  way_ = Way::InPlace;
  return true;
}

bool AtomicOutput::OpenUnnamed() {
  // Linked in through /proc/self/fd at Commit(); without /proc the named way is taken.
  if (::access("/proc/self/fd", X_OK) != 0) return false;
  fd_.reset(::open(FolderOf(destination_).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
  if (!fd_.valid()) return false;  // not on this filesystem or kernel: the named way says why
  way_ = Way::Unnamed;
  return true;
}

IoResult AtomicOutput::OpenNamed() {
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::filesystem::path candidate = TemporaryNameFor(destination_);
    int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_.reset(fd);
      temporary_ = std::move(candidate);
      way_ = Way::Named;
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

IoResult AtomicOutput::Commit(Stop stop) {
  if (!fd_.valid()) return Failed(std::errc::bad_file_descriptor);
  if (stop.requested()) {
    Discard();
    return Failed(std::errc::interrupted);
  }
  bool done = false;
  switch (way_) {
    case Way::InPlace:
      done = ::close(fd_.release()) == 0;
      break;
    case Way::Unnamed: {
      const std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
      done = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, destination_.c_str(), AT_SYMLINK_FOLLOW) ==
                 0 &&
             ::close(fd_.release()) == 0;
      break;
    }
    case Way::Named: {
      struct stat existing {};
      // A new output skips the waits: a power loss then leaves no file or the whole one as well.
      const bool sync = mode_ == OutputMode::Replace && durability_ == Durability::SyncReplaced &&
                        ::lstat(destination_.c_str(), &existing) == 0;
      if (sync && ::fsync(fd_.get()) != 0) break;
      if (::close(fd_.release()) != 0) break;
      if (mode_ == OutputMode::Keep) {
        if (const IoResult linked = LinkNamedWithoutReplacing(); !linked.ok()) {
          Discard();
          return linked;
        }
        done = true;
      } else {
        done = ::rename(temporary_.c_str(), destination_.c_str()) == 0;
        if (done && sync) SyncFolderOf(destination_);
      }
      break;
    }
    case Way::None:
      break;
  }
  if (!done) {
    const IoResult failed = FromErrno(IoOutcome::WriteFailed);
    Discard();
    return failed;
  }
  committed_ = true;
  return Done();
}

// Puts the named temporary at the destination unless something is there: atomically where the
// filesystem can (renameat2 with RENAME_NOREPLACE, or a hard link), with a last look otherwise.
IoResult AtomicOutput::LinkNamedWithoutReplacing() {
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
  // An emptied placeholder is what was there before.
  if (way_ == Way::InPlace && fd_.valid() && ::ftruncate(fd_.get(), 0) != 0) fd_.reset();
  fd_.reset();
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    temporary_.clear();
  }
}

}  // namespace sodrel
