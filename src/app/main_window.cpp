#include "app/main_window.h"

#include <algorithm>
#include <bitset>
#include <utility>

#include "app/pinch_tracker.h"
#include "app/text_box.h"
#include "app/window_client.h"
#include "base/input.h"
#include "base/log.h"
#include "base/settings.h"
#include "display/display.h"
#include "display/offscreen_surface.h"
#include "platform/clipboard.h"
#include "platform/clock.h"
#include "platform/sdl_events.h"
#include "platform/sdl_window.h"
#include "platform/single_instance.h"
#include "skin/canvas.h"
#include "skin/png_writer.h"
#include "skin/render_surface.h"
#include "skin/surface.h"
#include "widgets/edit_element.h"

namespace lv {

namespace {

constexpr int kVirtualKeyEscape = 27;

bool inside(const Rect& rect, int32_t x, int32_t y) {
  return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
}

PointerEvent pointer_event(int32_t x, int32_t y, bool pressed, bool cancelled) {
  PointerEvent event;
  event.x = x;
  event.y = y;
  event.time = platform::tick_count();
  event.reserved = 0;
  event.pressed = pressed ? 1 : 0;
  event.cancelled = cancelled ? 1 : 0;
  return event;
}

// Draws through the client into pixels owned elsewhere.
void render_into(WindowClient* client, Surface& pixels, RedrawScope scope) {
  if (!client) return;
  RenderSurface target;
  target.adopt_surface(Surface::wrap(pixels.bytes(), static_cast<int32_t>(pixels.width()),
                                     static_cast<int32_t>(pixels.height()), pixels.pitch()));
  client->render(target, scope);
}

}  // namespace

struct MainWindow::Impl {
  std::unique_ptr<platform::Window> window;
  DisplayOpener opener;
  WindowClient* client = nullptr;
  FrameClock clock{platform::tick_count()};
  ScreenInfo screen;

  std::unique_ptr<Display> display;
  std::unique_ptr<OffscreenSurface> offscreen;
  bool windowed = true;
  Taskbar taskbar = Taskbar::shown;
  int32_t orientation = 0;
  bool redraw_all = true;
  uint64_t frames = 0;

  bool inactive = false;
  bool hidden = false;
  bool finished = false;

  bool timer_running = false;
  uint32_t timer_due = 0;

  bool captured = false;
  Point release{kNoReleasePosition, kNoReleasePosition};
  PinchTracker fingers;

  std::u16string pending_command_line;

  bool editing = false;
  std::unique_ptr<TextBox> box;
  const void* edited = nullptr;  // the element the box is over
  std::unique_ptr<platform::Clipboard> clipboard;
  bool box_pressed = false;         // a press inside the box: its moves and release are the box's
  std::bitset<kKeyCount> box_keys;  // keys whose press the box took; their release too
  TextBox::Modifiers modifiers;

  ScreenInfo measure() const {
    const platform::WindowSize size = window->client_size();
    ScreenInfo info;
    info.width = size.width;
    info.height = size.height;
    info.work_left = 0;
    info.work_top = 0;
    info.work_width = size.width;
    info.work_height = size.height;
    info.orientation = query_orientation(*window);
    info.dpi = window->vertical_dpi();
    return info;
  }

  Size client_size() const {
    const platform::WindowSize size = window->client_size();
    return {size.width, size.height};
  }

  void start_timer() {
    timer_running = true;
    timer_due = platform::tick_count() + kWindowTimerMs;
  }
  void stop_timer() { timer_running = false; }

  bool open_display() {
    DisplayParameters parameters;
    parameters.width = screen.width;
    parameters.height = screen.height;
    parameters.orientation = orientation;
    display = opener(*window, parameters);
    if (!display) {
      log() << u"Display open failed\n";
      return false;
    }
    log() << u"Display open " << parameters.width << u"x" << parameters.height << u" orientation="
          << parameters.orientation << u"\n";
    redraw_all = true;
    return true;
  }

  void close_display() { display.reset(); }

  // The window is the screen here; what is left of laying it out is keeping
  // the display the size of the window.
  void layout() {
    if (windowed || editing || !display) return;
    if (display->size() == client_size()) return;
    close_display();
    if (!open_display()) start_timer();
  }

