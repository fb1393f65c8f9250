#include "workfiles/WorkPlaces.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "container/TextureContainer.h"
#include "workfiles/WorkingFiles.h"

namespace sodrel {
namespace {

namespace fs = std::filesystem;

// Whether this user can create and write files in `folder`.
bool Writable(const fs::path& folder) {
  std::error_code error;
  return fs::is_directory(folder, error) &&
         ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool ProgramTempWritable(const fs::path& programFolder, bool prepare) {
  const fs::path temp = WorkingFolder(programFolder);
  if (prepare) {
    ::mkdir(temp.c_str(), 0777);  // fails harmlessly where it exists or the folder refuses it
  } else if (std::error_code error; !fs::exists(fs::symlink_status(temp, error))) {
    return Writable(programFolder);
  }
  return Writable(temp);
}

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

// Makes `folder` and its missing parents, each new one readable by the user alone.
void MakePrivateFolders(const fs::path& folder) {
  fs::path made;
  for (const fs::path& part : folder) ::mkdir((made /= part).c_str(), 0700);
}

}  // namespace

WorkPlaces FindWorkPlaces(const fs::path& programFolder, bool prepare) {
  if (ProgramTempWritable(programFolder, prepare)) return programFolder;
  const fs::path cache = UserFolder("XDG_CACHE_HOME", ".cache");
  const fs::path config = UserFolder("XDG_CONFIG_HOME", ".config");
  // Without a home folder there is nowhere else to go: the program folder, however it fails.
  if (cache.empty()) return programFolder;
  if (prepare) MakePrivateFolders(WorkingFolder(cache));
  return {cache, programFolder, config};
}

fs::path TemplateFolderNow(const WorkPlaces& places) {
  std::error_code error;
  const fs::path& own = places.userTemplateFolder;
  if (!own.empty() && fs::exists(fs::symlink_status(HeaderTemplatePath(own), error))) return own;
  return places.templateFolder;
}

}  // namespace sodrel
