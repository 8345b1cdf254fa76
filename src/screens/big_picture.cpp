#include "screens/big_picture.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "screens/tile_cache.h"
#include "skin/blit.h"
#include "skin/canvas.h"
#include "skin/properties.h"
#include "skin/rgb565.h"
#include "skin/row_blitter.h"
#include "skin/surface.h"
#include "skin/text.h"
#include "widgets/color_element.h"
#include "widgets/skin_values.h"

namespace lv {

namespace {

// A tile drawn larger than this is not worth its sampling error (and the
// stretch's fixed-point step would run out of precision).
constexpr double kMaxTileOnScreen = 16384;
// Zoom values this close count as equal: the level is the zoom rounded up,
// and 2.0000000001 must stay level 2.
constexpr double kZoomEpsilon = 1e-6;

int32_t round_px(double v) {
  if (!(v > -1e9)) return -1000000000;
  if (!(v < 1e9)) return 1000000000;
  return static_cast<int32_t>(std::floor(v + 0.5));
}

Rect intersect(const Rect& a, const Rect& b) {
  Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.empty()) return {};
  return r;
}

int32_t level_side(int32_t full, int shift, bool round_up) {
  if (full <= 0) return 0;
  if (shift <= 0) return full;
  if (shift >= 31) return 1;
  const int64_t divisor = int64_t{1} << shift;
  const int64_t side = round_up ? (full + divisor - 1) / divisor : full / divisor;
  return static_cast<int32_t>(std::max<int64_t>(1, side));
}

int32_t ceil_div(int32_t a, int32_t b) {
  return b > 0 ? static_cast<int32_t>((int64_t{a} + b - 1) / b) : 0;
}

// Black or white, whichever reads on the colour.
Color contrasting(Color c) {
  const int luma = 299 * c.red + 587 * c.green + 114 * c.blue;
  return luma > 128000 ? Color{0, 0, 0, 255} : Color{255, 255, 255, 255};
}

}  // namespace

BigPictureType::BigPictureType(NodeTypeRegistry& registry) : m_registry(registry) {
  m_registry.register_type(u"bigpicture", [] { return std::make_unique<BigPictureElement>(); });
}

BigPictureType::~BigPictureType() {
  m_registry.unregister_type(u"bigpicture");
}

int top_level_for(Size size, Size tile) {
  if (size.width <= 0 || size.height <= 0 || tile.width <= 0 || tile.height <= 0) return 0;
  const int32_t columns = ceil_div(size.width, tile.width);
  const int32_t rows = ceil_div(size.height, tile.height);
  int top = 0;
  while ((int64_t{1} << top) < columns || (int64_t{1} << top) < rows) ++top;
  return top;
}

TileGrid tile_grid(const PictureDescription& picture, int top_level, int level) {
  TileGrid grid;
  const int shift = picture.pyramid ? top_level - level : 0;
  grid.level_size = {level_side(picture.size.width, shift, picture.round_up),
                     level_side(picture.size.height, shift, picture.round_up)};
  grid.columns = ceil_div(grid.level_size.width, picture.tile.width);
  grid.rows = ceil_div(grid.level_size.height, picture.tile.height);
  if (picture.partial_first_x)
    grid.origin.x = grid.level_size.width - grid.columns * picture.tile.width;
  if (picture.partial_first_y)
    grid.origin.y = grid.level_size.height - grid.rows * picture.tile.height;
  return grid;
}

// From top-level picture pixels to screen pixels and back.
struct BigPictureElement::ViewMap {
  double scale = 1;  // screen pixels per top-level pixel
  double vx = 0;     // the view centre on the screen
  double vy = 0;
  double cx = 0;  // the view centre in the picture
  double cy = 0;

  double sx(double x) const { return vx + (x - cx) * scale; }
  double sy(double y) const { return vy + (y - cy) * scale; }
  double px(double x) const { return cx + (x - vx) / scale; }
  double py(double y) const { return cy + (y - vy) / scale; }
};

BigPictureElement::BigPictureElement() : m_empty_font(default_font()) {}

