#include "tests/support/TestFiles.h"

#include <fstream>
#include <random>
#include <stdexcept>

namespace sodrel::test {
namespace fs = std::filesystem;

TempFolder::TempFolder() {
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const fs::path name = fs::temp_directory_path() / ("sodrel-test-" + std::to_string(random()));
    if (fs::create_directory(name)) path_ = name;  // false: it existed already
  }
  if (path_.empty()) throw std::runtime_error("cannot make a temporary folder");
}

Bytes Pattern(std::size_t size, std::uint32_t seed) {
  Bytes bytes(size);
  std::uint32_t state = seed * 2654435761u + 12345u;
  for (std::byte& b : bytes) b = std::byte((state = state * 1103515245u + 12345u) >> 24);
  return bytes;
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t count) {
  from = std::min(from, bytes.size());
  return Bytes(bytes.begin() + from, bytes.begin() + from + std::min(count, bytes.size() - from));
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  Bytes bytes(in ? fs::file_size(path) : 0);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size())))
    throw std::runtime_error("cannot read " + path.string());
  return bytes;
}

std::set<std::string> Entries(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

}  // namespace sodrel::test
