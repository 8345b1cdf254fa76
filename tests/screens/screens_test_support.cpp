#include "screens/screens_test_support.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "base/log_capture.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "screens/big_picture.h"
#include "skin/surface.h"
#include "support/test_env.h"
#include "widgets/text_element.h"

namespace lv::test::screens {

namespace fs = std::filesystem;

namespace {
uint32_t g_now_ms = 1000;
}  // namespace

void FakeAppServices::fill_skin_menu(std::vector<MenuItem>& items,
                                     std::u16string_view style) const {
  for (const char16_t* key : {u"Skin#default", u"Skin#other", u"Cancel"})
    items.emplace_back().key = key;
  items[items.size() - 3].checked = true;
  items.back().style = std::u16string(style);
}

PictureDevice::PictureDevice() : m_root(make_temp_dir("device")), m_pictures(m_root + "/Pictures") {
  fs::create_directories(m_pictures);
  fs::create_directories(m_root + "/state");
  m_env.set("LUMIVIEW_PICTURES", m_pictures);
  m_env.set("LUMIVIEW_CARDS", "");
}

std::string PictureDevice::put(const std::string& relative, const std::string& testdata_jpeg) {
  const std::string source = testdata_path("jpeg/" + testdata_jpeg);
  if (source.empty() || !fs::exists(source)) throw std::runtime_error("no test picture " + source);
  const std::string path = m_pictures + "/" + relative;
  fs::create_directories(fs::path(path).parent_path());
  fs::copy_file(source, path, fs::copy_options::overwrite_existing);
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
  return path;
}

void PictureDevice::put_all(std::initializer_list<const char*> relatives) {
  const char* const shared[] = {kPictureA, kPictureB, "go/video-001.q50.420.jpeg", kPictureD};
  size_t i = 0;
  for (const char* relative : relatives) put(relative, shared[i++ % 4]);
}

void PictureDevice::put_broken(const std::string& relative) {
  const std::string path = m_pictures + "/" + relative;
  fs::create_directories(fs::path(path).parent_path());
  write_file(path, "\xFF\xD8 this was a photograph once, then the card failed");
}

std::unique_ptr<PhotoLibrary> manual_library(const PictureDevice& device) {
  PhotoLibrary::Options options;
  options.folder_list_path = from_utf8(device.folders_file());
  options.worker = PhotoLibrary::Worker::manual;
  return std::make_unique<PhotoLibrary>(std::move(options));
}

std::string skin_node(const std::string& type, const std::string& id, const std::string& children) {
  std::string text = R"({"string": {"type": ")" + type + R"(", "id": ")" + id + "\"}";
  if (!children.empty()) text += R"(, "children": [)" + children + "]";
  return text + "}";
}

std::string minimal_image_node() {
  const std::string states =
      skin_node("image", "ptr_state_0") + ", " + skin_node("image", "ptr_state_1");
  std::string children = skin_node("node", "size_image");
  for (const char* id : {"left", "center", "right"}) children += ", " + skin_node("bigpicture", id);
  for (const std::string id : {"Back", "Minus", "Plus", "NumText", "Menu"})
    children += ", " + skin_node("button", "btn" + id, skin_node("image", "ptr" + id));
  for (const char* id : {"chkLandscape", "chkSlideShow"})
    children += ", " + skin_node("button", id, states);
  children += ", " + skin_node("button", "btnProperties", skin_node("text", "#text"));
  for (const char* gap : {"btngap1", "btngap2", "btngap3"})
    children += ", " + skin_node("node", gap, skin_node("image", "ptrgap"));
  return R"("Image": {"children": [)" + children + "]}";
}

bool load_skin(Properties& properties, const std::string& name, Size screen, int32_t dpi) {
  ensure_widget_types();
  if (!NodeTypeRegistry::instance().contains(u"bigpicture")) {
    static BigPictureType big_picture;  // registered for the rest of the process
  }
  const ScreenInfo info{screen.width,
                        screen.height,
                        0,
                        0,
                        screen.width,
                        screen.height,
                        screen.width > screen.height ? 1 : 0,
                        dpi};
  const bool language = properties.language().load(from_utf8(binary_path("english.lng")));
  const bool skin =
      properties.load_skin(from_utf8(binary_path("skins/bin/" + name + ".skin")), info);
  EXPECT_TRUE(language) << "no english.lng in the build tree";
  EXPECT_TRUE(skin) << "the " << name << " skin does not load";
  return language && skin;
}

bool log_has(std::u16string_view line) {
  const std::vector<std::u16string> lines = read_log_lines();
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::u16string text_of(const Element& parent, std::u16string_view id) {
  return dynamic_cast<const TextElement&>(parent.find_required(id)).text();
}

Point centre_of(const Element& element) {
  const Rect r = element.rect();
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

ScreenRig::ScreenRig() {
  g_now_ms = 1000;
  m_host.now = g_now_ms;
  platform::set_tick_source([] { return g_now_ms; });
  set_screen_host(&m_host);
}

ScreenRig::~ScreenRig() {
  set_screen_host(nullptr);
  platform::set_tick_source({});
}

const Surface& ScreenRig::render(ScreenRoot& screen, Size size) {
  m_host.client_size = size;
  screen.layout(size);
  m_surface.recreate(size.width, size.height);
  m_surface.surface()->fill(0);
  screen.draw_element(m_surface, {0, 0});
  for (ScreenRoot* above : m_host.stack) {
    if (above == &screen) continue;
    above->layout(size);
    above->draw_element(m_surface, {0, 0});
  }
  return *m_surface.surface();
}

uint16_t ScreenRig::pixel(int32_t x, int32_t y) const {
  const Surface& s = surface();
  if (x < 0 || y < 0 || uint32_t(x) >= s.width() || uint32_t(y) >= s.height())
    throw std::out_of_range("pixel outside the screen");
  return s.pixel(uint32_t(x), uint32_t(y));
}

void ScreenRig::tick(ScreenRoot& screen, double seconds) {
  g_now_ms += static_cast<uint32_t>(seconds * 1000 + 0.5);
  m_host.now = g_now_ms;
  screen.on_timer(seconds);
}

void ScreenRig::tap(ScreenRoot& screen, Point point) {
  for (const uint8_t pressed : {1, 0})
    screen.on_pointer_button(PointerEvent{point.x, point.y, g_now_ms, 0, pressed, 0});
}

}  // namespace lv::test::screens
