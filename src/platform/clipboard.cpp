#include "platform/clipboard.h"

#include <SDL.h>

#include "platform/text.h"

namespace lv::platform {

std::u16string SdlClipboard::text() const {
  char* utf8 = SDL_GetClipboardText();
  if (!utf8) return {};
  std::u16string text = from_utf8(utf8);
  SDL_free(utf8);
  return text;
}

bool SdlClipboard::set_text(std::u16string_view text) {
  return SDL_SetClipboardText(to_utf8(text).c_str()) == 0;
}

}  // namespace lv::platform
