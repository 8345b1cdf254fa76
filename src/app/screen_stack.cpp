#include "app/screen_stack.h"

#include <algorithm>

#include "skin/render_surface.h"
#include "skin/rgb565.h"
#include "skin/row_blitter.h"
#include "skin/surface.h"
#include "skin/transition.h"
#include "widgets/screen_root.h"

namespace lv {

ScreenStack::ScreenStack() = default;
ScreenStack::~ScreenStack() = default;

void ScreenStack::clear() {
  m_entries.clear();
  m_transition.reset();
}

ScreenRoot* ScreenStack::current() const {
  return m_entries.empty() ? nullptr : m_entries.back().screen;
}

bool ScreenStack::contains(const ScreenRoot& screen) const {
  return std::any_of(m_entries.begin(), m_entries.end(),
                     [&](const Entry& entry) { return entry.screen == &screen; });
}

size_t ScreenStack::first_drawn() const {
  for (size_t i = m_entries.size(); i > 0; --i)
    if (m_entries[i - 1].layer == ScreenLayer::replace) return i - 1;
  return 0;
}

void ScreenStack::show_drawn_screens() {
  const size_t first = first_drawn();
  for (size_t i = 0; i < m_entries.size(); ++i) m_entries[i].screen->set_visible(i >= first);
}

void ScreenStack::add(ScreenRoot& screen, ScreenLayer layer, ScreenAnimation animation,
                      Size client) {
  const Transition* kind =
      animation == ScreenAnimation::animated ? screen.visibility_animation() : nullptr;
  RenderSurface before;
  if (kind) snapshot(before, client);

  std::erase_if(m_entries, [&](const Entry& entry) { return entry.screen == &screen; });
  m_entries.push_back({&screen, layer});
  show_drawn_screens();
  screen.layout(client);
  m_redraw_all = true;

  if (kind) start_transition(*kind, before, client, false);
}

bool ScreenStack::remove(ScreenRoot& screen, ScreenAnimation animation, Size client) {
  const auto found = std::find_if(m_entries.begin(), m_entries.end(),
                                  [&](const Entry& entry) { return entry.screen == &screen; });
  if (found == m_entries.end()) return false;

  // The screen that comes to the top shows itself with its own animation;
  // without one, the leaving screen's animation is played backwards.
  const Transition* kind = nullptr;
  bool backward = false;
  const bool drawn = size_t(found - m_entries.begin()) >= first_drawn();
  if (animation == ScreenAnimation::animated && drawn) {
    const bool was_top = found + 1 == m_entries.end();
    if (was_top && m_entries.size() > 1) kind = (found - 1)->screen->visibility_animation();
    if (!kind) {
      kind = screen.visibility_animation();
      backward = true;
    }
  }
  RenderSurface before;
  if (kind) snapshot(before, client);

  m_entries.erase(found);
  show_drawn_screens();
  m_redraw_all = true;

  if (kind) start_transition(*kind, before, client, backward);
  return true;
}

void ScreenStack::snapshot(RenderSurface& into, Size client) {
  into.recreate(client.width, client.height);
  if (!into.surface()) return;
  draw_screens(into, client, Color{0, 0, 0, 255});
}

void ScreenStack::start_transition(const Transition& kind, RenderSurface& before, Size client,
                                   bool backward) {
  m_transition.reset();
  if (!before.surface()) return;
  RenderSurface after;
  snapshot(after, client);
  if (!after.surface()) return;
  m_transition = kind.clone();
  // Both pictures cover the whole client area: copied as they are.
  if (backward)
    m_transition->start(&after, Transition::Direction::backward, &before,
                        blitter_for_cache_alpha(-1));
  else
    m_transition->start(&before, Transition::Direction::forward, &after,
                        blitter_for_cache_alpha(-1));
}

bool ScreenStack::transition_running() const {
  return m_transition && m_transition->running();
}

void ScreenStack::update(double seconds, Size client) {
  if (m_transition) {
    m_transition->advance(seconds);
    if (m_transition->finished()) {
      m_transition.reset();
      m_redraw_all = true;
    }
    return;
  }
  ScreenRoot* screen = current();
  if (!screen) return;
  screen->layout(client);
  screen->on_timer(seconds);
}

bool ScreenStack::needs_redraw() const {
  if (m_redraw_all || transition_running()) return true;
  for (size_t i = first_drawn(); i < m_entries.size(); ++i)
    if (m_entries[i].screen->pending_change()) return true;
  return false;
}

void ScreenStack::draw_screens(RenderSurface& target, Size client, Color background) {
  target.surface()->fill(rgb565::from_rgb888(background.red, background.green, background.blue));
  for (size_t i = first_drawn(); i < m_entries.size(); ++i) {
    ScreenRoot& screen = *m_entries[i].screen;
    screen.layout(client);
    screen.draw_element(target, {0, 0});
  }
}

void ScreenStack::render(RenderSurface& target, Size client, Color background) {
  if (!target.surface()) return;
  m_redraw_all = false;
  if (transition_running()) {
    target.surface()->fill(rgb565::from_rgb888(background.red, background.green, background.blue));
    m_transition->draw(target, {0, 0});
    return;
  }
  draw_screens(target, client, background);
}

}  // namespace lv