BigPictureElement::~BigPictureElement() {
  if (m_view_listener) m_view_listener->view_destroyed(*this);
  if (m_tile_listener) m_tile_listener->tile_listener_destroyed(*this);
}

void BigPictureElement::load(const Properties& properties, const SkinNode* node) {
  Element::load(properties, node);
  m_empty_color = properties.get_color(node, u"empty_color", Color{0, 0, 0, 255});
  m_empty_font = properties.get_font(node, u"empty_font", default_font());
  m_empty_text = read_text(properties, node, u"empty_text");
}

// --- Picture ------------------------------------------------------------------

void BigPictureElement::describe(const PictureDescription& picture, uint64_t key) {
  m_picture = picture;
  if (m_picture.tile.width <= 0 || m_picture.tile.height <= 0) m_picture.tile = {256, 256};
  m_key = key;
  m_top_level = m_picture.pyramid ? top_level_for(m_picture.size, m_picture.tile) : 0;
  m_picture.lowest_level = std::clamp(m_picture.lowest_level, 0, m_top_level);
  m_initial = false;
  m_fling_speed = 0;
  m_fling_direction = {};
  m_slide.reset();
  m_anchor_screen.reset();
  {
    std::lock_guard lock(m_wanted_lock);
    m_wanted.clear();
  }
  set_zoom(0);
  centre_picture();
}

// --- View ---------------------------------------------------------------------

double BigPictureElement::scale() const {
  return std::exp2(m_zoom - m_top_level);
}

void BigPictureElement::set_level_from_zoom() {
  const int level = static_cast<int>(std::ceil(m_zoom - kZoomEpsilon));
  m_level = std::clamp(level, m_picture.lowest_level, m_top_level);
}

void BigPictureElement::set_zoom(double zoom) {
  m_zoom = m_target_zoom = zoom;
  m_anchor_screen.reset();
  set_level_from_zoom();
  mark_redraw();
}

void BigPictureElement::zoom_to(double target, std::optional<Point> anchor) {
  m_target_zoom = target;
  m_anchor_screen = anchor;
  if (anchor) {
    const ViewMap map = view_map();
    m_anchor_picture = {map.px(anchor->x), map.py(anchor->y)};
  }
  mark_redraw();
}

void BigPictureElement::zoom_at(double zoom, PointD at, bool settle) {
  const ViewMap before = view_map();
  const PointD picture{before.px(at.x), before.py(at.y)};
  m_zoom = m_target_zoom = zoom;
  m_anchor_screen.reset();
  const double s = scale();
  m_centre = {picture.x - (at.x - before.vx) / s, picture.y - (at.y - before.vy) / s};
  if (settle) set_level_from_zoom();
  notify_moved();
}

void BigPictureElement::set_centre(PointD centre) {
  if (centre == m_centre) return;
  m_centre = centre;
  mark_redraw();
}

void BigPictureElement::centre_picture() {
  set_centre({m_picture.size.width / 2.0, m_picture.size.height / 2.0});
}

void BigPictureElement::set_view_area(const Rect& area) {
  if (area == m_view_area) return;
  m_view_area = area;
  mark_redraw();
}

Rect BigPictureElement::view_area() const {
  if (!m_view_area.empty()) return m_view_area;
  const Point p = position();
  const Size s = size();
  return {p.x, p.y, saturating_add(p.x, s.width), saturating_add(p.y, s.height)};
}

BigPictureElement::ViewMap BigPictureElement::view_map() const {
  const Rect area = view_area();
  ViewMap map;
  map.scale = scale();
  map.vx = area.left + area.width() / 2.0;
  map.vy = area.top + area.height() / 2.0;
  map.cx = m_centre.x;
  map.cy = m_centre.y;
  return map;
}

