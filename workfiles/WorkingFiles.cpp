#include "workfiles/WorkingFiles.h"

#include <unistd.h>

#include <cerrno>

#include "io/FileIo.h"

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

CleanupResult ClearWorkingFiles(const std::filesystem::path& workParent) {
  CleanupResult result;
  for (WorkFile file : kCleanupOrder) {
    // unlink, not remove: a directory standing at a working file's name is not ours to delete.
    if (::unlink(WorkFilePath(workParent, file).c_str()) != 0) {
      result.error = {errno, std::generic_category()};
      break;
    }
    ++result.deleted;
  }
  return result;
}

}  // namespace sodrel
