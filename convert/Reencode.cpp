#include "convert/Reencode.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <new>

#include "convert/Inputs.h"
#include "convert/Report.h"
#include "dds/DdsNames.h"
#include "dds/LevelDecoder.h"
#include "encode/BlockEncoder.h"
#include "encode/MipChain.h"
#include "encode/PixelPacker.h"
#include "io/FileStatus.h"
#include "preview/MFreeImage.h"

namespace sodrel::convert {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kPictureSuffixes[] = {".png", ".tga", ".bmp", ".tif", ".tiff"};

// How the top level of an original is made again: blocks of an encoding, or packed pixels.
struct Target {
  bool blocks = false;
  BlockEncoding encoding = BlockEncoding::Bc1;
  PixelPacking packing;
  bool alpha = false;  // the layout keeps transparency
};

// FreeImage reads the picture through these callbacks from the open input, at a position of its
// own.
struct FdReader {
  int fd;
  std::uint64_t position = 0;
  std::uint64_t size = 0;
  bool failed = false;

  static unsigned DLL_CALLCONV Read(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    auto& r = *static_cast<FdReader*>(handle);
    if (size == 0 || count == 0) return 0;
    std::size_t got = 0;
    const std::span<std::byte> into{static_cast<std::byte*>(buffer), std::size_t{size} * count};
    if (!ReadAt(r.fd, r.position, into, got).ok()) r.failed = true;
    r.position += got;
    return static_cast<unsigned>(got / size);
  }
  static int DLL_CALLCONV Seek(fi_handle handle, long offset, int origin) {
    auto& r = *static_cast<FdReader*>(handle);
    return MFreeImage::SeekPosition(r.position, r.size, offset, origin);
  }

  static long DLL_CALLCONV Tell(fi_handle handle) {
    return static_cast<long>(static_cast<FdReader*>(handle)->position);
  }
};

// A picture read, or the format FreeImage knows by name but was built without (the Windows build
// has no TIFF or JPEG).
struct LoadedPicture {
  RgbaImage image;  // empty when FreeImage cannot read the picture
  std::string unreadable;
};

// The picture in `file` as 8-bit R, G, B, A rows, top row first.
LoadedPicture LoadPicture(InputFile& file, const fs::path& path) {
  FdReader reader{file.fd(), 0, file.size()};
  FreeImageIO io{&FdReader::Read, nullptr, &FdReader::Seek, &FdReader::Tell};
  FREE_IMAGE_FORMAT fif = FreeImage().GetFileTypeFromHandle(&io, &reader, 0);
  if (fif == FIF_UNKNOWN)
    fif = FreeImage().GetFIFFromFilename(PathText(path).c_str());  // TGA has no magic
  reader.position = 0;
  if (fif == FIF_UNKNOWN) return {};
  if (!FreeImage().FIFSupportsReading(fif)) return {{}, FreeImage().GetFormatFromFIF(fif)};
  const MFreeImage::Bitmap loaded(FreeImage().LoadFromHandle(fif, &io, &reader, 0));
  if (!loaded || reader.failed) return {};
  const MFreeImage::Bitmap bgra(FreeImage().ConvertTo32Bits(loaded.get()));
  if (!bgra) return {};
  RgbaImage image;
  image.width = FreeImage().GetWidth(bgra.get());
  image.height = FreeImage().GetHeight(bgra.get());
  image.pixels.resize(std::size_t{image.width} * image.height * 4);
  for (std::uint32_t y = 0; y < image.height; ++y) {
    const BYTE* row = FreeImage().GetScanLine(bgra.get(), static_cast<int>(image.height - 1 - y));
    std::uint8_t* to = image.pixels.data() + std::size_t{y} * image.width * 4;
    for (std::uint32_t x = 0; x < image.width; ++x, row += 4, to += 4) {
      to[0] = row[FI_RGBA_RED], to[1] = row[FI_RGBA_GREEN], to[2] = row[FI_RGBA_BLUE];
      to[3] = row[FI_RGBA_ALPHA];
    }
  }
  return {std::move(image), {}};
}

// The top level of the accepted texture in `fd`, `offset` bytes in, as R, G, B, A rows.
IoResult DecodeTop(int fd, std::uint64_t offset, const DdsTexture& texture, RgbaImage& image) {
  const DdsLevel& top = texture.top();
  image.width = top.width;
  image.height = top.height;
  image.pixels.resize(std::size_t{top.width} * top.height * 4);
  LevelDecoder decoder(fd, offset, texture, top);
  IoResult decoded = decoder.Decode(0, top.height, image.pixels.data());
  for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
    std::swap(image.pixels[i], image.pixels[i + 2]);  // B, G, R, A into R, G, B, A
  }
  return decoded;
}

