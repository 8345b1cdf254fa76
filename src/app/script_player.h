#pragma once

// Plays scripted input: each step's events go into the window's event queue
// as the devices would send them, followed by a marker. The next step waits
// until the marker comes back through the loop, so every step sees the
// effect of the one before; screenshots are taken at their marker, after
// whatever waits to be drawn has been drawn. The end of the script (or its
// "quit") ends the program.

#include <cstdint>
#include <memory>
#include <vector>

#include "app/input_script.h"

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

  // Runs the steps that are due.
  void advance(uint32_t now);
  // Milliseconds until a step is due; -1 while a marker is awaited or the
  // script has ended.
  int ms_until_due(uint32_t now) const;
  void on_marker(uint32_t id);

  bool done() const { return m_done; }
  int screenshots_written() const { return m_written; }
  int failures() const { return m_failures; }

 private:
  bool inject(const ScriptStep& step);
  bool idle_over(const ScriptStep& step, uint32_t now);
  void take_screenshot(const ScriptStep& step);
  void report(const ScriptStep& step, const std::string& message);
  void finish();

  MainWindow& m_window;
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

  int m_written = 0;
  int m_failures = 0;
};

}  // namespace lv