// Where the centre may lie along one axis: a picture larger than the view
// keeps the view covered, a smaller one stays in the middle. The initial
// margin lets either move by half the view more.
double BigPictureElement::axis_rest(double centre, double size, double view, bool initial) const {
  const double s = scale();
  const double margin = initial ? view / 2 / s : 0;
  double low = size / 2 - margin;
  double high = size / 2 + margin;
  if (size * s >= view) {
    low = view / 2 / s - margin;
    high = size - view / 2 / s + margin;
  }
  return std::clamp(centre, low, high);
}

PointD BigPictureElement::rest_centre() const {
  const Rect area = view_area();
  return {axis_rest(m_centre.x, m_picture.size.width, area.width(), m_initial),
          axis_rest(m_centre.y, m_picture.size.height, area.height(), m_initial)};
}

PointD BigPictureElement::overshoot() const {
  const PointD rest = rest_centre();
  const double s = scale();
  return {(rest.x - m_centre.x) * s, (rest.y - m_centre.y) * s};
}

void BigPictureElement::slide_to(PointD centre) {
  m_slide = centre;
  m_fling_speed = 0;
  mark_redraw();
}

void BigPictureElement::cancel_slide() {
  m_slide.reset();
}

bool BigPictureElement::slide_settled() const {
  if (!m_slide) return false;
  const double s = scale();
  return std::hypot((m_slide->x - m_centre.x) * s, (m_slide->y - m_centre.y) * s) <= 1.0;
}

void BigPictureElement::stop_fling() {
  m_fling_speed = 0;
}

// --- Motion -------------------------------------------------------------------

void BigPictureElement::apply_anchor() {
  if (!m_anchor_screen) return;
  const Rect area = view_area();
  const double s = scale();
  m_centre.x = m_anchor_picture.x - (m_anchor_screen->x - (area.left + area.width() / 2.0)) / s;
  m_centre.y = m_anchor_picture.y - (m_anchor_screen->y - (area.top + area.height() / 2.0)) / s;
}

bool BigPictureElement::move_zoom(double seconds) {
  if (m_zoom == m_target_zoom) return false;
  const double speed = m_zoom_speed * std::max(1.0, std::ceil(std::fabs(m_target_zoom - m_level)));
  const double step = speed * seconds;
  if (std::fabs(m_target_zoom - m_zoom) <= step)
    m_zoom = m_target_zoom;
  else
    m_zoom += m_target_zoom > m_zoom ? step : -step;
  apply_anchor();
  if (m_zoom == m_target_zoom) {
    set_level_from_zoom();
    m_anchor_screen.reset();
  }
  return true;
}

bool BigPictureElement::move_fling(double seconds) {
  if (m_fling_speed <= 0) return false;
  const double rate = m_pressed ? 5.0 : 1.0;
  m_fling_speed = std::max(0.0, m_fling_speed - (2 * m_fling_speed + 9) * seconds * rate);
  const double s = scale();
  m_centre.x += m_fling_direction.x * m_fling_speed * seconds / s;
  m_centre.y += m_fling_direction.y * m_fling_speed * seconds / s;
  return true;
}

bool BigPictureElement::move_slide(double seconds) {
  const double s = scale();
  const double dx = (m_slide->x - m_centre.x) * s;
  const double dy = (m_slide->y - m_centre.y) * s;
  const double distance = std::hypot(dx, dy);
  if (distance == 0) return false;
  const double step = (distance + 1) * kSlideRate * seconds;
  if (step >= distance) {
    m_centre = *m_slide;
  } else {
    m_centre.x += dx * step / distance / s;
    m_centre.y += dy * step / distance / s;
  }
  return true;
}

// Once released, a picture pulled past its edge springs back, faster the
// further out it is; a fling towards that edge ends there.
bool BigPictureElement::pull_edges(double seconds) {
  const PointD rest = rest_centre();
  const double s = scale();
  bool moved = false;
  double* centre[2] = {&m_centre.x, &m_centre.y};
  const double target[2] = {rest.x, rest.y};
  double direction[2] = {m_fling_direction.x, m_fling_direction.y};
  for (int axis = 0; axis < 2; ++axis) {
    double& c = *centre[axis];
    const double distance = std::fabs(target[axis] - c) * s;
    if (distance == 0) continue;
    if (direction[axis] != 0 && (direction[axis] > 0) == (c > target[axis])) direction[axis] = 0;
    const double step = (distance + 1) * kEdgePullRate * seconds;
    if (step >= distance)
      c = target[axis];
    else
      c += (target[axis] > c ? step : -step) / s;
    moved = true;
  }
  const double length = std::hypot(direction[0], direction[1]);
  if (length == 0) {
    m_fling_speed = 0;
    m_fling_direction = {};
  } else if (length < 1) {
    m_fling_speed *= length;
    m_fling_direction = {direction[0] / length, direction[1] / length};
  }
  return moved;
}

