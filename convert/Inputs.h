#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/Report.h"
#include "io/FileIo.h"

namespace sodrel::convert {

bool EndsWithIgnoringCase(std::string_view name, std::string_view suffix);

// One input of a batch: a file given, or found in a folder given.
struct Input {
  std::filesystem::path path;      // as given, or the folder as given / its path inside
  std::filesystem::path relative;  // inside the folder it was found in; a given file's name
  bool found = false;              // found in a folder (a file of the wrong kind is skipped)
};

// The inputs of a batch: each file given, and for each folder given the regular files directly
// in it (in every subfolder too when `recursive`) whose names end with one of `suffixes`, in any
// letter case. Sorted by path; a file reached twice is taken once. An unreadable folder is
// reported as a failure, a folder without matching files as a note.
std::vector<Input> CollectInputs(const std::vector<std::filesystem::path>& given,
                                 std::span<const std::string_view> suffixes, bool recursive,
                                 Report& report);

// Why an input could not be opened (InputFile::Open), in the words every command uses: "it is a
// folder", "not a regular file", or the system's text.
std::string OpenFailure(const IoResult& opened);

}  // namespace sodrel::convert
