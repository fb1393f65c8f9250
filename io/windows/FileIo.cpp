#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

#include "io/AtomicOutput.h"
#include "io/CopyFailures.h"
#include "io/FileIo.h"
#include "io/windows/WinError.h"

namespace sodrel {
namespace {

using namespace copy_failures;

// FILETIME's 100-nanosecond units as seconds and nanoseconds.
void SplitTime(std::int64_t ticks, std::int64_t (&time)[2]) {
  time[0] = ticks / 10'000'000;
  time[1] = (ticks % 10'000'000) * 100;
}

}  // namespace

IoResult StampOf(int fd, FileStamp& stamp) {
  FILE_BASIC_INFO basic{};
  FILE_STANDARD_INFO standard{};
  const HANDLE handle = HandleOf(fd);
  if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) ||
      !::GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard)) {
    return FromLastError(IoOutcome::ReadFailed);
  }
  stamp.size = static_cast<std::uint64_t>(standard.EndOfFile.QuadPart);
  SplitTime(basic.LastWriteTime.QuadPart, stamp.modified);
  SplitTime(basic.ChangeTime.QuadPart, stamp.changed);
  return Done();
}

// Held with a share mode that lets others read it but not write, cut or rename it while it is
// open: a writer that had it open already makes the open fail (in use); the stamp taken here and
// compared by Unchanged() covers a writer that slipped in through another way.
IoResult InputFile::Open(const std::filesystem::path& path) {
  if (path.empty()) {
    return {IoOutcome::ReadFailed, std::make_error_code(std::errc::no_such_file_or_directory)};
  }
  const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const IoResult failed = FromLastError(IoOutcome::ReadFailed);
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
      return {IoOutcome::ReadFailed, std::make_error_code(std::errc::is_a_directory)};
    }
    return failed;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    ::CloseHandle(handle);
    return FromErrno(IoOutcome::ReadFailed);
  }
  fd_.reset(fd);
  watch_ = std::make_unique<ChangeWatch>(fd);
  // A device or a pipe under a file's name is no input.
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    return {IoOutcome::ReadFailed, std::make_error_code(std::errc::invalid_argument)};
  }
  return StampOf(fd, stamp_);
}

IoResult InputFile::Unchanged() {
  if (!fd_.valid())
    return {IoOutcome::ReadFailed, std::make_error_code(std::errc::bad_file_descriptor)};
  if (ChangeWatchHooks::beforeDrain != nullptr) ChangeWatchHooks::beforeDrain(fd_.get());
  FileStamp now;
  if (IoResult stamped = StampOf(fd_.get(), now); !stamped.ok()) return stamped;
  if (now != stamp_) {
    return {IoOutcome::Changed, std::make_error_code(std::errc::resource_unavailable_try_again)};
  }
  return Done();
}

IoResult ReadAt(int fd, std::uint64_t offset, std::span<std::byte> buffer, std::size_t& got) {
  got = 0;
  const HANDLE handle = HandleOf(fd);
  while (got < buffer.size()) {
    OVERLAPPED at{};
    const std::uint64_t from = offset + got;
    at.Offset = static_cast<DWORD>(from);
    at.OffsetHigh = static_cast<DWORD>(from >> 32);
    const auto want = static_cast<DWORD>(
        std::min<std::size_t>(buffer.size() - got, std::numeric_limits<DWORD>::max() / 2));
    DWORD n = 0;
    if (!::ReadFile(handle, buffer.data() + got, want, &n, &at)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      return FromLastError(IoOutcome::ReadFailed);
    }
    if (n == 0) break;
    got += n;
  }
  return Done();
}

IoResult WriteAll(int out, std::span<const std::byte> data) {
  const HANDLE handle = HandleOf(out);
  while (!data.empty()) {
    const auto want = static_cast<DWORD>(
        std::min<std::size_t>(data.size(), std::numeric_limits<DWORD>::max() / 2));
    DWORD n = 0;
    if (!::WriteFile(handle, data.data(), want, &n, nullptr)) {
      return FromLastError(IoOutcome::WriteFailed);
    }
    data = data.subspan(n);
  }
  return Done();
}

IoResult CopyBytes(int in, std::uint64_t offset, int out, std::uint64_t length, Stop stop) {
  std::vector<std::byte> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(length, kChunk)));
  while (length > 0) {
    if (stop.requested()) return Stopped();
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(length, kChunk));
    std::size_t got = 0;
    if (IoResult read = ReadAt(in, offset, std::span(buffer.data(), want), got); !read.ok()) {
      return read;
    }
    if (got < want) return SourceEndedEarly();
    if (IoResult written = WriteAll(out, std::span(buffer.data(), got)); !written.ok()) {
      return written;
    }
    offset += got;
    length -= got;
  }
  return Done();
}

}  // namespace sodrel
