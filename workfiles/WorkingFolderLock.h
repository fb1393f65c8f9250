#pragma once

#include <filesystem>
#include <system_error>

#include "io/UniqueFd.h"

namespace sodrel {

// Holds an exclusive lock on the working folder Temp/ for as long as it lives, so that two
// instances of the program started from the same program folder never stage, build or show each
// other's working files. Every instance takes it around each command's working-file steps and
// around the clean-up; a second instance waits until the first is done.
//
// The lock is flock(2) on the folder itself, released when the folder's descriptor closes, so a
// process that dies cannot leave it held. Without a working folder there is nothing to lock: the
// lock is not held and the command goes on as before (its staging copies fail anyway).
// On Windows it is LockFileEx on the lock file Temp\sodrel-tools.lock, released as its handle
// closes.
class WorkingFolderLock {
 public:
  explicit WorkingFolderLock(const std::filesystem::path& workParent);
  WorkingFolderLock(const WorkingFolderLock&) = delete;
  WorkingFolderLock& operator=(const WorkingFolderLock&) = delete;

  bool held() const { return folder_.valid(); }
  // Why the lock is not held, when it is not.
  const std::error_code& error() const { return error_; }

 private:
  UniqueFd folder_;
  std::error_code error_;
};

}  // namespace sodrel
