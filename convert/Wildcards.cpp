#include "convert/Wildcards.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "io/FileStatus.h"

namespace sodrel::convert {
namespace {

char Folded(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether `name` matches `pattern` whole: `*` any run of characters, `?` any one.
bool Matches(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || Folded(pattern[p]) == Folded(name[n]))) {
      ++p, ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

std::vector<std::string> ExpandWildcards(const std::vector<std::string>& words) {
  std::vector<std::string> expanded;
  for (const std::string& word : words) {
    const std::size_t cut = word.find_last_of("/\\");
    const std::string folder = cut == std::string::npos ? "" : word.substr(0, cut + 1);
    const std::string pattern = word.substr(folder.size());
    if (word.starts_with('-') || pattern.find_first_of("*?") == std::string::npos ||
        folder.find_first_of("*?") != std::string::npos) {
      expanded.push_back(word);
      continue;
    }
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator it(PathFromText(folder.empty() ? "." : folder), error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
      const std::string name = PathText(it->path().filename());
      if (Matches(pattern, name)) names.push_back(folder + name);
    }
    if (names.empty()) names.push_back(word);
    std::sort(names.begin(), names.end());
    expanded.insert(expanded.end(), names.begin(), names.end());
  }
  return expanded;
}

}  // namespace sodrel::convert
