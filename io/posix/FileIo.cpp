#include "io/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "io/AtomicOutput.h"
#include "io/CopyFailures.h"

namespace sodrel {
namespace {

using namespace copy_failures;

IoResult CopyThroughBuffer(int in, std::uint64_t offset, int out, std::uint64_t length, Stop stop) {
  std::vector<std::byte> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(length, kChunk)));
  while (length > 0) {
    if (stop.requested()) return Stopped();
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(length, kChunk));
    const ssize_t got = ::pread(in, buffer.data(), want, static_cast<off_t>(offset));
    if (got < 0) {
      if (errno == EINTR) continue;
      return FromErrno(IoOutcome::ReadFailed);
    }
    if (got == 0) return SourceEndedEarly();
    if (IoResult written = WriteAll(out, {buffer.data(), static_cast<std::size_t>(got)});
        !written.ok()) {
      return written;
    }
    offset += static_cast<std::uint64_t>(got);
    length -= static_cast<std::uint64_t>(got);
  }
  return Done();
}

FileStamp StampFrom(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_size),
          {info.st_mtim.tv_sec, info.st_mtim.tv_nsec},
          {info.st_ctim.tv_sec, info.st_ctim.tv_nsec}};
}

}  // namespace

IoResult InputFile::Open(const std::filesystem::path& path) {
  if (path.empty()) {
    return {IoOutcome::ReadFailed, std::make_error_code(std::errc::no_such_file_or_directory)};
  }
  // Non-blocking, so that a FIFO chosen by mistake cannot hang us waiting for a writer; the
  // flag is dropped again once the file is known to be a regular one.
  fd_.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd_.valid()) return FromErrno(IoOutcome::ReadFailed);
  // Watched before anything is read: a change from here on is noticed.
  watch_ = std::make_unique<ChangeWatch>(fd_.get());
  struct stat info {};
  if (::fstat(fd_.get(), &info) != 0) return FromErrno(IoOutcome::ReadFailed);
  if (S_ISDIR(info.st_mode)) {
    return {IoOutcome::ReadFailed, std::make_error_code(std::errc::is_a_directory)};
  }
  if (!S_ISREG(info.st_mode)) {
    return {IoOutcome::ReadFailed, std::make_error_code(std::errc::invalid_argument)};
  }
  if (::fcntl(fd_.get(), F_SETFL, 0) != 0) return FromErrno(IoOutcome::ReadFailed);
  stamp_ = StampFrom(info);
  return Done();
}

IoResult InputFile::Unchanged() {
  if (!fd_.valid())
    return {IoOutcome::ReadFailed, std::make_error_code(std::errc::bad_file_descriptor)};
  if (ChangeWatchHooks::beforeDrain != nullptr) ChangeWatchHooks::beforeDrain(fd_.get());
  const bool noticed = watch_ != nullptr && watch_->Changed();
  FileStamp now;
  if (IoResult stamped = StampOf(fd_.get(), now); !stamped.ok()) return stamped;
  // Written, cut or grown while we read it: what we read may mix two versions of the file.
  if (noticed || now != stamp_) {
    return {IoOutcome::Changed, std::make_error_code(std::errc::resource_unavailable_try_again)};
  }
  return Done();
}

