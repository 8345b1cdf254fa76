#include "widgets/widget_test_support.h"

#include <png.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "platform/clock.h"
#include "platform/text.h"
#include "skin/rgb565.h"
#include "skin/surface.h"
#include "skinc/skin_compiler.h"
#include "support/test_env.h"

namespace lv::test {

namespace {
uint32_t g_clock_ms = 1000;
}  // namespace

void ensure_widget_types() {
  if (!NodeTypeRegistry::instance().contains(u"node")) register_widget_types();
}

uint16_t rgb565_of(Rgb colour) {
  return rgb565::from_rgb888(colour.r, colour.g, colour.b);
}

uint16_t opaque_art_pixel(Rgb colour) {
  return rgb565_of(colour) | rgb565::kOpaqueBit;
}

// --- TestSkin -----------------------------------------------------------------

TestSkin::TestSkin() : m_root(make_temp_dir("widgets")), m_folder(m_root + "/test") {
  std::filesystem::create_directories(m_folder);
}

void TestSkin::art(const std::string& name, int32_t width, int32_t height,
                   const std::vector<Rgba>& pixels) {
  ASSERT_EQ(pixels.size(), size_t(width) * size_t(height));
  const std::filesystem::path file = std::filesystem::path(m_folder) / (name + ".png");
  std::filesystem::create_directories(file.parent_path());
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION, image.format = PNG_FORMAT_RGBA;
  image.width = static_cast<uint32_t>(width), image.height = static_cast<uint32_t>(height);
  ASSERT_TRUE(png_image_write_to_file(&image, file.c_str(), 0, pixels.data(), 0, nullptr))
      << image.message;
}

void TestSkin::art_filled(const std::string& name, int32_t width, int32_t height, Rgba colour) {
  art(name, width, height, std::vector<Rgba>(size_t(width) * size_t(height), colour));
}

void TestSkin::language(const std::string& lines) {
  const std::string path = m_root + "/test.lng";
  write_file(path, lines);
  EXPECT_TRUE(m_properties.language().load(from_utf8(path)));
}

bool TestSkin::load(const std::string& source, int32_t dpi) {
  ensure_widget_types();
  write_file(m_folder + "/skin.json", source);
  skinc::CompiledSkin compiled;
  std::string error;
  const std::filesystem::path output = std::filesystem::path(m_root) / "bin";
  if (!skinc::compile_skin(std::filesystem::path(m_folder) / "skin.json", "test", compiled,
                           error) ||
      !skinc::write_compiled_skin(compiled, output, error)) {
    ADD_FAILURE() << "skin does not compile: " << error;
    return false;
  }
  ScreenInfo screen;
  screen.width = 480, screen.height = 800, screen.dpi = dpi;
  const bool loaded = m_properties.load_skin(from_utf8((output / "test.skin").string()), screen);
  EXPECT_TRUE(loaded) << "compiled skin does not load";
  return loaded;
}

bool TestSkin::load_nodes(const std::string& nodes_json, int32_t dpi) {
  return load("{\"nodes\": " + nodes_json + "}", dpi);
}

// --- TestScreen ---------------------------------------------------------------------

TestScreen::TestScreen(TestSkin& skin, std::u16string_view node_name, Size size) : m_size(size) {
  ensure_widget_types();
  g_clock_ms = 1000;
  m_host.now = g_clock_ms;
  platform::set_tick_source([] { return g_clock_ms; });
  set_screen_host(&m_host);
  m_root.build(skin.properties(), node_name);
}

TestScreen::~TestScreen() {
  set_screen_host(nullptr);
  platform::set_tick_source({});
}

const Surface& TestScreen::render(uint16_t background) {
  layout();
  m_surface.recreate(m_size.width, m_size.height);
  if (!m_surface.surface()) throw std::runtime_error("no surface of that size");
  m_surface.surface()->fill(background);
  m_root.draw_element(m_surface, {0, 0});
  return *m_surface.surface();
}

bool TestScreen::repaint() {
  if (m_surface.recreate(m_size.width, m_size.height)) m_root.mark_redraw();
  return m_root.repaint(m_surface, m_size);
}

const Surface& TestScreen::surface() const {
  if (!m_surface.surface()) throw std::runtime_error("nothing rendered yet");
  return *m_surface.surface();
}

uint16_t TestScreen::pixel(int32_t x, int32_t y) const {
  const Surface& s = surface();
  if (x < 0 || y < 0 || uint32_t(x) >= s.width() || uint32_t(y) >= s.height())
    throw std::out_of_range("pixel outside the screen");
  return s.pixel(uint32_t(x), uint32_t(y));
}

int32_t TestScreen::count_pixels(const Rect& area, uint16_t value) const {
  int32_t count = 0;
  for (int32_t y = area.top; y < area.bottom; ++y)
    for (int32_t x = area.left; x < area.right; ++x) count += pixel(x, y) == value;
  return count;
}

std::pair<int32_t, int32_t> TestScreen::ink_rows(const Rect& area, uint16_t background) const {
  int32_t first = -1, last = -1;
  for (int32_t y = area.top; y < area.bottom; ++y)
    if (count_pixels({area.left, y, area.right, y + 1}, background) < area.width()) {
      if (first < 0) first = y;
      last = y;
    }
  return {first, last};
}

PointerEvent pointer_event(int32_t x, int32_t y, uint32_t time, bool pressed) {
  PointerEvent event;
  event.x = x, event.y = y, event.time = time, event.pressed = pressed ? 1 : 0;
  return event;
}

bool TestScreen::cancel() {
  PointerEvent event = pointer_at(0, 0, false);
  event.cancelled = 1;
  return m_root.on_pointer_button(event);
}

void TestScreen::tick(double seconds) {
  g_clock_ms += static_cast<uint32_t>(std::lround(seconds * 1000.0));
  m_host.now = g_clock_ms;
  m_root.on_timer(seconds);
}

}  // namespace lv::test
