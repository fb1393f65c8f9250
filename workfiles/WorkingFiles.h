#pragma once

#include <array>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "io/FileIo.h"

namespace sodrel {

// The working folder "Temp" and its four fixed file names. Each kind of working file has exactly
// one name, so every command overwrites what the previous command of its kind left there.
// `workParent` below is the folder holding Temp/: the program folder, or the user's own one
// when the program folder's is not theirs to write (WorkPlaces.h).
inline constexpr std::string_view kWorkingFolderName = "Temp";

enum class WorkFile {
  PictureDds,         // copy of the exported DDS file, decoded by the preview
  PictureLoadBmp,     // the decoded texture as a BMP file
  ImportFile,         // staged copy of the DDS file chosen for import, built into the container
  PictureImportFile,  // second staged copy of that file, decoded by the preview
};

// The order in which the clean-up deletes them.
inline constexpr std::array<WorkFile, 4> kCleanupOrder = {
    WorkFile::PictureDds, WorkFile::PictureLoadBmp, WorkFile::ImportFile,
    WorkFile::PictureImportFile};

std::string_view WorkFileName(WorkFile file);
std::filesystem::path WorkingFolder(const std::filesystem::path& workParent);
std::filesystem::path WorkFilePath(const std::filesystem::path& workParent, WorkFile file);

// Replaces the working file `file` with a whole copy of `source`.
IoResult StageCopy(const std::filesystem::path& source, const std::filesystem::path& workParent,
                   WorkFile file);

enum class CleanupOutcome {
  NotDone,
  Cleared,     // all four went
  NotDeleted,  // one could not be deleted (a missing file included); those after it are left
};

std::string_view Describe(CleanupOutcome outcome);

struct [[nodiscard]] CleanupResult : Result<CleanupOutcome, CleanupOutcome::Cleared> {
  int deleted = 0;  // how many files went, in kCleanupOrder
};

// Deletes the four working files in kCleanupOrder and stops at the first one that cannot be
// deleted, a missing file included. The caller empties the current path only when all four
// went.
CleanupResult ClearWorkingFiles(const std::filesystem::path& workParent);

}  // namespace sodrel