bool Opaque(const RgbaImage& image) {
  for (std::size_t i = 3; i < image.pixels.size(); i += 4) {
    if (image.pixels[i] != 255) return false;
  }
  return true;
}

// The target of `original`'s layout; false when build does not encode it. `transparent`: the
// original's top level has transparent texels (for DXT1).
bool TargetOf(const DdsTexture& original, bool transparent, Target& target) {
  const TextureFormat& f = *original.format;
  if (f.hdr || f.isSigned) return false;
  if (f.blockCompressed()) {
    target.blocks = true;
    switch (f.blocks) {
      case BlockLayout::Bc1:
        target.encoding = transparent ? BlockEncoding::Bc1WithAlpha : BlockEncoding::Bc1;
        break;
      case BlockLayout::Bc2:
        target.encoding = BlockEncoding::Bc2;
        break;
      case BlockLayout::Bc3:
        target.encoding = BlockEncoding::Bc3;
        break;
      case BlockLayout::Bc4Unsigned:
        target.encoding = BlockEncoding::Bc4;
        break;
      case BlockLayout::Bc5Unsigned:
        target.encoding = BlockEncoding::Bc5;
        break;
      case BlockLayout::Bc7:
        target.encoding = BlockEncoding::Bc7;
        break;
      default:
        return false;
    }
    target.alpha = target.encoding == BlockEncoding::Bc1WithAlpha ||
                   target.encoding == BlockEncoding::Bc2 || target.encoding == BlockEncoding::Bc3 ||
                   target.encoding == BlockEncoding::Bc7;
    return true;
  }
  PixelPacking& p = target.packing;
  p.bitCount = f.bitCount;
  switch (f.pixels) {
    case PixelLayout::Masked:
    case PixelLayout::R10G10B10A2:
    case PixelLayout::R8:
    case PixelLayout::R8G8:
      std::copy_n(original.masks.masks, 4, p.masks);
      if (!original.masks.alpha) p.masks[3] = 0;
      break;
    case PixelLayout::Grey8:
      p.masks[0] = 0xFF;  // grey levels take red
      break;
    case PixelLayout::A8:
      p.masks[3] = 0xFF;
      break;
    case PixelLayout::L8A8:
      p.masks[0] = 0xFF, p.masks[3] = 0xFF00;
      break;
    default:  // palettes, 16-bit channels and floats
      return false;
  }
  target.alpha = p.masks[3] != 0;
  return true;
}

std::string CannotEncode(const DdsTexture& original) {
  return "the original is " + LayoutName(original) +
         ", which build cannot encode: save a DDS file in that layout and build it as it is";
}

JobReport Failed(const fs::path& path, const std::string& why) {
  return Reported(JobStatus::Failed, Says(path, why));
}

// The original container, whole, and what its DDS file is.
struct Original {
  InputFile file;
  DdsTexture texture;
  RgbaImage top;
};

}  // namespace

bool IsPictureName(const fs::path& path) {
  const std::string name = PathText(path.filename());
  return std::any_of(std::begin(kPictureSuffixes), std::end(kPictureSuffixes),
                     [&](std::string_view suffix) { return EndsWithIgnoringCase(name, suffix); });
}

Verdict Unencodable(const Job& job, const DdsTexture& original) {
  Target target;
  if (original.format == nullptr || !TargetOf(original, false, target)) {
    return Refused(Says(job.input.path, CannotEncode(original)));
  }
  if (original.images > 1) {
    return Refused(
        Says(job.input.path, "the original " + PathText(job.original) + " holds " +
                                 std::to_string(original.images) +
                                 " images (a cube map or an array): build encodes textures of "
                                 "one image only; save a DDS file in that layout and build it "
                                 "as it is"));
  }
  return Taken();
}

