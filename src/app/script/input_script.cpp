#include "app/script/input_script.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

#include "app/script/script_keys.h"
#include "base/file_util.h"
#include "base/input.h"
#include "base/settings.h"
#include "platform/text.h"

namespace lv {

namespace {

constexpr int32_t kMaxCoordinate = 100000;
constexpr uint32_t kMaxWaitMs = 3600000;
constexpr uint32_t kMaxDragMs = 60000;
constexpr int32_t kMaxSide = 16384;
constexpr uint32_t kDefaultIdleMaxMs = 10000;
constexpr size_t kMaxScriptBytes = 1u << 20;
constexpr double kMaxWheelSteps = 100;
constexpr double kMinPinchScale = 0.1;
constexpr double kMaxPinchScale = 10;

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (is_blank(text.front()) || text.front() == '\r')) text.remove_prefix(1);
  while (!text.empty() && (is_blank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// The words of a line, and where the text after each word starts (for the
// steps that take the rest of the line).
struct Words {
  std::vector<std::string_view> words;
  std::vector<std::string_view> rests;
};

Words split(std::string_view line) {
  Words out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i >= line.size()) break;
    size_t end = i;
    while (end < line.size() && !is_blank(line[end])) ++end;
    out.words.push_back(line.substr(i, end - i));
    size_t rest = end;
    while (rest < line.size() && is_blank(line[rest])) ++rest;
    out.rests.push_back(line.substr(rest));
    i = end;
  }
  return out;
}

class LineParser {
 public:
  LineParser(int line, std::u16string_view base, std::vector<ScriptStep>& steps, ScriptError& error)
      : m_line(line), m_base(base), m_steps(steps), m_error(error) {}

  bool parse(std::string_view text, std::optional<std::pair<int32_t, int32_t>>& pointer);

 private:
  bool fail(std::string message) {
    m_error.line = m_line;
    m_error.message = std::move(message);
    return false;
  }
  bool count(size_t least, size_t most) {
    const size_t given = m_words.words.size() - 1;
    if (given >= least && given <= most) return true;
    std::string expected = least == most ? std::to_string(least)
                                         : std::to_string(least) + " to " + std::to_string(most);
    return fail("\"" + std::string(m_words.words[0]) + "\" takes " + expected +
                (most == 1 ? " value" : " values") + ", not " + std::to_string(given));
  }
  bool number(size_t index, int64_t least, int64_t most, int64_t& out) {
    const std::string_view word = m_words.words[index];
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc() || end != word.data() + word.size())
      return fail("\"" + std::string(word) + "\" is not a whole number");
    if (value < least || value > most)
      return fail(std::string(word) + " is outside " + std::to_string(least) + ".." +
                  std::to_string(most));
    out = value;
    return true;
  }
  bool coordinate(size_t index, int32_t& out) {
    int64_t value = 0;
    if (!number(index, -kMaxCoordinate, kMaxCoordinate, value)) return false;
    out = static_cast<int32_t>(value);
    return true;
  }
  bool decimal(size_t index, double least, double most, double& out) {
    const std::string_view word = m_words.words[index];
    double value = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc() || end != word.data() + word.size() || !std::isfinite(value))
      return fail("\"" + std::string(word) + "\" is not a number");
    if (value < least || value > most)
      return fail(std::string(word) + " is outside " + format_decimal(least) + ".." +
                  format_decimal(most));
    out = value;
    return true;
  }
  static std::string format_decimal(double value) {
    std::string text = std::to_string(value);
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text;
  }
  bool milliseconds(size_t index, uint32_t most, uint32_t& out) {
    int64_t value = 0;
    if (!number(index, 0, most, value)) return false;
    out = static_cast<uint32_t>(value);
    return true;
  }
  bool key(size_t index, int& out) {
    const std::string_view name = m_words.words[index];
    const int code = script_key_code(name);
    if (code == kKeyNone) return fail("unknown key \"" + std::string(name) + "\"");
    if (virtual_key_for_code(code) == 0)
      return fail("no key of this system gives \"" + std::string(key_name(code)) + "\"");
    out = code;
    return true;
  }
  ScriptStep& add(ScriptStep::Kind kind) {
    ScriptStep step;
    step.kind = kind;
    step.line = m_line;
    m_steps.push_back(std::move(step));
    return m_steps.back();
  }
  void add_pointer(ScriptStep::Kind kind, int32_t x, int32_t y) {
    ScriptStep& step = add(kind);
    step.x = x;
    step.y = y;
  }
  void add_wait(uint32_t ms) {
    if (ms > 0) add(ScriptStep::Kind::wait).ms = ms;
  }
  void add_key(ScriptStep::Kind kind, int code, bool repeat) {
    ScriptStep& step = add(kind);
    step.key = code;
    step.repeat = repeat;
  }

  bool parse_tap();
  bool parse_tap_target(ScriptStep::Kind find);
  bool parse_wheel();
  bool parse_pinch();
  bool parse_drag();
  bool parse_release(std::optional<std::pair<int32_t, int32_t>>& pointer);
  bool parse_keydown();
  bool parse_rest_of_line(ScriptStep::Kind kind);

  int m_line;
  std::u16string_view m_base;
  std::vector<ScriptStep>& m_steps;
  ScriptError& m_error;
  Words m_words;
};

