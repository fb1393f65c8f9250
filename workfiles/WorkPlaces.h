#pragma once

#include <filesystem>
#include <string_view>

namespace sodrel {

// Where one user's window keeps its working folder Temp/, and which header template KX00.dll
// the window's builds and `sodrel-convert build` read.
//
// A user who can create and write files in the program folder's Temp/ works there with the
// program folder's template, as in a program folder of one's own. Anyone else (a system install
// that belongs to root) works in a Temp/ of their own, $XDG_CACHE_HOME/sodrel-tools/Temp
// (~/.cache when the variable is unset, empty or not an absolute path), and builds with
// $XDG_CONFIG_HOME/sodrel-tools/KX00.dll (~/.config likewise) once they have put one there, the
// program folder's until then.
// On Windows the user's own Temp\ and KX00.dll are in %LOCALAPPDATA%\sodrel-tools.
struct WorkPlaces {
  // Both in the program folder: how a program folder the user can write is used.
  WorkPlaces(const std::filesystem::path& programFolder)  // NOLINT: a folder is a valid choice
      : workParent(programFolder), templateFolder(programFolder) {}
  WorkPlaces(std::filesystem::path work, std::filesystem::path templ,
             std::filesystem::path userTemplate = {})
      : workParent(std::move(work)),
        templateFolder(std::move(templ)),
        userTemplateFolder(std::move(userTemplate)) {}

  std::filesystem::path workParent;          // holds the working folder Temp/
  std::filesystem::path templateFolder;      // holds the header template KX00.dll
  std::filesystem::path userTemplateFolder;  // holds the user's own, once it is there; or empty
};

// The folder whose KX00.dll a build reads at this moment: the user's own folder once the user has
// put a template there, templateFolder until then. Asked at every build, so a template put there
// while the window is open is used by the next build.
std::filesystem::path TemplateFolderNow(const WorkPlaces& places);

// The folder of this program's own under the user's cache and config folders.
inline constexpr std::string_view kUserFolderName = "sodrel-tools";

// The choice for the user running this process. With `prepare` (the window), the program
// folder's Temp/ is made first when it is missing and the folder allows it, and the user's own
// working folder is made (readable by the user alone) when that is chosen. Without it
// (sodrel-convert) nothing is created: a missing Temp/ counts as writable when the user could
// make it, so both programs choose the same template.
WorkPlaces FindWorkPlaces(const std::filesystem::path& programFolder, bool prepare);

}  // namespace sodrel
