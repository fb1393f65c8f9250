#include "io/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "io/AtomicOutput.h"

namespace sodrel {
namespace {

constexpr std::size_t kChunk = 1 << 20;

std::error_code LastError() {
  return {errno, std::generic_category()};
}

CopyFailure ReadSide(std::error_code error) {
  return {error, true};
}
CopyFailure SourceEndedEarly() {
  return ReadSide(std::make_error_code(std::errc::io_error));
}

CopyFailure CopyThroughBuffer(int in, std::uint64_t offset, int out, std::uint64_t length) {
  std::vector<std::byte> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(length, kChunk)));
  while (length > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(length, kChunk));
    const ssize_t got = ::pread(in, buffer.data(), want, static_cast<off_t>(offset));
    if (got < 0) {
      if (errno == EINTR) continue;
      return ReadSide(LastError());
    }
    if (got == 0) return SourceEndedEarly();
    if (std::error_code error = WriteAll(out, {buffer.data(), static_cast<std::size_t>(got)})) {
      return {error};
    }
    offset += static_cast<std::uint64_t>(got);
    length -= static_cast<std::uint64_t>(got);
  }
  return {};
}

FileStamp StampFrom(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_size),
          {info.st_mtim.tv_sec, info.st_mtim.tv_nsec},
          {info.st_ctim.tv_sec, info.st_ctim.tv_nsec}};
}

}  // namespace

std::error_code OpenForReading(const std::filesystem::path& path, UniqueFd& fd, FileStamp& stamp) {
  if (path.empty()) return std::make_error_code(std::errc::no_such_file_or_directory);
  // Non-blocking, so that a FIFO chosen by mistake cannot hang us waiting for a writer; the
  // flag is dropped again once the file is known to be a regular one.
  fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) return LastError();
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return LastError();
  if (S_ISDIR(info.st_mode)) return std::make_error_code(std::errc::is_a_directory);
  if (!S_ISREG(info.st_mode)) return std::make_error_code(std::errc::invalid_argument);
  if (::fcntl(fd.get(), F_SETFL, 0) != 0) return LastError();
  stamp = StampFrom(info);
  return {};
}

std::error_code OpenForReading(const std::filesystem::path& path, UniqueFd& fd,
                               std::uint64_t& size) {
  FileStamp stamp;
  if (std::error_code error = OpenForReading(path, fd, stamp)) return error;
  size = stamp.size;
  return {};
}

std::error_code ReadPrefix(int fd, std::span<std::byte> buffer, std::size_t& got) {
  return ReadAt(fd, 0, buffer, got);
}

