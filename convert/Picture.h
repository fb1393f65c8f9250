#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "dds/DdsHeaderCheck.h"

namespace sodrel::convert {

// What writing the picture of a texture did: wrote the PNG, or which step stopped it.
enum class PictureOutcome {
  NotDone,
  Written,
  Unreadable,    // the input cannot be opened or read
  NoTexture,     // neither a DDS file nor a container holding one
  Refused,       // the preview's header check refused the DDS file
  NotDecoded,    // the library gave no bitmap
  ScaleFailed,   // the library could not scale the bitmap
  OutOfMemory,   // the bitmap or its scaled copy could not be allocated
  OutputFailed,  // the PNG could not be written; an earlier file there is untouched
};

std::string_view Describe(PictureOutcome outcome);

struct [[nodiscard]] PictureResult {
  PictureOutcome outcome = PictureOutcome::NotDone;
  std::string refusal;    // why the check refused the file, the format named (DescribeRefusal)
  std::error_code error;  // the system error behind a failure, when there was one

  bool ok() const { return outcome == PictureOutcome::Written; }
  // What went wrong beyond the outcome itself ("the file ends before the texture does (DXT1)"),
  // or "".
  std::string detail() const;
};

// The largest --size: no texture the preview accepts has a longer side.
inline constexpr std::uint32_t kLargestPictureSide = kDdsMaxSide;

// Decodes the texture of the DDS file or container at `input` exactly as the preview does,
// scales it to fit `size` x `size` keeping its aspect ratio (a smaller texture keeps its size;
// 0 keeps the full size) and writes it to `output` as PNG, alpha kept, atomically.
// Never throws.
PictureResult WritePicture(const std::filesystem::path& input, const std::filesystem::path& output,
                           std::uint32_t size);

}  // namespace sodrel::convert
