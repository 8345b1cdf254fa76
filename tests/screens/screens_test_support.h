#pragma once

// What the browsing-screen tests share: the application's side as a fake
// that records what the screens ask of it, a device of real photographs in
// a temporary folder (the pictures folder only, no cards), a photo library
// over it whose worker steps run when the test says, the skins as the build
// compiles them, and a screen host with a clock that moves only by
// explicit steps.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "library/photo_library.h"
#include "screens/app_services.h"
#include "skin/geometry.h"
#include "skin/properties.h"
#include "skin/render_surface.h"
#include "support/scoped_env.h"
#include "support/test_env.h"
#include "widgets/screen_root.h"
#include "widgets/widget_test_support.h"

namespace lv::test::screens {

// Records what the tests read; the rest does nothing.
class FakeAppServices final : public AppServices {
 public:
  void quit() override {}
  void minimize() override {}
  void bring_to_front() override { ++fronts; }
  void refit_to_screen() override {}
  ScreenInfo screen_info() const override { return screen; }
  bool has_several_languages() const override { return false; }
  bool has_several_skins() const override { return several_skins; }
  void fill_language_menu(std::vector<MenuItem>&, std::u16string_view) const override {}
  // "Skin#default" (checked), "Skin#other", then "Cancel" in the given style.
  void fill_skin_menu(std::vector<MenuItem>& items, std::u16string_view style) const override;
  bool choose(std::u16string_view item_id) override {
    chosen.emplace_back(item_id);
    return on_choose ? on_choose(item_id) : false;
  }
  void show_about() override {}
  void allow_screen_saver(bool allow) override { screen_saver_allowed = allow; }
  bool open_document(const std::u16string&) override { return true; }
  void show_message(const std::u16string& text) override { messages.push_back(text); }

  ScreenInfo screen;
  bool several_skins = false;
  std::function<bool(std::u16string_view)> on_choose;  // by default nothing changes
  int fronts = 0;
  bool screen_saver_allowed = true;
  std::vector<std::u16string> chosen, messages;
};

// Shared pictures of different sizes, so that their cache names differ.
inline constexpr const char* kPictureA = "go/video-001.jpeg";
inline constexpr const char* kPictureB = "go/video-001.q50.444.jpeg";
inline constexpr const char* kPictureD = "go/video-001.221212.jpeg";

// The pictures folder of a temporary device, named to the library through
// LUMIVIEW_PICTURES; no storage cards.
class PictureDevice {
 public:
  PictureDevice();

  const std::string& pictures() const { return m_pictures; }
  // Copies a shared test picture (a path under the test data's jpeg/) to
  // pictures() + "/" + relative; answers the copy's full path.
  std::string put(const std::string& relative, const std::string& testdata_jpeg);
  // The shared pictures in turn to each of the paths.
  void put_all(std::initializer_list<const char*> relatives);
  // A file named like a picture that no decoder takes.
  void put_broken(const std::string& relative);
  std::string folders_file() const { return m_root + "/state/folders.ini"; }

 private:
  ScopedEnv m_env;
  std::string m_root;
  std::string m_pictures;
};

// A library over the device whose worker steps the test runs itself.
std::unique_ptr<PhotoLibrary> manual_library(const PictureDevice& device);

// Loads a skin of the build ("default", "daylight") and the English texts as
// the build lays them out for a screen of this size and vertical resolution.
bool load_skin(Properties& properties, const std::string& name, Size screen, int32_t dpi = 96);
inline bool load_default_skin(Properties& properties, Size screen, int32_t dpi = 96) {
  return load_skin(properties, "default", screen, dpi);
}

// One node of skin source text, with its children's text if any.
std::string skin_node(const std::string& type, const std::string& id,
                      const std::string& children = "");
// The "Image" node with every element the image screen needs and nothing
// else, as skin source text ("\"Image\": {...}").
std::string minimal_image_node();

// Whether the log since start_fresh_log() holds this very line.
bool log_has(std::u16string_view line);
// The text of a text element found by its id.
std::u16string text_of(const Element& parent, std::u16string_view id);
// The centre of an element's rectangle.
Point centre_of(const Element& element);

// The screen host and test clock while it lives.
class ScreenRig {
 public:
  ScreenRig();
  ~ScreenRig();
  ScreenRig(const ScreenRig&) = delete;
  ScreenRig& operator=(const ScreenRig&) = delete;

  TestScreenHost& host() { return m_host; }

  // Lays the screen out at the size and draws it over black, then draws
  // each screen of the host's stack above it (a menu, say).
  const Surface& render(ScreenRoot& screen, Size size);
  const Surface& surface() const { return *m_surface.surface(); }
  uint16_t pixel(int32_t x, int32_t y) const;
  uint16_t pixel(Point at) const { return pixel(at.x, at.y); }

  // Moves the clock and gives the time to the screen.
  void tick(ScreenRoot& screen, double seconds);
  // A press and a release at the point, at the current time.
  void tap(ScreenRoot& screen, Point point);

 private:
  TestScreenHost m_host;
  RenderSurface m_surface;
};

// What a test of a browsing screen starts from, with real photographs: the
// device, the application, the host, the skin and the library (made when
// the test says). A screen that a derived fixture holds goes first.
class BrowsingTest : public ::testing::Test {
 protected:
  void SetUp() override { LV_REQUIRE_TESTDATA(); }

  PictureDevice device;
  FakeAppServices app;
  ScreenRig rig;
  Properties skin;
  std::unique_ptr<PhotoLibrary> library;
  Size size{240, 320};
};

}  // namespace lv::test::screens
