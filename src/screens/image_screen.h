#pragma once

// The image screen: one picture of a folder full screen, through the
// picture viewer's three "bigpicture" elements ("left", "center",
// "right" over the area "size_image"), with the controls around it: back,
// zoom out and in, the picture counter, landscape and slide show check
// boxes, the "Options" menu (delete to the trash, send, properties) and the
// properties panel. Built from the skin node "Image"; a missing child is a
// fault of the skin. The folder screen makes it once and opens it for each
// picture tapped.
//
// Controls show for 4 s after each interaction; a tap on the picture
// toggles them, a double tap zooms in one level about the tapped point.
// Left and Right (Up and Down in landscape) slide to the neighbours, as a
// drag past the picture's edge does; the wheel and two fingers zoom about
// the pointer or the fingers.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "library/library_event.h"
#include "screens/picture_viewer.h"
#include "skin/properties.h"
#include "widgets/button.h"
#include "widgets/menu_source.h"
#include "widgets/screen_host.h"
#include "widgets/screen_root.h"

namespace lv {

class AppServices;
class MenuScreen;
class PhotoLibrary;

class ImageScreen : public ScreenRoot,
                    public ButtonListener,
                    public LibraryListener,
                    public ReloadListener,
                    public MenuSource,
                    public PictureViewer::Listener {
 public:
  static constexpr double kControlsSeconds = 4.0;
  static constexpr double kDoubleTapSeconds = 0.3;
  static constexpr double kSlideShowSeconds = 3.0;
  static constexpr double kWheelLevels = 0.5;  // zoom a wheel notch makes

  // Builds the tree from "Image" and starts the tile worker. Touches
  // neither the screen stack nor the window.
  ImageScreen(Properties& skin, PhotoLibrary& library, AppServices& app,
              PictureViewer::Worker worker = PictureViewer::Worker::start);
  ~ImageScreen() override;
  ImageScreen(const ImageScreen&) = delete;
  ImageScreen& operator=(const ImageScreen&) = delete;

  // Shows picture `index` of the folder's list (`drive`: where the
  // folder's cache files are) and puts the screen on the stack.
  void open(std::vector<std::u16string> pictures, size_t index, std::u16string drive);
  // Back to the folder screen; tells the library when pictures were
  // deleted.
  void leave(ScreenAnimation animation = ScreenAnimation::animated);

  bool on_stack() const { return m_on_stack; }
  PictureViewer& viewer() { return *m_viewer; }

  // --- Element --------------------------------------------------------------------

  void on_timer(double seconds) override;
  void layout_children_y() override;
  bool on_key(const KeyEvent& event) override;
  // The wheel zooms half a level a notch about the pointer; two fingers
  // zoom about their centre and move the picture with it.
  bool on_wheel(const WheelEvent& event) override;
  bool on_pinch(const PinchEvent& event) override;

  // --- Listeners ------------------------------------------------------------------

  void clicked(ButtonElement& button, const ClickInfo& info) override;
  void on_event(const LibraryEvent& event) override;
  void reload_skin(Properties& properties) override;
  void fill(int32_t tag, std::u16string_view key, std::u16string& caption,
            std::vector<MenuItem>& items) override;
  void picture_changed(PictureViewer& viewer) override;
  void picture_interaction(PictureViewer& viewer, const PointerEvent& event, bool tap) override;

 private:
  struct Controls;

  void build_tree();
  void make_viewer();
  void show_controls(bool shown);
  void touch_controls();
  void update_buttons();
  void set_check(ButtonElement& box, bool on);
  void stop_slide_show();
  void slide_show_tick();
  void toggle_landscape();
  void toggle_slide_show();
  void zoom_out();
  void zoom_in(std::optional<Point> anchor);
  void show_panel(const std::u16string& text);
  void show_properties();
  void hide_panel();
  void open_menu(std::u16string_view key);
  void delete_picture();
  void send(std::u16string_view variant);
  void close_screen(ScreenAnimation animation = ScreenAnimation::animated);
  std::u16string text(std::u16string_view key) const;

  Properties& m_skin;
  PhotoLibrary& m_library;
  AppServices& m_app;
  PictureViewer::Worker m_worker;
  std::unique_ptr<Controls> m_controls;
  std::unique_ptr<PictureViewer> m_viewer;
  std::unique_ptr<MenuScreen> m_menu;

  std::optional<double> m_controls_time;  // seconds since the last interaction
  std::optional<double> m_tap_time;       // left of the double-tap wait
  std::optional<Point> m_tap_point;
  std::optional<double> m_slide_time;  // left until the next slide
  bool m_controls_shown = true;
  bool m_slide_show = false;
  bool m_landscape = false;
  bool m_pictures_changed = false;
  bool m_on_stack = false;
  bool m_screen_held = false;
  int m_frames_since_turn = 0;
};

}  // namespace lv
