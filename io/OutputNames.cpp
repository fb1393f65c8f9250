#include "io/OutputNames.h"

#include <random>
#include <string>

namespace sodrel {

std::filesystem::path FolderOf(const std::filesystem::path& destination) {
  std::filesystem::path folder = destination.parent_path();
  return folder.empty() ? "." : folder;
}

std::filesystem::path TemporaryNameFor(const std::filesystem::path& destination) {
  // One generator per thread: batches write several outputs at once.
  thread_local std::mt19937_64 generator{std::random_device{}()};
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::uniform_int_distribution<std::size_t> pick(0, sizeof(kAlphabet) - 2);
  std::string suffix(8, 'x');
  for (char& c : suffix) c = kAlphabet[pick(generator)];
  std::filesystem::path name = ".";
  name += destination.filename();
  name += ".part-" + suffix;
  return FolderOf(destination) / name;
}

}  // namespace sodrel
