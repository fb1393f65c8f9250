#include "convert/Inputs.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>

namespace sodrel::convert {
namespace fs = std::filesystem;
namespace {

bool EndsWithIgnoringCase(const std::string& name, std::string_view suffix) {
  if (name.size() < suffix.size()) return false;
  return std::equal(suffix.begin(), suffix.end(), name.end() - suffix.size(), [](char a, char b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    return lower(a) == lower(b);
  });
}

struct Found {
  fs::path key;  // absolute and normal, for ordering and for spotting a file reached twice
  fs::path shown;
};

Found MakeFound(const fs::path& shown) {
  std::error_code ignored;
  fs::path absolute = fs::absolute(shown, ignored);
  if (absolute.empty()) absolute = shown;
  return {absolute.lexically_normal(), shown};
}

// Adds the matching files of `folder` to `found`, and those of its subfolders when `recursive`.
// Symbolic links to folders are not followed, so a link loop cannot trap the scan.
void ScanFolder(const fs::path& folder, std::span<const std::string_view> suffixes, bool recursive,
                std::vector<Found>& found, Report& report) {
  std::error_code error;
  fs::directory_iterator it(folder, error);
  std::vector<fs::path> subfolders;
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    const fs::directory_entry& entry = *it;
    std::error_code ignored;
    if (recursive && entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
      subfolders.push_back(entry.path());
    } else if (entry.is_regular_file(ignored) &&
               std::any_of(suffixes.begin(), suffixes.end(), [&](std::string_view suffix) {
                 return EndsWithIgnoringCase(entry.path().filename().native(), suffix);
               })) {
      found.push_back(MakeFound(entry.path()));
    }
  }
  if (error) report.Failed(folder, "cannot read the folder", error.message());
  for (const fs::path& subfolder : subfolders) {
    ScanFolder(subfolder, suffixes, recursive, found, report);
  }
}

}  // namespace

std::vector<fs::path> CollectInputs(const std::vector<fs::path>& given,
                                    std::span<const std::string_view> suffixes, bool recursive,
                                    Report& report) {
  std::vector<Found> found;
  for (const fs::path& path : given) {
    std::error_code ignored;
    if (!fs::is_directory(path, ignored)) {
      found.push_back(MakeFound(path));
      continue;
    }
    const std::size_t before = found.size();
    ScanFolder(path, suffixes, recursive, found, report);
    if (found.size() == before) {
      std::string names;
      for (std::string_view suffix : suffixes) {
        names += (names.empty() ? "" : " or ") + std::string(suffix);
      }
      report.Note(path,
                  "no " + names + " files" + (recursive ? " here or in any subfolder" : " here"));
    }
  }
  std::sort(found.begin(), found.end(),
            [](const Found& a, const Found& b) { return a.key.native() < b.key.native(); });
  found.erase(std::unique(found.begin(), found.end(),
                          [](const Found& a, const Found& b) { return a.key == b.key; }),
              found.end());
  std::vector<fs::path> files;
  files.reserve(found.size());
  for (Found& f : found) files.push_back(std::move(f.shown));
  return files;
}

InputCheck CheckInput(const fs::path& path) {
  InputCheck check;
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0) {
    const int error = path.empty() ? ENOENT : errno;
    check.result = {ConvertOutcome::InputMissing, {error, std::generic_category()}};
    check.detail = check.result.error.message();
    return check;
  }
  if (!S_ISREG(info.st_mode)) {
    check.result = {ConvertOutcome::InputMissing, {}};
    check.detail = S_ISDIR(info.st_mode) ? "it is a folder" : "not a regular file";
    return check;
  }
  check.size = static_cast<std::uint64_t>(info.st_size);
  check.result = {ConvertOutcome::Written, {}};
  return check;
}

}  // namespace sodrel::convert
