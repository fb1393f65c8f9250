#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <system_error>

#include "container/UniqueFd.h"

namespace sodrel {

// Opens an existing regular file for reading. Never creates a file.
// On success `size` holds the file's length.
std::error_code OpenForReading(const std::filesystem::path& path, UniqueFd& fd,
                               std::uint64_t& size);

// Reads up to buffer.size() bytes from the start of the file; `got` is how many arrived
// (fewer only when the file is shorter).
std::error_code ReadPrefix(int fd, std::span<std::byte> buffer, std::size_t& got);

struct CopyFailure {
  std::error_code error;
  bool whileReading = false;  // the source failed or ended early, rather than the destination
  explicit operator bool() const { return static_cast<bool>(error); }
};

// Copies exactly `length` bytes from `in` at `offset` to the current position of `out`.
// Uses the kernel's copy_file_range where it can, bounded chunks otherwise, so memory stays
// flat whatever the length. A source that ends early fails (the file shrank under us).
CopyFailure CopyBytes(int in, std::uint64_t offset, int out, std::uint64_t length);

// Writes all of `data` to the current position of `out`.
std::error_code WriteAll(int out, std::span<const std::byte> data);

// Replaces `destination` with a whole copy of `source`, atomically (see AtomicOutput).
std::error_code CopyFileReplacing(const std::filesystem::path& source,
                                  const std::filesystem::path& destination);

}  // namespace sodrel
