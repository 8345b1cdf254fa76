#pragma once

// Shared set-up of the skin tests: skins made by the skin compiler from
// sources written here (a JSON text and RGBA art written as PNG files into a
// fresh folder), surfaces whose pixels name their position, and fonts.

#include <png.h>

#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "base/log_capture.h"
#include "platform/text.h"
#include "skin/font.h"
#include "skin/properties.h"
#include "skin/surface.h"
#include "skinc/skin_compiler.h"
#include "support/test_env.h"

namespace lv::test {

struct Rgba {
  uint8_t r = 0, g = 0, b = 0, a = 255;
};

// Writes an RGBA PNG of width x height pixels, pixel (x, y) at y * width + x;
// without pixels, a picture of opaque black.
inline void write_art(const std::filesystem::path& file, int32_t width, int32_t height,
                      std::vector<Rgba> pixels = {}) {
  std::filesystem::create_directories(file.parent_path());
  if (pixels.empty()) pixels.resize(size_t(width) * size_t(height));
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<uint32_t>(width);
  image.height = static_cast<uint32_t>(height);
  image.format = PNG_FORMAT_RGBA;
  ASSERT_TRUE(png_image_write_to_file(&image, file.c_str(), 0, pixels.data(), 0, nullptr))
      << image.message;
}

// The log written since start_fresh_log(), as UTF-8.
inline std::string log_text() {
  return to_utf8(read_log_text());
}

// Loads a skin for a 480 x 800 screen of `dpi` dots per inch.
inline bool load(Properties& properties, const std::string& path, int32_t dpi = 96) {
  return properties.load_skin(from_utf8(path), ScreenInfo{.width = 480, .height = 800, .dpi = dpi});
}

// A skin source folder "<root>/<name>" and the compiled output "<root>/bin".
class SkinSourceFolder {
 public:
  explicit SkinSourceFolder(const std::string& name = "test")
      : m_root(make_temp_dir("skin")), m_name(name) {
    std::filesystem::create_directories(folder());
  }

  std::filesystem::path folder() const { return std::filesystem::path(m_root) / m_name; }
  std::filesystem::path output() const { return std::filesystem::path(m_root) / "bin"; }
  std::string skin_file() const { return (output() / (m_name + ".skin")).string(); }
  std::u16string skin_path() const { return from_utf8(skin_file()); }

  // Writes a source file and compiles it; false with the compiler's message.
  bool compile(const std::string& json, std::string& error,
               const std::string& file = "skin.json") const {
    write_file((folder() / file).string(), json);
    skinc::CompiledSkin skin;
    return skinc::compile_skin(folder() / file, m_name, skin, error) &&
           skinc::write_compiled_skin(skin, output(), error);
  }

  // Compiles a source that must compile, and answers the skin's bytes.
  std::string build(const std::string& json) const {
    std::string error;
    EXPECT_TRUE(compile(json, error)) << error;
    return read_file(skin_file());
  }

 private:
  std::string m_root;
  std::string m_name;
};

// Little-endian fields of a skin or bitmap held in a string.
inline uint32_t read_u32(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= uint32_t(uint8_t(bytes.at(at + i))) << (8 * i);
  return v;
}
inline void put_bytes(std::string& bytes, size_t at, uint32_t v, int width) {
  for (int i = 0; i < width; ++i) bytes.at(at + i) = static_cast<char>(v >> (8 * i));
}

// A view of bytes held in a string.
inline std::span<const uint8_t> byte_span(const std::string& bytes) {
  return {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
}

// Art of one colour for a skin source: a PNG file of width x height.
struct Art {
  std::string file;
  int32_t width = 1, height = 1;
};

// Compiles a source with its art and loads it for a screen of `dpi`; the
// folder stays for the object's life.
class LoadedSkin {
 public:
  explicit LoadedSkin(const std::string& json, const std::vector<Art>& art = {}, int32_t dpi = 96,
                      const std::string& name = "test")
      : m_source(name) {
    for (const Art& a : art) write_art(m_source.folder() / a.file, a.width, a.height);
    m_bytes = m_source.build(json);
    EXPECT_TRUE(load(m_properties, m_source.skin_file(), dpi));
  }
  Properties& properties() { return m_properties; }
  const SkinSourceFolder& source() const { return m_source; }
  const std::string& bytes() const { return m_bytes; }
  const SkinNode* node(std::u16string_view name) const { return m_properties.find_node(name); }

 private:
  SkinSourceFolder m_source;
  std::string m_bytes;
  Properties m_properties;
};

// Surfaces whose pixel (x, y) is 0x1000 + y * 64 + x (x, y below 64), so a
// drawn pixel tells where it came from.
inline uint16_t number(int32_t x, int32_t y) {
  return static_cast<uint16_t>(0x1000 + y * 64 + x);
}
inline int32_t column_of(uint16_t p) {
  return (p - 0x1000) % 64;
}
inline int32_t row_of(uint16_t p) {
  return (p - 0x1000) / 64;
}
inline std::unique_ptr<Surface> numbered_surface(int32_t width, int32_t height) {
  auto s = Surface::create(width, height);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) s->set_pixel(x, y, number(x, y));
  return s;
}
inline std::unique_ptr<Surface> filled_surface(int32_t width, int32_t height, uint16_t pixel) {
  auto s = Surface::create(width, height);
  s->fill(pixel);
  return s;
}

inline bool contains(const Rect& r, int32_t x, int32_t y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// Every pixel (x, y) of `s` is want(x, y).
inline ::testing::AssertionResult holds(const Surface& s,
                                        const std::function<uint16_t(int32_t, int32_t)>& want) {
  for (int32_t y = 0; y < int32_t(s.height()); ++y)
    for (int32_t x = 0; x < int32_t(s.width()); ++x)
      if (s.pixel(x, y) != want(x, y))
        return ::testing::AssertionFailure() << "at " << x << "," << y << ": 0x" << std::hex
                                             << s.pixel(x, y) << ", want 0x" << want(x, y);
  return ::testing::AssertionSuccess();
}

// DejaVu Sans, the font every drawing test measures against.
inline FontRef dejavu(int32_t height = 12, bool underline = false, uint32_t factor = 1) {
  return create_font({height, factor, 0, 0, uint8_t(underline), u"DejaVu Sans"});
}

}  // namespace lv::test

#define LV_REQUIRE_FONT(font)                                                     \
  do {                                                                            \
    if (!(font)->has_glyphs()) GTEST_SKIP() << "fontconfig finds no usable font"; \
  } while (0)