  bool draw_frame() {
    if (!display) return false;
    if (!redraw_all && !(client && client->needs_redraw())) return false;
    if (!display->begin_draw()) return false;
    const RedrawScope scope = redraw_all ? RedrawScope::everything : RedrawScope::changes;
    redraw_all = false;
    render_into(client, *display->frame_buffer(), scope);
    display->end_draw(0);
    ++frames;
    return true;
  }

  // The handheld's paint message: everything, through the off-screen surface.
  bool paint() {
    if (display) return false;
    const Size size = client_size();
    if (!offscreen || offscreen->size() != size)
      offscreen = OffscreenSurface::create(size.width, size.height);
    if (!offscreen) return false;
    redraw_all = false;
    render_into(client, offscreen->surface(), RedrawScope::everything);
    if (box) {
      Canvas canvas(&offscreen->surface());
      box->draw(canvas);
    }
    offscreen->copy_to(*window);
    ++frames;
    return true;
  }

  // Shows the last frame again (the window system lost it).
  void present_again() {
    if (display) {
      if (display->begin_draw()) display->end_draw(0);
    } else {
      paint();
    }
  }

  void on_timer() {
    if (hidden || display) return;
    const std::optional<double> dt = clock.advance(platform::tick_count(), TickKind::normal);
    if (client && dt) client->update(*dt);
    if (redraw_all || (client && client->needs_redraw())) paint();
  }

  void key_message(const platform::WindowEvent& event, bool down) {
    const int code = translate_virtual_key(event.virtual_key);
    KeyEvent key;
    key.key = code;
    key.pressed = down;
    key.first = !down || (event.key_data & platform::kKeyDataPreviouslyDown) == 0;
    log() << (down ? u"WM_KEYDOWN = " : u"WM_KEYUP = ") << event.virtual_key << u"("
          << key_name(code) << u")" << u" lParam=" << event.key_data << u" ticks="
          << platform::tick_count() << u"\n";
    if (code == kKeyShift) modifiers.shift = down;
    if (code == kKeyCtrl) modifiers.ctrl = down;
    // Escape leaves the box, as it leaves any desktop field; Back, the same
    // program key, deletes.
    if (box && down && event.virtual_key == kVirtualKeyEscape) {
      box_keys.set(static_cast<size_t>(code));
      end_editing();
      return;
    }
    // The box has the focus: the keys it uses never reach the screens.
    if (box && down && code != kKeyNone) {
      const TextBox::Change change = box->key(code, modifiers, *clipboard);
      if (change.handled) {
        box_keys.set(static_cast<size_t>(code));
        box_changed(change);
        return;
      }
    }
    if (!down && code >= 0 && code < kKeyCount && box_keys.test(static_cast<size_t>(code))) {
      box_keys.reset(static_cast<size_t>(code));
      return;
    }
    if (client) client->key(key);
  }

  void character_message(const platform::WindowEvent& event) {
    log() << u"WM_CHAR=" << event.text << u" lParam=" << event.key_data << u" ticks="
          << platform::tick_count() << u"\n";
    if (event.text.empty() || event.text[0] < 32) return;
    if (box) {
      box_changed(box->type(event.text));
      return;
    }
    if (client) client->character(event.text);
  }

  void composition_message(const platform::WindowEvent& event) {
    if (!box) return;
    box->compose(event.text, event.x);
    redraw_all = true;
  }

  // Hands on what a change of the box did. The client may end the editing
  // while it takes the text, so the box is looked for again afterwards.
  void box_changed(const TextBox::Change& change) {
    redraw_all = true;
    if (change.text && client) client->edit_text_changed(std::u16string(box->text()));
    if (change.finished && box) end_editing();
  }

  // The box ends the editing itself; the client forgets the edited element.
  void end_editing() {
    leave_editing();
    if (client) client->edit_ended();
  }

  void pointer_down(int32_t x, int32_t y) {
    release = {kNoReleasePosition, kNoReleasePosition};
    if (box && inside(box->rect(), x, y)) {
      box_pressed = true;
      window->capture_pointer(true);
      box->press({x, y});
      redraw_all = true;
      return;
    }
    // A press elsewhere ends the editing and goes on as any press does.
    if (box) end_editing();
    captured = true;
    window->capture_pointer(true);
    if (client) client->pointer_button(pointer_event(x, y, true, false));
  }

