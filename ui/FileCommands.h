#pragma once

#include <filesystem>
#include <optional>
#include <system_error>

#include "container/Outcome.h"
#include "preview/PictureSink.h"
#include "preview/Preview.h"
#include "workfiles/WorkPlaces.h"
#include "workfiles/WorkingFiles.h"

namespace sodrel {

// The main window's two file commands and its clean-up on close, without the window: what the
// window runs once its dialog has closed with a file. Each holds the working folder's lock
// (WorkingFolderLock) from start to end, so two instances sharing a program folder take turns.

struct ExportRun {
  ConvertResult exported;  // writing `path` + ".dds"
  PreviewResult preview;   // previewing `path` + ".dds"
};

// "Open and Export DDS": exports the container at `containerPath` and previews `path` + ".dds",
// which an earlier export may have left when this one wrote nothing.
ExportRun ExportAndPreview(const std::filesystem::path& containerPath, const WorkPlaces& places,
                           PictureSink& sink);

struct ImportRun {
  IoResult staging;                      // the staged copies; why one could not be made
  std::optional<ConvertResult> built;    // building `path` + ".bin", once both copies were made
  std::optional<PreviewResult> preview;  // previewing Temp/PictureImportFile, likewise
};

// "Import and Bulit New Bin": stages the DDS file at `ddsPath` as Temp/ImportFile and
// Temp/PictureImportFile, builds the container from the first (with the template of `places`)
// and previews the second. Without both staged copies it stops there, so that no earlier
// import's file is built or shown.
ImportRun RunImport(const std::filesystem::path& ddsPath, const WorkPlaces& places,
                    PictureSink& sink);

// The clean-up on close: deletes the working files as ClearWorkingFiles does.
CleanupResult RunCleanup(const WorkPlaces& places);

}  // namespace sodrel