bool LineParser::parse_tap() {
  int32_t x = 0, y = 0;
  uint32_t hold = kTapHoldMs;
  if (!count(2, 3) || !coordinate(1, x) || !coordinate(2, y)) return false;
  if (m_words.words.size() == 4 && !milliseconds(3, kMaxWaitMs, hold)) return false;
  add_pointer(ScriptStep::Kind::press, x, y);
  add_wait(hold);
  add_pointer(ScriptStep::Kind::release, x, y);
  return true;
}

// The element is looked for when the step runs; press and release go where
// it was found.
bool LineParser::parse_tap_target(ScriptStep::Kind find) {
  std::string_view wanted;
  if (find == ScriptStep::Kind::find_id) {
    if (!count(1, 1)) return false;
    wanted = m_words.words[1];
  } else {
    wanted = trim(m_words.rests[0]);
    if (wanted.empty()) return fail("\"taptext\" needs its text");
  }
  add(find).text = from_utf8(wanted);
  add(ScriptStep::Kind::press).at_found = true;
  add_wait(kTapHoldMs);
  add(ScriptStep::Kind::release).at_found = true;
  return true;
}

bool LineParser::parse_wheel() {
  int32_t x = 0, y = 0;
  double steps = 0;
  if (!count(3, 3) || !coordinate(1, x) || !coordinate(2, y) ||
      !decimal(3, -kMaxWheelSteps, kMaxWheelSteps, steps))
    return false;
  if (steps == 0) return fail("a wheel turned 0 notches does nothing");
  ScriptStep& step = add(ScriptStep::Kind::wheel);
  step.x = x;
  step.y = y;
  step.amount = steps;
  return true;
}

// Two fingers side by side about the centre, moving apart or together; the
// farther of their start and end distances is the spread.
bool LineParser::parse_pinch() {
  int32_t x = 0, y = 0;
  double scale = 1;
  uint32_t duration = kDragMs;
  if (!count(3, 4) || !coordinate(1, x) || !coordinate(2, y) ||
      !decimal(3, kMinPinchScale, kMaxPinchScale, scale))
    return false;
  if (m_words.words.size() == 5 && !milliseconds(4, kMaxDragMs, duration)) return false;
  const double start = scale >= 1 ? kPinchSpreadPixels / scale : kPinchSpreadPixels;
  const double end = start * scale;
  auto fingers = [&](ScriptStep::Kind kind, double distance) {
    ScriptStep& step = add(kind);
    step.x = x;
    step.y = y;
    step.amount = distance;
  };
  fingers(ScriptStep::Kind::fingers_down, start);
  const uint32_t moves = std::max<uint32_t>(1, duration / kDragStepMs);
  uint32_t waited = 0;
  for (uint32_t i = 1; i <= moves; ++i) {
    const uint32_t until = static_cast<uint32_t>(uint64_t{duration} * i / moves);
    add_wait(until - waited);
    waited = until;
    fingers(ScriptStep::Kind::fingers_move, i == moves ? end : start + (end - start) * i / moves);
  }
  fingers(ScriptStep::Kind::fingers_up, end);
  return true;
}

