#include "app/startup.h"

#include <memory>

#include "app/application.h"
#include "app/base/log.h"
#include "app/base/settings.h"
#include "app/main_window.h"
#include "app/message_loop.h"
#include "app/script_player.h"
#include "app/skin_choice.h"
#include "app/splash_screen.h"
#include "app/tick_log.h"
#include "library/photo_library.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/sdl_events.h"
#include "platform/single_instance.h"
#include "platform/text.h"
#include "screens/album_screen.h"
#include "screens/big_picture.h"
#include "skin/properties.h"
#include "skin/skin_exceptions.h"

namespace lv {

namespace {

constexpr char16_t kNoLanguages[] =
    u"No languages, please reinstall\n"
    u"\u041d\u0435 \u043d\u0430\u0439\u0434\u0435\u043d\u044b "
    u"\u044f\u0437\u044b\u043a\u043e\u0432\u044b\u0435 \u0444\u0430\u0439\u043b\u044b, "
    u"\u043d\u0443\u0436\u043d\u0430 "
    u"\u043f\u0435\u0440\u0435\u0443\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430\n";

// Answers true when a running instance has taken the command line.
bool show_running_instance(platform::SingleInstance& instance, const std::u16string& command_line,
                           std::u16string_view app_name) {
  tick_log() << u"Application::show_running_instance_open_bracket cmd_line=" << command_line
             << u"\n";
  // Without a private runtime folder there is nowhere safe for the lock.
  if (platform::runtime_folder().empty() || !instance.acquire_startup_lock()) {
    tick_log() << u"Application::show_running_instance_open_bracket mutex==0\n";
    return false;
  }
  if (!instance.send_to_running(command_line)) return false;
  tick_log() << u"Application::EnumProc window found hwnd=" << from_utf8(instance.socket_path())
             << u"\n";
  tick_log() << u"Application::EnumProc window found 2\n";
  return true;
}

void show_no_skins(const Properties& skin) {
  platform::show_message_box(skin.language().lookup(u"NoSkins"), kAppName);
}

// From the photo library to the end of the message loop; the objects made
// here go in the reverse order, also when a skin fault unwinds them.
void run_screens(Application& application, MainWindow& window) {
  Properties& skin = application.properties();
  tick_log() << u"WinMain 2\n";
  const BigPictureType big_picture;
  tick_log() << u"WinMain 3\n";
  PhotoLibrary library;
  tick_log() << u"WinMain 4\n";
  tick_log() << u"WinMain 5\n";
  window.go_windowed(Taskbar::hidden);
  window.go_full_screen(window.measure_screen().orientation);
  // Game-key input has no counterpart here: keys always arrive as keys.
  tick_log() << u"WinMain 6\n";
  SplashScreen splash(application, [&skin, &library, &application] {
    auto album = std::make_unique<AlbumScreen>(skin, library, application);
    ApplicationListener* listener = album.get();
    return HomeScreen{std::move(album), listener};
  });
  tick_log() << u"WinMain 7\n";
  platform::SdlEventSource events;
  MessageLoop loop(window, events, &application.game_base().scheduler());
  const std::unique_ptr<ScriptPlayer> script = ScriptPlayer::from_environment(window);
  loop.set_script(script.get());
  loop.run();
  tick_log() << u"WinMain 8\n";
}

void run_application(Application& application) {
  Properties& skin = application.properties();
  SkinChoice& choice = application.skin_choice();
  if (!choice.load_language_at_start()) {
    platform::show_message_box(kNoLanguages, kAppName);
    return;
  }
  MainWindow* window = application.window();
  if (!window) {
    // Without a window nothing can be shown: ended as for a missing skin.
    tick_log() << u"WinMain no window: " << application.game_base().window_error() << u"\n";
    show_no_skins(skin);
    return;
  }
  if (!choice.load_skin_at_start(window->screen_info())) {
    show_no_skins(skin);
    return;
  }
  try {
    run_screens(application, *window);
  } catch (const jobser::SkinException& fault) {
    tick_log() << u"WinMain skin fault: " << fault.what() << u"\n";
    // The frozen window goes before the message is shown.
    application.quit();
    show_no_skins(skin);
  }
}

}  // namespace

std::u16string join_command_line(int argc, const char* const* argv) {
  std::u16string line;
  for (int i = 1; i < argc; ++i) {
    std::u16string arg = from_utf8(argv[i]);
    if (!line.empty()) line += u' ';
    if (arg.find_first_of(u" \t\"") != std::u16string::npos) {
      line += u'"';
      for (char16_t c : arg) {
        if (c == u'"') line += u'\\';
        line += c;
      }
      line += u'"';
    } else {
      line += arg;
    }
  }
  return line;
}

int win_main(const std::u16string& command_line) {
  tick_log() << u"WinMain 0\n";
  platform::SingleInstance instance(platform::runtime_folder());
  if (show_running_instance(instance, command_line, kAppName)) return 0;
  tick_log() << u"WindMain 1\n";

  Properties skin;
  {
    Application::Options options;
    options.instance = &instance;
    Application application(kAppName, skin, std::move(options));
    run_application(application);
  }
  instance.release_startup_lock();
  return 0;
}

}  // namespace lv
