#pragma once

// The splash screen: the skin node "Splash", shown while a loader thread
// builds the home screen (the album screen). The loader first waits the
// splash's minimum time, so the splash is seen, then builds; the first frame
// after it has finished puts the home screen on the stack, makes it the
// application listener and takes the splash off. The splash keeps the home
// screen until it is destroyed itself.
//
// A skin fault (or any other exception) while the loader builds is caught
// on the loader thread and thrown again on the user-interface thread at that
// first frame, so it reaches start-up the way a fault of the user-interface
// thread does, and never ends the process from the worker.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

#include "widgets/screen_host.h"
#include "widgets/screen_root.h"

namespace lv {

class ApplicationListener;
class Properties;

struct HomeScreen {
  std::unique_ptr<ScreenRoot> screen;
  // The same object as the application listener; may be null.
  ApplicationListener* listener = nullptr;
};
// Runs on the loader thread.
using HomeScreenBuilder = std::function<HomeScreen()>;

// What the splash needs of the application: its skin, its screen stack, its
// listener and its end.
class SplashHost {
 public:
  virtual Properties& properties() = 0;
  virtual void add_screen(ScreenRoot& screen, ScreenLayer layer, ScreenAnimation animation) = 0;
  virtual void remove_screen(ScreenRoot& screen, ScreenAnimation animation) = 0;
  // Takes a screen off the stack without an animation or a notification.
  virtual void forget_screen(ScreenRoot& screen) = 0;
  virtual ApplicationListener* listener() const = 0;
  virtual void set_listener(ApplicationListener* listener) = 0;
  virtual void quit() = 0;

 protected:
  ~SplashHost() = default;
};

class SplashScreen : public ScreenRoot {
 public:
  static constexpr uint32_t kMinimumMs = 500;

  // Builds the splash (jobser::NodeNotFoundInSkin when the skin has no
  // "Splash"), puts it on the application's stack and starts the loader.
  SplashScreen(SplashHost& application, HomeScreenBuilder build_home,
               uint32_t minimum_ms = kMinimumMs);
  // Stops the loader (a wait is cut short; a build under way is waited
  // for), takes both screens off the stack and destroys the home screen.
  ~SplashScreen() override;

  // The base update, then the swap once the loader has finished; until then,
  // past the minimum time, it lets the loader have the processor for up to
  // 100 ms.
  void on_timer(double seconds) override;

  bool swapped() const { return m_swapped; }
  // Seconds of frame time the splash has had, and the same within a
  // quarter second (for a skin's pulsing).
  double total_time() const { return m_total; }
  double phase() const { return m_phase; }

 private:
  class Loader;

  void swap_in_home();

  SplashHost& m_application;
  std::unique_ptr<Loader> m_loader;
  HomeScreen m_home;
  double m_total = 0;
  double m_phase = 0;
  bool m_swapped = false;
};

}  // namespace lv