std::error_code ReadAt(int fd, std::uint64_t offset, std::span<std::byte> buffer, std::size_t& got) {
  got = 0;
  while (got < buffer.size()) {
    const ssize_t n = ::pread(fd, buffer.data() + got, buffer.size() - got,
                              static_cast<off_t>(offset + got));
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return {};
}

std::error_code WriteAll(int out, std::span<const std::byte> data) {
  while (!data.empty()) {
    const ssize_t n = ::write(out, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    data = data.subspan(static_cast<std::size_t>(n));
  }
  return {};
}

#ifdef __linux__
namespace {

bool Unsupported(int error) {
  return error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == EINVAL ||
         error == EBADF;
}

// The kernel's own copy. Advances `offset` and `length` past what it moved; stops without a
// failure when these files do not support it, so the caller can go on another way.
CopyFailure CopyInKernel(int in, std::uint64_t& offset, int out, std::uint64_t& length) {
  bool moved = false;
  while (length > 0) {
    loff_t from = static_cast<loff_t>(offset);
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(length, 1u << 30));
    const ssize_t n = ::copy_file_range(in, &from, out, nullptr, want, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (!moved && Unsupported(errno)) return {};
      return {LastError()};
    }
    if (n == 0) return SourceEndedEarly();
    moved = true;
    offset += static_cast<std::uint64_t>(n);
    length -= static_cast<std::uint64_t>(n);
  }
  return {};
}

// Moves bytes through a pipe of our own. Between offsets that are not page-aligned (a payload
// behind the 64-byte header) copy_file_range falls back to a 64 KiB pipe inside the kernel; a
// 1 MiB pipe moves the same bytes with far fewer round trips. Advances like CopyInKernel.
CopyFailure SpliceThroughPipe(int in, std::uint64_t& offset, int out, std::uint64_t& length) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return {};
  const UniqueFd readEnd(ends[0]);
  const UniqueFd writeEnd(ends[1]);
  int capacity = ::fcntl(writeEnd.get(), F_SETPIPE_SZ, static_cast<int>(kChunk));
  if (capacity <= 0) capacity = ::fcntl(writeEnd.get(), F_GETPIPE_SZ);
  if (capacity <= 0) return {};

  bool moved = false;
  while (length > 0) {
    loff_t from = static_cast<loff_t>(offset);
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(length, capacity));
    const ssize_t n = ::splice(in, &from, writeEnd.get(), nullptr, want, SPLICE_F_MOVE);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (!moved && Unsupported(errno)) return {};
      return ReadSide(LastError());
    }
    if (n == 0) return SourceEndedEarly();
    for (auto left = static_cast<std::size_t>(n); left > 0;) {
      const ssize_t m = ::splice(readEnd.get(), nullptr, out, nullptr, left, SPLICE_F_MOVE);
      if (m < 0) {
        if (errno == EINTR) continue;
        return {LastError()};
      }
      left -= static_cast<std::size_t>(m);
    }
    moved = true;
    offset += static_cast<std::uint64_t>(n);
    length -= static_cast<std::uint64_t>(n);
  }
  return {};
}

}  // namespace
#endif

// Three ways, fastest first (docs/benchmarks.md, "What bounds the results": Build): our own
// 1 MiB pipe for the unaligned payload behind a header, where copy_file_range would go through a
// 64 KiB one; copy_file_range for aligned copies, which can share blocks; and a buffer through
// user space for files neither kernel call takes (other file systems, other systems).
CopyFailure CopyBytes(int in, std::uint64_t offset, int out, std::uint64_t length) {
#ifdef __linux__
  const off_t position = ::lseek(out, 0, SEEK_CUR);
  const bool aligned = offset % 4096 == 0 && position >= 0 && position % 4096 == 0;
  // Aligned copies stay with copy_file_range, which can share blocks where the filesystem can.
  if (!aligned) {
    if (CopyFailure failure = SpliceThroughPipe(in, offset, out, length)) return failure;
  }
  if (CopyFailure failure = CopyInKernel(in, offset, out, length)) return failure;
  if (length == 0) return {};
#endif
  return CopyThroughBuffer(in, offset, out, length);
}

std::error_code StampOf(int fd, FileStamp& stamp) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return LastError();
  stamp = StampFrom(info);
  return {};
}

CopyFailure ExpectUnchanged(int fd, const FileStamp& before) {
  FileStamp after;
  if (std::error_code error = StampOf(fd, after)) return ReadSide(error);
  // Written, cut or grown while we read it: what we read may mix two versions of the file.
  if (after != before) {
    return ReadSide(std::make_error_code(std::errc::resource_unavailable_try_again));
  }
  return {};
}

std::error_code CopyFileReplacing(const std::filesystem::path& source,
                                  const std::filesystem::path& destination) {
  UniqueFd in;
  FileStamp before;
  if (std::error_code error = OpenForReading(source, in, before)) return error;
  AtomicOutput output(destination);
  if (std::error_code error = output.Open()) return error;
  if (CopyFailure failure = CopyBytes(in.get(), 0, output.fd(), before.size)) return failure.error;
  if (CopyFailure failure = ExpectUnchanged(in.get(), before)) return failure.error;
  return output.Commit();
}

}  // namespace sodrel