IoResult ReadAt(int fd, std::uint64_t offset, std::span<std::byte> buffer, std::size_t& got) {
  got = 0;
  while (got < buffer.size()) {
    const ssize_t n =
        ::pread(fd, buffer.data() + got, buffer.size() - got, static_cast<off_t>(offset + got));
    if (n < 0) {
      if (errno == EINTR) continue;
      return FromErrno(IoOutcome::ReadFailed);
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return Done();
}

IoResult WriteAll(int out, std::span<const std::byte> data) {
  while (!data.empty()) {
    const ssize_t n = ::write(out, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return FromErrno(IoOutcome::WriteFailed);
    }
    data = data.subspan(static_cast<std::size_t>(n));
  }
  return Done();
}

#ifdef __linux__
namespace {

bool Unsupported(int error) {
  return error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == EINVAL ||
         error == EBADF;
}

// The kernel's own copy. Advances `offset` and `length` past what it moved; stops without a
// failure (Done, with `length` left) when these files do not support it, so the caller can go
// on another way.
IoResult CopyInKernel(int in, std::uint64_t& offset, int out, std::uint64_t& length, Stop stop) {
  bool moved = false;
  while (length > 0) {
    if (stop.requested()) return Stopped();
    loff_t from = static_cast<loff_t>(offset);
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(length, 1u << 30));
    const ssize_t n = ::copy_file_range(in, &from, out, nullptr, want, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (!moved && Unsupported(errno)) return Done();
      return FromErrno(IoOutcome::WriteFailed);
    }
    if (n == 0) return SourceEndedEarly();
    moved = true;
    offset += static_cast<std::uint64_t>(n);
    length -= static_cast<std::uint64_t>(n);
  }
  return Done();
}

// Moves bytes through a pipe of our own. Between offsets that are not page-aligned (a payload
// behind the 64-byte header) copy_file_range falls back to a 64 KiB pipe inside the kernel; a
// 1 MiB pipe moves the same bytes with far fewer round trips. Advances like CopyInKernel.
IoResult SpliceThroughPipe(int in, std::uint64_t& offset, int out, std::uint64_t& length,
                           Stop stop) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return Done();
  const UniqueFd readEnd(ends[0]);
  const UniqueFd writeEnd(ends[1]);
  int capacity = ::fcntl(writeEnd.get(), F_SETPIPE_SZ, static_cast<int>(kChunk));
  if (capacity <= 0) capacity = ::fcntl(writeEnd.get(), F_GETPIPE_SZ);
  if (capacity <= 0) return Done();

  bool moved = false;
  while (length > 0) {
    if (stop.requested()) return Stopped();
    loff_t from = static_cast<loff_t>(offset);
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(length, capacity));
    const ssize_t n = ::splice(in, &from, writeEnd.get(), nullptr, want, SPLICE_F_MOVE);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (!moved && Unsupported(errno)) return Done();
      return FromErrno(IoOutcome::ReadFailed);
    }
    if (n == 0) return SourceEndedEarly();
    for (auto left = static_cast<std::size_t>(n); left > 0;) {
      const ssize_t m = ::splice(readEnd.get(), nullptr, out, nullptr, left, SPLICE_F_MOVE);
      if (m < 0) {
        if (errno == EINTR) continue;
        return FromErrno(IoOutcome::WriteFailed);
      }
      left -= static_cast<std::size_t>(m);
    }
    moved = true;
    offset += static_cast<std::uint64_t>(n);
    length -= static_cast<std::uint64_t>(n);
  }
  return Done();
}

}  // namespace
#endif

// Three ways, fastest first (docs/benchmarks.md, "What bounds the results": Build): our own
// 1 MiB pipe for the unaligned payload behind a header, where copy_file_range would go through a
// 64 KiB one; copy_file_range for aligned copies, which can share blocks; and a buffer through
// user space for files neither kernel call takes (other file systems, other systems).
IoResult CopyBytes(int in, std::uint64_t offset, int out, std::uint64_t length, Stop stop) {
#ifdef __linux__
  if (FileIoHooks::noKernelCopy) return CopyThroughBuffer(in, offset, out, length, stop);
  const off_t position = ::lseek(out, 0, SEEK_CUR);
  const bool aligned = offset % 4096 == 0 && position >= 0 && position % 4096 == 0;
  // Aligned copies stay with copy_file_range, which can share blocks where the filesystem can.
  if (!aligned) {
    if (IoResult spliced = SpliceThroughPipe(in, offset, out, length, stop); !spliced.ok()) {
      return spliced;
    }
  }
  if (IoResult copied = CopyInKernel(in, offset, out, length, stop); !copied.ok()) return copied;
  if (length == 0) return Done();
#endif
  return CopyThroughBuffer(in, offset, out, length, stop);
}

IoResult StampOf(int fd, FileStamp& stamp) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return FromErrno(IoOutcome::ReadFailed);
  stamp = StampFrom(info);
  return Done();
}

}  // namespace sodrel
