#include <shlobj.h>
#include <windows.h>

#include <random>
#include <string>

#include "workfiles/System.h"
#include "workfiles/WorkPlaces.h"
#include "workfiles/WorkingFiles.h"

namespace sodrel::platform {
namespace {

namespace fs = std::filesystem;

// Whether this user can create files in `folder`: asked by creating one, which Windows deletes
// as it is closed.
bool Writable(const fs::path& folder) {
  std::error_code error;
  if (!fs::is_directory(folder, error)) return false;
  thread_local std::mt19937_64 generator{std::random_device{}()};
  const fs::path probe = folder / (L".write-test-" + std::to_wstring(generator()));
  const HANDLE handle =
      ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(handle);
  return true;
}

// %LOCALAPPDATA%\sodrel-tools: the user's Temp\ and KX00.dll side by side, on this machine.
fs::path LocalFolder() {
  PWSTR local = nullptr;
  fs::path folder;
  if (::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local) == S_OK && local[0]) {
    folder = fs::path(local) / kUserFolderName;
  }
  ::CoTaskMemFree(local);
  return folder;
}

}  // namespace

bool ProgramTempWritable(const fs::path& programFolder, bool prepare) {
  const fs::path temp = WorkingFolder(programFolder);
  if (prepare) {
    ::CreateDirectoryW(temp.c_str(), nullptr);  // fails harmlessly where it exists or is refused
  } else if (std::error_code error; !fs::exists(fs::symlink_status(temp, error))) {
    return Writable(programFolder);
  }
  return Writable(temp);
}

fs::path UserCacheFolder() {
  return LocalFolder();
}

fs::path UserConfigFolder() {
  return LocalFolder();
}

// A user's own folder under %LOCALAPPDATA% is readable by that user alone already.
void MakePrivateFolders(const fs::path& folder) {
  std::error_code ignored;
  fs::create_directories(folder, ignored);
}

std::error_code RemoveFile(const fs::path& path) {
  if (!::DeleteFileW(path.c_str())) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    return {static_cast<int>(error), std::system_category()};
  }
  return {};
}

}  // namespace sodrel::platform
