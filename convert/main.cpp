// sodrel-convert: the batch command line beside the window. It converts with the window's own
// routines but never uses the working folder, so it cannot disturb a window open on the same
// program folder.

#include <cstdio>
#include <filesystem>
#include <string>

#include "Version.h"
#include "container/TextureContainer.h"
#include "convert/CommandLine.h"
#include "convert/Commands.h"
#include "convert/Report.h"
#include "io/Interrupt.h"
#include "workfiles/WorkPlaces.h"

namespace {

// The folder holding this executable, where the default header template lives; `started` is
// the name it was started by, for a system without /proc.
std::filesystem::path ProgramFolder(const char* started) {
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) self = std::filesystem::weakly_canonical(started != nullptr ? started : "", error);
  return self.parent_path();
}

void Print(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace

int main(int argc, char** argv) {
  using sodrel::convert::CommandLine;
  const CommandLine commandLine = sodrel::convert::ParseCommandLine(argc, argv);
  const std::string name(sodrel::convert::kProgramName);
  // The window's template: the program folder's, or the user's own on a system install.
  const std::filesystem::path templateFolder =
      sodrel::TemplateFolderNow(sodrel::FindWorkPlaces(ProgramFolder(argv[0]), false));
  switch (commandLine.action) {
    case CommandLine::Action::ShowHelp:
      Print(stdout, commandLine.text + "\nHeader template of build: " +
                        sodrel::HeaderTemplatePath(templateFolder).native() + "\n");
      return std::fflush(stdout) == 0 ? 0 : 1;
    case CommandLine::Action::ShowVersion:
      Print(stdout, name + " " + sodrel::kVersionCaption + "\n");
      return std::fflush(stdout) == 0 ? 0 : 1;
    case CommandLine::Action::UsageError:
      sodrel::convert::Complain(commandLine.text + " (see " + name + " --help)");
      return 2;
    case CommandLine::Action::Run:
      break;
  }
  // From here on an interrupt stops the work cleanly: no temporary file is left behind.
  sodrel::CatchInterrupts();
  return sodrel::convert::RunCommand(commandLine.options, templateFolder, sodrel::InterruptStop());
}
