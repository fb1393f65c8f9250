#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <system_error>

#include "io/UniqueFd.h"

namespace sodrel {

// The length and the last-change times of an open file. A stamp taken after reading the file
// that equals one taken before means nobody wrote to it, cut it or grew it in between: what was
// read is one version of the file, not a mix of two. (Exactly so where a change after a stat
// always gets a new change time, as on Linux 6.13 and later; within a clock tick before that.)
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t modified[2] = {};  // seconds, nanoseconds
  std::int64_t changed[2] = {};
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// Opens an existing regular file for reading. Never creates a file.
// On success `stamp` (or `size`) describes the file as it was opened.
std::error_code OpenForReading(const std::filesystem::path& path, UniqueFd& fd, FileStamp& stamp);
std::error_code OpenForReading(const std::filesystem::path& path, UniqueFd& fd,
                               std::uint64_t& size);

// Reads up to buffer.size() bytes from the start of the file; `got` is how many arrived
// (fewer only when the file is shorter).
std::error_code ReadPrefix(int fd, std::span<std::byte> buffer, std::size_t& got);
// The same from byte `offset` on.
std::error_code ReadAt(int fd, std::uint64_t offset, std::span<std::byte> buffer, std::size_t& got);

struct CopyFailure {
  std::error_code error;
  bool whileReading = false;  // the source failed or ended early, rather than the destination
  explicit operator bool() const { return static_cast<bool>(error); }
};

// Copies exactly `length` bytes from `in` at `offset` to the current position of `out`.
// Uses the kernel's copy_file_range where it can, bounded chunks otherwise, so memory stays
// flat whatever the length. A source that ends early fails (the file shrank under us).
CopyFailure CopyBytes(int in, std::uint64_t offset, int out, std::uint64_t length);

// The stamp of the file open at `fd`; an error when it cannot be taken.
std::error_code StampOf(int fd, FileStamp& stamp);

// Fails (as a read failure) when the file open at `fd` no longer matches `before`.
CopyFailure ExpectUnchanged(int fd, const FileStamp& before);

// Writes all of `data` to the current position of `out`.
std::error_code WriteAll(int out, std::span<const std::byte> data);

// Replaces `destination` with a whole copy of `source`, atomically (see AtomicOutput).
std::error_code CopyFileReplacing(const std::filesystem::path& source,
                                  const std::filesystem::path& destination);

}  // namespace sodrel
