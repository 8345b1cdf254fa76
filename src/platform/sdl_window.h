#pragma once

// The program's one top-level window. With SDL it is a resizable SDL window
// with a renderer; the headless kind (LUMIVIEW_DISPLAY=offscreen) has no
// window at all, only SDL's event queue, and acts out what a window manager
// would do (resize, minimise, restore) by posting the same window events.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct SDL_Window;
struct SDL_Renderer;

namespace lv::platform {

struct WindowSize {
  int32_t width = 0;
  int32_t height = 0;
  friend constexpr bool operator==(const WindowSize&, const WindowSize&) = default;
};

enum class WindowBackend { sdl, headless };

// Headless when LUMIVIEW_DISPLAY is "offscreen", else SDL.
WindowBackend backend_from_environment();
// LUMIVIEW_SCREEN ("WxH", each side 1..16384), else 480 x 800.
WindowSize initial_size_from_environment();
// "WxH" with both sides in 1..16384; false (out unchanged) otherwise.
bool parse_window_size(std::string_view text, WindowSize& out);

class Window {
 public:
  // None when SDL cannot start its video (or event) subsystem or make the
  // window; then `error` gets SDL's reason.
  static std::unique_ptr<Window> create(std::u16string_view title, WindowSize size,
                                        WindowBackend backend, std::string* error = nullptr);
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  WindowBackend backend() const { return m_backend; }
  bool headless() const { return m_backend == WindowBackend::headless; }

  // The drawable size in pixels.
  WindowSize client_size() const;
  // LUMIVIEW_DPI when set (1..10000), else SDL's vertical display DPI, else 96.
  int32_t vertical_dpi() const;

  // Asks for a new client size; the change arrives as a window event.
  void set_size(WindowSize size);
  void minimize();
  // Restores a minimised window and raises it above the others.
  void bring_to_front();
  void hide();

  // Stylus capture: moves keep arriving while the button is down outside.
  void capture_pointer(bool capture);
  // Where the text being typed is shown, so an input method puts its
  // candidate list beside it.
  void set_text_input_area(int32_t x, int32_t y, int32_t width, int32_t height);
  // Text input (the input method, an on-screen keyboard) runs only while
  // the edit box is up; a new window starts without it.
  void set_text_input(bool on);
  // Whether the system's on-screen keyboard shows now (false where there is
  // none, as on most desktops).
  bool screen_keyboard_shown() const;

  // Null for the headless kind.
  SDL_Window* sdl_window() const { return m_window; }
  SDL_Renderer* renderer() const { return m_renderer; }
  // SDL's window id (0 for the headless kind); events carry it.
  uint32_t id() const;

 private:
  Window(WindowBackend backend, WindowSize size);

  WindowBackend m_backend;
  WindowSize m_headless_size;
  SDL_Window* m_window = nullptr;
  SDL_Renderer* m_renderer = nullptr;
  uint32_t m_subsystems = 0;
};

}  // namespace lv::platform
