#include "skinc/art.h"

#include <png.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "skin/rgb565.h"
#include "skin/surface.h"

extern char** environ;

namespace lv::skinc {

namespace {

uint16_t to5(uint32_t c) {
  return static_cast<uint16_t>((c * 31 + 127) / 255);
}
uint16_t to6(uint32_t c) {
  return static_cast<uint16_t>((c * 63 + 127) / 255);
}

bool read_bytes(const std::filesystem::path& file, std::vector<uint8_t>& out) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Runs rsvg-convert with an argument vector (never a shell) into a temporary
// PNG file and reads it back.
bool render_svg(const std::filesystem::path& file, std::vector<uint8_t>& png, std::string& reason) {
  std::error_code ignored;
  std::string temporary =
      (std::filesystem::temp_directory_path(ignored) / "skinc-XXXXXX.png").string();
  const int fd = ::mkstemps(temporary.data(), 4);
  if (fd < 0) {
    reason = std::string("cannot make a temporary file: ") + std::strerror(errno);
    return false;
  }
  ::close(fd);
  std::string program = "rsvg-convert";
  std::string format = "--format=png";
  std::string output = "--output=" + temporary;
  std::string input = file.string();
  char* argv[] = {program.data(), format.data(), output.data(), input.data(), nullptr};
  pid_t pid = 0;
  const int spawned = ::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, environ);
  int status = 0;
  bool ok = spawned == 0;
  if (ok) {
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  if (!ok)
    reason = spawned != 0 ? "cannot run rsvg-convert (package librsvg2-bin) to render SVG art"
                          : "rsvg-convert could not render the drawing";
  ok = ok && read_bytes(temporary, png);
  std::filesystem::remove(temporary, ignored);
  if (!ok && reason.empty()) reason = "cannot read the rendered drawing";
  return ok;
}

}  // namespace

uint16_t skin_pixel(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha) {
  if (alpha == 0) return rgb565::kKey;
  if (alpha == 255) return rgb565::pack(to5(red), to6(green) | 1, to5(blue));
  auto premultiplied = [alpha](uint8_t c) { return (uint32_t{c} * alpha + 127) / 255; };
  const uint16_t r = std::min(to5(premultiplied(red)), kSeeThroughMaxRed);
  const uint16_t g = std::min<uint16_t>(to6(premultiplied(green)) & ~1u, kSeeThroughMaxGreen);
  const uint16_t b = std::min(to5(premultiplied(blue)), kSeeThroughMaxBlue);
  return rgb565::pack(r, g, b);
}

std::unique_ptr<Surface> surface_from_rgba(std::span<const uint8_t> rgba, int32_t width,
                                           int32_t height) {
  if (width < 1 || height < 1 || width > Surface::kMaxSide || height > Surface::kMaxSide)
    return nullptr;
  if (rgba.size() < size_t(width) * size_t(height) * 4) return nullptr;
  std::unique_ptr<Surface> surface = Surface::create(width, height);
  if (!surface) return nullptr;
  const uint8_t* p = rgba.data();
  for (int32_t y = 0; y < height; ++y) {
    uint16_t* row = surface->row(static_cast<uint32_t>(y));
    for (int32_t x = 0; x < width; ++x, p += 4) row[x] = skin_pixel(p[0], p[1], p[2], p[3]);
  }
  return surface;
}

bool decode_png(std::span<const uint8_t> bytes, std::unique_ptr<Surface>& out,
                std::string& reason) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
    reason = std::string("not a PNG image: ") + image.message;
    png_image_free(&image);
    return false;
  }
  if (image.width < 1 || image.height < 1 || image.width > uint32_t(Surface::kMaxSide) ||
      image.height > uint32_t(Surface::kMaxSide)) {
    reason = "the image is larger than " + std::to_string(Surface::kMaxSide) + " pixels a side";
    png_image_free(&image);
    return false;
  }
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
    reason = std::string("broken PNG image: ") + image.message;
    png_image_free(&image);
    return false;
  }
  out = surface_from_rgba(rgba, static_cast<int32_t>(image.width),
                          static_cast<int32_t>(image.height));
  if (!out) reason = "out of memory for the image";
  return out != nullptr;
}

bool load_art(const std::filesystem::path& file, std::unique_ptr<Surface>& out,
              std::string& reason) {
  std::vector<uint8_t> png;
  if (file.extension() == ".svg") {
    if (!render_svg(file, png, reason)) return false;
  } else if (!read_bytes(file, png)) {
    reason = "cannot read " + file.string();
    return false;
  }
  return decode_png(png, out, reason);
}

}  // namespace lv::skinc
