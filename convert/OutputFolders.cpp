#include "convert/OutputFolders.h"

#include <algorithm>

#include "io/FileStatus.h"

namespace sodrel::convert {
namespace fs = std::filesystem;

std::error_code OutputFolders::Make(const fs::path& folder) {
  const std::lock_guard lock(mutex_);
  if (const auto tried = tried_.find(folder); tried != tried_.end()) return tried->second;
  std::error_code error;
  std::vector<fs::path> missing;
  for (fs::path part = folder; !part.empty() && !fs::exists(fs::symlink_status(part, error));
       part = part.parent_path()) {
    missing.push_back(part);
    if (part == part.parent_path()) break;
  }
  fs::create_directories(folder, error);
  for (const fs::path& part : missing) {
    std::error_code ignored;
    if (fs::is_directory(fs::symlink_status(part, ignored))) made_.push_back(part);
  }
  return tried_[folder] = error;
}

void OutputFolders::RemoveEmpty() {
  const std::lock_guard lock(mutex_);
  std::sort(made_.begin(), made_.end(), [](const fs::path& a, const fs::path& b) {
    return std::distance(a.begin(), a.end()) > std::distance(b.begin(), b.end());
  });
  for (const fs::path& folder : made_) (void)RemoveEmptyFolder(folder);
  made_.clear();
}

}  // namespace sodrel::convert