void BigPictureElement::notify_moved() {
  mark_redraw();
  if (m_view_listener) m_view_listener->view_moved(*this, m_centre);
}

void BigPictureElement::on_timer(double seconds) {
  Element::on_timer(seconds);
  m_tracker.advance(seconds);
  bool moved = move_zoom(seconds);
  moved = move_fling(seconds) || moved;
  if (m_slide)
    moved = move_slide(seconds) || moved;
  else if (!m_pressed && has_picture())
    moved = pull_edges(seconds) || moved;
  if (moved) notify_moved();
  refresh_wanted();
}

// --- Pointer -------------------------------------------------------------------

void BigPictureElement::drag_by(double dx, double dy) {
  if (!has_picture() || (dx == 0 && dy == 0)) return;
  const Rect area = view_area();
  const double view[2] = {static_cast<double>(area.width()), static_cast<double>(area.height())};
  const double move[2] = {dx, dy};
  const double s = scale();
  double applied[2] = {dx, dy};
  const PointD before = overshoot();
  const double over_before[2] = {before.x, before.y};
  // Try the whole move, then damp the part of it that pulls an edge further
  // in: by 1 - 2d/s, d the edge's way into the view so far.
  const PointD old = m_centre;
  m_centre = {old.x - dx / s, old.y - dy / s};
  const PointD after = overshoot();
  const double over_after[2] = {after.x, after.y};
  for (int axis = 0; axis < 2; ++axis) {
    const double o0 = over_before[axis];
    const double o1 = over_after[axis];
    if (std::fabs(o1) <= std::fabs(o0) || view[axis] <= 0) continue;
    const double intruding = (o0 != 0 && (o0 > 0) != (o1 > 0)) ? o1 : o1 - o0;
    const double factor = std::max(0.0, 1.0 - 2.0 * std::fabs(o0) / view[axis]);
    applied[axis] = move[axis] - intruding + intruding * factor;
  }
  m_centre = {old.x - applied[0] / s, old.y - applied[1] / s};
  if (!(m_centre == old)) notify_moved();
}

void BigPictureElement::on_pointer_move(const PointerEvent& event) {
  if (!m_pressed) return;
  m_tracker.move(event);
  if (m_tracker.moved()) drag_by(event.x - m_last_pointer.x, event.y - m_last_pointer.y);
  m_last_pointer = {event.x, event.y};
}

bool BigPictureElement::on_pointer_button(const PointerEvent& event) {
  if (event.pressed && !event.cancelled) {
    if (!hit_test({event.x, event.y})) return false;
    m_pressed = true;
    m_last_pointer = {event.x, event.y};
    m_tracker.press(event);
    m_slide.reset();
    return true;
  }
  if (!m_pressed) return false;
  m_pressed = false;
  if (event.cancelled) {
    m_tracker.cancel();
    return true;
  }
  m_tracker.release(event);
  const bool tap = !m_tracker.moved();
  double v[2] = {m_tracker.velocity_x(), m_tracker.velocity_y()};
  if (tap) v[0] = v[1] = 0;
  // A component that would carry the picture further past an edge is
  // dropped: the edge rules bring it back instead.
  const PointD rest = rest_centre();
  const double c[2] = {m_centre.x, m_centre.y};
  const double r[2] = {rest.x, rest.y};
  for (int axis = 0; axis < 2; ++axis)
    if (v[axis] != 0 && c[axis] != r[axis] && (v[axis] > 0) == (c[axis] > r[axis])) v[axis] = 0;
  const double length = std::hypot(v[0], v[1]);
  if (length > 0) {
    m_fling_direction = {v[0] / length, v[1] / length};
    m_fling_speed = std::min(length, kMaxFlingSpeed);
  } else {
    m_fling_direction = {};
    m_fling_speed = 0;
  }
  mark_redraw();
  if (m_view_listener) m_view_listener->interaction(*this, event, tap);
  return true;
}

