#include "platform/message_box.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/text.h"

namespace lv::platform {

namespace {
bool headless() {
  const char* display = std::getenv("LUMIVIEW_DISPLAY");
  return display && std::strcmp(display, "offscreen") == 0;
}
}  // namespace

void show_message_box(std::u16string_view text, std::u16string_view caption) {
  const std::string utf8_text = to_utf8(text);
  const std::string utf8_caption = to_utf8(caption);
  if (!headless() && SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, utf8_caption.c_str(),
                                              utf8_text.c_str(), nullptr) == 0)
    return;
  std::fprintf(stderr, "%s: %s%s", utf8_caption.c_str(), utf8_text.c_str(),
               utf8_text.empty() || utf8_text.back() != '\n' ? "\n" : "");
  std::fflush(stderr);
}

}  // namespace lv::platform
