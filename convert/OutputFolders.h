#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <vector>

namespace sodrel::convert {

// The folders a batch makes for its outputs (-o DIR). Each is made once, so that every output
// in a folder that cannot be made shares the one error; the folders made that hold nothing at
// the end (their outputs all failed) are removed again. Safe to use from several threads.
class OutputFolders {
 public:
  OutputFolders() = default;
  OutputFolders(const OutputFolders&) = delete;
  OutputFolders& operator=(const OutputFolders&) = delete;

  // Makes `folder` and its missing parents; why that failed, or no error.
  std::error_code Make(const std::filesystem::path& folder);
  // Removes the folders Make made that are empty now, the deepest first.
  void RemoveEmpty();

 private:
  std::mutex mutex_;
  std::map<std::filesystem::path, std::error_code> tried_;
  std::vector<std::filesystem::path> made_;
};

}  // namespace sodrel::convert
