#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "convert/Main.h"
#include "convert/Wildcards.h"
#include "io/FileStatus.h"

namespace {

// The console shows the program's UTF-8 messages as such while it runs; its own code page comes
// back when the program ends, however it ends short of being killed.
class Utf8Console {
 public:
  Utf8Console() : previous_(::GetConsoleOutputCP()) { ::SetConsoleOutputCP(CP_UTF8); }
  ~Utf8Console() {
    if (previous_ != 0) ::SetConsoleOutputCP(previous_);
  }
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;

 private:
  UINT previous_;
};

}  // namespace

// Windows passes narrow arguments in the ANSI code page, which cannot hold every name: the wide
// ones are taken, as UTF-8 from here on. Its shells leave wildcards to the program.
int wmain(int argc, wchar_t** argv) {
  const Utf8Console console;
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) words.push_back(sodrel::PathText(std::filesystem::path(argv[i])));
  std::vector<std::string> arguments = sodrel::convert::ExpandWildcards(words);
  arguments.insert(arguments.begin(), sodrel::PathText(std::filesystem::path(argv[0])));
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  return sodrel::convert::RunProgram(static_cast<int>(arguments.size()), pointers.data());
}
