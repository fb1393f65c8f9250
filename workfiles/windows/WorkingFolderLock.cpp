#include "workfiles/WorkingFolderLock.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "workfiles/WorkingFiles.h"

namespace sodrel {
namespace {

std::error_code LastError() {
  return {static_cast<int>(::GetLastError()), std::system_category()};
}

}  // namespace

// LockFileEx on a lock file in Temp\, held by its handle: closed (or the process ended), the
// lock is gone.
WorkingFolderLock::WorkingFolderLock(const std::filesystem::path& workParent) {
  const std::filesystem::path name = WorkingFolder(workParent) / L"sodrel-tools.lock";
  const HANDLE handle = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error_ = LastError();
    return;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
  if (fd < 0) {
    ::CloseHandle(handle);
    error_ = std::make_error_code(std::errc::too_many_files_open);
    return;
  }
  UniqueFd lockFile(fd);
  OVERLAPPED whole{};
  if (!::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
    error_ = LastError();
    return;
  }
  folder_ = std::move(lockFile);
}

}  // namespace sodrel
