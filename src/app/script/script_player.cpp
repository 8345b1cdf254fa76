#include "app/script/script_player.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/main_window.h"
#include "app/script/script_keys.h"
#include "base/log.h"
#include "platform/clock.h"
#include "platform/sdl_events.h"
#include "platform/sdl_window.h"
#include "platform/text.h"
#include "skin/png_writer.h"

namespace lv {

namespace {

// How often an "idle" step looks at the frame count.
constexpr int kIdlePollMs = 10;
// The two fingers of a scripted pinch; the first also works the stylus.
constexpr int64_t kFirstFinger = 1;
constexpr int64_t kSecondFinger = 2;

bool due(uint32_t now, uint32_t when) {
  return static_cast<int32_t>(now - when) >= 0;
}

}  // namespace

ScriptPlayer::ScriptPlayer(MainWindow& window, std::vector<ScriptStep> steps)
    : m_window(window), m_steps(std::move(steps)) {}

std::unique_ptr<ScriptPlayer> ScriptPlayer::from_environment(MainWindow& window) {
  const char* path = std::getenv("LUMIVIEW_SCRIPT");
  if (!path || !*path) return nullptr;
  const std::u16string script_path = from_utf8(path);
  std::vector<ScriptStep> steps;
  ScriptError error;
  if (!load_script(script_path, steps, error)) {
    const std::string text = describe(error, script_path);
    log() << u"Script error " << text << u"\n";
    std::fprintf(stderr, "lumiview: %s\n", text.c_str());
    std::fflush(stderr);
    auto player = std::make_unique<ScriptPlayer>(window, std::vector<ScriptStep>());
    player->m_failures = 1;
    return player;
  }
  return std::make_unique<ScriptPlayer>(window, std::move(steps));
}

void ScriptPlayer::report(const ScriptStep& step, const std::string& message) {
  ++m_failures;
  log() << u"Script line " << step.line << u": " << message << u"\n";
  std::fprintf(stderr, "lumiview: script line %d: %s\n", step.line, message.c_str());
  std::fflush(stderr);
}

void ScriptPlayer::finish() {
  m_done = true;
  log() << u"Script finished\n";
  platform::post_quit();
}

bool ScriptPlayer::find(const ScriptStep& step) {
  const ScriptTarget by =
      step.kind == ScriptStep::Kind::find_id ? ScriptTarget::id : ScriptTarget::text;
  // Whatever waits to be drawn is drawn first: a list realises its rows
  // and the screens take their places as they draw.
  m_window.draw_pending();
  const std::optional<Point> found = m_finder ? m_finder(by, step.text) : std::nullopt;
  if (found) {
    m_found = *found;
    log() << u"Script line " << step.line << u": " << step.text << u" at " << found->x << u" "
          << found->y << u"\n";
    return true;
  }
  report(step, std::string("no visible element ") +
                   (by == ScriptTarget::id ? "with the id \"" : "shows \"") + to_utf8(step.text) +
                   "\"");
  finish();
  return false;
}

bool ScriptPlayer::inject_fingers(const ScriptStep& step) {
  const uint32_t id = m_window.window().id();
  const Size size = m_window.client_size();
  if (size.width <= 0 || size.height <= 0) return false;
  // Side by side about the centre; SDL gives fingers as fractions of the
  // window, and makes a stylus of the first one.
  const double half = step.amount / 2;
  const double first_x = step.x - half;
  const double second_x = step.x + half;
  const int32_t stylus_x = static_cast<int32_t>(std::lround(first_x));
  auto finger = [&](platform::PointerAction action, int64_t which, double x) {
    return platform::inject_finger(id, action, which, x / size.width,
                                   static_cast<double>(step.y) / size.height);
  };
  using platform::PointerAction;
  switch (step.kind) {
    case ScriptStep::Kind::fingers_down:
      return platform::inject_touch_stylus(id, PointerAction::press, stylus_x, step.y) &&
             finger(PointerAction::press, kFirstFinger, first_x) &&
             finger(PointerAction::press, kSecondFinger, second_x);
    case ScriptStep::Kind::fingers_move:
      return finger(PointerAction::move, kFirstFinger, first_x) &&
             platform::inject_touch_stylus(id, PointerAction::move, stylus_x, step.y) &&
             finger(PointerAction::move, kSecondFinger, second_x);
    default:
      return finger(PointerAction::release, kSecondFinger, second_x) &&
             platform::inject_touch_stylus(id, PointerAction::release, stylus_x, step.y) &&
             finger(PointerAction::release, kFirstFinger, first_x);
  }
}

bool ScriptPlayer::inject(const ScriptStep& step) {
  const uint32_t id = m_window.window().id();
  using Kind = ScriptStep::Kind;
  const Point at = step.at_found ? m_found : Point{step.x, step.y};
  switch (step.kind) {
    case Kind::press:
      return platform::inject_pointer(id, platform::PointerAction::press, at.x, at.y);
    case Kind::move:
      return platform::inject_pointer(id, platform::PointerAction::move, at.x, at.y);
    case Kind::release:
      return platform::inject_pointer(id, platform::PointerAction::release, at.x, at.y);
    case Kind::wheel:
      return platform::inject_wheel(id, step.x, step.y, step.amount);
    case Kind::fingers_down:
    case Kind::fingers_move:
    case Kind::fingers_up:
      return inject_fingers(step);
    case Kind::key_down:
    case Kind::key_up:
      return platform::inject_key(id, virtual_key_for_code(step.key), step.kind == Kind::key_down,
                                  step.repeat);
    case Kind::text:
      return platform::inject_text(id, step.text);
    case Kind::resize:
      m_window.window().set_size({step.x, step.y});
      return true;
    case Kind::close:
      return platform::inject_close(id);
    case Kind::screenshot:
    case Kind::wait:
    case Kind::idle:
    case Kind::quit:
    case Kind::find_id:
    case Kind::find_text:
      return true;
  }
  return true;
}

bool ScriptPlayer::idle_over(const ScriptStep& step, uint32_t now) {
  if (!m_idling) {
    m_idling = true;
    m_idle_start = now;
    m_quiet_since = now;
    m_idle_frames = m_window.frames_drawn();
  }
  if (m_window.frames_drawn() != m_idle_frames) {
    m_idle_frames = m_window.frames_drawn();
    m_quiet_since = now;
  }
  if (now - m_quiet_since < step.ms && now - m_idle_start < step.max_ms) return false;
  m_idling = false;
  return true;
}

void ScriptPlayer::advance(uint32_t now) {
  if (m_done || m_waiting) return;
  if (!m_started) {
    m_started = true;
    m_due = now;
  }
  while (!m_done && !m_waiting) {
    // A wait at the end holds the program that long before it ends.
    if (!due(now, m_due)) return;
    if (m_index >= m_steps.size()) {
      finish();
      return;
    }
    const ScriptStep& step = m_steps[m_index];
    switch (step.kind) {
      case ScriptStep::Kind::wait:
        m_due = now + step.ms;
        ++m_index;
        continue;
      case ScriptStep::Kind::idle:
        if (!idle_over(step, now)) {
          m_due = now + kIdlePollMs;
          return;
        }
        ++m_index;
        continue;
      case ScriptStep::Kind::quit:
        finish();
        return;
      case ScriptStep::Kind::find_id:
      case ScriptStep::Kind::find_text:
        if (!find(step)) return;
        ++m_index;
        continue;
      default:
        break;
    }
    if (!inject(step)) report(step, "the event could not be queued");
    if (platform::post_script_marker(static_cast<uint32_t>(m_index))) {
      m_waiting = true;
    } else {
      // Without its marker the step would wait for ever: go on without it.
      if (step.kind == ScriptStep::Kind::screenshot) take_screenshot(step);
      ++m_index;
    }
  }
}

int ScriptPlayer::ms_until_due(uint32_t now) const {
  if (m_done || m_waiting) return -1;
  if (!m_started || due(now, m_due)) return 0;
  return static_cast<int32_t>(m_due - now);
}

void ScriptPlayer::on_marker(uint32_t id) {
  if (!m_waiting || id != m_index) return;
  m_waiting = false;
  if (m_steps[m_index].kind == ScriptStep::Kind::screenshot) take_screenshot(m_steps[m_index]);
  ++m_index;
  m_due = platform::tick_count();
}

void ScriptPlayer::take_screenshot(const ScriptStep& step) {
  m_window.draw_pending();
  const PixelView view = m_window.frame_view();
  if (!view.pixels) {
    report(step, "no frame has been drawn yet");
    return;
  }
  if (!write_png(step.text, view)) {
    report(step, "cannot write the screenshot " + to_utf8(step.text));
    return;
  }
  ++m_written;
  log() << u"Script screenshot " << step.text << u"\n";
}

}  // namespace lv
