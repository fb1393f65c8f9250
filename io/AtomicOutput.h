#pragma once

#include <filesystem>

#include "io/FileIo.h"

namespace sodrel {

// What an output does about a file already at its destination.
enum class OutputMode {
  Replace,  // renamed over it (a symbolic link there is replaced itself, its target never written)
  Keep,     // never replaces it: Commit fails with EEXIST when anything is there by then
  // Replace, except that an empty regular file with one link (the placeholder a file manager
  // creates and then reads back through its own open stream) is written in place, same inode.
  FillPlaceholder,
};

// Whether replacing an existing file with an output waits until both are on disk.
enum class Durability {
  // Replace: when a file is there to be replaced, the new file's data reaches the disk before the
  // rename and the folder after it, so that a power loss leaves the old file or the new one.
  SyncReplaced,
  Scratch,  // never waits: working files, which the next command makes again
};

// Writes a file that appears at its destination whole or not at all: under a temporary name in
// the destination's folder, renamed over the destination only when Commit() is called; or, for
// Keep where the kernel and the filesystem allow it, as an unnamed file (O_TMPFILE) linked in at
// Commit(), which no interruption can leave behind. Destroying an uncommitted output removes its
// temporary file (a placeholder written in place is emptied again), so a failure never leaves a
// partial file and never touches an earlier one.
class AtomicOutput {
 public:
  explicit AtomicOutput(std::filesystem::path destination, OutputMode mode = OutputMode::Replace,
                        Durability durability = Durability::SyncReplaced);
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;
  ~AtomicOutput();

  // Creates the temporary file. Must succeed before fd() is used.
  IoResult Open();
  int fd() const { return fd_.get(); }
  // The temporary file's name, for writers that take a path; empty when it has none (unnamed,
  // or a placeholder written in place). Replace always has one.
  const std::filesystem::path& temporaryPath() const { return temporary_; }

  // Closes the temporary file and puts it at the destination; when `stop` is requested by then,
  // discards it instead and fails with std::errc::interrupted.
  IoResult Commit(Stop stop);

 private:
  enum class Way { None, Named, Unnamed, InPlace };
  bool OpenInPlace();
  bool OpenUnnamed();
  IoResult OpenNamed();
  IoResult LinkNamedWithoutReplacing();
  void Discard();

  std::filesystem::path destination_;
  OutputMode mode_;
  Durability durability_;
  Way way_ = Way::None;
  std::filesystem::path temporary_;
  UniqueFd fd_;
  bool committed_ = false;
};

// Test seam, never set by the program, set in tests through a ScopedSeam: Keep then always takes
// the named temporary, as on a filesystem without unnamed files.
struct AtomicOutputHooks {
  static inline bool noUnnamed = false;
};

}  // namespace sodrel
