#include "convert/Inputs.h"
#include "io/FileStatus.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <utility>

namespace sodrel::convert {
namespace fs = std::filesystem;
namespace {

struct Found {
  fs::path key;    // absolute and normal, for ordering
  fs::path entry;  // its folder with links resolved, then its name: the same for every spelling
  Input input;
};

Found MakeFound(const fs::path& shown, fs::path relative, bool found) {
  std::error_code ignored;
  fs::path absolute = fs::absolute(shown, ignored);
  if (absolute.empty()) absolute = shown;
  absolute = absolute.lexically_normal();
  fs::path folder = fs::weakly_canonical(absolute.parent_path(), ignored);
  if (folder.empty()) folder = absolute.parent_path();
  return {absolute, folder / absolute.filename(), {shown, std::move(relative), found}};
}

// Adds the matching files of `folder` to `found`, and those of its subfolders when `recursive`.
// Symbolic links to folders are not followed, so a link loop cannot trap the scan. Returns
// whether the folder holds subfolders.
bool ScanFolder(const fs::path& root, const fs::path& folder,
                std::span<const std::string_view> suffixes, bool recursive,
                std::vector<Found>& found, Report& report) {
  std::error_code error;
  fs::directory_iterator it(folder, error);
  std::vector<fs::path> subfolders;
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    const fs::directory_entry& entry = *it;
    std::error_code ignored;
    if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
      subfolders.push_back(entry.path());
    } else if (entry.is_regular_file(ignored) &&
               std::any_of(suffixes.begin(), suffixes.end(), [&](std::string_view suffix) {
                 return EndsWithIgnoringCase(PathText(entry.path().filename()), suffix);
               })) {
      found.push_back(MakeFound(entry.path(), entry.path().lexically_relative(root), true));
    }
  }
  if (error) report.Failed(Says(folder, "cannot read the folder", error.message()));
  if (recursive) {
    for (const fs::path& subfolder : subfolders) {
      ScanFolder(root, subfolder, suffixes, recursive, found, report);
    }
  }
  return !subfolders.empty();
}

}  // namespace

bool EndsWithIgnoringCase(std::string_view name, std::string_view suffix) {
  if (name.size() < suffix.size()) return false;
  return std::equal(suffix.begin(), suffix.end(), name.end() - suffix.size(), [](char a, char b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    return lower(a) == lower(b);
  });
}

std::vector<Input> CollectInputs(const std::vector<fs::path>& given,
                                 std::span<const std::string_view> suffixes, bool recursive,
                                 Report& report) {
  std::vector<Found> found;
  for (const fs::path& path : given) {
    std::error_code ignored;
    if (!fs::is_directory(path, ignored)) {
      found.push_back(MakeFound(path, path.filename(), false));
      continue;
    }
    const std::size_t before = found.size();
    const bool subfolders = ScanFolder(path, path, suffixes, recursive, found, report);
    if (found.size() == before) {
      std::string names;
      for (std::string_view suffix : suffixes) {
        names += (names.empty() ? "" : " or ") + std::string(suffix);
      }
      report.Note(Says(path, "no " + names + " files" +
                                 (recursive    ? " here or in any subfolder"
                                  : subfolders ? " here (add -r for its subfolders)"
                                               : " here")));
    }
  }
  // A file reached twice (given again, under another spelling, or also found in a folder given)
  // is done once, where its first mention puts its output.
  std::set<fs::path> seen;
  std::vector<Found> once;
  for (Found& f : found) {
    if (seen.insert(f.entry).second) once.push_back(std::move(f));
  }
  std::sort(once.begin(), once.end(),
            [](const Found& a, const Found& b) { return a.key.native() < b.key.native(); });
  std::vector<Input> inputs;
  inputs.reserve(once.size());
  for (Found& f : once) inputs.push_back(std::move(f.input));
  return inputs;
}

std::string OpenFailure(const IoResult& opened) {
  if (opened.error == std::errc::is_a_directory) return "it is a folder";
  // A pipe, a device or a socket: InputFile opens none of them for reading.
  if (opened.error == std::errc::invalid_argument ||
      opened.error == std::errc::no_such_device_or_address) {
    return "not a regular file";
  }
  return opened.error.message();
}

}  // namespace sodrel::convert
