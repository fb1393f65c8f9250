#pragma once

#include <filesystem>
#include "io/FileIo.h"

namespace sodrel {

// Writes a file under a temporary name in the destination's folder and renames it over the
// destination only when Commit() is called. Destroying an uncommitted output removes the
// temporary file, so a failure never leaves a partial file and never touches an earlier one.
// A symbolic link at the destination is replaced itself; its target is never written.
class AtomicOutput {
 public:
  explicit AtomicOutput(std::filesystem::path destination);
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;
  ~AtomicOutput();

  // Creates the temporary file. Must succeed before fd() is used.
  IoResult Open();
  int fd() const { return fd_.get(); }
  const std::filesystem::path& temporaryPath() const { return temporary_; }

  // Closes the temporary file and renames it over the destination.
  IoResult Commit();

 private:
  void Discard();

  std::filesystem::path destination_;
  std::filesystem::path temporary_;
  UniqueFd fd_;
  bool committed_ = false;
};

}  // namespace sodrel
