#pragma once

// "bigpicture": one picture of any size at any zoom, drawn from square tiles
// of a level pyramid. Level 0 is the smallest, the top level T the picture
// itself; level l shows the picture reduced by 2^(T - l). The zoom z is on
// the same scale: the picture appears at 2^(z - T) of its full size, so one
// step of 1.0 doubles or halves it.
//
// The element knows nothing of files: whoever holds it describes the
// picture (its size as shown, already turned), hands it a tile cache and a
// tile listener, and puts the tiles it asks for into the cache. Every frame
// the element moves (zoom animation, fling, edge pull-back, slide), works
// out the tiles its view needs at the level in use and asks for those it
// lacks; drawing shows the present ones scaled by 2^(z - L), with the tiles
// of other levels standing in for the missing ones.
//
// Threads: everything runs on the user-interface thread except
// is_tile_wanted, which a tile worker may call; the wanted list has its own
// lock, and the element never calls out while holding it.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "skin/color.h"
#include "skin/font.h"
#include "skin/node_type_registry.h"
#include "widgets/element.h"
#include "widgets/velocity_tracker.h"

namespace lv {

class BigPictureElement;
class TileCache;

struct PointD {
  double x = 0;
  double y = 0;
  bool operator==(const PointD&) const = default;
};

// The picture an element shows, as it appears on screen.
struct PictureDescription {
  Size tile{256, 256};
  // At the top level, as shown (width and height exchanged when turned).
  Size size;
  // False: a single level 0 (the placeholder grid, the empty picture).
  bool pyramid = true;
  // 1 when the tiles come turned a quarter turn for landscape, else 0.
  int rotation = 0;
  // The partial column (row) of a level is its first one, and the content
  // of partial tiles lies at their right (bottom): a mirrored or turned
  // picture.
  bool partial_first_x = false;
  bool partial_first_y = false;
  // How a level's size follows from the one above: halved and rounded up
  // (libjpeg's scaled decoding) or down (the cache file's levels).
  bool round_up = false;
  // Levels below this have no tiles (a picture decoded directly can be
  // reduced by 8 at most).
  int lowest_level = 0;
  // Tiles are placeholder art: drawn with its colour key.
  bool placeholder = false;
};

// A level's tile grid: columns, rows and where column and row 0 start
// (0, or negative when the partial tiles come first).
struct TileGrid {
  Size level_size;
  int32_t columns = 0;
  int32_t rows = 0;
  Point origin;
};

// The smallest T with 2^T >= columns and rows of the picture's tile grid.
int top_level_for(Size size, Size tile);
// The size and tile grid of a level of the described picture.
TileGrid tile_grid(const PictureDescription& picture, int top_level, int level);

class ViewListener {
 public:
  virtual void view_destroyed(BigPictureElement& element) {}
  // The view's centre or zoom changed in this frame.
  virtual void view_moved(BigPictureElement& element, PointD centre) = 0;
  // The pointer was released over the element; tap is true when it did
  // not move past the slop distance in between.
  virtual void interaction(BigPictureElement& element, const PointerEvent& event, bool tap) = 0;

 protected:
  ~ViewListener() = default;
};

class TileListener {
 public:
  virtual void tile_listener_destroyed(BigPictureElement& element) {}
  // The element needs a tile that is not in the cache. Called once per
  // tile until forget_requests or a new description.
  virtual void tile_wanted(BigPictureElement& element, int level, int column, int row) = 0;

 protected:
  ~TileListener() = default;
};

class BigPictureElement : public Element {
 public:
  static constexpr double kDefaultZoomSpeed = 2.0;  // levels per second
  static constexpr double kMaxFlingSpeed = 2000;    // pixels per second
  static constexpr double kEdgePullRate = 50;       // per second
  static constexpr double kSlideRate = 14;          // per second

  struct WantedTile {
    int32_t level = 0;
    int32_t column = 0;
    int32_t row = 0;
    int64_t distance2 = 0;  // squared, view centre to tile centre, in pixels
    bool stand_in = false;  // a lower level shown until the wanted one comes
    bool requested = false;
  };

  BigPictureElement();
  ~BigPictureElement() override;

  // --- Element -----------------------------------------------------------------

  // "empty_color", "empty_font", "empty_text" (a language key).
  void load(const Properties& properties, const SkinNode* node) override;
  void on_timer(double seconds) override;
  void draw(Canvas& target, Point origin) override;
  void on_pointer_move(const PointerEvent& event) override;
  bool on_pointer_button(const PointerEvent& event) override;

  // --- Picture -------------------------------------------------------------------

  // Shows a new picture (key: the cache's name for its tiles) at zoom 0,
  // centred; the wanted list starts empty.
  void describe(const PictureDescription& picture, uint64_t key);
  const PictureDescription& description() const { return m_picture; }
  uint64_t picture_key() const { return m_key; }
  int top_level() const { return m_top_level; }
  bool has_picture() const { return m_picture.size.width > 0 && m_picture.size.height > 0; }
  TileGrid grid(int level) const { return tile_grid(m_picture, m_top_level, level); }

  // Not owned; null draws nothing but the empty colour.
  void set_tile_cache(TileCache* cache) { m_cache = cache; }
  void set_view_listener(ViewListener* listener) { m_view_listener = listener; }
  void set_tile_listener(TileListener* listener) { m_tile_listener = listener; }