bool LineParser::parse_drag() {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  uint32_t duration = kDragMs;
  if (!count(4, 5) || !coordinate(1, x1) || !coordinate(2, y1) || !coordinate(3, x2) ||
      !coordinate(4, y2))
    return false;
  if (m_words.words.size() == 6 && !milliseconds(5, kMaxDragMs, duration)) return false;
  const uint32_t moves = std::max<uint32_t>(1, duration / kDragStepMs);
  add_pointer(ScriptStep::Kind::press, x1, y1);
  uint32_t waited = 0;
  for (uint32_t i = 1; i <= moves; ++i) {
    // Spread the time exactly: the waits add up to the duration.
    const uint32_t until = static_cast<uint32_t>(uint64_t{duration} * i / moves);
    add_wait(until - waited);
    waited = until;
    const int32_t x = x1 + static_cast<int32_t>(int64_t{x2 - x1} * i / moves);
    const int32_t y = y1 + static_cast<int32_t>(int64_t{y2 - y1} * i / moves);
    add_pointer(ScriptStep::Kind::move, x, y);
  }
  add_pointer(ScriptStep::Kind::release, x2, y2);
  return true;
}

bool LineParser::parse_release(std::optional<std::pair<int32_t, int32_t>>& pointer) {
  if (m_words.words.size() == 1) {
    if (!pointer) return fail("\"release\" without a position needs a press or move before it");
    add_pointer(ScriptStep::Kind::release, pointer->first, pointer->second);
    return true;
  }
  int32_t x = 0, y = 0;
  if (!count(2, 2) || !coordinate(1, x) || !coordinate(2, y)) return false;
  add_pointer(ScriptStep::Kind::release, x, y);
  return true;
}

bool LineParser::parse_keydown() {
  int code = 0;
  if (!count(1, 2) || !key(1, code)) return false;
  bool repeat = false;
  if (m_words.words.size() == 3) {
    if (m_words.words[2] != "repeat")
      return fail("\"keydown\" takes \"repeat\" after the key, not \"" +
                  std::string(m_words.words[2]) + "\"");
    repeat = true;
  }
  add_key(ScriptStep::Kind::key_down, code, repeat);
  return true;
}

bool LineParser::parse_rest_of_line(ScriptStep::Kind kind) {
  const std::string_view rest = trim(m_words.rests[0]);
  if (rest.empty()) return fail("\"" + std::string(m_words.words[0]) + "\" needs its text");
  std::u16string text = from_utf8(rest);
  if (kind == ScriptStep::Kind::screenshot && text.front() != u'/' && !m_base.empty())
    text = std::u16string(m_base) + u"/" + text;
  add(kind).text = std::move(text);
  return true;
}

