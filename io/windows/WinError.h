#pragma once

#include <windows.h>

#include <system_error>

#include "io/FileIo.h"

namespace sodrel {

// GetLastError() as the error of `outcome`: the errors callers tell apart (an output already
// there, a missing file, a file in use) as their portable std::errc, others as Windows codes.
inline std::error_code LastError() {
  const DWORD error = ::GetLastError();
  switch (error) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return std::make_error_code(std::errc::file_exists);
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return std::make_error_code(std::errc::no_such_file_or_directory);
    case ERROR_ACCESS_DENIED:
      return std::make_error_code(std::errc::permission_denied);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return std::make_error_code(std::errc::device_or_resource_busy);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return std::make_error_code(std::errc::no_space_on_device);
    case ERROR_HANDLE_EOF:
      return std::make_error_code(std::errc::io_error);
  }
  return std::error_code(static_cast<int>(error), std::system_category());
}

inline IoResult FromLastError(IoOutcome outcome) {
  return {outcome, LastError()};
}

// The Windows handle behind a C runtime descriptor.
inline HANDLE HandleOf(int fd) {
  return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

}  // namespace sodrel