// --- Tiles ----------------------------------------------------------------------

void BigPictureElement::visible_tiles(int level, const Rect& area,
                                      std::vector<WantedTile>& out) const {
  if (!has_picture() || area.empty()) return;
  const ViewMap map = view_map();
  const TileGrid g = grid(level);
  if (g.columns <= 0 || g.rows <= 0) return;
  const Size tile = m_picture.tile;
  const double fx = static_cast<double>(m_picture.size.width) / g.level_size.width;
  const double fy = static_cast<double>(m_picture.size.height) / g.level_size.height;
  const auto first = [](double v, int32_t origin, int32_t side) {
    return static_cast<int64_t>(std::floor((v - origin) / side));
  };
  const int64_t c0 = std::max<int64_t>(0, first(map.px(area.left) / fx, g.origin.x, tile.width));
  const int64_t c1 = std::min<int64_t>(
      g.columns - 1, first(map.px(area.right) / fx - 1e-9, g.origin.x, tile.width));
  const int64_t r0 = std::max<int64_t>(0, first(map.py(area.top) / fy, g.origin.y, tile.height));
  const int64_t r1 = std::min<int64_t>(
      g.rows - 1, first(map.py(area.bottom) / fy - 1e-9, g.origin.y, tile.height));
  for (int64_t r = r0; r <= r1; ++r) {
    for (int64_t c = c0; c <= c1; ++c) {
      WantedTile t;
      t.level = level;
      t.column = static_cast<int32_t>(c);
      t.row = static_cast<int32_t>(r);
      const double mid_x = map.sx((g.origin.x + (c + 0.5) * tile.width) * fx) - map.vx;
      const double mid_y = map.sy((g.origin.y + (r + 0.5) * tile.height) * fy) - map.vy;
      t.distance2 = static_cast<int64_t>(std::min(mid_x * mid_x + mid_y * mid_y, 4e18));
      out.push_back(t);
    }
  }
}

void BigPictureElement::refresh_wanted() {
  std::vector<WantedTile> next;
  if (m_tile_listener && m_cache && has_picture()) {
    const ViewMap map = view_map();
    const Rect area = view_area();
    const Rect picture{round_px(map.sx(0)), round_px(map.sy(0)),
                       round_px(map.sx(m_picture.size.width)),
                       round_px(map.sy(m_picture.size.height))};
    const Rect shown = intersect(area, picture);
    std::vector<WantedTile> tiles;
    visible_tiles(m_level, shown, tiles);
    std::vector<WantedTile> stand_ins;
    const int lowest = m_picture.lowest_level;
    bool need_stand_ins = false;
    for (const WantedTile& t : tiles) {
      if (m_cache->use({m_key, t.level, t.column, t.row})) continue;
      next.push_back(t);
      need_stand_ins = need_stand_ins || t.level > lowest;
    }
    if (need_stand_ins) {
      // The lowest level is one or a few tiles: it is made first, so that
      // the whole view shows the picture, coarsely, at once.
      visible_tiles(lowest, shown, stand_ins);
      for (WantedTile& t : stand_ins) t.stand_in = true;
      std::erase_if(stand_ins, [this](const WantedTile& t) {
        return m_cache->use({m_key, t.level, t.column, t.row}) != nullptr;
      });
    }
    std::sort(next.begin(), next.end(),
              [](const WantedTile& a, const WantedTile& b) { return a.distance2 < b.distance2; });
    next.insert(next.begin(), stand_ins.begin(), stand_ins.end());
  }
  std::vector<WantedTile> to_ask;
  {
    std::lock_guard lock(m_wanted_lock);
    for (WantedTile& t : next) {
      for (const WantedTile& old : m_wanted) {
        if (old.level == t.level && old.column == t.column && old.row == t.row) {
          t.requested = old.requested;
          break;
        }
      }
      if (!t.requested) to_ask.push_back(t);
    }
    m_wanted = std::move(next);
  }
  if (to_ask.empty()) return;
  // The listener queues the requests, and the queue asks this element
  // which of its older requests are still wanted: no lock is held here.
  for (const WantedTile& t : to_ask) m_tile_listener->tile_wanted(*this, t.level, t.column, t.row);
  std::lock_guard lock(m_wanted_lock);
  for (WantedTile& t : m_wanted)
    for (const WantedTile& asked : to_ask)
      if (asked.level == t.level && asked.column == t.column && asked.row == t.row)
        t.requested = true;
}

