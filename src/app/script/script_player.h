#pragma once

// Plays scripted input: each step's events go into the window's event queue
// as the devices would send them, followed by a marker. The next step waits
// until the marker comes back through the loop, so every step sees the
// effect of the one before; screenshots are taken at their marker, after
// whatever waits to be drawn has been drawn. The end of the script (or its
// "quit") ends the program. A tap on an element named by its id or its
// text looks the element up when the step runs, through the finder; one
// that is not there is a script error, which ends the program at once.
// After any error (a script that cannot be read, a screenshot that cannot
// be written, an element not found) the program's exit status says so.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "app/script/input_script.h"
#include "app/script/script_targets.h"
#include "skin/geometry.h"

namespace lv {

class MainWindow;

class ScriptPlayer {
 public:
  ScriptPlayer(MainWindow& window, std::vector<ScriptStep> steps);

  // The script named by LUMIVIEW_SCRIPT, or none when it is unset. A script
  // that cannot be read or parsed is reported (log and standard error, with
  // the line) and gives a player that quits at once, so an unattended run
  // never waits for input that will not come.
  static std::unique_ptr<ScriptPlayer> from_environment(MainWindow& window);

  // Where the element a step names is on the screen now; none when no
  // visible element is it.
  using TargetFinder = std::function<std::optional<Point>(ScriptTarget, std::u16string_view)>;
  void set_target_finder(TargetFinder finder) { m_finder = std::move(finder); }

  // Runs the steps that are due.
  void advance(uint32_t now);
  // Milliseconds until a step is due; -1 while a marker is awaited or the
  // script has ended.
  int ms_until_due(uint32_t now) const;
  void on_marker(uint32_t id);

  bool done() const { return m_done; }
  int screenshots_written() const { return m_written; }
  int failures() const { return m_failures; }
  // 1 after any error of the script, else 0.
  int exit_status() const { return m_failures > 0 ? 1 : 0; }

 private:
  bool inject(const ScriptStep& step);
  bool inject_fingers(const ScriptStep& step);
  // False, having reported it and ended the script, when there is no such
  // element.
  bool find(const ScriptStep& step);
  bool idle_over(const ScriptStep& step, uint32_t now);
  void take_screenshot(const ScriptStep& step);
  void report(const ScriptStep& step, const std::string& message);
  void finish();

  MainWindow& m_window;
  TargetFinder m_finder;
  std::vector<ScriptStep> m_steps;
  size_t m_index = 0;
  bool m_started = false;
  bool m_waiting = false;
  bool m_done = false;
  uint32_t m_due = 0;

  bool m_idling = false;
  uint32_t m_idle_start = 0;
  uint32_t m_quiet_since = 0;
  uint64_t m_idle_frames = 0;

  Point m_found;

  int m_written = 0;
  int m_failures = 0;
};

}  // namespace lv
