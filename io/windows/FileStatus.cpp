#include "io/FileStatus.h"

#include <windows.h>

#include <io.h>

#include <algorithm>
#include <bit>
#include <thread>
#include <vector>

#include "io/windows/WinError.h"

namespace sodrel {

std::optional<FileStatus> StatusOf(const std::filesystem::path& path, bool followLinks) {
  // No access asked and every sharing allowed: a file open elsewhere, even for writing, is seen.
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  const HANDLE handle =
      ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {};
  BY_HANDLE_FILE_INFORMATION info{};
  const bool got = ::GetFileInformationByHandle(handle, &info);
  ::CloseHandle(handle);
  if (!got) return {};
  FileStatus status;
  status.id = {info.dwVolumeSerialNumber,
               (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  status.folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const std::int64_t ticks =
      static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                info.ftLastWriteTime.dwLowDateTime);
  status.modified[0] = ticks / 10'000'000;
  status.modified[1] = (ticks % 10'000'000) * 100;
  return status;
}

std::error_code RemoveEmptyFolder(const std::filesystem::path& folder) {
  if (::RemoveDirectoryW(folder.c_str())) return {};
  return LastError();
}

unsigned ProcessorCount() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) && process != 0) {
    return static_cast<unsigned>(std::popcount(static_cast<std::uint64_t>(process)));
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

std::filesystem::path RunningProgram(const char* started) {
  std::vector<wchar_t> name(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) break;
    if (length < name.size()) return std::filesystem::path(std::wstring(name.data(), length));
    name.resize(name.size() * 2);
  }
  std::error_code error;
  return std::filesystem::weakly_canonical(started != nullptr ? started : "", error);
}

bool ErrorStreamIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace sodrel
