#include "workfiles/WorkPlaces.h"

#include "container/TextureContainer.h"
#include "workfiles/System.h"
#include "workfiles/WorkingFiles.h"

namespace sodrel {

namespace fs = std::filesystem;

WorkPlaces FindWorkPlaces(const fs::path& programFolder, bool prepare) {
  if (platform::ProgramTempWritable(programFolder, prepare)) return programFolder;
  const fs::path cache = platform::UserCacheFolder();
  const fs::path config = platform::UserConfigFolder();
  // Without a home folder there is nowhere else to go: the program folder, however it fails.
  if (cache.empty()) return programFolder;
  if (prepare) platform::MakePrivateFolders(WorkingFolder(cache));
  return {cache, programFolder, config};
}

fs::path TemplateFolderNow(const WorkPlaces& places) {
  std::error_code error;
  const fs::path& own = places.userTemplateFolder;
  if (!own.empty() && fs::exists(fs::symlink_status(HeaderTemplatePath(own), error))) return own;
  return places.templateFolder;
}

}  // namespace sodrel
