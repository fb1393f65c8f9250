#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace sodrel::test {

using Bytes = std::vector<std::byte>;

// A fresh folder under the system's temporary folder, removed with everything in it.
struct TempFolder {
  TempFolder();
  ~TempFolder() { std::filesystem::remove_all(path_, ignored_); }
  TempFolder(const TempFolder&) = delete;  // removed once only

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  std::filesystem::path path_;
  std::error_code ignored_;  // a folder that cannot be removed is left
};

// `size` bytes that differ from position to position and from seed to seed.
Bytes Pattern(std::size_t size, std::uint32_t seed = 1);
Bytes Concat(Bytes a, const Bytes& b);
Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t count = SIZE_MAX);

void WriteFile(const std::filesystem::path& path, const Bytes& bytes);
Bytes ReadFile(const std::filesystem::path& path);

// A program folder as the build leaves it: Temp/ and a 64-byte header template.
struct ProgramFolder : TempFolder {
  ProgramFolder() { create_directory(path() / "Temp"), WriteFile(templatePath(), Pattern(64, 64)); }
  std::filesystem::path templatePath() const { return path() / "KX00.dll"; }
  std::filesystem::path work(const std::string& name) const { return path() / "Temp" / name; }
};

// Names of the entries of a folder, for checking that nothing extra was left behind.
std::set<std::string> Entries(const std::filesystem::path& folder);

}  // namespace sodrel::test
