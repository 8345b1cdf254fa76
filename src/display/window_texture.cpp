#include "display/window_texture.h"

#include <SDL.h>

#include <cstring>

#include "platform/sdl_window.h"
#include "skin/surface.h"

namespace lv {

WindowTexture::WindowTexture(platform::Window& window) : m_window(window) {}

WindowTexture::~WindowTexture() {
  if (m_texture) SDL_DestroyTexture(m_texture);
}

bool WindowTexture::ensure_texture(Size size) {
  if (m_texture && m_size == size) return true;
  if (m_texture) SDL_DestroyTexture(m_texture);
  m_texture = SDL_CreateTexture(m_window.renderer(), SDL_PIXELFORMAT_RGB565,
                                SDL_TEXTUREACCESS_STREAMING, size.width, size.height);
  m_size = m_texture ? size : Size{};
  return m_texture != nullptr;
}

bool WindowTexture::present(const Surface& pixels) {
  SDL_Renderer* renderer = m_window.renderer();
  if (!renderer) return true;
  if (!ensure_texture(pixels.size())) return false;
  // Locked texture memory is write-only in SDL's contract, so every frame is
  // copied in whole from pixels the program keeps.
  void* target = nullptr;
  int pitch = 0;
  if (SDL_LockTexture(m_texture, nullptr, &target, &pitch) != 0) return false;
  const size_t row_bytes = size_t{pixels.width()} * 2;
  for (uint32_t y = 0; y < pixels.height(); ++y)
    std::memcpy(static_cast<uint8_t*>(target) + size_t{y} * static_cast<size_t>(pitch),
                pixels.row(y), row_bytes);
  SDL_UnlockTexture(m_texture);
  if (SDL_RenderCopy(renderer, m_texture, nullptr, nullptr) != 0) return false;
  SDL_RenderPresent(renderer);
  return true;
}

}  // namespace lv
