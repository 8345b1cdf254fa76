#include "widgets/element.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "base/log.h"
#include "skin/canvas.h"
#include "skin/properties.h"
#include "skin/rgb565.h"
#include "skin/row_blitter.h"
#include "skin/surface.h"
#include "skin/transition.h"
#include "widgets/skin_values.h"
#include "widgets/widget_exceptions.h"

namespace lv {

namespace {

// Loads nest on the call stack; a tree deeper than the limit (or loads that
// loop back through code, a widget building itself from a named node that
// holds it) stop with an exception instead of overflowing it. Every child
// load and every load_named counts one level.
thread_local uint32_t t_load_depth = 0;

class LoadDepthGuard {
 public:
  explicit LoadDepthGuard(const std::u16string& id) {
    if (t_load_depth >= kMaxLoadDepth) throw jobser::NodeTreeTooDeep(id, kMaxLoadDepth);
    ++t_load_depth;
  }
  ~LoadDepthGuard() { --t_load_depth; }
  LoadDepthGuard(const LoadDepthGuard&) = delete;
  LoadDepthGuard& operator=(const LoadDepthGuard&) = delete;
};

// The pixel that holds a position given in fractions of pixels; NaN and
// values beyond the range go to the nearest end.
int32_t pixel_of(double position) {
  if (!(position > double(INT32_MIN))) return INT32_MIN;
  if (!(position < double(INT32_MAX))) return INT32_MAX;
  return static_cast<int32_t>(std::floor(position));
}

Point offset_point(Point origin, Point child, Point parent) {
  return {clamp_to_int32(int64_t{origin.x} + child.x - parent.x),
          clamp_to_int32(int64_t{origin.y} + child.y - parent.y)};
}

}  // namespace

Element::Element() = default;

Element::~Element() {
  if (m_parent) {
    const size_t index = m_parent->index_of(*this);
    // The parent hands back the ownership it held; this object is already
    // being destroyed.
    if (index < m_parent->child_count()) m_parent->remove_child(*this, index).release();
  }
  for (auto& child : m_children) {
    child->m_parent = nullptr;
    child.reset();
  }
}

// --- Children ---------------------------------------------------------------

std::unique_ptr<Element> Element::remove_child(Element& child, size_t index) {
  if (index >= m_children.size() || m_children[index].get() != &child) {
    index = index_of(child);
    if (index >= m_children.size()) return nullptr;
  }
  if (m_pointer_capture == &child) m_pointer_capture = nullptr;
  if (m_pinch_capture == &child) m_pinch_capture = nullptr;
  invalidate_layout();
  std::unique_ptr<Element> owned = std::move(m_children[index]);
  m_children.erase(m_children.begin() + static_cast<ptrdiff_t>(index));
  owned->m_parent = nullptr;
  return owned;
}

void Element::insert_child(std::unique_ptr<Element> child, size_t index, const Properties*,
                           const SkinNode*, std::u16string_view) {
  if (!child) return;
  Element& added = *child;
  added.m_parent = this;
  const bool was_visible = added.effectively_visible();
  const bool was_enabled = added.effectively_enabled();
  added.m_parent_enabled = effectively_enabled();
  added.m_parent_visible = effectively_visible();
  // No notifications here, but the flags below must agree with the new
  // ancestors, or a hidden subtree would think itself shown.
  if (added.effectively_visible() != was_visible) added.propagate_visibility();
  if (added.effectively_enabled() != was_enabled) added.propagate_enabled();
  index = std::min(index, m_children.size());
  m_children.insert(m_children.begin() + static_cast<ptrdiff_t>(index), std::move(child));
  invalidate_layout();
}

void Element::add_child(std::unique_ptr<Element> child) {
  insert_child(std::move(child), m_children.size(), nullptr, nullptr, {});
}

std::unique_ptr<Element> Element::take_child(Element& child) {
  const size_t index = index_of(child);
  if (index >= m_children.size()) return nullptr;
  return remove_child(child, index);
}

void Element::destroy_children() {
  // Through remove_child, last first, so that containers keeping records per
  // child stay in step.
  while (!m_children.empty()) {
    const size_t last = m_children.size() - 1;
    std::unique_ptr<Element> gone = remove_child(*m_children[last], last);
    if (!gone) {  // a remove_child that refused: drop the entry ourselves
      m_children[last]->m_parent = nullptr;
      m_children.pop_back();
    }
  }
  m_pointer_capture = nullptr;
  m_pinch_capture = nullptr;
}

size_t Element::index_of(const Element& child) const {
  for (size_t i = 0; i < m_children.size(); ++i)
    if (m_children[i].get() == &child) return i;
  return m_children.size();
}

Element& Element::root() {
  Element* e = this;
  while (e->m_parent) e = e->m_parent;
  return *e;
}

Element* Element::find_by_id(std::u16string_view id) const {
  for (const auto& child : m_children)
    if (child->m_id == id) return child.get();
  for (const auto& child : m_children)
    if (Element* found = child->find_by_id(id)) return found;
  return nullptr;
}

Element& Element::find_required(std::u16string_view id) const {
  Element* found = find_by_id(id);
  if (!found) throw jobser::NodeNotFound(m_id, std::u16string(id));
  return *found;
}

// --- Loading ----------------------------------------------------------------

void Element::load(const Properties& properties, const SkinNode* node) {
  m_id = read_string(properties, node, u"id");

  m_anchor_x = anchor_mode_from_name(read_string(properties, node, u"anchor_x"));
  m_anchor_y = anchor_mode_from_name(read_string(properties, node, u"anchor_y"));

  // The groups below are read only when the node has values of their kind;
  // otherwise they take their defaults (which matters when a tree is
  // rebuilt from another skin).
  m_border_min = {};
  m_design_size = {};
  m_border_max = {};
  if (properties.value_count(node, skin_format::Section::point) > 0) {
    m_border_min = properties.get_point(node, u"border_min", {});
    const Point design = properties.get_point(node, u"design_size", {});
    m_design_size = {design.x, design.y};
    m_border_max = properties.get_point(node, u"border_max", {});
  }
  m_cache = false;
  m_cache_blitter.reset();
  if (properties.value_count(node, skin_format::Section::integer) > 0) {
    m_cache = properties.get_integer(node, u"cache", 0) != 0;
    if (m_cache)
      m_cache_blitter = blitter_for_cache_alpha(properties.get_integer(node, u"cache_alpha", -1));
  }
  if (!m_cache) m_cache_surface.recreate(0, 0);

  load_children(properties, node);

  const std::u16string animation = read_string(properties, node, u"visibility_animation");
  m_visibility_animation = animation.empty() ? nullptr : make_transition(animation);
}

void Element::load_children(const Properties& properties, const SkinNode* node) {
  const uint32_t count = properties.child_count(node);
  m_children.reserve(m_children.size() + count);
  const NodeTypeRegistry& registry = NodeTypeRegistry::instance();
  for (uint32_t i = 0; i < count; ++i) {
    const SkinNode* child_node = properties.child(node, i);
    if (!child_node) continue;
    const std::u16string type = read_string(properties, child_node, u"type");
    std::unique_ptr<Element> child = registry.create(type);
    if (!child) continue;
    {
      const LoadDepthGuard depth(m_id);
      child->load(properties, child_node);
    }
    insert_child(std::move(child), m_children.size(), &properties, child_node, type);
  }
}

bool Element::load_named(const Properties& properties, std::u16string_view name) {
  const SkinNode* node = properties.find_node(name);
  if (!node) return false;
  const LoadDepthGuard depth(m_id);
  destroy_children();
  load(properties, node);
  invalidate_layout();
  return true;
}

void Element::dump(int32_t indent) const {
  Logger& out = log();
  for (int32_t i = 0; i < indent; ++i) out << u"\t";
  const Size cached = m_cache_surface.size();
  out << u"{" << m_id << u"} position=" << m_position.x << u" " << m_position.y << u" size="
      << m_size.width << u" " << m_size.height << u" design_size=" << m_design_size.width << u" "
      << m_design_size.height << u" rs.size=" << cached.width << u" " << cached.height << u"\n";
  for (const auto& child : m_children) child->dump(indent + 1);
}

void Element::set_text_by_id(std::u16string_view id, std::u16string_view text) {
  for (size_t i = 0; i < m_children.size(); ++i) m_children[i]->set_text_by_id(id, text);
}

// --- Visibility and enabled state --------------------------------------------

void Element::set_visible(bool visible) {
  if (visible == m_visible) return;
  const bool was = effectively_visible();
  m_visible = visible;
  if (effectively_visible() != was) on_visibility_changed(effectively_visible());
  mark_redraw();
  if (m_parent) m_parent->on_child_visibility_changed();
}

void Element::set_enabled(bool enabled) {
  if (enabled == m_enabled) return;
  const bool was = effectively_enabled();
  m_enabled = enabled;
  if (effectively_enabled() != was) on_enabled_changed(effectively_enabled());
  mark_redraw();
}

void Element::propagate_visibility() {
  const bool shown = effectively_visible();
  for (size_t i = 0; i < m_children.size(); ++i) {
    Element& child = *m_children[i];
    const bool was = child.effectively_visible();
    child.m_parent_visible = shown;
    if (child.effectively_visible() != was)
      child.on_visibility_changed(child.effectively_visible());
  }
}

void Element::propagate_enabled() {
  const bool on = effectively_enabled();
  for (size_t i = 0; i < m_children.size(); ++i) {
    Element& child = *m_children[i];
    const bool was = child.effectively_enabled();
    child.m_parent_enabled = on;
    if (child.effectively_enabled() != was) child.on_enabled_changed(child.effectively_enabled());
  }
}

void Element::on_visibility_changed(bool shown) {
  propagate_visibility();
  mark_redraw();
  if (!shown) {
    m_cache_surface.recreate(0, 0);
    cancel_pointer_capture();
    cancel_pinch_capture();
  }
}

void Element::on_enabled_changed(bool) {
  propagate_enabled();
  mark_redraw();
}

void Element::on_child_visibility_changed() {}

void Element::show_animated(bool show) {
  if (show == m_visible) return;
  if (show) set_visible(true);
  if (m_visibility_animation) {
    if (!m_visibility_animation->running()) {
      // The picture must show the element at its final place and size.
      Element& top = root();
      top.set_x_width(top.m_position.x, top.m_size.width);
      top.set_y_height(top.m_position.y, top.m_size.height);
      RenderSurface& picture = cached_surface();
      m_visibility_animation->start(
          nullptr, show ? Transition::Direction::forward : Transition::Direction::backward,
          &picture, m_cache_blitter ? m_cache_blitter->clone() : nullptr);
    } else {
      m_visibility_animation->reverse();
    }
    mark_redraw();
  }
  if (!show) set_visible(false);
}

bool Element::animating() const {
  return m_visibility_animation && m_visibility_animation->running();
}

void Element::on_timer(double seconds) {
  if (animating()) {
    m_visibility_animation->advance(seconds);
    mark_redraw();
    return;
  }
  for (size_t i = 0; i < m_children.size(); ++i) m_children[i]->on_timer(seconds);
}

// --- Pointer and keys --------------------------------------------------------

bool Element::hit_test(Point point) const {
  return point.x >= m_position.x && int64_t{point.x} < int64_t{m_position.x} + m_size.width &&
         point.y >= m_position.y && int64_t{point.y} < int64_t{m_position.y} + m_size.height;
}

void Element::on_pointer_move(const PointerEvent& event) {
  if (m_pointer_capture) m_pointer_capture->on_pointer_move(event);
}

bool Element::on_pointer_button(const PointerEvent& event) {
  if (Element* captured = m_pointer_capture) {
    // The handler may rebuild the tree; nothing of this object is used after
    // a release is passed on.
    if (!event.pressed || event.cancelled) m_pointer_capture = nullptr;
    captured->on_pointer_button(event);
    return true;
  }
  const Point point{event.x, event.y};
  for (size_t i = m_children.size(); i-- > 0;) {
    if (i >= m_children.size()) continue;
    Element* candidate = m_children[i].get();
    if (!candidate->hit_test(point) || !candidate->effectively_visible() ||
        !candidate->effectively_enabled())
      continue;
    if (candidate->on_pointer_button(event)) {
      if (event.pressed && !event.cancelled) m_pointer_capture = candidate;
      return true;
    }
  }
  return false;
}

void Element::cancel_pointer_capture() {
  Element* captured = m_pointer_capture;
  if (!captured) return;
  m_pointer_capture = nullptr;
  PointerEvent cancel;
  cancel.cancelled = 1;
  captured->on_pointer_button(cancel);
}

bool Element::on_wheel(const WheelEvent& event) {
  const Point point{event.x, event.y};
  for (size_t i = m_children.size(); i-- > 0;) {
    if (i >= m_children.size()) continue;
    Element* candidate = m_children[i].get();
    if (!candidate->hit_test(point) || !candidate->effectively_visible() ||
        !candidate->effectively_enabled())
      continue;
    if (candidate->on_wheel(event)) return true;
  }
  return false;
}

bool Element::on_pinch(const PinchEvent& event) {
  if (event.phase != PinchEvent::Phase::begin) {
    Element* captured = m_pinch_capture;
    if (!captured) return false;
    // As with the pointer: nothing of this object is used after the end is
    // passed on.
    if (event.phase == PinchEvent::Phase::end) m_pinch_capture = nullptr;
    captured->on_pinch(event);
    return true;
  }
  // A begin without the end of the last gesture starts afresh.
  m_pinch_capture = nullptr;
  const Point point{pixel_of(event.x), pixel_of(event.y)};
  for (size_t i = m_children.size(); i-- > 0;) {
    if (i >= m_children.size()) continue;
    Element* candidate = m_children[i].get();
    if (!candidate->hit_test(point) || !candidate->effectively_visible() ||
        !candidate->effectively_enabled())
      continue;
    if (candidate->on_pinch(event)) {
      m_pinch_capture = candidate;
      return true;
    }
  }
  return false;
}

void Element::cancel_pinch_capture() {
  Element* captured = m_pinch_capture;
  if (!captured) return;
  m_pinch_capture = nullptr;
  PinchEvent end;
  end.phase = PinchEvent::Phase::end;
  captured->on_pinch(end);
}

bool Element::on_key(const KeyEvent&) {
  return false;
}

bool Element::on_char(std::u16string_view) {
  return false;
}

// --- Layout -----------------------------------------------------------------

void Element::mark_redraw() {
  for (Element* e = this; e; e = e->m_parent) e->m_needs_redraw = true;
}

void Element::invalidate_layout() {
  for (Element* e = this; e; e = e->m_parent) {
    e->m_width_measured = false;
    e->m_height_measured = false;
    e->m_needs_layout = true;
    e->m_needs_redraw = true;
  }
}

void Element::set_anchors(AnchorMode x, AnchorMode y) {
  m_anchor_x = x;
  m_anchor_y = y;
  invalidate_layout();
}

void Element::set_borders(Point border_min, Point border_max) {
  m_border_min = border_min;
  m_border_max = border_max;
  invalidate_layout();
}

void Element::set_design_size(Size size) {
  m_design_size = size;
  invalidate_layout();
}

Rect Element::rect() const {
  return {m_position.x, m_position.y, saturating_add(m_position.x, m_size.width),
          saturating_add(m_position.y, m_size.height)};
}

SizeRange Element::width_range() {
  if (!m_width_measured) {
    SizeRange range;
    measure_width(range);
    m_width_cache = range;
    m_width_measured = true;
  }
  return m_width_cache;
}

SizeRange Element::height_range() {
  if (!m_height_measured) {
    SizeRange range;
    measure_height(range);
    m_height_cache = range;
    m_height_measured = true;
  }
  return m_height_cache;
}

void Element::measure_width(SizeRange& range) {
  range.preferred = std::max(range.preferred, m_design_size.width);
  range.minimum = std::max(range.minimum, m_design_size.width);
  for (const auto& child : m_children) {
    const SizeRange r = child->width_range();
    const int32_t need =
        anchor_need(child->m_anchor_x, child->m_border_min.x, r.preferred, child->m_border_max.x);
    range.preferred = std::max(range.preferred, need);
    range.minimum =
        std::max(range.minimum, clamp_to_int32(int64_t{r.minimum} - r.preferred + need));
  }
}

void Element::measure_height(SizeRange& range) {
  range.preferred = std::max(range.preferred, m_design_size.height);
  range.minimum = std::max(range.minimum, m_design_size.height);
  for (const auto& child : m_children) {
    const SizeRange r = child->height_range();
    const int32_t need =
        anchor_need(child->m_anchor_y, child->m_border_min.y, r.preferred, child->m_border_max.y);
    range.preferred = std::max(range.preferred, need);
    range.minimum =
        std::max(range.minimum, clamp_to_int32(int64_t{r.minimum} - r.preferred + need));
  }
}

void Element::place_child_x(Element& child) {
  const SizeRange r = child.width_range();
  const int32_t width = anchor_size(child.m_anchor_x, m_size.width, child.m_border_min.x,
                                    r.preferred, child.m_border_max.x);
  const int32_t offset = anchor_offset(child.m_anchor_x, m_size.width, child.m_border_min.x, width,
                                       child.m_border_max.x);
  child.set_x_width(saturating_add(m_position.x, offset), width);
}

void Element::place_child_y(Element& child) {
  const SizeRange r = child.height_range();
  const int32_t height = anchor_size(child.m_anchor_y, m_size.height, child.m_border_min.y,
                                     r.preferred, child.m_border_max.y);
  const int32_t offset = anchor_offset(child.m_anchor_y, m_size.height, child.m_border_min.y,
                                       height, child.m_border_max.y);
  child.set_y_height(saturating_add(m_position.y, offset), height);
}

void Element::layout_children_x() {
  for (size_t i = 0; i < m_children.size(); ++i) place_child_x(*m_children[i]);
}

void Element::layout_children_y() {
  for (size_t i = 0; i < m_children.size(); ++i) place_child_y(*m_children[i]);
}

void Element::set_x_width(int32_t x, int32_t width) {
  width = std::max(width, 0);
  if (x == m_position.x && width == m_size.width && !m_needs_layout) return;
  // A new width can change the height (wrapped text); a move cannot.
  if (width != m_size.width) m_height_measured = false;
  m_position.x = x;
  m_size.width = width;
  m_needs_layout = true;  // so that the y step that follows runs
  m_needs_redraw = true;
  if (m_size_listener) m_size_listener->width_set(*this, width);
  layout_children_x();
}

void Element::set_y_height(int32_t y, int32_t height) {
  height = std::max(height, 0);
  if (y == m_position.y && height == m_size.height && !m_needs_layout) return;
  m_position.y = y;
  m_size.height = height;
  m_needs_layout = false;
  m_needs_redraw = true;
  if (m_size_listener) m_size_listener->height_set(*this, height);
  layout_children_y();
}

// --- Drawing ----------------------------------------------------------------

void Element::draw(Canvas& target, Point origin) {
  for (size_t i = 0; i < m_children.size(); ++i) {
    Element& child = *m_children[i];
    child.draw_element(target, offset_point(origin, child.m_position, m_position));
  }
}

void Element::draw_element(Canvas& target, Point origin) {
  if (animating()) {
    m_visibility_animation->draw(target, origin);
    return;
  }
  if (!m_visible) return;
  if (m_cache) {
    const RenderSurface& picture = cached_surface();
    if (m_cache_blitter)
      picture.draw_onto(target, origin, *m_cache_blitter);
    else
      picture.draw_onto(target, origin, CopyBlitter());
  } else {
    draw(target, origin);
  }
  m_needs_redraw = false;
}

RenderSurface& Element::cached_surface() {
  if (m_cache && !m_needs_redraw && m_cache_surface.size() == m_size) return m_cache_surface;
  m_cache_surface.recreate(m_size.width, m_size.height);
  if (Surface* surface = m_cache_surface.surface()) {
    surface->fill(rgb565::kKey);
    draw(m_cache_surface, {0, 0});
  }
  return m_cache_surface;
}

}  // namespace lv
