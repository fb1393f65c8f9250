#include "convert/Picture.h"

#include <algorithm>
#include <new>
#include <vector>

#include "convert/PngFile.h"
#include "dds/BoxScale.h"
#include "dds/DdsNames.h"
#include "dds/LevelDecoder.h"
#include "io/EnumTexts.h"
#include "io/FileIo.h"

namespace sodrel::convert {
namespace fs = std::filesystem;
namespace {

PictureResult Ended(PictureOutcome outcome, std::error_code error = {}) {
  return {{outcome, error}, {}};
}

// Decodes `level` into `picture` (to.width x to.height pixels) a band of rows at a time, so that
// neither the stored level nor, when it is larger than the picture, the decoded one is held whole:
// each band straight into its rows, or box-scaled into them.
IoResult DecodeInto(LevelDecoder& decoder, const DdsLevel& level, BoxScale::Size to, bool withAlpha,
                    std::vector<std::uint8_t>& picture) {
  constexpr std::size_t kBandBytes = 8 << 20;
  const std::size_t rowBytes = std::size_t{level.width} * 4;
  const auto bandRows = static_cast<std::uint32_t>(
      std::clamp<std::size_t>(kBandBytes / rowBytes / 4 * 4, 4, level.height));
  const bool whole = level.width == to.width && level.height == to.height;
  std::vector<std::uint8_t> band(whole ? 0 : bandRows * rowBytes);
  BoxScale scale({level.width, level.height}, to, picture.data(), withAlpha);
  for (std::uint32_t first = 0; first < level.height; first += bandRows) {
    const std::uint32_t rows = std::min(bandRows, level.height - first);
    std::uint8_t* into = whole ? picture.data() + first * rowBytes : band.data();
    if (IoResult decoded = decoder.Decode(first, rows, into); !decoded.ok()) return decoded;
    for (std::uint32_t i = 0; i < rows && !whole; ++i) {
      scale.AddRow(first + i, band.data() + i * rowBytes);
    }
  }
  if (!whole) scale.Finish();
  return Done();
}

// Our own decoders and libpng: no FreeImage, whose loading would cost a short command more than
// the rest of its work.
PictureResult Write(InputFile& input, const FileKindResult& kind, const fs::path& output,
                    std::uint32_t size, OutputMode mode, Stop stop, bool topLevel) {
  DdsTexture texture = kind.dds;
  if (texture.check == DdsCheck::NotDone) texture.check = DdsCheck::Unreadable;
  if (!texture.ok()) return {{PictureOutcome::Refused, {}}, DescribeRefusal(texture)};
  const DdsLevel& level = ChooseLevel(texture, topLevel ? 0 : size);
  // The picture's sides follow the top surface's, whichever level it is drawn from: the long side
  // becomes `size`, the short one keeps the ratio, rounded, at least 1.
  const std::uint64_t width = texture.top().width;
  const std::uint64_t height = texture.top().height;
  const std::uint64_t longest = std::max(width, height);
  const auto fit = [&](std::uint64_t side) {
    return static_cast<std::uint32_t>(
        std::max<std::uint64_t>(1, (side * size + longest / 2) / longest));
  };
  const bool scaled = size != 0 && longest > size;
  const BoxScale::Size to{scaled ? fit(width) : level.width, scaled ? fit(height) : level.height};
  const unsigned channels = ShownChannels(texture);
  std::vector<std::uint8_t> picture(std::size_t{to.width} * to.height * 4);
  LevelDecoder decoder(input.fd(), kind.ddsOffset(), texture, level);
  // A file cut or rewritten since it was opened would give a picture of two versions.
  if (!DecodeInto(decoder, level, to, channels == 4, picture).ok() || !input.Unchanged().ok()) {
    return Ended(PictureOutcome::InputChanged);
  }

  AtomicOutput file(output, mode);
  if (IoResult created = file.Open(); !created.ok()) {
    return Ended(PictureOutcome::OutputFailed, created.error);
  }
  const PngPicture png{to.width, to.height, channels, picture.data()};
  if (IoResult written = WritePng(file.fd(), png, stop); !written.ok()) {
    return Ended(PictureOutcome::OutputFailed, written.error);
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
