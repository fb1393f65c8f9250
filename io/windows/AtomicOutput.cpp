#include "io/AtomicOutput.h"

#include "io/OutputNames.h"

#include <fcntl.h>
#include <io.h>

#include <random>
#include <string>

#include "io/windows/WinError.h"

namespace sodrel {
namespace {

IoResult Failed(std::errc error) {
  return {IoOutcome::WriteFailed, std::make_error_code(error)};
}

bool Exists(const std::filesystem::path& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

// Always a named temporary beside the destination; a placeholder is replaced like any file.
IoResult AtomicOutput::Open() {
  return OpenNamed();
}

IoResult AtomicOutput::OpenNamed() {
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::filesystem::path candidate = TemporaryNameFor(destination_);
    // Others may open it too: writers that take a path (FreeImage) write it by its name.
    const HANDLE handle = ::CreateFileW(candidate.c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
      if (fd < 0) {
        ::CloseHandle(handle);
        ::DeleteFileW(candidate.c_str());
        return FromErrno(IoOutcome::WriteFailed);
      }
      fd_.reset(fd);
      temporary_ = std::move(candidate);
      way_ = Way::Named;
      return Done();
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      return FromLastError(IoOutcome::WriteFailed);
    }
  }
  return Failed(std::errc::file_exists);
}

// MoveFileExW replaces only where the output may replace: for Keep, a file that appeared at the
// destination meanwhile stays and the commit fails with file_exists.
IoResult AtomicOutput::Commit(Stop stop) {
  if (!fd_.valid()) return Failed(std::errc::bad_file_descriptor);
  if (stop.requested()) {
    Discard();
    return Failed(std::errc::interrupted);
  }
  const bool replace = mode_ != OutputMode::Keep;
  const bool sync = replace && durability_ == Durability::SyncReplaced && Exists(destination_);
  if (sync && !::FlushFileBuffers(HandleOf(fd_.get()))) {
    const IoResult failed = FromLastError(IoOutcome::WriteFailed);
    Discard();
    return failed;
  }
  fd_.reset();
  DWORD flags = 0;
  if (replace) flags |= MOVEFILE_REPLACE_EXISTING;
  if (sync) flags |= MOVEFILE_WRITE_THROUGH;
  if (!::MoveFileExW(temporary_.c_str(), destination_.c_str(), flags)) {
    const IoResult failed = FromLastError(IoOutcome::WriteFailed);
    Discard();
    return failed;
  }
  temporary_.clear();
  committed_ = true;
  return Done();
}

void AtomicOutput::Discard() {
  fd_.reset();
  if (!temporary_.empty()) {
    ::DeleteFileW(temporary_.c_str());
    temporary_.clear();
  }
}

}  // namespace sodrel