bool BigPictureElement::is_tile_wanted(int level, int column, int row, int64_t* distance2) const {
  std::lock_guard lock(m_wanted_lock);
  for (const WantedTile& t : m_wanted) {
    if (t.level == level && t.column == column && t.row == row) {
      if (distance2) *distance2 = t.stand_in ? -1 : t.distance2;
      return true;
    }
  }
  return false;
}

void BigPictureElement::forget_requests() {
  std::lock_guard lock(m_wanted_lock);
  for (WantedTile& t : m_wanted) t.requested = false;
}

std::vector<BigPictureElement::WantedTile> BigPictureElement::wanted() const {
  std::lock_guard lock(m_wanted_lock);
  return m_wanted;
}

bool BigPictureElement::sharp() const {
  if (!has_picture() || !m_cache || !zoom_settled()) return false;
  const ViewMap map = view_map();
  const Rect picture{round_px(map.sx(0)), round_px(map.sy(0)),
                     round_px(map.sx(m_picture.size.width)),
                     round_px(map.sy(m_picture.size.height))};
  std::vector<WantedTile> tiles;
  visible_tiles(m_level, intersect(view_area(), picture), tiles);
  for (const WantedTile& t : tiles)
    if (!m_cache->contains({m_key, t.level, t.column, t.row})) return false;
  return true;
}

// --- Drawing ---------------------------------------------------------------------

