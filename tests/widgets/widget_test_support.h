#pragma once

// Widget tests read as "this skin, this size, these events: these
// rectangles and pixels". TestSkin compiles a skin source given as text
// (with art written as PNG files and an optional language file) and loads
// it; TestScreen builds a screen from a named node, lays it out at a size,
// renders it into a RenderSurface and feeds it pointer, key and timer
// events on a test clock that moves only by explicit steps.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "base/input.h"
#include "skin/geometry.h"
#include "skin/properties.h"
#include "skin/render_surface.h"
#include "widgets/screen_host.h"
#include "widgets/screen_root.h"
#include "widgets/widget_types.h"

namespace lv::test {

// Registers the toolkit's element types once per process.
void ensure_widget_types();

// Registers a test's own element class under the type name, once.
template <typename T>
void register_test_type(std::u16string_view name) {
  ensure_widget_types();
  NodeTypeRegistry& registry = NodeTypeRegistry::instance();
  if (!registry.contains(name))
    registry.register_type(std::u16string(name),
                           [] { return std::unique_ptr<Element>(std::make_unique<T>()); });
}

// The exception of type E the action throws, to check what it carries;
// the test fails with "nothing thrown" when it throws none.
template <typename E, typename Action>
E thrown(Action action) {
  try {
    action();
  } catch (const E& e) {
    return e;
  }
  throw std::runtime_error("nothing thrown");
}

// A pointer event at the point and time, the stylus down or up.
PointerEvent pointer_event(int32_t x, int32_t y, uint32_t time, bool pressed);

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
};

// The RGB565 word a skin colour becomes on screen, and the same with the
// opacity bit that compiled art carries on every opaque pixel.
uint16_t rgb565_of(Rgb colour);
uint16_t opaque_art_pixel(Rgb colour);

class TestSkin {
 public:
  TestSkin();

  // Art for pictures, written before load: a width x height PNG of RGBA
  // pixels (row by row), or of one colour.
  struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
  };
  void art(const std::string& name, int32_t width, int32_t height, const std::vector<Rgba>& pixels);
  void art_filled(const std::string& name, int32_t width, int32_t height, Rgba colour);
  // Language texts, "key=text" lines, loaded with the skin.
  void language(const std::string& lines);

  // Compiles the source (the whole JSON text of skin.json) and loads it;
  // fails the test with the compiler's message when it does not compile.
  bool load(const std::string& source, int32_t dpi = 96);
  // Just the nodes: `{"Main": {...}}` wrapped into a source.
  bool load_nodes(const std::string& nodes_json, int32_t dpi = 96);

  Properties& properties() { return m_properties; }
  const std::string& folder() const { return m_folder; }

 private:
  std::string m_root;
  std::string m_folder;
  Properties m_properties;
};

// The test's own host: records the screen-stack calls and tells the test
// clock's time.
class TestScreenHost final : public ScreenHost {
 public:
  void add_screen(ScreenRoot& screen, ScreenLayer, ScreenAnimation) override {
    stack.push_back(&screen), size_to_client_area(screen);
  }
  void remove_screen(ScreenRoot& screen, ScreenAnimation) override { std::erase(stack, &screen); }
  void size_to_client_area(ScreenRoot& screen) override { screen.layout(client_size); }
  void redraw_all() override { ++redraw_all_calls; }
  uint32_t now_ms() const override { return now; }
  void edit_natively(Element* element) override { edited = element, ++edit_calls; }
  Element* edited_element() const override { return edited; }

  Size client_size{480, 800};
  uint32_t now = 1000;
  std::vector<ScreenRoot*> stack;
  int redraw_all_calls = 0;
  Element* edited = nullptr;
  int edit_calls = 0;
};

class TestScreen {
 public:
  // Builds the screen from the named node; the tick source and the screen
  // host are the test's while it lives.
  TestScreen(TestSkin& skin, std::u16string_view node_name, Size size);
  ~TestScreen();
  TestScreen(const TestScreen&) = delete;
  TestScreen& operator=(const TestScreen&) = delete;

  ScreenRoot& root() { return m_root; }
  TestScreenHost& host() { return m_host; }
  Size size() const { return m_size; }
  void resize(Size size) { m_size = size; }

  // find_required, cast to the widget class expected.
  template <typename T = Element>
  T& find(std::u16string_view id) {
    T* found = dynamic_cast<T*>(&m_root.find_required(id));
    if (!found) throw std::runtime_error("element of another class");
    return *found;
  }
  Rect rect_of(std::u16string_view id) { return find(id).rect(); }
  // The rectangles of the elements with the ids, in order: one assertion
  // for a whole layout.
  std::vector<Rect> rects(std::initializer_list<std::u16string_view> ids) {
    std::vector<Rect> found;
    for (std::u16string_view id : ids) found.push_back(rect_of(id));
    return found;
  }

  void layout() { m_root.layout(m_size); }
  // Lays out, clears the surface to `background` and draws the whole tree.
  const Surface& render(uint16_t background = 0x0000);
  // Lays out and draws only when something changed (the application's
  // repaint); true when it drew. The surface keeps the previous frame.
  bool repaint();
  const Surface& surface() const;
  uint16_t pixel(int32_t x, int32_t y) const;
  // The pixels at the points, in order.
  std::vector<uint16_t> pixels(std::initializer_list<Point> points) const {
    std::vector<uint16_t> values;
    for (const Point& p : points) values.push_back(pixel(p.x, p.y));
    return values;
  }
  // Number of pixels of the rectangle that hold the value.
  int32_t count_pixels(const Rect& area, uint16_t value) const;
  // Topmost and lowest rows of the rectangle holding a pixel other than
  // `background`; (-1, -1) when none does.
  std::pair<int32_t, int32_t> ink_rows(const Rect& area, uint16_t background) const;

  // Pointer events at the current time; each returns what the root said.
  bool press(int32_t x, int32_t y) { return m_root.on_pointer_button(pointer_at(x, y, true)); }
  void move(int32_t x, int32_t y) { m_root.on_pointer_move(pointer_at(x, y, true)); }
  bool release(int32_t x, int32_t y) { return m_root.on_pointer_button(pointer_at(x, y, false)); }
  bool cancel();
  // A key event handed to the element with the id (elements do not pass
  // keys on, so the owner gives them to the one that wants them).
  bool key(std::u16string_view id, int code, bool pressed) {
    return find(id).on_key(KeyEvent{code, pressed, true});
  }
  // A press and a release at the point.
  void tap(int32_t x, int32_t y) { press(x, y), release(x, y); }

  // Moves the clock by the seconds and gives them to the tree.
  void tick(double seconds);

 private:
  PointerEvent pointer_at(int32_t x, int32_t y, bool pressed) const {
    return pointer_event(x, y, m_host.now, pressed);
  }

  TestScreenHost m_host;
  ScreenRoot m_root;
  Size m_size;
  RenderSurface m_surface;
};

}  // namespace lv::test
