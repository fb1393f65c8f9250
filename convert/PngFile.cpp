#include "convert/PngFile.h"

#include <png.h>

#include <vector>

namespace sodrel::convert {
namespace {

struct PngTarget {
  int fd;
  Stop stop;
  std::error_code error;
};

std::error_code WriteChunk(PngTarget& target, const png_bytep data, std::size_t length) {
  if (target.stop.requested()) return std::make_error_code(std::errc::interrupted);
  const IoResult written = WriteAll(target.fd, {reinterpret_cast<const std::byte*>(data), length});
  if (written.ok()) return {};
  return written.error ? written.error : std::make_error_code(std::errc::io_error);
}

// libpng reports an error by a long jump out of its own code: the frames it leaves hold nothing
// that needs destroying, and what went wrong is kept in the target.
void WriteData(png_structp png, png_bytep data, std::size_t length) {
  auto& target = *static_cast<PngTarget*>(png_get_io_ptr(png));
  if (!target.error) target.error = WriteChunk(target, data, length);
  if (target.error) png_error(png, "write failed");
}

void Flush(png_structp) {}

void Quiet(png_structp, png_const_charp) {}

[[noreturn]] void Fail(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}

// The long jump lands here; `row` has room for one row of the PNG's pixels.
bool Encode(png_structp png, png_infop info, const PngPicture& picture, png_bytep row) {
  if (setjmp(png_jmpbuf(png))) return false;
  const int type = picture.channels == 1   ? PNG_COLOR_TYPE_GRAY
                   : picture.channels == 3 ? PNG_COLOR_TYPE_RGB
                                           : PNG_COLOR_TYPE_RGB_ALPHA;
  png_set_IHDR(png, info, picture.width, picture.height, 8, type, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 1);
  png_write_info(png, info);
  if (picture.channels != 1) png_set_bgr(png);
  if (picture.channels == 3) png_set_filler(png, 0, PNG_FILLER_AFTER);  // the alpha byte dropped
  const std::size_t rowBytes = std::size_t{picture.width} * 4;
  for (std::uint32_t y = 0; y < picture.height; ++y) {
    const std::uint8_t* in = picture.bgra + y * rowBytes;
    if (picture.channels == 1) {
      for (std::uint32_t x = 0; x < picture.width; ++x) row[x] = in[4 * x];
      png_write_row(png, row);
    } else {
      png_write_row(png, const_cast<png_bytep>(in));  // libpng copies before it transforms
    }
  }
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

IoResult WritePng(int fd, const PngPicture& picture, Stop stop) {
  struct Writer {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, &Fail, &Quiet);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    ~Writer() { png_destroy_write_struct(&png, &info); }
  } writer;
  if (writer.png == nullptr || writer.info == nullptr) {
    return {IoOutcome::WriteFailed, std::make_error_code(std::errc::not_enough_memory)};
  }
  PngTarget target{fd, stop, {}};
  png_set_write_fn(writer.png, &target, &WriteData, &Flush);
  std::vector<png_byte> row(picture.width);
  if (Encode(writer.png, writer.info, picture, row.data()) && !target.error) return Done();
  return {IoOutcome::WriteFailed,
          target.error ? target.error : std::make_error_code(std::errc::io_error)};
}

}  // namespace sodrel::convert
