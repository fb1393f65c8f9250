#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

// What the batch tool asks of the file system beside reading and writing: which file a name
// stands for, whether it is a folder and when it was last written. One implementation per system.
namespace sodrel {

// A file's identity: device and inode on POSIX, volume serial and file index on Windows. Two
// names of one file (links, other spellings) have the same identity.
struct FileId {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  friend auto operator<=>(const FileId&, const FileId&) = default;
};

struct FileStatus {
  FileId id;
  bool folder = false;
  std::int64_t modified[2] = {};  // seconds, nanoseconds
};

// The file at `path`, links followed when `followLinks`; nothing when there is none.
std::optional<FileStatus> StatusOf(const std::filesystem::path& path, bool followLinks = true);

// Whether `a` was last written after `b`.
bool ModifiedLater(const FileStatus& a, const FileStatus& b);

// Deletes `folder` when it is an empty folder; never a file standing at its name.
std::error_code RemoveEmptyFolder(const std::filesystem::path& folder);

// The processors this process may run on.
unsigned ProcessorCount();

// The running executable's own path; `started` is the name it was started by, taken where the
// system cannot tell.
std::filesystem::path RunningProgram(const char* started);

// Whether standard error is a terminal (a console on Windows).
bool ErrorStreamIsTerminal();

// A path as UTF-8 text for messages, and back: byte for byte on POSIX, whatever the bytes are;
// converted from and to UTF-16 on Windows.
std::string PathText(const std::filesystem::path& path);
std::filesystem::path PathFromText(std::string_view text);

}  // namespace sodrel
