#include "convert/Picture.h"
#include "dds/DdsNames.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <optional>

#include "container/TextureContainer.h"
#include "io/AtomicOutput.h"
#include "io/FileIo.h"
#include "preview/DdsDecode.h"

namespace sodrel::convert {
namespace fs = std::filesystem;
namespace {

// Where the DDS file starts inside `path`: at 0 in a DDS file, after the header in a container.
// Nullopt when neither holds "DDS " there, or when the file cannot be read (`error` says why).
std::optional<std::uint64_t> TextureOffset(const fs::path& path, std::error_code& error) {
  InputFile file;
  std::array<std::byte, kContainerHeaderSize + 4> prefix{};
  std::size_t got = 0;
  IoResult read = file.Open(path);
  if (read.ok()) read = ReadAt(file.fd(), 0, prefix, got);
  if (!read.ok()) {
    error = read.error ? read.error : std::make_error_code(std::errc::io_error);
    return std::nullopt;
  }
  const auto magicAt = [&](std::size_t at) {
    return got >= at + 4 && std::memcmp(prefix.data() + at, "DDS ", 4) == 0;
  };
  if (magicAt(0)) return 0;
  if (magicAt(kContainerHeaderSize)) return kContainerHeaderSize;
  return std::nullopt;
}

PictureResult Write(const fs::path& input, const fs::path& output, std::uint32_t size) {
  std::error_code error;
  const std::optional<std::uint64_t> offset = TextureOffset(input, error);
  if (error) return {PictureOutcome::Unreadable, {}, error};
  if (!offset) return {PictureOutcome::NoTexture, {}, {}};
  DecodedDds decoded = DecodeDds(input, *offset);
  if (!decoded.info.ok()) {
    return {PictureOutcome::Refused, DescribeRefusal(decoded.info), {}};
  }
  if (!decoded.bitmap) return {PictureOutcome::NotDecoded, {}, {}};

  MFreeImage::Bitmap picture = std::move(decoded.bitmap);
  const std::uint64_t width = FreeImage_GetWidth(picture.get());
  const std::uint64_t height = FreeImage_GetHeight(picture.get());
  if (size != 0 && std::max(width, height) > size) {
    // The long side becomes `size`, the short one keeps the ratio, rounded, at least 1. The box
    // filter averages exactly the texels under each pixel, and is the fastest of the library's.
    const auto fit = [&](std::uint64_t side) {
      return static_cast<int>(std::max<std::uint64_t>(
          1, (side * size + std::max(width, height) / 2) / std::max(width, height)));
    };
    MFreeImage::Bitmap scaled(
        FreeImage_Rescale(picture.get(), fit(width), fit(height), FILTER_BOX));
    if (!scaled) return {PictureOutcome::ScaleFailed, {}, {}};
    picture = std::move(scaled);  // the full-size bitmap is freed before the PNG is written
  }

  AtomicOutput file(output);
  if (IoResult created = file.Open(); !created.ok()) {
    return {PictureOutcome::OutputFailed, {}, created.error};
  }
  if (!MFreeImage::Save(FIF_PNG, picture.get(), file.temporaryPath().c_str(), PNG_Z_BEST_SPEED)) {
    return {PictureOutcome::OutputFailed, {}, {}};
  }
  if (IoResult committed = file.Commit(); !committed.ok()) {
    return {PictureOutcome::OutputFailed, {}, committed.error};
  }
  return {PictureOutcome::Written, {}, {}};
}

}  // namespace

std::string_view Describe(PictureOutcome outcome) {
  switch (outcome) {
    case PictureOutcome::NotDone:
      return "not done";
    case PictureOutcome::Written:
      return "written";
    case PictureOutcome::Unreadable:
      return "cannot read the input file";
    case PictureOutcome::NoTexture:
      return "neither a DDS file nor a container holding one";
    case PictureOutcome::Refused:
      return "the preview refuses this texture";
    case PictureOutcome::NotDecoded:
      return "the DDS file could not be decoded";
    case PictureOutcome::ScaleFailed:
      return "cannot scale the picture";
    case PictureOutcome::OutOfMemory:
      return "not enough memory for the picture";
    case PictureOutcome::OutputFailed:
      return "cannot write the PNG file";
  }
  return "unknown outcome";
}

std::string PictureResult::detail() const {
  if (outcome == PictureOutcome::Refused) return refusal;
  return error ? error.message() : std::string();
}

PictureResult WritePicture(const fs::path& input, const fs::path& output, std::uint32_t size) {
  try {
    return Write(input, output, size);
  } catch (const std::bad_alloc&) {
    return {PictureOutcome::OutOfMemory, {}, {}};
  } catch (...) {
    return {PictureOutcome::NotDecoded, {}, {}};
  }
}

}  // namespace sodrel::convert
