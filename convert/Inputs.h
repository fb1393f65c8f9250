#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

#include "container/Outcome.h"
#include "convert/Report.h"

namespace sodrel::convert {

// The files a batch works on: each file given, and for each folder given the regular files
// directly in it (in every subfolder too when `recursive`) whose names end with one of
// `suffixes`, in any letter case. Sorted by path; a file reached twice is taken once. An
// unreadable folder is reported as a failure, a folder without matching files as a note.
std::vector<std::filesystem::path> CollectInputs(const std::vector<std::filesystem::path>& given,
                                                 std::span<const std::string_view> suffixes,
                                                 bool recursive, Report& report);
inline std::vector<std::filesystem::path> CollectInputs(
    const std::vector<std::filesystem::path>& given, std::string_view suffix, bool recursive,
    Report& report) {
  return CollectInputs(given, std::span(&suffix, 1), recursive, report);
}

// What stat says of an input before anything opens it: it must be an existing regular file
// (opening a pipe or a device could block or never end).
struct [[nodiscard]] InputCheck {
  ConvertResult result;
  std::string detail;  // why it cannot be used, in plain words
  std::uint64_t size = 0;
  bool ok() const { return result.ok(); }
};
InputCheck CheckInput(const std::filesystem::path& path);

}  // namespace sodrel::convert
