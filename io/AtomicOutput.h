#pragma once

#include <filesystem>

#include "io/FileIo.h"

namespace sodrel {

// What an output does about a file already at its destination.
enum class OutputMode {
  Replace,  // renamed over it (a symbolic link there is replaced itself, its target never written)
  Keep,     // never replaces it: Commit fails with EEXIST when anything is there by then
};

// Writes a file under a temporary name in the destination's folder and puts it at the
// destination only when Commit() is called. Destroying an uncommitted output removes the
// temporary file, so a failure never leaves a partial file and never touches an earlier one.
class AtomicOutput {
 public:
  explicit AtomicOutput(std::filesystem::path destination, OutputMode mode = OutputMode::Replace);
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;
  ~AtomicOutput();

  // Creates the temporary file. Must succeed before fd() is used.
  IoResult Open();
  int fd() const { return fd_.get(); }
  const std::filesystem::path& temporaryPath() const { return temporary_; }

  // Closes the temporary file and puts it at the destination.
  IoResult Commit();

 private:
  IoResult LinkWithoutReplacing();
  void Discard();

  std::filesystem::path destination_;
  OutputMode mode_;
  std::filesystem::path temporary_;
  UniqueFd fd_;
  bool committed_ = false;
};

}  // namespace sodrel
