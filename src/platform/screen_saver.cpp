#include "platform/screen_saver.h"

#include <SDL.h>

namespace lv::platform {

void allow_screen_saver(bool allow) {
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return;
  if (allow)
    SDL_EnableScreenSaver();
  else
    SDL_DisableScreenSaver();
}

}  // namespace lv::platform
