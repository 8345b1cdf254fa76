#include "skin/png_writer.h"

#include <png.h>

#include <csetjmp>
#include <new>
#include <vector>

#include "base/file_util.h"
#include "base/log.h"
#include "skin/rgb565.h"
#include "skin/surface.h"

namespace lv {

namespace {

// libpng reports errors by longjmp; nothing with a destructor may live in the
// frames it jumps over, so the C++ objects stay with the callers.
struct PngOutput {
  std::string* bytes;
  bool failed;
};

[[noreturn]] void on_error(png_structp png, png_const_charp message) {
  log() << u"write_png error " << (message ? message : "") << u"\n";
  png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

void on_write(png_structp png, png_bytep data, size_t length) {
  auto* output = static_cast<PngOutput*>(png_get_io_ptr(png));
  try {
    output->bytes->append(reinterpret_cast<const char*>(data), length);
  } catch (...) {
    output->failed = true;
  }
  if (output->failed) png_error(png, "out of memory");
}

void on_flush(png_structp) {}

void widen_row(const uint16_t* src, int32_t width, png_bytep out) {
  for (int32_t x = 0; x < width; ++x) {
    const uint16_t p = src[x];
    *out++ = rgb565::red8(p);
    *out++ = rgb565::green8(p);
    *out++ = rgb565::blue8(p);
  }
}

bool write_rows(png_structp png, png_infop info, const PixelView& view, png_bytep row) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, png_uint_32(view.width), png_uint_32(view.height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const auto* base = static_cast<const uint8_t*>(view.pixels);
  for (int32_t y = 0; y < view.height; ++y) {
    widen_row(reinterpret_cast<const uint16_t*>(base + size_t(y) * view.pitch), view.width, row);
    png_write_row(png, row);
  }
  png_write_end(png, info);
  return true;
}

bool view_ok(const PixelView& view) {
  // Rows are read as 16-bit words: the pitch must keep them aligned.
  return view.pixels && view.width >= 1 && view.height >= 1 && view.width <= Surface::kMaxSide &&
         view.height <= Surface::kMaxSide && view.pitch % 2 == 0 &&
         view.pitch >= uint32_t(view.width) * 2;
}

}  // namespace

PixelView pixel_view(const Surface& surface) {
  return {surface.bytes(), static_cast<int32_t>(surface.width()),
          static_cast<int32_t>(surface.height()), surface.pitch()};
}

bool encode_png(const PixelView& view, std::string& out) {
  out.clear();
  if (!view_ok(view)) return false;
  std::vector<png_byte> row;
  try {
    row.resize(size_t(view.width) * 3);
  } catch (const std::bad_alloc&) {
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  PngOutput output{&out, false};
  png_set_write_fn(png, &output, on_write, on_flush);
  const bool ok = write_rows(png, info, view, row.data()) && !output.failed;
  png_destroy_write_struct(&png, &info);
  if (!ok) out.clear();
  return ok;
}

bool write_png(std::u16string_view path, const PixelView& view) {
  std::string bytes;
  return encode_png(view, bytes) && write_file_atomic(path, bytes);
}

bool write_png(std::u16string_view path, const Surface& surface) {
  return write_png(path, pixel_view(surface));
}

}  // namespace lv
