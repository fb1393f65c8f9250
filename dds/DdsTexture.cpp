#include "dds/DdsTexture.h"

#include <algorithm>
#include <array>
#include <bit>
#include <iterator>
#include <limits>

#include "dds/DdsFields.h"
#include "io/FileIo.h"

namespace sodrel {
using namespace dds_fields;
namespace {

constexpr std::uint32_t kCaps2Cube = 0x200;
constexpr std::uint32_t kCaps2CubeFaces = 0xFC00;
constexpr std::uint32_t kMaxArrayImages = 1u << 20;  // more is not a texture but a hostile header

DdsTexture Verdict(DdsTexture texture, DdsCheck check) {
  texture.check = check;
  return texture;
}

DdsHeader ReadHeader(std::span<const std::byte> prefix) {
  DdsHeader h;
  h.flags = ReadU32(prefix, kHeaderFlagsAt);
  h.height = ReadU32(prefix, kHeightAt);
  h.width = ReadU32(prefix, kWidthAt);
  h.pitch = ReadU32(prefix, kPitchAt);
  h.mipCount = ReadU32(prefix, kMipCountAt);
  h.formatFlags = ReadU32(prefix, kPixelFormatFlagsAt);
  h.fourCC = ReadU32(prefix, kFourCCAt);
  h.bitCount = ReadU32(prefix, kRgbBitCountAt);
  for (std::size_t i = 0; i < 4; ++i) h.masks[i] = ReadU32(prefix, kMasksAt + 4 * i);
  h.caps = ReadU32(prefix, kCapsAt);
  h.caps2 = ReadU32(prefix, kCaps2At);
  return h;
}

// A file flagged RGB or luminance is uncompressed, whatever FourCC it also carries.
bool NamedByFourCC(const DdsHeader& h) {
  return (h.formatFlags & kFormatFourCC) && !(h.formatFlags & (kFormatRgb | kFormatLuminance));
}

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
  return a > std::numeric_limits<std::uint64_t>::max() - b
             ? std::numeric_limits<std::uint64_t>::max()
             : a + b;
}

// Level `index` of a chain whose top is width x height, at `offset`; `pitch` pads its rows when
// it is wider than a row (uncompressed top levels only).
DdsLevel LayOut(const DdsTexture& t, std::uint32_t index, std::uint64_t offset,
                std::uint32_t pitch) {
  const TextureFormat& f = *t.format;
  DdsLevel level;
  level.index = index;
  level.width = std::max(1u, t.header.width >> index);
  level.height = std::max(1u, t.header.height >> index);
  level.offset = offset;
  const std::uint64_t width = level.width;
  if (f.blockCompressed()) {
    level.rows = (level.height + 3) / 4;
    level.rowBytes = static_cast<std::uint32_t>((width + 3) / 4 * f.blockBytes);
  } else {
    level.rows = level.height;
    level.rowBytes = static_cast<std::uint32_t>(width * (f.bitCount / 8));
  }
  level.rowStride = pitch > level.rowBytes ? pitch : level.rowBytes;
  level.whole = t.fileSize >= level.offset && t.fileSize - level.offset >= level.bytes();
  return level;
}

// The format entry, the masks and where the top level starts; a refusal otherwise.
DdsCheck FindFormat(std::span<const std::byte> prefix, DdsTexture& t) {
  const DdsHeader& h = t.header;
  t.dataOffset = kDdsHeaderBytes;
  if (!NamedByFourCC(h)) {
    t.format = FindMasksFormat(h.formatFlags, h.bitCount, h.masks,
                               (h.formatFlags & kFormatAlphaPixels) != 0);
    if (t.format == nullptr) return DdsCheck::UnsupportedFormat;
    if (t.format->pixels == PixelLayout::P8) {
      t.paletteBytes = kDdsPaletteBytes;
      t.dataOffset += kDdsPaletteBytes;
    }
    t.masks = MasksOf(*t.format, h.masks, (h.formatFlags & kFormatAlphaPixels) != 0);
    return DdsCheck::Accepted;
  }
  if (!h.dx10) {
    t.format = FindFourCCFormat(h.fourCC);
  } else {
    if (prefix.size() < kDdsLongestHeaderBytes || t.fileSize < kDdsLongestHeaderBytes) {
      return DdsCheck::TooShortForHeader;
    }
    t.dataOffset = kDdsLongestHeaderBytes;
    // A cube map or an array of 2D textures starts with its first image, which is shown.
    // Older writers left the dimension unknown (0), for 2D textures among others.
    if (h.dimension != kDimensionTexture2D && h.dimension != kDimensionUnknown) {
      return DdsCheck::NotTwoDimensional;
    }
    t.format = FindDxgiFormat(static_cast<DxgiFormat>(h.dxgiFormat));
  }
  if (t.format == nullptr) return DdsCheck::UnsupportedFormat;
  t.masks = MasksOf(*t.format, h.masks, false);
  return DdsCheck::Accepted;
}

// The levels and images the header promises, whatever their layout.
void CountImages(DdsTexture& t) {
  const DdsHeader& h = t.header;
  t.promisedLevels = std::max(1u, h.mipCount);
  if (h.dx10) {
    t.cube = (h.miscFlag & kMiscTextureCube) != 0;
    t.images = std::clamp(h.arraySize, 1u, kMaxArrayImages) * (t.cube ? 6 : 1);
  } else {
    t.cube = (h.caps2 & kCaps2Cube) != 0;
    t.images = t.cube ? std::max(1, std::popcount(h.caps2 & kCaps2CubeFaces)) : 1;
  }
}

void LayOutChain(DdsTexture& t) {
  const DdsHeader& h = t.header;
  const std::uint32_t longest = std::max(h.width, h.height);
  const auto chainLength = static_cast<std::uint32_t>(std::bit_width(longest));
  // A pitch wider than a row pads every row of an uncompressed top level; a narrower one cannot
  // be meant.
  const auto pitch = static_cast<std::int32_t>(h.pitch);
  const bool padded = !t.format->blockCompressed() && (h.flags & kFlagPitch) && pitch > 0;
  std::uint64_t at = t.dataOffset;
  const std::uint32_t count = std::min(t.promisedLevels, chainLength);
  for (std::uint32_t k = 0; k < count; ++k) {
    const DdsLevel level =
        LayOut(t, k, at, k == 0 && padded ? static_cast<std::uint32_t>(pitch) : 0);
    t.levels.push_back(level);
    at = level.offset + std::uint64_t{level.rows} * level.rowStride;
  }
  t.imageBytes = at - t.dataOffset;
  const std::uint64_t all = t.imageBytes * t.images;  // at most 2^40 x 2^23: no overflow
  t.bytesNeeded = SaturatingAdd(t.dataOffset, all);
}

}  // namespace

