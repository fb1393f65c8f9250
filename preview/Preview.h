#pragma once

#include <filesystem>
#include <string_view>

#include "dds/DdsTexture.h"
#include "io/Result.h"
#include "preview/PictureSink.h"

namespace sodrel {

// What a preview did: showed the picture, or which step stopped it (the picture shown before
// stays in every case but Shown).
enum class PreviewOutcome {
  NotDone,
  Shown,
  CopyFailed,         // the exported DDS file could not be copied into the working folder
  Rejected,           // the DDS header check refused the file; the library never saw it
  NotDecoded,         // the library gave no bitmap
  SaveFailed,         // the library could not write PictureLoad.bmp
  PictureUnreadable,  // PictureLoad.bmp could not be loaded as a picture
};

std::string_view Describe(PreviewOutcome outcome);

struct [[nodiscard]] PreviewResult : Result<PreviewOutcome, PreviewOutcome::Shown> {
  DdsCheck check = DdsCheck::NotDone;  // why the file was rejected, when it was
};

// Copies `currentPath` + ".dds" to Temp/Picture.dds, decodes it into Temp/PictureLoad.bmp and
// shows that picture.
PreviewResult PreviewExported(const std::filesystem::path& currentPath,
                              const std::filesystem::path& programFolder, PictureSink& sink);

// Decodes the staged Temp/PictureImportFile into Temp/PictureLoad.bmp and shows that picture.
PreviewResult PreviewImported(const std::filesystem::path& programFolder, PictureSink& sink);

}  // namespace sodrel
