#include "workfiles/WorkingFiles.h"

#include "io/EnumTexts.h"
#include "io/FileIo.h"
#include "workfiles/System.h"

namespace sodrel {

std::string_view WorkFileName(WorkFile file) {
  switch (file) {
    case WorkFile::PictureDds:
      return "Picture.dds";
    case WorkFile::PictureLoadBmp:
      return "PictureLoad.bmp";
    case WorkFile::ImportFile:
      return "ImportFile";
    case WorkFile::PictureImportFile:
      return "PictureImportFile";
  }
  return {};
}

std::filesystem::path WorkingFolder(const std::filesystem::path& workParent) {
  return workParent / kWorkingFolderName;
}

std::filesystem::path WorkFilePath(const std::filesystem::path& workParent, WorkFile file) {
  return WorkingFolder(workParent) / WorkFileName(file);
}

IoResult StageCopy(const std::filesystem::path& source, const std::filesystem::path& workParent,
                   WorkFile file) {
  return CopyFileReplacing(source, WorkFilePath(workParent, file));
}

std::string_view Describe(CleanupOutcome outcome) {
  static constexpr std::string_view kTexts[] = {"not done", "cleared",
                                                "a working file could not be deleted"};
  return TextOf<CleanupOutcome::NotDeleted>(kTexts, outcome);
}

CleanupResult ClearWorkingFiles(const std::filesystem::path& workParent) {
  CleanupResult result;
  for (WorkFile file : kCleanupOrder) {
    result.error = platform::RemoveFile(WorkFilePath(workParent, file));
    if (result.error) {
      result.outcome = CleanupOutcome::NotDeleted;
      return result;
    }
    ++result.deleted;
  }
  result.outcome = CleanupOutcome::Cleared;
  return result;
}

}  // namespace sodrel