  void pointer_move(int32_t x, int32_t y) {
    if (box_pressed) {
      if (box) box->drag({x, y});
      redraw_all = true;
      return;
    }
    // A stylus has no hover: moves count only while it is down.
    if (!captured) return;
    if (client) client->pointer_move(pointer_event(x, y, true, false));
  }

  void pointer_up(int32_t x, int32_t y) {
    if (box_pressed) {
      box_pressed = false;
      window->capture_pointer(false);
      return;
    }
    if (!captured) return;
    release = {x, y};
    release_capture();
  }

  void leave_editing() {
    if (!editing) return;
    // Whether the on-screen keyboard was up is remembered for the next
    // time text is edited.
    const uint32_t shown = window->screen_keyboard_shown() ? 1 : 0;
    uint32_t stored = 0;
    if (!get_number(kKaruKey, u"SIPPreference", stored) || stored != shown)
      set_number(kKaruKey, u"SIPPreference", shown);
    box.reset();
    edited = nullptr;
    box_pressed = false;
    editing = false;
    window->set_text_input(false);
    if (!windowed && open_display()) stop_timer();
    redraw_all = true;
    layout();
  }

  // The end of every press goes out here, at the loss of the capture: with
  // the release position, or cancelled when none was recorded.
  void release_capture() {
    if (box_pressed) {
      box_pressed = false;
      window->capture_pointer(false);
    }
    if (!captured) return;
    captured = false;
    window->capture_pointer(false);
    const bool cancelled = release.x == kNoReleasePosition && release.y == kNoReleasePosition;
    if (client) client->pointer_button(pointer_event(release.x, release.y, false, cancelled));
  }

  void wheel(const platform::WindowEvent& event) {
    WheelEvent wheel;
    wheel.x = event.x;
    wheel.y = event.y;
    wheel.steps = event.amount;
    wheel.time = platform::tick_count();
    if (client) client->wheel(wheel);
  }

  // Fingers come as fractions of the window; the gesture is measured in
  // pixels, so that a turn of the window does not distort it.
  void finger(const platform::WindowEvent& event) {
    const Size size = client_size();
    const double x = event.finger_x * size.width;
    const double y = event.finger_y * size.height;
    const uint32_t now = platform::tick_count();
    std::optional<PinchEvent> pinch;
    switch (event.type) {
      case platform::EventType::finger_down:
        pinch = fingers.down(event.touch_device, event.finger, x, y, now);
        break;
      case platform::EventType::finger_move:
        pinch = fingers.move(event.touch_device, event.finger, x, y, now);
        break;
      default:
        pinch = fingers.up(event.touch_device, event.finger, x, y, now);
        break;
    }
    if (!pinch) return;
    if (pinch->phase == PinchEvent::Phase::begin) {
      // The first finger's stylus press is no tap and no drag: it ends
      // cancelled, without a release position.
      release = {kNoReleasePosition, kNoReleasePosition};
      release_capture();
    }
    if (client) client->pinch(*pinch);
  }

  void cancel_pinch() {
    const std::optional<PinchEvent> end = fingers.cancel(platform::tick_count());
    if (end && client) client->pinch(*end);
  }

  // SDL's stylus made of the first finger, while that finger is part of a
  // pinch (or still down after one).
  bool suppressed(const platform::WindowEvent& event) const {
    return event.from_touch && fingers.stylus_suppressed();
  }

  void resized() {
    const ScreenInfo info = measure();
    if (info != screen) {
      screen = info;
      log() << u"Application::ResolutionChanged 2\n";
      if (client) client->layout_changed(info);
    }
    layout();
  }

  void command_line(const std::u16string& text) {
    pending_command_line = text == platform::kCommandLineEmpty ? std::u16string() : text;
    platform::post_window_message(kMessageOpenCommandLine);
    // Starting the program again is asking to see it.
    window->bring_to_front();
  }

  void open_pending_command_line() {
    if (pending_command_line.empty()) return;
    std::u16string text = std::move(pending_command_line);
    pending_command_line.clear();
    if (client) client->open_command_line(std::move(text));
  }