// Draws the present tiles of a level over the area (screen rectangle within
// the picture); the parts whose tiles are missing go to `missing`.
bool BigPictureElement::draw_level(Canvas& target, const ViewMap& map, int level, const Rect& area,
                                   std::vector<Rect>* missing) {
  const TileGrid g = grid(level);
  if (g.columns <= 0 || g.rows <= 0 || !target.surface()) return false;
  const Size tile = m_picture.tile;
  const double fx = static_cast<double>(m_picture.size.width) / g.level_size.width;
  const double fy = static_cast<double>(m_picture.size.height) / g.level_size.height;
  if (tile.width * fx * map.scale > kMaxTileOnScreen ||
      tile.height * fy * map.scale > kMaxTileOnScreen) {
    if (missing) missing->push_back(area);
    return false;
  }
  static const CopyBlitter copy;
  const RowBlitter& blitter = m_picture.placeholder ? shared_instance(SharedKind::key)
                                                    : static_cast<const RowBlitter&>(copy);
  const Rect clip = target.effective_clip();
  const auto first = [](double v, int32_t origin, int32_t side) {
    return static_cast<int64_t>(std::floor((v - origin) / side));
  };
  const int64_t c0 = std::max<int64_t>(0, first(map.px(area.left) / fx, g.origin.x, tile.width));
  const int64_t c1 = std::min<int64_t>(
      g.columns - 1, first(map.px(area.right) / fx - 1e-9, g.origin.x, tile.width));
  const int64_t r0 = std::max<int64_t>(0, first(map.py(area.top) / fy, g.origin.y, tile.height));
  const int64_t r1 = std::min<int64_t>(
      g.rows - 1, first(map.py(area.bottom) / fy - 1e-9, g.origin.y, tile.height));
  bool complete = true;
  for (int64_t r = r0; r <= r1; ++r) {
    const double top = static_cast<double>(g.origin.y + r * tile.height);
    const int32_t y0 = round_px(map.sy(top * fy));
    const int32_t y1 = round_px(map.sy((top + tile.height) * fy));
    const int32_t content_top = round_px(map.sy(std::max(0.0, top) * fy));
    const int32_t content_bottom =
        round_px(map.sy(std::min<double>(g.level_size.height, top + tile.height) * fy));
    for (int64_t c = c0; c <= c1; ++c) {
      const double left = static_cast<double>(g.origin.x + c * tile.width);
      const int32_t x0 = round_px(map.sx(left * fx));
      const int32_t x1 = round_px(map.sx((left + tile.width) * fx));
      const int32_t content_left = round_px(map.sx(std::max(0.0, left) * fx));
      const int32_t content_right =
          round_px(map.sx(std::min<double>(g.level_size.width, left + tile.width) * fx));
      const Rect part =
          intersect(area, Rect{content_left, content_top, content_right, content_bottom});
      if (part.empty()) continue;
      const Surface* pixels =
          m_cache ? m_cache->use({m_key, level, static_cast<int32_t>(c), static_cast<int32_t>(r)})
                  : nullptr;
      if (!pixels || x1 <= x0 || y1 <= y0) {
        complete = false;
        if (missing) missing->push_back(part);
        continue;
      }
      const Rect cut = intersect(part, clip);
      if (cut.empty()) continue;
      const Size shown{x1 - x0, y1 - y0};
      const Size source{std::min<int32_t>(tile.width, pixels->width()),
                        std::min<int32_t>(tile.height, pixels->height())};
      if (shown == source)
        blit(*target.surface(), {x0, y0}, shown, *pixels, {0, 0}, cut, blitter);
      else
        stretch_blit(*target.surface(), {x0, y0}, shown, *pixels, {0, 0}, source, cut, blitter);
    }
  }
  return complete;
}

void BigPictureElement::draw_empty_text(Canvas& target, Point origin) {
  if (m_empty_text.empty()) return;
  draw_text(m_empty_font, target, contrasting(m_empty_color), m_empty_text, origin, size(),
            HAlign::center, VAlign::vcenter, Ellipsis::end);
}

void BigPictureElement::draw(Canvas& target, Point origin) {
  const Size box = size();
  const Rect own{origin.x, origin.y, saturating_add(origin.x, box.width),
                 saturating_add(origin.y, box.height)};
  const Rect area = intersect(own, target.effective_clip());
  if (area.empty()) return;
  fill_rect(target, {area.left, area.top}, {area.width(), area.height()},
            rgb565::from_rgb888(m_empty_color.red, m_empty_color.green, m_empty_color.blue));
  if (!has_picture()) {
    draw_empty_text(target, origin);
    return;
  }
  // The view map is in absolute coordinates; the canvas may hold the
  // element elsewhere (its cache surface).
  ViewMap map = view_map();
  map.vx += origin.x - position().x;
  map.vy += origin.y - position().y;
  const Rect picture{round_px(map.sx(0)), round_px(map.sy(0)),
                     round_px(map.sx(m_picture.size.width)),
                     round_px(map.sy(m_picture.size.height))};
  const Rect shown = intersect(area, picture);
  if (shown.empty()) return;
  std::vector<Rect> missing;
  draw_level(target, map, m_level, shown, &missing);
  // Stand-ins for what is missing: the next finer level (just zoomed out),
  // then the coarser ones, each filling what the ones before left.
  std::vector<int> order;
  if (m_level < m_top_level) order.push_back(m_level + 1);
  for (int level = m_level - 1; level >= m_picture.lowest_level; --level) order.push_back(level);
  for (int level : order) {
    if (missing.empty()) break;
    std::vector<Rect> still;
    for (const Rect& part : missing) draw_level(target, map, level, part, &still);
    missing.swap(still);
  }
}

}  // namespace lv
