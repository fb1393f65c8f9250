#include "io/FileStatus.h"

#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace sodrel {

std::optional<FileStatus> StatusOf(const std::filesystem::path& path, bool followLinks) {
  struct stat info {};
  if ((followLinks ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info)) != 0) return {};
  FileStatus status;
  status.id = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
  status.folder = S_ISDIR(info.st_mode);
  status.modified[0] = info.st_mtim.tv_sec;
  status.modified[1] = info.st_mtim.tv_nsec;
  return status;
}

std::error_code RemoveEmptyFolder(const std::filesystem::path& folder) {
  if (::rmdir(folder.c_str()) == 0) return {};
  return std::error_code(errno, std::generic_category());
}

unsigned ProcessorCount() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
    return static_cast<unsigned>(CPU_COUNT(&set));
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

std::filesystem::path RunningProgram(const char* started) {
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) self = std::filesystem::weakly_canonical(started != nullptr ? started : "", error);
  return self;
}

bool ErrorStreamIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace sodrel
