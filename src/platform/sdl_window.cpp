#include "platform/sdl_window.h"

#include <SDL.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/sdl_events.h"
#include "platform/text.h"

namespace lv::platform {

namespace {

constexpr int32_t kMaxSide = 16384;
constexpr WindowSize kDefaultSize{480, 800};

bool parse_side(std::string_view text, int32_t& out) {
  int32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  if (value < 1 || value > kMaxSide) return false;
  out = value;
  return true;
}

// The headless window plays the window manager: it posts what SDL would.
void post_window_event(uint8_t which, int32_t data1 = 0, int32_t data2 = 0) {
  SDL_Event event{};
  event.type = SDL_WINDOWEVENT;
  event.window.event = which;
  event.window.windowID = 0;
  event.window.data1 = data1;
  event.window.data2 = data2;
  SDL_PushEvent(&event);
}

}  // namespace

WindowBackend backend_from_environment() {
  const char* display = std::getenv("LUMIVIEW_DISPLAY");
  return display && std::strcmp(display, "offscreen") == 0 ? WindowBackend::headless
                                                           : WindowBackend::sdl;
}

bool parse_window_size(std::string_view text, WindowSize& out) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string_view::npos) return false;
  WindowSize size;
  if (!parse_side(text.substr(0, x), size.width) || !parse_side(text.substr(x + 1), size.height))
    return false;
  out = size;
  return true;
}

WindowSize initial_size_from_environment() {
  WindowSize size = kDefaultSize;
  if (const char* text = std::getenv("LUMIVIEW_SCREEN")) parse_window_size(text, size);
  return size;
}

Window::Window(WindowBackend backend, WindowSize size)
    : m_backend(backend), m_headless_size(size) {}

std::unique_ptr<Window> Window::create(std::u16string_view title, WindowSize size,
                                       WindowBackend backend, std::string* error) {
  if (size.width < 1 || size.height < 1 || size.width > kMaxSide || size.height > kMaxSide)
    size = kDefaultSize;
  std::unique_ptr<Window> window(new Window(backend, size));
  const uint32_t subsystems =
      backend == WindowBackend::headless ? SDL_INIT_EVENTS : SDL_INIT_VIDEO | SDL_INIT_EVENTS;
  auto fail = [&] {
    if (error) *error = SDL_GetError();
    return nullptr;
  };
  if (SDL_InitSubSystem(subsystems) != 0) return fail();
  window->m_subsystems = subsystems;
  // Events of an earlier window (a test before this one) must not reach this one.
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  forget_queued_wake();
  if (backend == WindowBackend::headless) return window;

  // A tap that brings the window forward is also a tap, as on a handheld.
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  // Closing the window asks the program (the screen may refuse); by default
  // SDL would follow the close of its last window with a quit at once.
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  const std::string utf8_title = to_utf8(title);
  window->m_window =
      SDL_CreateWindow(utf8_title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                       size.width, size.height, SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
  if (!window->m_window) return fail();
  window->m_renderer = SDL_CreateRenderer(window->m_window, -1, 0);
  if (!window->m_renderer) return fail();
  // SDL starts text input with its video; here it waits for the edit box.
  SDL_StopTextInput();
  return window;
}

Window::~Window() {
  if (m_renderer) SDL_DestroyRenderer(m_renderer);
  if (m_window) SDL_DestroyWindow(m_window);
  if (m_subsystems) SDL_QuitSubSystem(m_subsystems);
}

WindowSize Window::client_size() const {
  if (!m_window) return m_headless_size;
  WindowSize size;
  if (m_renderer && SDL_GetRendererOutputSize(m_renderer, &size.width, &size.height) == 0)
    return size;
  SDL_GetWindowSize(m_window, &size.width, &size.height);
  return size;
}

int32_t Window::vertical_dpi() const {
  if (const char* text = std::getenv("LUMIVIEW_DPI")) {
    int32_t dpi = 0;
    const std::string_view view(text);
    const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), dpi);
    if (ec == std::errc() && end == view.data() + view.size() && dpi >= 1 && dpi <= 10000)
      return dpi;
  }
  if (m_window) {
    float vertical = 0;
    const int index = SDL_GetWindowDisplayIndex(m_window);
    if (index >= 0 && SDL_GetDisplayDPI(index, nullptr, nullptr, &vertical) == 0 && vertical >= 1 &&
        vertical <= 10000)
      return static_cast<int32_t>(std::lround(vertical));
  }
  return 96;
}

void Window::set_size(WindowSize size) {
  if (size.width < 1 || size.height < 1 || size.width > kMaxSide || size.height > kMaxSide) return;
  if (m_window) {
    SDL_SetWindowSize(m_window, size.width, size.height);
    return;
  }
  m_headless_size = size;
  post_window_event(SDL_WINDOWEVENT_SIZE_CHANGED, size.width, size.height);
}

void Window::minimize() {
  if (m_window)
    SDL_MinimizeWindow(m_window);
  else
    post_window_event(SDL_WINDOWEVENT_MINIMIZED);
}

void Window::bring_to_front() {
  if (!m_window) {
    post_window_event(SDL_WINDOWEVENT_RESTORED);
    return;
  }
  SDL_ShowWindow(m_window);
  if (SDL_GetWindowFlags(m_window) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(m_window);
  SDL_RaiseWindow(m_window);
}

void Window::hide() {
  if (m_window)
    SDL_HideWindow(m_window);
  else
    post_window_event(SDL_WINDOWEVENT_HIDDEN);
}

void Window::capture_pointer(bool capture) {
  if (m_window) SDL_CaptureMouse(capture ? SDL_TRUE : SDL_FALSE);
}

void Window::set_text_input_area(int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!m_window) return;
  SDL_Rect rect{x, y, width, height};
  SDL_SetTextInputRect(&rect);
}

void Window::set_text_input(bool on) {
  if (!m_window) return;
  if (on)
    SDL_StartTextInput();
  else
    SDL_StopTextInput();
}

bool Window::screen_keyboard_shown() const {
  return m_window && SDL_IsScreenKeyboardShown(m_window) == SDL_TRUE;
}

uint32_t Window::id() const {
  return m_window ? SDL_GetWindowID(m_window) : 0;
}

}  // namespace lv::platform
