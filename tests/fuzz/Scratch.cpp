#include "tests/fuzz/Scratch.h"

#include <cstdio>
#include <cstdlib>

namespace sodrel::fuzz {
namespace fs = std::filesystem;

const fs::path& ProgramFolder() {
  static const test::ProgramFolder folder;
  return folder.path();
}

std::span<const std::byte> AsBytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const std::byte*>(data), size};
}

void Write(const fs::path& path, std::span<const std::byte> bytes) {
  test::WriteFile(path, {bytes.begin(), bytes.end()});
}

void ClearExcept(const fs::path& folder, const std::set<std::string>& keep) {
  for (const std::string& name : Entries(folder)) {
    if (!keep.contains(name)) fs::remove_all(folder / name);
  }
}

void Fail(const char* expectation, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: expected %s\n", file, line, expectation);
  std::abort();
}

}  // namespace sodrel::fuzz
