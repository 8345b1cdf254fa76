#pragma once

// The application object: one per process. It registers the element types
// the skins name, owns the window part (GameBase), the skin and language
// choice and the about box, and keeps the screen stack. It is what the
// main window hands everything on to (WindowClient), what the widgets put
// their screens on (ScreenHost) and what the browsing screens ask for the
// window's presentation and the skin and language menus (AppServices).
// Window-level events are offered first to the application listener, the
// album screen from start-up on. User-interface thread only.

#include <memory>
#include <string>
#include <string_view>

#include "app/game_base.h"
#include "app/screen_stack.h"
#include "app/window_client.h"
#include "screens/app_services.h"
#include "screens/splash_screen.h"
#include "skin/color.h"
#include "widgets/screen_host.h"

namespace lv {

class AboutScreen;
class ApplicationListener;
class MainWindow;
class Properties;
class SkinChoice;

class Application final : public WindowClient,
                          public ScreenHost,
                          public AppServices,
                          public SplashHost {
 public:
  struct Options {
    // Released once the window exists (GameBase).
    platform::SingleInstance* instance = nullptr;
    GameBase::WindowMaker make_window;
    // The program folder that holds the languages and skins/bin; empty:
    // "%app_path%".
    std::u16string base_folder;
  };

  // A second application is a fatal stop; a type already registered throws
  // jobser::NodeAlreadyRegistered and leaves nothing behind.
  Application(std::u16string_view name, Properties& properties, Options options);
  ~Application() override;
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  static Application* instance();

  const std::u16string& name() const { return m_name; }
  Properties& properties() override { return m_properties; }
  GameBase& game_base() { return *m_game_base; }
  // Null when the window could not be made.
  MainWindow* window() const;
  SkinChoice& skin_choice() { return *m_skin_choice; }
  const ScreenStack& screens() const { return m_screens; }
  ScreenRoot* current_screen() const { return m_screens.current(); }
  Color background() const { return m_background; }

  // Not owned; null consults nobody. A command line that arrives while
  // there is none is kept, the latest one, and handed to the next listener
  // at the first update after it is set.
  void set_listener(ApplicationListener* listener) override { m_listener = listener; }
  ApplicationListener* listener() const override { return m_listener; }
  // Takes the screen off the stack and stops consulting it (before it is
  // destroyed).
  void forget_screen(ScreenRoot& screen) override;

  // WindowClient.
  void update(double dt) override;
  bool needs_redraw() const override;
  void render(RenderSurface& target, RedrawScope scope) override;
  void key(const KeyEvent& event) override;
  void character(std::u16string_view text) override;
  void pointer_move(const PointerEvent& event) override;
  void pointer_button(const PointerEvent& event) override;
  void wheel(const WheelEvent& event) override;
  void pinch(const PinchEvent& event) override;
  void layout_changed(const ScreenInfo& info) override;
  bool may_close() override;
  void activated() override;
  void deactivated() override;
  void open_command_line(std::u16string command_line) override;
  void edit_text_changed(std::u16string_view text) override;
  void edit_ended() override;

  // ScreenHost.
  void add_screen(ScreenRoot& screen, ScreenLayer layer, ScreenAnimation animation) override;
  void remove_screen(ScreenRoot& screen, ScreenAnimation animation) override;
  void size_to_client_area(ScreenRoot& screen) override;
  void redraw_all() override;
  uint32_t now_ms() const override;
  void edit_natively(Element* element) override;
  Element* edited_element() const override { return m_edited; }

  // AppServices.
  void quit() override;
  void minimize() override;
  void bring_to_front() override;
  void refit_to_screen() override;
  ScreenInfo screen_info() const override;
  bool has_several_languages() const override;
  bool has_several_skins() const override;
  void fill_language_menu(std::vector<MenuItem>& items,
                          std::u16string_view cancel_style) const override;
  void fill_skin_menu(std::vector<MenuItem>& items,
                      std::u16string_view cancel_style) const override;
  bool choose(std::u16string_view item_id) override;
  void show_about() override;
  void allow_screen_saver(bool allow) override;
  bool open_document(const std::u16string& path) override;
  void show_message(const std::u16string& text) override;

 private:
  Size client_size() const;
  // After the screens refused the choice `refused`: back to `previous`, or
  // else to the first skin of the start's candidates the screens take.
  void restore_after_refusal(std::u16string_view refused, std::u16string_view previous);

  std::u16string m_name;
  Properties& m_properties;
  bool m_types_registered = false;
  Color m_background{0, 0, 0, 255};
  ScreenStack m_screens;
  ApplicationListener* m_listener = nullptr;
  std::u16string m_pending_command_line;
  Element* m_edited = nullptr;  // the element the edit box is over
  std::unique_ptr<GameBase> m_game_base;
  std::unique_ptr<SkinChoice> m_skin_choice;
  std::unique_ptr<AboutScreen> m_about;
};

}  // namespace lv
