#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "workfiles/System.h"
#include "workfiles/WorkPlaces.h"
#include "workfiles/WorkingFiles.h"

namespace sodrel::platform {
namespace {

namespace fs = std::filesystem;

// Whether this user can create and write files in `folder`.
bool Writable(const fs::path& folder) {
  std::error_code error;
  return fs::is_directory(folder, error) &&
         ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

}  // namespace

bool ProgramTempWritable(const fs::path& programFolder, bool prepare) {
  const fs::path temp = WorkingFolder(programFolder);
  if (prepare) {
    ::mkdir(temp.c_str(), 0777);  // fails harmlessly where it exists or the folder refuses it
  } else if (std::error_code error; !fs::exists(fs::symlink_status(temp, error))) {
    return Writable(programFolder);
  }
  return Writable(temp);
}

namespace {

// `variable` when it names an absolute path, else `fallback` in the home folder; empty when
// there is no home folder either.
fs::path UserFolder(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/') return fs::path(value) / kUserFolderName;
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') {
    const passwd* user = ::getpwuid(::geteuid());
    home = user != nullptr ? user->pw_dir : nullptr;
  }
  if (home == nullptr || home[0] == '\0') return {};
  return fs::path(home) / fallback / kUserFolderName;
}

}  // namespace

void MakePrivateFolders(const fs::path& folder) {
  fs::path made;
  for (const fs::path& part : folder) ::mkdir((made /= part).c_str(), 0700);
}

fs::path UserCacheFolder() {
  return UserFolder("XDG_CACHE_HOME", ".cache");
}

fs::path UserConfigFolder() {
  return UserFolder("XDG_CONFIG_HOME", ".config");
}

// unlink, not remove: a directory standing at a working file's name is not ours to delete.
std::error_code RemoveFile(const fs::path& path) {
  if (::unlink(path.c_str()) != 0) return {errno, std::generic_category()};
  return {};
}

}  // namespace sodrel::platform
