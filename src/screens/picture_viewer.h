#pragma once

// The engine behind the image screen: three picture slots (the previous,
// current and next picture of a folder, each shown by its own
// "bigpicture" element), the queue of tiles those elements want, the
// worker thread that makes them from the pictures' tile sources, and the
// stepping from one picture to its neighbour.
//
// A slot's tile source is the picture's cache file when it is valid (kind
// 0), else the picture itself: kind 1 while its cache file is missing or
// not valid yet, kind 2 when it has no cache name or its build failed (an
// empty cache file). A slot whose source cannot be opened shows a grid of
// placeholders instead: "<skin>.load.bmp" for kind 1 (the cache file may
// still come), "<skin>.bad.bmp" otherwise.
//
// Every slot carries a generation that changes whenever it takes another
// picture or turns; requests and finished tiles carry the generation they
// were made for, so a tile of a previous picture never reaches the next.
//
// Threads: everything is called on the user-interface thread except the
// worker's own steps. Locks, outermost first: the picture-sources lock
// (which source and generation each slot has), the queue lock, an
// element's wanted-list lock; the finished list has a lock of its own. A
// source is used by one thread at a time under its own lock, so a slot can
// take a new source while the worker is still busy with the old one.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "screens/big_picture.h"
#include "screens/tile_cache.h"
#include "skin/geometry.h"

namespace lv {

class PhotoLibrary;
class Surface;
class TileSource;

// The zoom a picture starts at in a view: it fills the view when it is
// larger both ways (cut along one axis), else it shows whole; never beyond
// full size (the top level).
double starting_zoom(Size view, Size picture, int top_level);

class PictureViewer final : public TileListener, public ViewListener {
 public:
  enum class Worker {
    start,   // the tile worker runs from construction to destruction
    manual,  // no thread: the owner calls create_tile()
  };

  struct Options {
    // The folder of "<skin>.load.bmp" and "<skin>.bad.bmp"; empty:
    // "%app_path%/skins/bin/".
    std::u16string placeholder_folder;
    std::u16string skin_name = u"default";
    // Told when a picture without a usable cache file is shown (withdrawn
    // from its queue). May be null.
    PhotoLibrary* library = nullptr;
    Worker worker = Worker::start;
    size_t tile_budget = kDefaultTileBudget;
  };

  enum Role : int { previous = 0, current = 1, next = 2 };

  enum class Kind : int { cache_file = 0, picture_waiting = 1, picture_only = 2 };

  // The screen around the viewer.
  class Listener {
   public:
    // The current picture changed (a step, a delete, a new folder).
    virtual void picture_changed(PictureViewer& viewer) {}
    // The pointer was released over the current picture (tap: it did not
    // move in between).
    virtual void picture_interaction(PictureViewer& viewer, const PointerEvent& event, bool tap) {}

   protected:
    ~Listener() = default;
  };

  static constexpr int32_t kNeighbourGap = 20;
  static constexpr int32_t kPlaceholderSide = 64;

  PictureViewer(BigPictureElement& previous, BigPictureElement& current, BigPictureElement& next,
                Options options);
  // Stops the worker, wakes it and joins it.
  ~PictureViewer();
  PictureViewer(const PictureViewer&) = delete;
  PictureViewer& operator=(const PictureViewer&) = delete;

  void set_listener(Listener* listener) { m_listener = listener; }

  // Shows picture `index` of the list and prepares its neighbours; `drive`
  // is the drive whose cache folder holds their cache files.
  void open(std::vector<std::u16string> pictures, size_t index, std::u16string drive);
  // Drops every request and finished tile (the screen goes).
  void close();

  // The area the pictures are shown in, absolute; the elements are placed
  // over it at the next place_elements (and at once).
  void set_view(const Rect& view);
  const Rect& view() const { return m_view; }
  // Puts the current element over the view and its neighbours beyond its
  // edges, as far out as the current picture has been pushed.
  void place_elements();

  // Landscape turns every picture a quarter turn clockwise; neighbours then
  // lie above and below. Drops all requests and describes the slots again.
  void set_landscape(bool landscape);
  bool landscape() const { return m_landscape; }

  // Once per frame, after the elements' own timers: moves the finished
  // tiles into the cache, places the neighbours and steps when a slide to
  // one of them has come to rest.
  void update(double seconds);

  // --- Slots ----------------------------------------------------------------------