DdsTexture InspectDds(std::span<const std::byte> prefix, std::uint64_t fileSize) {
  DdsTexture t;
  t.fileSize = fileSize;
  if (prefix.size() < kDdsHeaderBytes || fileSize < kDdsHeaderBytes) {
    return Verdict(t, DdsCheck::TooShortForHeader);
  }
  if (ReadU32(prefix, kMagicAt) != kMagic) return Verdict(t, DdsCheck::BadMagic);
  if (ReadU32(prefix, kHeaderSizeAt) != kHeaderSize) return Verdict(t, DdsCheck::BadHeaderSize);
  if (ReadU32(prefix, kPixelFormatSizeAt) != kPixelFormatSize) {
    return Verdict(t, DdsCheck::BadPixelFormatSize);
  }
  t.header = ReadHeader(prefix);
  DdsHeader& h = t.header;
  h.dx10 = NamedByFourCC(h) && h.fourCC == kDx10;
  if (h.dx10 && prefix.size() >= kDdsLongestHeaderBytes) {
    h.dxgiFormat = ReadU32(prefix, kDxgiFormatAt);
    h.dimension = ReadU32(prefix, kDimensionAt);
    h.miscFlag = ReadU32(prefix, kMiscFlagAt);
    h.arraySize = ReadU32(prefix, kArraySizeAt);
  }
  CountImages(t);
  if (h.width < 1 || h.width > kDdsMaxSide || h.height < 1 || h.height > kDdsMaxSide) {
    return Verdict(t, DdsCheck::BadDimensions);
  }
  if (const DdsCheck found = FindFormat(prefix, t); found != DdsCheck::Accepted) {
    return Verdict(t, found);
  }
  // A volume texture's first slice is not the texture; older DX10 writers name a volume by
  // these caps alone.
  if (h.caps2 & kCaps2Volume) return Verdict(t, DdsCheck::NotTwoDimensional);
  LayOutChain(t);
  if (fileSize < t.dataOffset) return Verdict(t, DdsCheck::MissingPalette);
  if (!t.top().whole) return Verdict(t, DdsCheck::TruncatedSurface);
  return Verdict(t, DdsCheck::Accepted);
}

