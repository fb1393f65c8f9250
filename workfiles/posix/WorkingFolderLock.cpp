#include "workfiles/WorkingFolderLock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

#include "workfiles/WorkingFiles.h"

namespace sodrel {

WorkingFolderLock::WorkingFolderLock(const std::filesystem::path& workParent) {
  UniqueFd folder(::open(WorkingFolder(workParent).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) {
    error_ = {errno, std::generic_category()};
    return;
  }
  while (::flock(folder.get(), LOCK_EX) != 0) {
    if (errno != EINTR) {
      error_ = {errno, std::generic_category()};
      return;
    }
  }
  folder_ = std::move(folder);
}

}  // namespace sodrel
