#include "tests/fuzz/Scratch.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "container/FileIo.h"
#include "workfiles/WorkingFiles.h"

namespace sodrel::fuzz {
namespace fs = std::filesystem;
namespace {

fs::path MakeFolder() {
  fs::path root = "/dev/shm";
  std::error_code error;
  if (const char* chosen = std::getenv("SODREL_FUZZ_TMP")) {
    root = chosen;
  } else if (!fs::is_directory(root, error) || ::access(root.c_str(), W_OK) != 0) {
    root = fs::temp_directory_path();
  }
  std::string pattern = (root / "sodrel-fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

// Never destroyed, so that the exit handler removing it still finds its name.
const fs::path& Folder() {
  static const fs::path* const folder = [] {
    auto* made = new fs::path(MakeFolder());
    fs::create_directory(WorkingFolder(*made));
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(Folder(), ignored);
    });
    return made;
  }();
  return *folder;
}

}  // namespace

const fs::path& ProgramFolder() {
  return Folder();
}

std::span<const std::byte> AsBytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const std::byte*>(data), size};
}

void Write(const fs::path& path, std::span<const std::byte> bytes) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  FUZZ_EXPECT(fd.valid());
  FUZZ_EXPECT(!WriteAll(fd.get(), bytes));
}

std::set<std::string> Entries(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
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
