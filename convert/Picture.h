#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "container/FileKind.h"
#include "io/AtomicOutput.h"

namespace sodrel::convert {

// What writing the picture of a texture did: wrote the PNG, or which step stopped it.
enum class PictureOutcome {
  NotDone,
  Written,
  Refused,       // the preview's header check refused the DDS file
  NotDecoded,    // the decode failed in a way that has no outcome of its own
  InputChanged,  // the input was written or cut while it was read
  OutOfMemory,   // the picture could not be allocated
  OutputFailed,  // the PNG could not be written; an earlier file there is untouched
};

std::string_view Describe(PictureOutcome outcome);

struct [[nodiscard]] PictureResult : Result<PictureOutcome, PictureOutcome::Written> {
  std::string refusal;  // why the check refused the file, the format named (DescribeRefusal)

  // What went wrong beyond the outcome itself ("the file ends before the texture does (DXT1)"),
  // or "".
  std::string detail() const;
};

// The largest --size: no texture the preview accepts has a longer side.
inline constexpr std::uint32_t kLargestPictureSide = kDdsMaxSide;

// Decodes the texture of the DDS file in `input`, open and of the kind `kind` (its DDS file's
// header read into kind.dds), with the preview's decoders and channels, scales it to fit `size` x
// `size` keeping its aspect ratio (a smaller texture keeps its size; 0 keeps the full size) and
// writes it to `output` as PNG, alpha kept, through an AtomicOutput of `mode`. Unless `topLevel`,
// the picture is scaled from the smallest mip level stored whole in the file whose long side is at
// least `size`, not from the top level. Once `stop` is requested the PNG is not written on.
// Never throws.
PictureResult WritePicture(InputFile& input, const FileKindResult& kind,
                           const std::filesystem::path& output, std::uint32_t size, OutputMode mode,
                           Stop stop, bool topLevel = false);

}  // namespace sodrel::convert