DdsTexture InspectDdsAt(int fd, std::uint64_t fileSize, std::uint64_t offset) {
  std::array<std::byte, kDdsLongestHeaderBytes> prefix{};
  std::size_t got = 0;
  if (!ReadAt(fd, offset, prefix, got).ok()) return Verdict({}, DdsCheck::Unreadable);
  return InspectDds(std::span(prefix).first(got), fileSize < offset ? 0 : fileSize - offset);
}

DdsTexture InspectDdsFile(const std::filesystem::path& path, std::uint64_t offset) {
  InputFile file;
  if (!file.Open(path).ok()) return Verdict({}, DdsCheck::Unreadable);
  DdsTexture texture = InspectDdsAt(file.fd(), file.size(), offset);
  // Cut or rewritten while its header was read: say nothing of a header that may be gone.
  if (!file.Unchanged().ok()) return Verdict({}, DdsCheck::Unreadable);
  return texture;
}

unsigned ShownChannels(const DdsTexture& texture) {
  const bool packed = !texture.format->blockCompressed();
  if (packed && texture.format->pixels == PixelLayout::Grey8) return 1;
  return packed && texture.format->pixels == PixelLayout::Masked && !texture.masks.alpha ? 3 : 4;
}

const DdsLevel& ChooseLevel(const DdsTexture& texture, std::uint32_t side) {
  const DdsLevel* chosen = &texture.top();
  if (side == 0 || chosen->rowStride != chosen->rowBytes) return *chosen;
  for (const DdsLevel& level : texture.levels) {
    if (std::max(level.width, level.height) < side || !level.whole) break;
    chosen = &level;
  }
  return *chosen;
}

bool SameLayout(const DdsTexture& a, const DdsTexture& b) {
  const DdsHeader &x = a.header, &y = b.header;
  if (x.width != y.width || x.height != y.height || a.promisedLevels != b.promisedLevels ||
      a.images != b.images || a.cube != b.cube || (a.format == nullptr) != (b.format == nullptr)) {
    return false;
  }
  if (a.format != nullptr) {
    return a.format == b.format && a.masks == b.masks &&
           (a.format->naming != FormatNaming::Masks || x.bitCount == y.bitCount);
  }
  // Layouts that are not shown are told apart by what their headers name.
  const bool masks = std::equal(std::begin(x.masks), std::end(x.masks), std::begin(y.masks));
  return x.formatFlags == y.formatFlags && x.fourCC == y.fourCC && x.bitCount == y.bitCount &&
         masks && x.dx10 == y.dx10 && x.dxgiFormat == y.dxgiFormat;
}

CutPoint WhereCut(const DdsTexture& texture) {
  CutPoint cut;
  for (const DdsLevel& level : texture.levels) cut.wholeLevels += level.whole ? 1 : 0;
  if (texture.whole() || texture.levels.empty() || texture.imageBytes == 0) {
    cut.level = static_cast<std::uint32_t>(texture.levels.size());
    return cut;
  }
  const std::uint64_t held =
      texture.fileSize > texture.dataOffset ? texture.fileSize - texture.dataOffset : 0;
  cut.image = static_cast<std::uint32_t>(held / texture.imageBytes);
  const std::uint64_t into = cut.image * texture.imageBytes;  // where that image starts
  for (const DdsLevel& level : texture.levels) {
    if (texture.fileSize < level.end() + into) break;
    ++cut.level;
  }
  return cut;
}

}  // namespace sodrel