  // Chooses and opens the tile source of the slot's picture.
  void reset_slot(Role role);
  // Describes the slot's picture to its element and sets the starting
  // zoom: the picture fills the view when it is larger both ways, else it
  // shows whole, never beyond full size.
  void restart_slot(Role role);
  // Steps to the previous or next picture at once; false at the ends.
  bool set_left();
  bool set_right();
  // Slides the current picture out so that its neighbour comes in; the
  // step follows once the slide has come to rest. False at the ends.
  bool slide_left();
  bool slide_right();
  // Drops every queued request and finished tile of the slot (the one the
  // worker is making, if any, comes back stale and is dropped then).
  void clear_slot_requests(Role role);
  void clear_all_requests();
  // The library made a picture's cache file: a slot that shows a
  // placeholder for it opens it again.
  void picture_complete(const std::u16string& path);

  BigPictureElement& element(Role role) const;
  // The picture a slot shows ("" for an empty slot).
  const std::u16string& picture(Role role) const;
  Kind kind(Role role) const;
  bool ready(Role role) const;
  double saved_zoom(Role role) const;
  // The picture's size as shown (unturned by landscape), (0, 0) when the
  // source does not know it.
  Size picture_size(Role role) const;

  size_t index() const { return m_index; }
  size_t count() const { return m_pictures.size(); }
  const std::vector<std::u16string>& pictures() const { return m_pictures; }
  const std::u16string& drive() const { return m_drive; }
  // "3 of 12", with the language's word for "of".
  std::u16string counter_text(std::u16string_view of) const;
  // Takes a picture out of the list (it was deleted) and shows its
  // neighbour: the next one, or the previous when it was the last. False
  // when it was the only one (nothing changes).
  bool remove_current();

  // The current picture's source, used under its own lock.
  std::array<uint32_t, 4> level_sizes() const;
  bool extract_level(std::u16string_view output, int cache_level) const;
  int top_level() const;

  // --- Tiles -------------------------------------------------------------------------

  // One worker step: makes the most wanted tile and moves it to the
  // finished list. False when there was nothing to make.
  bool create_tile();
  bool worker_idle() const;
  void set_worker_idle(bool idle);
  size_t queued() const;
  size_t finished() const;
  TileCache& cache() { return m_cache; }

  // TileListener, ViewListener.
  void tile_wanted(BigPictureElement& element, int level, int column, int row) override;
  void view_moved(BigPictureElement& element, PointD centre) override;
  void interaction(BigPictureElement& element, const PointerEvent& event, bool tap) override;

 private:
  struct SourceBox;
  struct Slot;
  struct Request;
  struct Finished;
  class TileWorker;

  Slot& slot(Role role);
  const Slot& slot(Role role) const;
  int slot_of(const BigPictureElement& element) const;
  void empty_slot(Role role);
  void fill_slot(Role role);
  void rotate(bool right);
  // Gives each role the slot that holds its picture already, and opens the
  // others.
  void arrange_slots();
  void after_step();
  bool slide(int direction);
  void worker_loop();
  std::shared_ptr<const Surface> placeholder(bool bad, int side, bool turned);
  std::shared_ptr<const Surface> make_source_tile(const Request& request, const Slot& snapshot,
                                                  SourceBox& box);

  std::array<BigPictureElement*, 3> m_elements;
  Options m_options;
  Listener* m_listener = nullptr;

  std::vector<std::u16string> m_pictures;
  size_t m_index = 0;
  std::u16string m_drive;
  Rect m_view;
  bool m_landscape = false;
  int m_slide_direction = 0;  // +1 towards the next picture, -1 the previous
  TileCache m_cache;

  // Guarded by m_sources_lock: the slots (by their place, 0 ... 2) and
  // which place plays which role.
  mutable std::mutex m_sources_lock;
  std::array<std::unique_ptr<Slot>, 3> m_slots;
  std::array<int, 3> m_roles{0, 1, 2};
  uint64_t m_generation = 0;

  mutable std::mutex m_queue_lock;
  std::condition_variable m_wake;
  std::deque<Request> m_queue;  // guarded by m_queue_lock
  bool m_stop = false;          // guarded by m_queue_lock

  mutable std::mutex m_finished_lock;
  std::vector<Finished> m_finished;  // guarded by m_finished_lock

  mutable std::mutex m_idle_lock;
  bool m_idle = true;  // guarded by m_idle_lock

  std::mutex m_placeholder_lock;
  std::array<std::shared_ptr<const Surface>, 2> m_placeholder_art;  // load, bad
  std::array<bool, 2> m_placeholder_read{false, false};

  std::unique_ptr<TileWorker> m_worker;
};

}  // namespace lv