  // --- View ------------------------------------------------------------------------

  double zoom() const { return m_zoom; }
  double target_zoom() const { return m_target_zoom; }
  // Current and target at once; the level follows.
  void set_zoom(double zoom);
  // Animates towards the target. With an anchor (a point of the screen),
  // the picture point under it stays there; otherwise the view's centre
  // stays.
  void zoom_to(double target, std::optional<Point> anchor = std::nullopt);
  // Zooms at once, keeping the picture point under `at` (a point of the
  // screen) where it is: a pinch. The level follows only when `settle` is
  // set (the gesture ended), so the tiles are not asked for at every step.
  void zoom_at(double zoom, PointD at, bool settle);
  // Moves the picture with the pointer by screen pixels, edges damped.
  void pan_by(double dx, double dy) { drag_by(dx, dy); }
  double zoom_speed() const { return m_zoom_speed; }
  void set_zoom_speed(double speed) { m_zoom_speed = speed; }
  bool zoom_settled() const { return m_zoom == m_target_zoom; }
  // The level whose tiles are drawn: the settled zoom rounded up.
  int level_in_use() const { return m_level; }
  // Top-level pixels per screen pixel, inverted: 2^(zoom - T).
  double scale() const;

  // In top-level pixels of the picture as shown.
  PointD centre() const { return m_centre; }
  void set_centre(PointD centre);
  void centre_picture();

  // The area whose middle the view centre is drawn at; by default (an
  // empty rectangle) the element's own. Absolute coordinates.
  void set_view_area(const Rect& area);
  Rect view_area() const;

  // How far, in screen pixels, the picture lies beyond where the edge rules
  // would bring it back (negative: moved left or up of it).
  PointD overshoot() const;
  // The centre the edge rules lead to from here.
  PointD rest_centre() const;
  // Moves the centre to a point instead of following the edge rules, until
  // it gets there or is cancelled (a press cancels it).
  void slide_to(PointD centre);
  void cancel_slide();
  bool sliding() const { return m_slide.has_value(); }
  // Sliding and within a pixel of the end.
  bool slide_settled() const;

  // Fling: a unit direction and pixels per second.
  PointD fling_direction() const { return m_fling_direction; }
  double fling_speed() const { return m_fling_speed; }
  void stop_fling();
  bool pointer_down() const { return m_pressed; }

  // While set (from construction until a picture is described) the edge
  // rules allow half the view as margin.
  bool initial() const { return m_initial; }
  void set_initial(bool initial) { m_initial = initial; }

  // --- Tiles -----------------------------------------------------------------------

  // Works out the tiles the view needs and asks for the missing ones; the
  // timer does it every frame.
  void refresh_wanted();
  // Any thread: whether the tile is still in the wanted list, with its
  // squared distance from the view centre.
  bool is_tile_wanted(int level, int column, int row, int64_t* distance2 = nullptr) const;
  // The queue dropped the requests: ask again for what is still wanted.
  void forget_requests();
  std::vector<WantedTile> wanted() const;
  // Whether every tile the view needs at the level in use is in the cache.
  bool sharp() const;

 private:
  struct ViewMap;

  ViewMap view_map() const;
  void set_level_from_zoom();
  void apply_anchor();
  bool move_zoom(double seconds);
  bool move_fling(double seconds);
  bool move_slide(double seconds);
  bool pull_edges(double seconds);
  double axis_rest(double centre, double size, double view, bool initial) const;
  void drag_by(double dx, double dy);
  void notify_moved();
  bool draw_level(Canvas& target, const ViewMap& map, int level, const Rect& area,
                  std::vector<Rect>* missing);
  void draw_empty_text(Canvas& target, Point origin);
  void visible_tiles(int level, const Rect& area, std::vector<WantedTile>& out) const;

  PictureDescription m_picture;
  uint64_t m_key = 0;
  int m_top_level = 0;
  double m_zoom = 0;
  double m_target_zoom = 0;
  double m_zoom_speed = kDefaultZoomSpeed;
  int m_level = 0;
  std::optional<Point> m_anchor_screen;
  PointD m_anchor_picture;
  PointD m_centre;
  PointD m_fling_direction;
  double m_fling_speed = 0;
  std::optional<PointD> m_slide;
  Rect m_view_area;
  bool m_initial = true;
  bool m_pressed = false;
  Point m_last_pointer;
  VelocityTracker m_tracker;

  Color m_empty_color{0, 0, 0, 255};
  FontRef m_empty_font;
  std::u16string m_empty_text;

  TileCache* m_cache = nullptr;
  ViewListener* m_view_listener = nullptr;
  TileListener* m_tile_listener = nullptr;

  mutable std::mutex m_wanted_lock;
  std::vector<WantedTile> m_wanted;  // guarded by m_wanted_lock
};

// Registers the element type "bigpicture" while it lives (from start-up,
// once the skin is loaded, to tear-down). A type of that name registered
// already throws jobser::NodeAlreadyRegistered.
class BigPictureType {
 public:
  explicit BigPictureType(NodeTypeRegistry& registry = NodeTypeRegistry::instance());
  ~BigPictureType();
  BigPictureType(const BigPictureType&) = delete;
  BigPictureType& operator=(const BigPictureType&) = delete;

 private:
  NodeTypeRegistry& m_registry;
};

}  // namespace lv
