#include "screens/splash_screen.h"

#include <utility>

#include "base/tick_log.h"
#include "base/log.h"
#include "base/thread.h"
#include "platform/text.h"
#include "screens/application_listener.h"
#include "skin/properties.h"
#include "skin/skin_exceptions.h"

namespace lv {

class SplashScreen::Loader final : public Thread {
 public:
  Loader(HomeScreenBuilder build, uint32_t delay_ms)
      : m_build(std::move(build)),
        m_delay_ms(delay_ms),
        m_wake(EventReset::manual),
        m_done(EventReset::manual) {}

  // The thread's work; also run in place when no thread can be started.
  void work() {
    // Waited on an event rather than slept, so a window closed during the
    // splash ends the program at once.
    m_wake.wait_for(static_cast<int>(m_delay_ms));
    if (!stop_requested()) {
      tick_log() << u"WinMain 9\n";
      try {
        m_home = m_build();
      } catch (const std::exception& fault) {
        log() << u"SplashScreen loader: " << fault.what() << u"\n";
        m_error = std::current_exception();
      } catch (...) {
        log() << u"SplashScreen loader: unknown exception\n";
        m_error = std::current_exception();
      }
      tick_log() << u"WinMain 10\n";
    }
    m_done.set();
  }

  void stop() {
    request_stop();
    m_wake.set();
    join();
  }

  bool wait_done(int timeout_ms) { return m_done.wait_for(timeout_ms); }
  bool done() { return m_done.wait_for(0); }

  // Only after done() and join(): the thread has let go of them.
  HomeScreen take_home() { return std::move(m_home); }
  std::exception_ptr error() const { return m_error; }

 protected:
  void run() override { work(); }

 private:
  HomeScreenBuilder m_build;
  uint32_t m_delay_ms;
  Event m_wake;
  Event m_done;
  HomeScreen m_home;
  std::exception_ptr m_error;
};

SplashScreen::SplashScreen(SplashHost& application, HomeScreenBuilder build_home,
                           uint32_t minimum_ms)
    : m_application(application),
      m_loader(std::make_unique<Loader>(std::move(build_home), minimum_ms)) {
  build(application.properties(), u"Splash");
  application.add_screen(*this, ScreenLayer::replace, ScreenAnimation::none);
  if (!m_loader->start()) {
    log() << u"SplashScreen no loader thread; building in place\n";
    m_loader->work();
  }
}

SplashScreen::~SplashScreen() {
  m_loader->stop();
  if (!m_home.screen) m_home = m_loader->take_home();
  if (m_home.listener && m_application.listener() == m_home.listener)
    m_application.set_listener(nullptr);
  if (m_home.screen) m_application.forget_screen(*m_home.screen);
  m_application.forget_screen(*this);
  m_home.screen.reset();
}

void SplashScreen::on_timer(double seconds) {
  ScreenRoot::on_timer(seconds);
  m_total += seconds;
  m_phase += seconds;
  while (m_phase > 0.25) m_phase -= 0.25;
  if (m_swapped) return;
  if (m_loader->done()) {
    swap_in_home();
  } else if (m_total > 0.5) {
    m_loader->wait_done(100);
  }
}

void SplashScreen::swap_in_home() {
  m_loader->join();
  m_swapped = true;
  if (const std::exception_ptr error = m_loader->error()) {
    try {
      std::rethrow_exception(error);
    } catch (const jobser::SkinException&) {
      throw;  // the skin's fault: the start ends with the message that says so
    } catch (const std::exception& fault) {
      // Memory for the screens, above all: the start ends, the objects made
      // so far are taken down in order.
      log() << u"SplashScreen the loader failed: " << from_utf8(fault.what()) << u"\n";
      m_application.quit();
      return;
    } catch (...) {
      log() << u"SplashScreen the loader failed\n";
      m_application.quit();
      return;
    }
  }
  m_home = m_loader->take_home();
  if (!m_home.screen) {
    log() << u"SplashScreen the loader made no home screen\n";
    return;
  }
  tick_log() << u"WinMain 11\n";
  m_application.set_listener(m_home.listener);
  tick_log() << u"WinMain 12\n";
  if (m_home.listener) m_home.listener->screen_layout_changed();
  m_application.add_screen(*m_home.screen, ScreenLayer::replace, ScreenAnimation::animated);
  tick_log() << u"WinMain 13\n";
  m_application.remove_screen(*this, ScreenAnimation::none);
  tick_log() << u"WinMain 14\n";
}

}  // namespace lv
