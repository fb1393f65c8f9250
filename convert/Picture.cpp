#include "convert/Picture.h"

#include "io/EnumTexts.h"

#include "dds/DdsNames.h"

#include <unistd.h>

#include <algorithm>
#include <new>

#include "io/FileIo.h"
#include "preview/DdsDecode.h"

namespace sodrel::convert {
namespace fs = std::filesystem;
namespace {

// FreeImage writes the PNG through these callbacks into the output's descriptor, which may have
// no name. The library does not look at what a write returns, so a failure is kept here.
struct PngSink {
  int fd;
  Stop stop;
  std::error_code error;

  static unsigned DLL_CALLCONV Write(void* data, unsigned size, unsigned count, fi_handle handle) {
    auto& sink = *static_cast<PngSink*>(handle);
    const std::size_t bytes = std::size_t{size} * count;
    // Once stopped, the rest of the picture is not worth writing.
    if (!sink.error && sink.stop.requested())
      sink.error = std::make_error_code(std::errc::interrupted);
    if (sink.error) return 0;
    const IoResult written = WriteAll(sink.fd, {static_cast<const std::byte*>(data), bytes});
    if (!written.ok())
      sink.error = written.error ? written.error : std::make_error_code(std::errc::io_error);
    return written.ok() ? count : 0;
  }
  static int DLL_CALLCONV Seek(fi_handle handle, long offset, int origin) {
    return ::lseek(static_cast<PngSink*>(handle)->fd, offset, origin) < 0 ? -1 : 0;
  }
  static long DLL_CALLCONV Tell(fi_handle handle) {
    return static_cast<long>(::lseek(static_cast<PngSink*>(handle)->fd, 0, SEEK_CUR));
  }
};

PictureResult Ended(PictureOutcome outcome, std::error_code error = {}) {
  return {{outcome, error}, {}};
}

PictureResult Write(InputFile& input, const FileKindResult& kind, const fs::path& output,
                    std::uint32_t size, OutputMode mode, Stop stop, bool topLevel) {
  DecodedDds decoded = DecodeDds(input, kind.ddsOffset(), kind.dds, topLevel ? 0 : size);
  if (decoded.texture.check == DdsCheck::NotDone) decoded.texture.check = DdsCheck::Unreadable;
  if (!decoded.texture.ok())
    return {{PictureOutcome::Refused, {}}, DescribeRefusal(decoded.texture)};
  if (decoded.changed) return Ended(PictureOutcome::InputChanged);
  if (!decoded.bitmap) return Ended(PictureOutcome::NotDecoded);

  MFreeImage::Bitmap picture = std::move(decoded.bitmap);
  // The picture's sides follow the top surface's, whichever level it is drawn from.
  const std::uint64_t width = decoded.texture.top().width;
  const std::uint64_t height = decoded.texture.top().height;
  const auto fit = [&](std::uint64_t side) {
    return static_cast<int>(std::max<std::uint64_t>(
        1, (side * size + std::max(width, height) / 2) / std::max(width, height)));
  };
  if (size != 0 && std::max(width, height) > size &&
      (FreeImage().GetWidth(picture.get()) != unsigned(fit(width)) ||
       FreeImage().GetHeight(picture.get()) != unsigned(fit(height)))) {
    // The long side becomes `size`, the short one keeps the ratio, rounded, at least 1. The box
    // filter averages exactly the texels under each pixel, and is the fastest of the library's.
    MFreeImage::Bitmap scaled(
        FreeImage().Rescale(picture.get(), fit(width), fit(height), FILTER_BOX));
    if (!scaled) return Ended(PictureOutcome::ScaleFailed);
    picture = std::move(scaled);  // the full-size bitmap is freed before the PNG is written
  }

  AtomicOutput file(output, mode);
  if (IoResult created = file.Open(); !created.ok()) {
    return Ended(PictureOutcome::OutputFailed, created.error);
  }
  PngSink sink{file.fd(), stop, {}};
  FreeImageIO io{nullptr, &PngSink::Write, &PngSink::Seek, &PngSink::Tell};
  if (!FreeImage().SaveToHandle(FIF_PNG, picture.get(), &io, &sink, PNG_Z_BEST_SPEED) ||
      sink.error) {
    return Ended(PictureOutcome::OutputFailed,
                 sink.error ? sink.error : std::make_error_code(std::errc::io_error));
  }
  if (IoResult committed = file.Commit(stop); !committed.ok()) {
    return Ended(PictureOutcome::OutputFailed, committed.error);
  }
  return Ended(PictureOutcome::Written);
}

}  // namespace

std::string_view Describe(PictureOutcome outcome) {
  static constexpr std::string_view kTexts[] = {
      "not done",
      "written",
      "the preview refuses this texture",
      "the DDS file could not be decoded",
      "changed while it was read",
      "cannot scale the picture",
      "not enough memory for the picture",
      "cannot write the PNG file",
  };
  return TextOf<PictureOutcome::OutputFailed>(kTexts, outcome);
}

std::string PictureResult::detail() const {
  if (outcome == PictureOutcome::Refused) return refusal;
  return error ? error.message() : std::string();
}

PictureResult WritePicture(InputFile& input, const FileKindResult& kind, const fs::path& output,
                           std::uint32_t size, OutputMode mode, Stop stop, bool topLevel) {
  try {
    return Write(input, kind, output, size, mode, stop, topLevel);
  } catch (const std::bad_alloc&) {
    return Ended(PictureOutcome::OutOfMemory);
  } catch (...) {
    return Ended(PictureOutcome::NotDecoded);
  }
}

}  // namespace sodrel::convert
