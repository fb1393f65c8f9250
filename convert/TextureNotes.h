#pragma once

#include <filesystem>
#include <string>

#include "container/FileKind.h"
#include "dds/DdsTexture.h"

namespace sodrel::convert {

// Whether the check got far enough into the header to have read the format and the sides.
bool HeaderRead(DdsCheck check);

// "DXT1, 512 x 512, 10 levels", with ", array of 2" or ", cube map" where there are several
// images: a texture's layout as the build's comparison and info name it.
std::string DescribeLayout(const DdsTexture& texture);

// "10, 512 x 512 to 1 x 1", or "13 promised, 9 whole: the file ends inside level 9": info's
// levels line.
std::string DescribeLevels(const DdsTexture& texture);

// The warning for a file whose DDS file does not hold everything its header promises (a cut top
// level, or a whole top level with its chain cut), or "" when it holds it all.
std::string CutWarning(const std::filesystem::path& path, const FileKindResult& kind);

}  // namespace sodrel::convert