  void destroy() {
    if (finished) return;
    release_capture();
    cancel_pinch();
    finished = true;
    window->hide();
  }
};

std::unique_ptr<MainWindow> MainWindow::create(std::u16string_view title, std::string* error) {
  auto window = platform::Window::create(title, platform::initial_size_from_environment(),
                                         platform::backend_from_environment(), error);
  if (!window) return nullptr;
  return std::make_unique<MainWindow>(std::move(window));
}

MainWindow::MainWindow(std::unique_ptr<platform::Window> window, DisplayOpener opener)
    : m(std::make_unique<Impl>()) {
  m->window = std::move(window);
  // SDL keeps a clipboard only with its video, which a headless window
  // does not start.
  if (m->window->headless())
    m->clipboard = std::make_unique<platform::MemoryClipboard>();
  else
    m->clipboard = std::make_unique<platform::SdlClipboard>();
  m->opener = opener ? std::move(opener) : DisplayOpener(lv::open_display);
  m->screen = m->measure();
  m->start_timer();
}

MainWindow::~MainWindow() {
  // Textures go before the renderer that made them.
  m->display.reset();
  m->offscreen.reset();
}

void MainWindow::set_client(WindowClient* client) {
  m->client = client;
}

platform::Window& MainWindow::window() {
  return *m->window;
}

void MainWindow::dispatch(const platform::WindowEvent& event) {
  using platform::EventType;
  if (m->finished) return;
  switch (event.type) {
    case EventType::key_down:
      m->key_message(event, true);
      break;
    case EventType::key_up:
      m->key_message(event, false);
      break;
    case EventType::character:
      m->character_message(event);
      break;
    case EventType::pointer_down:
      if (!m->suppressed(event)) m->pointer_down(event.x, event.y);
      break;
    case EventType::pointer_move:
      if (!m->suppressed(event)) m->pointer_move(event.x, event.y);
      break;
    case EventType::pointer_up:
      if (!m->suppressed(event)) m->pointer_up(event.x, event.y);
      break;
    case EventType::wheel:
      m->wheel(event);
      break;
    case EventType::finger_down:
    case EventType::finger_move:
    case EventType::finger_up:
      m->finger(event);
      break;
    case EventType::focus_gained:
      m->layout();
      m->inactive = false;
      if (m->client) m->client->activated();
      break;
    case EventType::composition:
      m->composition_message(event);
      break;
    case EventType::focus_lost:
      m->inactive = true;
      m->modifiers = {};
      m->box_keys.reset();
      m->release_capture();
      m->cancel_pinch();
      if (m->client) m->client->deactivated();
      break;
    case EventType::shown:
      m->hidden = false;
      m->present_again();
      break;
    case EventType::hidden:
      m->hidden = true;
      m->release_capture();
      m->cancel_pinch();
      break;
    case EventType::exposed:
      m->present_again();
      break;
    case EventType::resized:
      m->resized();
      break;
    case EventType::close_requested:
      close();
      break;
    case EventType::quit:
      m->destroy();
      break;
    case EventType::command_line:
      m->command_line(event.text);
      break;
    case EventType::window_message:
      if (event.message == kMessageOpenCommandLine) m->open_pending_command_line();
      break;
    case EventType::wake:
    case EventType::script_marker:
      break;
  }
}

void MainWindow::frame_tick(TickKind kind) {
  const std::optional<double> dt = m->clock.advance(platform::tick_count(), kind);
  if (!dt) return;
  if (m->client) m->client->update(*dt);
  m->draw_frame();
}

int MainWindow::ms_until_timer(uint32_t now) const {
  if (!m->timer_running || m->hidden || m->display || m->finished) return -1;
  const auto remaining = static_cast<int32_t>(m->timer_due - now);
  return std::max(remaining, 0);
}

void MainWindow::run_timer(uint32_t now) {
  if (!m->timer_running || m->finished) return;
  if (static_cast<int32_t>(now - m->timer_due) < 0) return;
  // A late timer fires once, not once for every period missed.
  m->timer_due = now + kWindowTimerMs;
  m->on_timer();
}

bool MainWindow::wants_polling() const {
  return !m->hidden && m->display && !m->finished;
}

bool MainWindow::finished() const {
  return m->finished;
}

void MainWindow::go_windowed(Taskbar taskbar) {
  if (m->windowed && m->taskbar == taskbar) return;
  m->windowed = true;
  m->taskbar = taskbar;
  if (m->editing) return;
  m->redraw_all = true;
  m->close_display();
  m->start_timer();
  m->layout();
}

void MainWindow::go_full_screen(int32_t orientation) {
  if (!m->windowed && m->orientation == orientation) return;
  m->orientation = orientation;
  m->windowed = false;
  m->close_display();
  if (m->editing) return;
  m->redraw_all = true;
  // Without a display the window is painted as when windowed, and the window timer
  // keeps the screens moving; stopping it would freeze them.
  if (m->open_display())
    m->stop_timer();
  else if (!m->timer_running)
    m->start_timer();
  m->layout();
}

bool MainWindow::windowed() const {
  return m->windowed;
}

const Display* MainWindow::display() const {
  return m->display.get();
}

void MainWindow::minimize() {
  m->window->minimize();
}

void MainWindow::bring_to_front() {
  m->window->bring_to_front();
}

void MainWindow::request_full_redraw() {
  m->redraw_all = true;
}

bool MainWindow::full_redraw_pending() const {
  return m->redraw_all;
}

void MainWindow::close() {
  if (m->finished) return;
  if (m->client && !m->client->may_close()) return;
  m->destroy();
}

void MainWindow::destroy() {
  m->destroy();
}

const ScreenInfo& MainWindow::screen_info() const {
  return m->screen;
}

ScreenInfo MainWindow::measure_screen() const {
  return m->measure();
}

Size MainWindow::client_size() const {
  return m->client_size();
}

Point MainWindow::release_position() const {
  return m->release;
}

bool MainWindow::active() const {
  return !m->inactive;
}

bool MainWindow::visible() const {
  return !m->hidden;
}

bool MainWindow::listen_for_instances(platform::SingleInstance& instance) {
  return instance.listen(
      [](std::u16string command_line) { platform::post_command_line(std::move(command_line)); });
}

void MainWindow::edit(const EditTarget* target, EditBox box) {
  if (!target) {
    m->leave_editing();
    return;
  }
  if (!m->editing) {
    m->editing = true;
    m->close_display();
    m->start_timer();
    m->layout();
    m->window->set_text_input(true);
    if (box == EditBox::create) {
      m->box =
          std::make_unique<TextBox>(target->rect, TextBox::Lines::single,
                                    TextBox::Look{target->font, target->color, target->background});
      m->box->set_text(target->text);
      m->window->set_text_input_area(target->rect.left, target->rect.top, target->rect.width(),
                                     target->rect.height());
    }
  }
  m->redraw_all = true;
  if (!m->box) return;
  TextBox& state = *m->box;
  if (state.rect() != target->rect) {
    state.set_rect(target->rect);
    m->window->set_text_input_area(target->rect.left, target->rect.top, target->rect.width(),
                                   target->rect.height());
  }
  const std::u16string text = with_newline_ends(target->text);
  if (state.text() != text) state.set_text(text);
  state.set_look({target->font, target->color, target->background});
  if (m->edited != target->element) {
    m->edited = target->element;
    state.set_lines(target->multi_line ? TextBox::Lines::multiple : TextBox::Lines::single);
    state.select_all();
  }
}

bool MainWindow::editing() const {
  return m->editing;
}

const TextBox* MainWindow::edit_box() const {
  return m->box.get();
}

platform::Clipboard& MainWindow::clipboard() {
  return *m->clipboard;
}

void MainWindow::set_clipboard(std::unique_ptr<platform::Clipboard> clipboard) {
  if (clipboard) m->clipboard = std::move(clipboard);
}

bool MainWindow::draw_pending() {
  if (m->display) return m->draw_frame();
  if (m->offscreen && !m->redraw_all && !(m->client && m->client->needs_redraw())) return false;
  return m->paint();
}

PixelView MainWindow::frame_view() const {
  if (m->display) return pixel_view(m->display->contents());
  if (m->offscreen) return pixel_view(m->offscreen->surface());
  return {};
}

uint64_t MainWindow::frames_drawn() const {
  return m->frames;
}

}  // namespace lv
