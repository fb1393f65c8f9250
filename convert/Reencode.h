#pragma once

#include <filesystem>
#include <string>

#include "container/FileKind.h"
#include "convert/Batch.h"
#include "io/AtomicOutput.h"

namespace sodrel::convert {

// Whether `path` is named as a picture build takes with --originals: .png, .tga, .bmp, .tif or
// .tiff, in any letter case.
bool IsPictureName(const std::filesystem::path& path);

// Whether build can encode into the layout of `original`; if not, the line saying why: BC6H,
// floats, signed BC4/BC5, palettes, layouts wider than 32 bits, and textures of several images.
Verdict Unencodable(const Job& job, const DdsTexture& original);

// Writes job.output: job.header, then a DDS file in the layout of the DDS file inside
// job.original (its DDS header byte for byte, its levels made again from the top one), encoded
// from `input`: a picture, or a DDS file of another layout decoded by our decoders. A picture
// whose pixels are those of the original's decoded top level gives the original back as it is.
JobReport Reencode(const Job& job, InputFile& input, const FileKindResult& kind, OutputMode mode);

}  // namespace sodrel::convert
