#include "app/startup.h"

#include <memory>
#include <vector>

#include "app/application.h"
#include "app/main_window.h"
#include "app/message_loop.h"
#include "app/script/script_player.h"
#include "app/script/script_targets.h"
#include "screens/skin_choice.h"
#include "screens/splash_screen.h"
#include "base/tick_log.h"
#include "base/command_line.h"
#include "base/log.h"
#include "base/settings.h"
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
// here go in the reverse order, also when a skin fault unwinds them. The
// exit status: 1 after an error of the scripted input, else 0.
int run_screens(Application& application, MainWindow& window, const std::u16string& command_line) {
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
  // What the start was asked to open waits in the application until the
  // home screen has taken over from the splash.
  if (!command_line.empty()) application.open_command_line(command_line);
  tick_log() << u"WinMain 7\n";
  platform::SdlEventSource events;
  MessageLoop loop(window, events, &application.game_base().scheduler());
  const std::unique_ptr<ScriptPlayer> script = ScriptPlayer::from_environment(window);
  if (script)
    script->set_target_finder([&application, &window](ScriptTarget by, std::u16string_view wanted) {
      return find_script_target(application.screens(), window.client_size(), by, wanted);
    });
  loop.set_script(script.get());
  loop.run();
  tick_log() << u"WinMain 8\n";
  return script ? script->exit_status() : 0;
}

int run_application(Application& application, const std::u16string& command_line) {
  Properties& skin = application.properties();
  SkinChoice& choice = application.skin_choice();
  if (!choice.load_language_at_start()) {
    platform::show_message_box(kNoLanguages, kAppName);
    return 0;
  }
  MainWindow* window = application.window();
  if (!window) {
    // Without a window nothing can be shown: ended as for a missing skin.
    tick_log() << u"WinMain no window: " << application.game_base().window_error() << u"\n";
    show_no_skins(skin);
    return 0;
  }
  if (!choice.load_skin_at_start(window->screen_info())) {
    show_no_skins(skin);
    return 0;
  }
  try {
    return run_screens(application, *window, command_line);
  } catch (const jobser::SkinException& fault) {
    tick_log() << u"WinMain skin fault: " << fault.what() << u"\n";
    // The frozen window goes before the message is shown.
    application.quit();
    show_no_skins(skin);
  }
  return 0;
}

}  // namespace

std::u16string command_line_of(int argc, const char* const* argv,
                               std::u16string_view working_folder) {
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) {
    std::u16string argument = absolute_argument(from_utf8(argv[i]), working_folder);
    if (!argument.empty()) arguments.push_back(std::move(argument));
  }
  return join_command_line(arguments);
}

int win_main(const std::u16string& command_line) {
  tick_log() << u"WinMain 0\n";
  platform::SingleInstance instance(platform::runtime_folder());
  if (show_running_instance(instance, command_line, kAppName)) return 0;
  tick_log() << u"WindMain 1\n";

  Properties skin;
  int status = 0;
  {
    Application::Options options;
    options.instance = &instance;
    Application application(kAppName, skin, std::move(options));
    status = run_application(application, command_line);
  }
  instance.release_startup_lock();
  return status;
}

}  // namespace lv