bool LineParser::parse(std::string_view text, std::optional<std::pair<int32_t, int32_t>>& pointer) {
  m_words = split(text);
  const std::string_view step = m_words.words[0];
  using Kind = ScriptStep::Kind;
  int32_t x = 0, y = 0;
  uint32_t ms = 0;
  int code = 0;
  if (step == "wait") {
    if (!count(1, 1) || !milliseconds(1, kMaxWaitMs, ms)) return false;
    add(Kind::wait).ms = ms;
  } else if (step == "idle") {
    uint32_t most = kDefaultIdleMaxMs;
    if (!count(1, 2) || !milliseconds(1, kMaxWaitMs, ms)) return false;
    if (m_words.words.size() == 3 && !milliseconds(2, kMaxWaitMs, most)) return false;
    ScriptStep& idle = add(Kind::idle);
    idle.ms = ms;
    idle.max_ms = most;
  } else if (step == "tap") {
    if (!parse_tap()) return false;
  } else if (step == "press" || step == "move") {
    if (!count(2, 2) || !coordinate(1, x) || !coordinate(2, y)) return false;
    add_pointer(step == "press" ? Kind::press : Kind::move, x, y);
  } else if (step == "release") {
    if (!parse_release(pointer)) return false;
  } else if (step == "drag") {
    if (!parse_drag()) return false;
  } else if (step == "tapid" || step == "taptext") {
    if (!parse_tap_target(step == "tapid" ? Kind::find_id : Kind::find_text)) return false;
  } else if (step == "wheel") {
    if (!parse_wheel()) return false;
  } else if (step == "pinch") {
    if (!parse_pinch()) return false;
  } else if (step == "key") {
    if (!count(1, 1) || !key(1, code)) return false;
    add_key(Kind::key_down, code, false);
    add_key(Kind::key_up, code, false);
  } else if (step == "keydown") {
    if (!parse_keydown()) return false;
  } else if (step == "keyup") {
    if (!count(1, 1) || !key(1, code)) return false;
    add_key(Kind::key_up, code, false);
  } else if (step == "type") {
    if (!parse_rest_of_line(Kind::text)) return false;
  } else if (step == "screenshot") {
    if (!parse_rest_of_line(Kind::screenshot)) return false;
  } else if (step == "resize") {
    int64_t width = 0, height = 0;
    if (!count(2, 2) || !number(1, 1, kMaxSide, width) || !number(2, 1, kMaxSide, height))
      return false;
    add_pointer(Kind::resize, static_cast<int32_t>(width), static_cast<int32_t>(height));
  } else if (step == "close" || step == "quit") {
    if (!count(0, 0)) return false;
    add(step == "close" ? Kind::close : Kind::quit);
  } else {
    return fail("unknown step \"" + std::string(step) + "\"");
  }
  for (auto it = m_steps.rbegin(); it != m_steps.rend(); ++it) {
    if (it->line != m_line) break;
    if (it->kind == Kind::press || it->kind == Kind::move || it->kind == Kind::release) {
      // Where a found element was is known only when the script runs.
      if (it->at_found)
        pointer.reset();
      else
        pointer = std::make_pair(it->x, it->y);
      break;
    }
  }
  return true;
}

}  // namespace

bool parse_script(std::string_view text, std::u16string_view base_folder,
                  std::vector<ScriptStep>& steps, ScriptError& error) {
  std::vector<ScriptStep> parsed;
  std::optional<std::pair<int32_t, int32_t>> pointer;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  int line = 0;
  while (!text.empty() || line == 0) {
    ++line;
    const size_t end = text.find('\n');
    const std::string_view raw = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    const std::string_view content = trim(raw);
    if (content.empty() || content.front() == '#') continue;
    LineParser parser(line, base_folder, parsed, error);
    if (!parser.parse(content, pointer)) return false;
  }
  steps = std::move(parsed);
  return true;
}

bool load_script(std::u16string_view path, std::vector<ScriptStep>& steps, ScriptError& error) {
  std::string bytes;
  if (!read_whole_file(path, bytes, kMaxScriptBytes)) {
    error.line = 0;
    error.message = "cannot read the script (missing, unreadable or over 1 MiB)";
    return false;
  }
  std::u16string folder = folder_of(path);
  while (folder.size() > 1 && (folder.back() == u'/' || folder.back() == u'\\')) folder.pop_back();
  return parse_script(bytes, folder, steps, error);
}

std::string describe(const ScriptError& error, std::u16string_view path) {
  std::string text = to_utf8(path);
  if (error.line > 0) text += ":" + std::to_string(error.line);
  return text + ": " + error.message;
}

}  // namespace lv
