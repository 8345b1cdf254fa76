#pragma once

// The application's screens in stacking order. The last entry is the
// current screen: it gets the time, the keys and the stylus. A screen
// added as an overlay leaves the screens below it drawn, so what is drawn is
// every screen from the last one that is not an overlay up; the screens
// below that are hidden. A change made with animation, when the screen
// involved has a visibility animation in its skin, is played as a
// transition between a picture of the stack before and one after; while it
// runs the screens get no time. Not owning: a screen leaves the stack
// before it is destroyed.

#include <cstddef>
#include <memory>
#include <vector>

#include "skin/color.h"
#include "skin/geometry.h"
#include "widgets/screen_host.h"

namespace lv {

class RenderSurface;
class ScreenRoot;
class Transition;

class ScreenStack {
 public:
  ScreenStack();
  ~ScreenStack();
  ScreenStack(const ScreenStack&) = delete;
  ScreenStack& operator=(const ScreenStack&) = delete;

  // Puts the screen on top, sized to the client area (a screen already on
  // the stack moves to the top).
  void add(ScreenRoot& screen, ScreenLayer layer, ScreenAnimation animation, Size client);
  // False, changing nothing, when the screen is not on the stack.
  bool remove(ScreenRoot& screen, ScreenAnimation animation, Size client);

  // Forgets every screen without touching it.
  void clear();

  ScreenRoot* current() const;
  bool contains(const ScreenRoot& screen) const;
  size_t size() const { return m_entries.size(); }
  bool empty() const { return m_entries.empty(); }
  ScreenRoot& at(size_t index) const { return *m_entries[index].screen; }
  bool overlay_at(size_t index) const { return m_entries[index].layer == ScreenLayer::overlay; }
  // Index of the lowest screen drawn (0 on an empty stack).
  size_t first_drawn() const;

  // One step of time: a running transition first, else the current screen,
  // laid out at the client size.
  void update(double seconds, Size client);
  // True when the next frame would differ from the last one drawn.
  bool needs_redraw() const;
  // The next frame draws everything.
  void redraw_all() { m_redraw_all = true; }
  bool redraw_all_pending() const { return m_redraw_all; }
  bool transition_running() const;

  // Fills the target with the background and draws the stack (or the
  // running transition) over it.
  void render(RenderSurface& target, Size client, Color background);

 private:
  struct Entry {
    ScreenRoot* screen;
    ScreenLayer layer;
  };

  void show_drawn_screens();
  void draw_screens(RenderSurface& target, Size client, Color background);
  // A picture of the stack as it stands, for a transition.
  void snapshot(RenderSurface& into, Size client);
  void start_transition(const Transition& kind, RenderSurface& before, Size client, bool backward);

  std::vector<Entry> m_entries;
  std::unique_ptr<Transition> m_transition;
  bool m_redraw_all = true;
};

}  // namespace lv