JobReport Reencode(const Job& job, InputFile& input, const FileKindResult& kind, OutputMode mode) {
  const fs::path& path = job.input.path;
  try {
    Original original;
    if (IoResult opened = original.file.Open(job.original); !opened.ok()) {
      return Failed(path, "its original " + PathText(job.original) +
                              ": cannot open: " + opened.error.message());
    }
    original.texture = InspectDdsAt(original.file.fd(), original.file.size(), kContainerHeaderSize);
    if (!original.texture.ok()) {
      return Failed(path, "its original " + PathText(job.original) + ": " +
                              DescribeRefusal(original.texture));
    }
    if (IoResult read =
            DecodeTop(original.file.fd(), kContainerHeaderSize, original.texture, original.top);
        !read.ok()) {
      return Finished(job, read);
    }
    RgbaImage picture;
    if (kind.kind == FileKind::DdsFile) {
      if (!kind.dds.ok()) return Failed(path, "cannot decode it: " + DescribeRefusal(kind.dds));
      if (IoResult read = DecodeTop(input.fd(), 0, kind.dds, picture); !read.ok()) {
        return Finished(job, read);
      }
    } else {
      LoadedPicture loaded = LoadPicture(input, path);
      if (!loaded.unreadable.empty()) {
        return Failed(path, "a " + loaded.unreadable +
                                " picture, which this build cannot read (give PNG, TGA or BMP)");
      }
      picture = std::move(loaded.image);
      if (picture.pixels.empty()) return Failed(path, "not a picture that can be read");
    }
    if (IoResult same = input.Unchanged(); !same.ok()) return Finished(job, same);
    const DdsLevel& top = original.texture.top();
    if (picture.width != top.width || picture.height != top.height) {
      return Failed(path, std::to_string(picture.width) + " x " + std::to_string(picture.height) +
                              "; its original " + PathText(job.original) + " is " +
                              std::to_string(top.width) + " x " + std::to_string(top.height) +
                              " (the picture must have the original's size)");
    }

    AtomicOutput output(job.output, mode);
    IoResult result = output.Open();
    std::string warning;
    if (picture.pixels == original.top.pixels) {
      // Not edited: the original as it is, nothing encoded.
      if (result.ok()) {
        result = CopyBytes(original.file.fd(), 0, output.fd(), original.file.size(), job.stop);
      }
    } else {
      Target target;
      if (!TargetOf(original.texture, !Opaque(original.top), target)) {
        return Failed(path, CannotEncode(original.texture));
      }
      std::vector<std::byte> dds(original.texture.dataOffset);
      std::size_t got = 0;
      if (IoResult read = ReadAt(original.file.fd(), kContainerHeaderSize, dds, got);
          !read.ok() || got != dds.size()) {
        return Finished(job, read.ok() ? IoResult{IoOutcome::Changed, {}} : read);
      }
      const bool dropped = !target.alpha && !Opaque(picture);
      const std::vector<RgbaImage> levels = MakeMipChain(
          std::move(picture), static_cast<std::uint32_t>(original.texture.levels.size()),
          original.texture.format->srgb);
      if (result.ok()) result = WriteAll(output.fd(), job.header);
      if (result.ok()) result = WriteAll(output.fd(), dds);
      for (std::size_t k = 0; k < levels.size() && result.ok(); ++k) {
        const DdsLevel& level = original.texture.levels[k];
        const std::vector<std::byte> bytes =
            target.blocks ? EncodeBlocks(levels[k], target.encoding)
                          : PackPixels(levels[k], target.packing,
                                       static_cast<std::uint32_t>(level.rowStride));
        if (bytes.size() != std::uint64_t{level.rows} * level.rowStride) {
          return Failed(path, CannotEncode(original.texture));
        }
        result = WriteAll(output.fd(), bytes);
      }
      if (dropped) {
        warning = Says(path, "warning: its transparency was dropped: the original's layout, " +
                                 LayoutName(original.texture) + ", keeps none");
      }
    }
    if (result.ok()) result = original.file.Unchanged();
    if (result.ok()) result = output.Commit(job.stop);
    JobReport report = Finished(job, result);
    if (report.status == JobStatus::Done && !warning.empty()) report.warnings.push_back(warning);
    return report;
  } catch (const std::bad_alloc&) {
    return Failed(path, "not enough memory to encode it");
  }
}

}  // namespace sodrel::convert
