#pragma once

// The main window's behaviour: what the handheld program's window procedure
// did with each message, applied to the window events of this system, the
// two presentations (full-screen through the display, windowed through the
// off-screen surface and the window timer), the frame tick, stylus capture, the
// second instance's command line and the native edit box's state.
// Everything it hands on goes to one WindowClient.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/frame_clock.h"
#include "skin/color.h"
#include "skin/font.h"
#include "skin/geometry.h"
#include "skin/screen_info.h"

namespace lv {

namespace platform {
class Clipboard;
class SingleInstance;
class Window;
struct WindowEvent;
}  // namespace platform

class Display;
class TextBox;
class WindowClient;
struct DisplayParameters;
struct PixelView;

enum class Taskbar { hidden, shown };
enum class EditBox { existing, create };

// The private message that hands a stored command line to the client.
inline constexpr uint32_t kMessageOpenCommandLine = 1058;
// Both coordinates of the release position when none is recorded.
inline constexpr int32_t kNoReleasePosition = -1000000;
// Timer 1: drives updates while windowed.
inline constexpr uint32_t kWindowTimerMs = 40;

// The element being edited, as the edit widget describes it.
struct EditTarget {
  const void* element = nullptr;  // identity only
  Rect rect;
  std::u16string text;
  bool multi_line = false;
  FontRef font;
  Color color{0, 0, 0, 255};
  Color background{0, 0, 0, 255};
};

class MainWindow {
 public:
  // The window the environment asks for (LUMIVIEW_DISPLAY, LUMIVIEW_SCREEN);
  // none when it cannot be made, with SDL's reason in `error`.
  static std::unique_ptr<MainWindow> create(std::u16string_view title,
                                            std::string* error = nullptr);
  // How the display is opened; open_display unless a test says otherwise.
  using DisplayOpener =
      std::function<std::unique_ptr<Display>(platform::Window&, DisplayParameters&)>;
  explicit MainWindow(std::unique_ptr<platform::Window> window, DisplayOpener opener = {});
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Not owned; null hands nothing on.
  void set_client(WindowClient* client);
  platform::Window& window();

  // The window procedure.
  void dispatch(const platform::WindowEvent& event);

  // The frame tick of the full-screen loop: step the client, draw when
  // something needs it and the display is open.
  void frame_tick(TickKind kind);
  // Timer 1: milliseconds until it is due (0: now), -1 while it has nothing
  // to do (stopped, window hidden, display open).
  int ms_until_timer(uint32_t now) const;
  // Runs the window timer when it is due: steps the client and paints the window.
  void run_timer(uint32_t now);
  // Poll and tick (rather than wait): shown, with the display open.
  bool wants_polling() const;
  // The window is gone; the loop ends with exit code 0.
  bool finished() const;

  // Presentation.
  void go_windowed(Taskbar taskbar);
  void go_full_screen(int32_t orientation);
  bool windowed() const;
  const Display* display() const;
  void minimize();
  void bring_to_front();
  void request_full_redraw();
  bool full_redraw_pending() const;
  // Asks the client whether the window may close, then destroys it.
  void close();
  void destroy();

  const ScreenInfo& screen_info() const;
  // A fresh record from the window (size, orientation, dots per inch).
  ScreenInfo measure_screen() const;
  Size client_size() const;
  // The release position of the last stylus press, or kNoReleasePosition.
  Point release_position() const;
  bool active() const;   // has the focus
  bool visible() const;  // neither hidden nor minimised

  // Takes command lines from later instances (on the listener thread) into
  // the window's queue.
  bool listen_for_instances(platform::SingleInstance& instance);

  // The native edit box: entered with an element, updated by further calls
  // with one, left with none. While it is up it takes the keys it uses, the
  // characters, the input method's compositions and the presses inside it,
  // and it is drawn over the screens; a press outside it, or Enter, ends the
  // editing (the client is told), and every change of its text goes to the
  // client.
  void edit(const EditTarget* target, EditBox box);
  bool editing() const;
  const TextBox* edit_box() const;
  // What the edit box copies to and pastes from: SDL's, or for a headless
  // window one of its own.
  platform::Clipboard& clipboard();
  void set_clipboard(std::unique_ptr<platform::Clipboard> clipboard);

  // Draws at once whatever waits to be drawn (screenshots); true when it drew.
  bool draw_pending();
  // The pixels last drawn: the display's frame, else the off-screen surface.
  PixelView frame_view() const;
  uint64_t frames_drawn() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m;
};

}  // namespace lv
