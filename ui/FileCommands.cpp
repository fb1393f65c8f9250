#include "ui/FileCommands.h"

#include "container/TextureContainer.h"
#include "workfiles/WorkingFolderLock.h"

namespace sodrel {

ExportRun ExportAndPreview(const std::filesystem::path& containerPath, const WorkPlaces& places,
                           PictureSink& sink) {
  const WorkingFolderLock lock(places.workParent);
  ExportRun run;
  run.exported = ExportTexture(containerPath);
  // Previewed whatever the export did: a ".dds" of this name left by an earlier export of the
  // same container is shown when this one wrote none.
  run.preview = PreviewExported(containerPath, places.workParent, sink);
  return run;
}

ImportRun RunImport(const std::filesystem::path& ddsPath, const WorkPlaces& places,
                    PictureSink& sink) {
  const std::filesystem::path& work = places.workParent;
  const WorkingFolderLock lock(work);
  ImportRun run;
  run.staging = StageCopy(ddsPath, work, WorkFile::ImportFile);
  if (run.staging.ok()) run.staging = StageCopy(ddsPath, work, WorkFile::PictureImportFile);
  if (!run.staging.ok()) return run;
  run.built =
      BuildContainer(ddsPath, TemplateFolderNow(places), WorkFilePath(work, WorkFile::ImportFile));
  run.preview = PreviewImported(work, sink);
  return run;
}

CleanupResult RunCleanup(const WorkPlaces& places) {
  const WorkingFolderLock lock(places.workParent);
  return ClearWorkingFiles(places.workParent);
}

}  // namespace sodrel
