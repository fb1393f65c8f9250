#include "preview/PictureFile.h"

#include <array>

#include "dds/LittleEndian.h"
#include "io/FileIo.h"

namespace sodrel {
namespace {

// The fields of a BMP's file and info headers that say where its rows are and how they are laid.
constexpr std::size_t kBmpHeadersBytes = 54;
constexpr std::size_t kPixelsAt = 10;
constexpr std::size_t kInfoSizeAt = 14;
constexpr std::size_t kWidthAt = 18;
constexpr std::size_t kHeightAt = 22;  // positive: the bottom row first
constexpr std::size_t kBitCountAt = 28;
constexpr std::size_t kCompressionAt = 30;
constexpr std::uint32_t kUncompressed = 0;

std::uint32_t ReadU32(std::span<const std::byte> bytes, std::size_t at) {
  return ReadLe32(bytes.data() + at);
}

// Reads the rows of the BMP at `path` into `dib`'s pixels when the file holds uncompressed rows
// of exactly `dib`'s size, depth and row length (both keep the bottom row first); false, with
// `dib` to be discarded, otherwise.
IoResult ReadRowsInto(const std::filesystem::path& path, FIBITMAP* dib) {
  const unsigned bits = FreeImage_GetBPP(dib);
  const IoResult other{IoOutcome::ReadFailed, {}};
  if (bits != 24 && bits != 32) return other;  // palettes are left to FreeImage
  InputFile file;
  std::array<std::byte, kBmpHeadersBytes> headers{};
  std::size_t got = 0;
  if (IoResult opened = file.Open(path); !opened.ok()) return opened;
  if (IoResult read = ReadAt(file.fd(), 0, headers, got); !read.ok()) return read;
  if (got != headers.size() || headers[0] != std::byte{'B'} || headers[1] != std::byte{'M'}) {
    return other;
  }
  const std::uint64_t size = file.size();
  const std::uint64_t width = FreeImage_GetWidth(dib);
  const std::uint64_t height = FreeImage_GetHeight(dib);
  const std::uint64_t rowBytes = (width * bits + 31) / 32 * 4;
  if (ReadU32(headers, kInfoSizeAt) < 40 || ReadU32(headers, kWidthAt) != width ||
      ReadU32(headers, kHeightAt) != height || (ReadU32(headers, kBitCountAt) & 0xFFFF) != bits ||
      ReadU32(headers, kCompressionAt) != kUncompressed || FreeImage_GetPitch(dib) != rowBytes) {
    return other;
  }
  const std::uint64_t pixelsAt = ReadU32(headers, kPixelsAt);
  const std::uint64_t length = rowBytes * height;
  if (pixelsAt < kBmpHeadersBytes || pixelsAt > size || size - pixelsAt < length) return other;
  got = 0;
  const IoResult read = ReadAt(file.fd(), pixelsAt,
                               {reinterpret_cast<std::byte*>(FreeImage_GetBits(dib)), length}, got);
  if (!read.ok()) return read;
  if (got != length) return other;
  return file.Unchanged();
}

}  // namespace

QImage ReadPicture(const std::filesystem::path& path, MFreeImage::Bitmap written) {
  MFreeImage::Bitmap bmp = std::move(written);
  if (!bmp || !ReadRowsInto(path, bmp.get()).ok()) {
    bmp.reset();  // never two pictures' worth of memory at once
    bmp = MFreeImage::Load(FIF_BMP, path.c_str(), 0);
  }
  if (bmp && FreeImage_GetBPP(bmp.get()) != 32) bmp.reset(FreeImage_ConvertTo32Bits(bmp.get()));
  // FreeImage keeps the bottom row first.
  if (!bmp || !FreeImage_FlipVertical(bmp.get())) return {};
  FIBITMAP* dib = bmp.get();
  QImage picture(
      FreeImage_GetBits(dib), static_cast<int>(FreeImage_GetWidth(dib)),
      static_cast<int>(FreeImage_GetHeight(dib)), static_cast<qsizetype>(FreeImage_GetPitch(dib)),
      QImage::Format_RGB32, [](void* owned) { FreeImage_Unload(static_cast<FIBITMAP*>(owned)); },
      dib);
  if (!picture.isNull()) bmp.release();
  return picture;
}

}  // namespace sodrel
