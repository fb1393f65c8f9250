#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "io/ChangeWatch.h"
#include "io/Result.h"
#include "io/Stop.h"
#include "io/UniqueFd.h"

namespace sodrel {

enum class IoOutcome {
  NotDone,
  Done,
  ReadFailed,   // the input could not be opened or read, or ended early
  WriteFailed,  // the output could not be created or written
  Changed,      // the input was written, cut or grown while it was read
};

std::string_view Describe(IoOutcome outcome);

using IoResult = Result<IoOutcome, IoOutcome::Done>;

inline IoResult Done() {
  return {IoOutcome::Done, {}};
}
// `outcome` with errno as its error.
IoResult FromErrno(IoOutcome outcome);

// The length and the last-change times of an open file. On Linux before 6.13 the times move at
// most once per clock tick, so equal stamps prove only that no change came a tick or more after
// the first; InputFile adds a ChangeWatch for the changes within a tick.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t modified[2] = {};  // seconds, nanoseconds
  std::int64_t changed[2] = {};
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

IoResult StampOf(int fd, FileStamp& stamp);

// An existing regular file open for reading (never created), watched from the moment it was
// opened. After the last read, Unchanged() tells whether what was read is one version of the
// file, not a mix of two: every input is read this way.
class InputFile {
 public:
  IoResult Open(const std::filesystem::path& path);

  int fd() const { return fd_.get(); }
  std::uint64_t size() const { return stamp_.size; }

  // Changed (the watch saw a change, or the stamp differs), or Done.
  IoResult Unchanged();

 private:
  UniqueFd fd_;
  FileStamp stamp_;
  std::unique_ptr<ChangeWatch> watch_;
};

// Reads up to buffer.size() bytes from byte `offset` on; `got` is how many arrived (fewer only
// when the file is shorter).
IoResult ReadAt(int fd, std::uint64_t offset, std::span<std::byte> buffer, std::size_t& got);

// Copies exactly `length` bytes from `in` at `offset` to the current position of `out`.
// Uses the kernel's copy_file_range where it can, bounded chunks otherwise, so memory stays
// flat whatever the length. A source that ends early fails (the file shrank under us); a `stop`
// requested fails it between two chunks, with std::errc::interrupted.
IoResult CopyBytes(int in, std::uint64_t offset, int out, std::uint64_t length, Stop stop);

// Test seam, never set by the program, set in tests through a ScopedSeam: CopyBytes then goes
// through its buffer, as where the kernel refuses both of its own copies.
struct FileIoHooks {
  static inline bool noKernelCopy = false;
};

// Writes all of `data` to the current position of `out`.
IoResult WriteAll(int out, std::span<const std::byte> data);

// Replaces `destination` with a whole copy of `source`, atomically (see AtomicOutput), without
// waiting for the disk: for working files.
IoResult CopyFileReplacing(const std::filesystem::path& source,
                           const std::filesystem::path& destination);

}  // namespace sodrel
