#include "preview/Preview.h"

#include "io/EnumTexts.h"

#include <QImage>

#include "container/TextureContainer.h"
#include "io/AtomicOutput.h"
#include "io/FileIo.h"
#include "preview/DdsDecode.h"
#include "preview/PictureFile.h"
#include "workfiles/WorkingFiles.h"

namespace sodrel {
namespace {

namespace fs = std::filesystem;

// Replaces `bmp` with `bitmap`. The BMP is written under a temporary name and renamed over
// `bmp` only once the library says it is complete: a failed save leaves the previous BMP as it
// was, and a link planted at `bmp` is replaced rather than followed.
IoResult WriteBmp(FIBITMAP* bitmap, const fs::path& bmp) {
  AtomicOutput output(bmp, OutputMode::Replace, Durability::Scratch);
  if (IoResult created = output.Open(); !created.ok()) return created;
  if (!MFreeImage::Save(FIF_BMP, bitmap, output.temporaryPath().c_str(), 0)) {
    return {IoOutcome::WriteFailed, {}};
  }
  return output.Commit(Stop());
}

PreviewResult Ended(PreviewOutcome outcome) {
  return {{outcome, {}}, DdsCheck::NotDone};
}

// Checks the DDS file `dds` in the working folder, decodes it into PictureLoad.bmp and shows
// that. Only a picture read from a BMP written by this very call reaches the sink.
PreviewResult DecodeAndShow(const fs::path& dds, const fs::path& programFolder, PictureSink& sink) {
  // What an exception means at the step that threw it.
  PreviewOutcome failure = PreviewOutcome::NotDecoded;
  try {
    DecodedDds decoded = DecodeDds(dds);
    if (!decoded.texture.ok()) return {{PreviewOutcome::Rejected, {}}, decoded.texture.check};
    if (!decoded.bitmap) return Ended(PreviewOutcome::NotDecoded);

    failure = PreviewOutcome::SaveFailed;
    const fs::path bmp = WorkFilePath(programFolder, WorkFile::PictureLoadBmp);
    if (!WriteBmp(decoded.bitmap.get(), bmp).ok()) return Ended(PreviewOutcome::SaveFailed);

    failure = PreviewOutcome::PictureUnreadable;
    const QImage picture = ReadPicture(bmp, sink.drawnSize());
    if (picture.isNull()) return Ended(PreviewOutcome::PictureUnreadable);
    sink.ShowPicture(picture);
    return Ended(PreviewOutcome::Shown);
  } catch (...) {
    // Whatever the library, Qt or the sink throws, std::bad_alloc included.
    return Ended(failure);
  }
}

}  // namespace

std::string_view Describe(PreviewOutcome outcome) {
  static constexpr std::string_view kTexts[] = {
      "not done",
      "shown",
      "cannot copy the DDS file into the working folder",
      "the DDS file is malformed or of an unsupported format",
      "the DDS file could not be decoded",
      "cannot write the decoded picture",
      "cannot read the decoded picture",
  };
  return TextOf<PreviewOutcome::PictureUnreadable>(kTexts, outcome);
}

PreviewResult PreviewExported(const fs::path& currentPath, const fs::path& programFolder,
                              PictureSink& sink) {
  try {
    // An empty path would name ".dds" in whatever the current folder happens to be.
    if (currentPath.empty()) return Ended(PreviewOutcome::CopyFailed);
    if (!StageCopy(WithSuffix(currentPath, kExportSuffix), programFolder, WorkFile::PictureDds)
             .ok()) {
      return Ended(PreviewOutcome::CopyFailed);
    }
  } catch (...) {
    return Ended(PreviewOutcome::CopyFailed);
  }
  return DecodeAndShow(WorkFilePath(programFolder, WorkFile::PictureDds), programFolder, sink);
}

PreviewResult PreviewImported(const fs::path& programFolder, PictureSink& sink) {
  return DecodeAndShow(WorkFilePath(programFolder, WorkFile::PictureImportFile), programFolder,
                       sink);
}

}  // namespace sodrel
