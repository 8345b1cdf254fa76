#pragma once

// The window-owning part of the application: the main window (none when it
// could not be made), the active-object scheduler whose completions the
// message loop runs, and what the window takes from the settings. Made once
// per process, by the application.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace lv {

namespace platform {
class SingleInstance;
}

class CActiveScheduler;
class MainWindow;

class GameBase {
 public:
  // Makes the main window; none on failure, with the reason in `error`.
  using WindowMaker =
      std::function<std::unique_ptr<MainWindow>(std::u16string_view title, std::string* error)>;

  // Without a maker the window the environment asks for is made. Once the
  // window exists it takes the command lines of later starts and the
  // start-up lock of `instance` (when given) is released, so a start that
  // waited on it finds this one. A second GameBase is a fatal stop.
  GameBase(std::u16string_view app_name, platform::SingleInstance* instance,
           WindowMaker make_window = {});
  ~GameBase();
  GameBase(const GameBase&) = delete;
  GameBase& operator=(const GameBase&) = delete;

  MainWindow* window() const { return m_window.get(); }
  // Why there is no window ("" when there is one).
  const std::string& window_error() const { return m_window_error; }
  CActiveScheduler& scheduler() { return *m_scheduler; }

  const std::u16string& app_name() const { return m_app_name; }
  // "SkinnerClass_" and the application name.
  const std::u16string& window_class_name() const { return m_class_name; }
  // The setting SIPPreference: raise the input panel when editing starts.
  bool sip_preference() const { return m_sip_preference; }

 private:
  std::u16string m_app_name;
  std::u16string m_class_name;
  bool m_sip_preference = false;
  std::unique_ptr<CActiveScheduler> m_scheduler;
  std::unique_ptr<MainWindow> m_window;
  std::string m_window_error;
  platform::SingleInstance* m_instance;
};

}  // namespace lv
