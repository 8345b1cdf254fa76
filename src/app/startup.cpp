#include "app/startup.h"

#include "app/base/language.h"
#include "app/base/log.h"
#include "app/base/settings.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/single_instance.h"
#include "platform/text.h"

namespace lv {

namespace {

constexpr char16_t kNoLanguages[] =
    u"No languages, please reinstall\n"
    u"\u041d\u0435 \u043d\u0430\u0439\u0434\u0435\u043d\u044b "
    u"\u044f\u0437\u044b\u043a\u043e\u0432\u044b\u0435 \u0444\u0430\u0439\u043b\u044b, "
    u"\u043d\u0443\u0436\u043d\u0430 "
    u"\u043f\u0435\u0440\u0435\u0443\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430\n";

// Start-up lines carry the tick count in front, with no separator.
Logger& tick_log() { return log() << platform::tick_count(); }

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

  LanguageTable language;
  if (!load_language_at_start(language, kAppName)) {
    platform::show_message_box(kNoLanguages, kAppName);
  } else {
    // The skin engine is the next layer to arrive; until a skin can be
    // loaded, start-up ends here as it does for a device without skins.
    platform::show_message_box(language.lookup(u"NoSkins"), kAppName);
  }
  instance.release_startup_lock();
  return 0;
}

}  // namespace lv
