#include "ui/FileCommands.h"

#include "container/TextureContainer.h"
#include "workfiles/WorkingFolderLock.h"

namespace sodrel {

ExportRun RunExport(const std::filesystem::path& containerPath,
                    const std::filesystem::path& programFolder, PictureSink& sink) {
  const WorkingFolderLock lock(programFolder);
  ExportRun run;
  run.exported = ExportTexture(containerPath);
  // Previewed whatever the export did: a ".dds" of this name left by an earlier export of the
  // same container is shown when this one wrote none.
  run.preview = PreviewExported(containerPath, programFolder, sink);
  return run;
}

ImportRun RunImport(const std::filesystem::path& ddsPath,
                    const std::filesystem::path& programFolder, PictureSink& sink) {
  const WorkingFolderLock lock(programFolder);
  ImportRun run;
  run.staging = StageCopy(ddsPath, programFolder, WorkFile::ImportFile);
  if (run.staging.ok()) {
    run.staging = StageCopy(ddsPath, programFolder, WorkFile::PictureImportFile);
  }
  if (!run.staging.ok()) return run;
  run.built =
      BuildContainer(ddsPath, programFolder, WorkFilePath(programFolder, WorkFile::ImportFile));
  run.preview = PreviewImported(programFolder, sink);
  return run;
}

CleanupResult RunCleanup(const std::filesystem::path& programFolder) {
  const WorkingFolderLock lock(programFolder);
  return ClearWorkingFiles(programFolder);
}

}  // namespace sodrel
