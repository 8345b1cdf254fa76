#pragma once

// The element: every visible item of every screen. A rectangle with an id,
// per-axis layout rules, visibility and enabled flags, an optional cache
// picture of itself, an optional visibility animation and an ordered list of
// owned children (drawn first to last, so the last child is topmost). A
// screen is one tree of elements built from one skin node by a recursive
// load; the skin names each child's class by its "type" string, which the
// NodeTypeRegistry turns into an object.
//
// Driving a tree: lay it out with set_x_width then set_y_height on the root
// (both return at once when nothing changed), draw it with draw_element, and
// feed it pointer, key, character and timer events. Positions are absolute
// coordinates of the surface the root is drawn on. The base class is the
// plain container (skin type "node"); widgets override the virtual
// operations. Used on the user-interface thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/input.h"
#include "skin/geometry.h"
#include "skin/node_type_registry.h"
#include "skin/render_surface.h"
#include "widgets/layout.h"

namespace lv {

class Canvas;
class Element;
class Properties;
class RowBlitter;
class SkinNode;
class Transition;

// Told of every new width and height an element is laid out at.
class SizeListener {
 public:
  virtual void width_set(Element& element, int32_t width) = 0;
  virtual void height_set(Element& element, int32_t height) = 0;

 protected:
  ~SizeListener() = default;
};

class Element {
 public:
  Element();
  Element(const Element&) = delete;
  Element& operator=(const Element&) = delete;
  // Detaches itself from its parent, then destroys its children.
  virtual ~Element();

  // --- Virtual operations ---------------------------------------------------

  // Takes the child at `index` (which must be `child`) out of the list and
  // hands it back; the caller decides whether it lives on.
  virtual std::unique_ptr<Element> remove_child(Element& child, size_t index);
  // Takes ownership of a loaded child and inserts it at index (cut to the
  // child count). The skin source (properties, the child's node and its type
  // name) is null for children made in code.
  virtual void insert_child(std::unique_ptr<Element> child, size_t index,
                            const Properties* properties, const SkinNode* node,
                            std::u16string_view type_name);
  virtual void on_child_visibility_changed();
  // One debug-log line per element, children indented one tab further.
  virtual void dump(int32_t indent) const;
  // Forwards to every child; text widgets take the text when the id is theirs.
  virtual void set_text_by_id(std::u16string_view id, std::u16string_view text);
  // Reads this element's keys and builds its children in skin order.
  virtual void load(const Properties& properties, const SkinNode* node);
  virtual void on_enabled_changed(bool enabled);
  virtual void on_visibility_changed(bool shown);
  // Seconds since the last tick.
  virtual void on_timer(double seconds);
  // Draws the element with its top-left corner at origin.
  virtual void draw(Canvas& target, Point origin);
  virtual void layout_children_x();
  virtual void layout_children_y();
  // Fill a range the caller set to (0, 0); callers use width_range and
  // height_range, which cache the result.
  virtual void measure_width(SizeRange& range);
  virtual void measure_height(SizeRange& range);
  virtual bool hit_test(Point point) const;
  virtual void on_pointer_move(const PointerEvent& event);
  // True when the element (or a child) took the event.
  virtual bool on_pointer_button(const PointerEvent& event);
  // The wheel goes to the topmost visible, enabled child under the pointer
  // that takes it; true when one did.
  virtual bool on_wheel(const WheelEvent& event);
  // A pinch's begin goes to the topmost visible, enabled child under the
  // fingers' centre that takes it; that child gets the gesture's moves and
  // its end, wherever the fingers go. True when a child took the event.
  virtual bool on_pinch(const PinchEvent& event);
  // Keys are not passed on to children; owners hand them to the elements
  // that want them.
  virtual bool on_key(const KeyEvent& event);
  virtual bool on_char(std::u16string_view text);

  // --- Building -------------------------------------------------------------

  // Rebuilds the element from a named top-level node: false, leaving it as
  // it is, when the skin has none. Callers turn false into NodeNotFoundInSkin.
  bool load_named(const Properties& properties, std::u16string_view name);
  // Appends a child made in code.
  void add_child(std::unique_ptr<Element> child);
  // Takes a child out of the list (null when it is not a child).
  std::unique_ptr<Element> take_child(Element& child);
  void destroy_children();

  // The first direct child with the id, then the same search in each child's
  // subtree in child order; never the element itself. Null when none.
  Element* find_by_id(std::u16string_view id) const;
  // As find_by_id; throws jobser::NodeNotFound (this id, the id sought) when
  // there is none.
  Element& find_required(std::u16string_view id) const;

  // --- State ----------------------------------------------------------------

  void set_visible(bool visible);
  void set_enabled(bool enabled);
  // A visibility change that plays the visibility animation, when there is
  // one; otherwise the same as set_visible.
  void show_animated(bool show);

