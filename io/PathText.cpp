#include "io/FileStatus.h"

namespace sodrel {

// char8_t strings are UTF-8 on every system: libstdc++ copies them unchanged on POSIX, where a
// name is any bytes, and converts them from and to UTF-16 on Windows.
std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::filesystem::path PathFromText(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

bool ModifiedLater(const FileStatus& a, const FileStatus& b) {
  return a.modified[0] != b.modified[0] ? a.modified[0] > b.modified[0]
                                        : a.modified[1] > b.modified[1];
}

}  // namespace sodrel
