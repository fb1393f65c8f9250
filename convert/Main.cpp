// sodrel-convert: the batch command line beside the window. It converts with the window's own
// routines but never uses the working folder, so it cannot disturb a window open on the same
// program folder.

#include "convert/Main.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "Version.h"
#include "container/TextureContainer.h"
#include "convert/CommandLine.h"
#include "convert/Commands.h"
#include "convert/Report.h"
#include "io/FileStatus.h"
#include "io/Interrupt.h"
#include "workfiles/WorkPlaces.h"

namespace sodrel::convert {
namespace {

void Print(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace

int RunProgram(int argc, char** argv) {
  const CommandLine commandLine = ParseCommandLine(argc, argv);
  const std::string name(kProgramName);
  // The window's template: the program folder's, or the user's own on a system install.
  const std::filesystem::path templateFolder = TemplateFolderNow(
      FindWorkPlaces(RunningProgram(argc > 0 ? argv[0] : nullptr).parent_path(), false));
  switch (commandLine.action) {
    case CommandLine::Action::ShowHelp:
      Print(stdout, commandLine.text + "\nHeader template of build: " +
                        PathText(HeaderTemplatePath(templateFolder)) + "\n");
      return std::fflush(stdout) == 0 ? 0 : 1;
    case CommandLine::Action::ShowVersion:
      Print(stdout, name + " " + kVersionCaption + "\n");
      return std::fflush(stdout) == 0 ? 0 : 1;
    case CommandLine::Action::UsageError:
      Complain(commandLine.text + " (see " + name + " --help)");
      return 2;
    case CommandLine::Action::Run:
      break;
  }
  // From here on an interrupt stops the work cleanly: no temporary file is left behind.
  CatchInterrupts();
  return RunCommand(commandLine.options, templateFolder, InterruptStop());
}

}  // namespace sodrel::convert