  // --- Layout ---------------------------------------------------------------

  // Cached measures; computed again only after a change inside the element.
  SizeRange width_range();
  SizeRange height_range();
  // The two layout steps, x before y. Each returns at once when the values
  // are unchanged and nothing inside needs layout.
  void set_x_width(int32_t x, int32_t width);
  void set_y_height(int32_t y, int32_t height);

  // --- Drawing --------------------------------------------------------------

  // The drawing entry: the running visibility animation, the cache picture
  // or draw; nothing for a hidden element.
  void draw_element(Canvas& target, Point origin);
  // The element drawn at (0, 0) into its cache surface over magenta, drawn
  // again only when something changed.
  RenderSurface& cached_surface();

  // --- Accessors ------------------------------------------------------------

  const std::u16string& id() const { return m_id; }
  void set_id(std::u16string id) { m_id = std::move(id); }
  Element* parent() const { return m_parent; }
  Element& root();

  size_t child_count() const { return m_children.size(); }
  Element& child(size_t index) const { return *m_children[index]; }
  // Index of a direct child, or child_count() when it is none.
  size_t index_of(const Element& child) const;

  SizeListener* size_listener() const { return m_size_listener; }
  void set_size_listener(SizeListener* listener) { m_size_listener = listener; }

  AnchorMode anchor_x() const { return m_anchor_x; }
  AnchorMode anchor_y() const { return m_anchor_y; }
  Point border_min() const { return m_border_min; }
  Point border_max() const { return m_border_max; }
  Size design_size() const { return m_design_size; }
  // Layout rules set in code; each invalidates the measures up the tree.
  void set_anchors(AnchorMode x, AnchorMode y);
  void set_borders(Point border_min, Point border_max);
  void set_design_size(Size size);

  Point position() const { return m_position; }
  Size size() const { return m_size; }
  Rect rect() const;

  bool visible() const { return m_visible; }
  bool parent_visible() const { return m_parent_visible; }
  bool effectively_visible() const { return m_visible && m_parent_visible; }
  bool enabled() const { return m_enabled; }
  bool effectively_enabled() const { return m_enabled && m_parent_enabled; }
  bool needs_redraw() const { return m_needs_redraw; }
  bool needs_layout() const { return m_needs_layout; }

  Element* pointer_capture() const { return m_pointer_capture; }
  Element* pinch_capture() const { return m_pinch_capture; }
  bool cache_enabled() const { return m_cache; }
  const RenderSurface& cache_surface() const { return m_cache_surface; }
  const RowBlitter* cache_blitter() const { return m_cache_blitter.get(); }
  const Transition* visibility_animation() const { return m_visibility_animation.get(); }
  bool animating() const;

  // Marks this element and every ancestor for drawing.
  void mark_redraw();
  // Forgets the measures of this element and every ancestor and marks the
  // path for layout.
  void invalidate_layout();

 protected:
  // The base layout of one child along one axis (the tables use it for
  // their cross axis).
  void place_child_x(Element& child);
  void place_child_y(Element& child);
  // Tells the capture child, if any, that its press is over.
  void cancel_pointer_capture();
  // Ends the pinch of the child that follows one, if any.
  void cancel_pinch_capture();
  void set_pointer_capture(Element* child) { m_pointer_capture = child; }

 private:
  void load_children(const Properties& properties, const SkinNode* node);
  void propagate_visibility();
  void propagate_enabled();

  std::unique_ptr<Transition> m_visibility_animation;
  std::u16string m_id;
  Element* m_parent = nullptr;
  SizeListener* m_size_listener = nullptr;
  AnchorMode m_anchor_x = AnchorMode::both_side;
  AnchorMode m_anchor_y = AnchorMode::both_side;
  Point m_border_min;
  Size m_design_size;
  SizeRange m_width_cache;
  SizeRange m_height_cache;
  Point m_border_max;
  bool m_visible = true;
  bool m_parent_visible = true;
  bool m_enabled = true;
  bool m_parent_enabled = true;
  bool m_needs_redraw = true;
  bool m_needs_layout = true;
  bool m_width_measured = false;
  bool m_height_measured = false;
  Element* m_pointer_capture = nullptr;
  Element* m_pinch_capture = nullptr;
  Point m_position;
  Size m_size;
  RenderSurface m_cache_surface;
  bool m_cache = false;
  std::unique_ptr<RowBlitter> m_cache_blitter;
  std::vector<std::unique_ptr<Element>> m_children;
};

// Deepest nesting of elements one load builds: the skin's node depth limit
// below the named node, plus the named node itself. A deeper tree, or one
// whose loads loop back, throws jobser::NodeTreeTooDeep.
inline constexpr uint32_t kMaxLoadDepth = 65;

}  // namespace lv
