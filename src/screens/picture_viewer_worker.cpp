// The picture viewer's requests and its worker threads: the queue, making
// one tile, the placeholders and the worker's loop.

#include <algorithm>
#include <exception>

#include "base/file_util.h"
#include "base/log.h"
#include "library/exif.h"
#include "screens/picture_viewer.h"
#include "screens/picture_viewer_parts.h"
#include "skin/bitmap_file.h"
#include "skin/render_surface.h"
#include "skin/surface.h"

namespace lv {

namespace {

// A quarter turn clockwise, for landscape.
std::unique_ptr<Surface> turned(const Surface& source) {
  auto out =
      Surface::create(static_cast<int32_t>(source.height()), static_cast<int32_t>(source.width()));
  if (!out) return nullptr;
  exif_transform_rgb565(6, source.row(0), static_cast<int>(source.width()),
                        static_cast<int>(source.height()), source.pitch(), out->row(0),
                        out->pitch());
  return out;
}

// Stand-in art when the skin has none: a grey square, or a dark red one
// with a cross for a picture that cannot be shown.
std::unique_ptr<Surface> drawn_placeholder(bool bad) {
  constexpr int side = PictureViewer::kPlaceholderSide;
  auto art = Surface::create(side, side);
  if (!art) return nullptr;
  const uint16_t back = bad ? 0x4000 : 0x2104;
  const uint16_t ink = bad ? 0xC186 : 0x630C;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      const bool frame = x == 0 || y == 0 || x == side - 1 || y == side - 1;
      const bool cross = bad && (std::abs(x - y) <= 1 || std::abs(x + y - side + 1) <= 1) &&
                         x > 16 && x < side - 17;
      art->set_pixel(x, y, frame || cross ? ink : back);
    }
  return art;
}

}  // namespace

// --- Requests and the worker -----------------------------------------------------------

void PictureViewer::tile_wanted(BigPictureElement& element, int level, int column, int row) {
  const int place = slot_of(element);
  if (place < 0) return;
  const Slot& s = *m_slots[place];
  Request request;
  request.place = place;
  request.generation = s.generation;
  request.level = level;
  request.column = column;
  request.row = row;
  log() << u"add tile " << s.picture << u" " << level << u" " << column << u" " << row << u"\n";
  {
    std::lock_guard lock(m_queue_lock);
    // Requests whose tiles scrolled away, or whose picture is gone, go
    // before they are made; the one being made is left alone.
    std::erase_if(m_queue, [this](const Request& r) {
      if (r.busy) return false;
      const Slot& owner = *m_slots[r.place];
      return r.generation != owner.generation ||
             !owner.element->is_tile_wanted(r.level, r.column, r.row);
    });
    const bool queued = std::any_of(m_queue.begin(), m_queue.end(), [&](const Request& r) {
      return r.place == place && r.generation == request.generation && r.level == level &&
             r.column == column && r.row == row;
    });
    if (queued) {
      log() << u"clear\n";
      return;
    }
    request.id = ++m_request_ids;
    m_queue.push_back(request);
    log() << u"realy add\n";
  }
  set_worker_idle(false);
  m_wake.notify_one();
}

void PictureViewer::clear_slot_requests(Role role) {
  const int place = m_roles[role];
  {
    std::lock_guard lock(m_queue_lock);
    std::erase_if(m_queue, [place](const Request& r) { return r.place == place && !r.busy; });
  }
  {
    std::lock_guard lock(m_finished_lock);
    std::erase_if(m_finished, [place](const Finished& f) { return f.place == place; });
  }
  m_slots[place]->element->forget_requests();
}

void PictureViewer::clear_all_requests() {
  for (Role role : {previous, current, next}) clear_slot_requests(role);
}

bool PictureViewer::create_tile() {
  Request request;
  Slot snapshot;
  {
    std::lock_guard sources(m_sources_lock);
    std::lock_guard queue(m_queue_lock);
    // The current picture before its neighbours; within a picture its
    // stand-ins, then the tiles nearest the middle of the view.
    static constexpr int kRank[3] = {2, 0, 1};
    int best = -1;
    int best_rank = 0;
    int64_t best_distance = 0;
    for (size_t i = 0; i < m_queue.size();) {
      Request& r = m_queue[i];
      const Slot& owner = *m_slots[r.place];
      int64_t distance = 0;
      if (!r.busy && (r.generation != owner.generation ||
                      !owner.element->is_tile_wanted(r.level, r.column, r.row, &distance))) {
        m_queue.erase(m_queue.begin() + static_cast<std::ptrdiff_t>(i));
        continue;
      }
      int role = 0;
      for (int k = 0; k < 3; ++k)
        if (m_roles[k] == r.place) role = k;
      const int rank = kRank[role];
      if (!r.busy &&
          (best < 0 || rank < best_rank || (rank == best_rank && distance < best_distance))) {
        best = static_cast<int>(i);
        best_rank = rank;
        best_distance = distance;
      }
      ++i;
    }
    if (best < 0) return false;
    m_queue[static_cast<size_t>(best)].busy = true;
    request = m_queue[static_cast<size_t>(best)];
    const Slot& owner = *m_slots[request.place];
    snapshot.picture = owner.picture;
    snapshot.source = owner.source;
    snapshot.kind = owner.kind;
    snapshot.ready = owner.ready;
    snapshot.shown = owner.shown;
    snapshot.orientation = owner.orientation;
    snapshot.turned = owner.turned;
    snapshot.placeholder = owner.placeholder;
    snapshot.round_up = owner.round_up;
    snapshot.tile_side = owner.tile_side;
  }
  std::shared_ptr<const Surface> tile;
  try {
    if (snapshot.placeholder)
      tile =
          placeholder(snapshot.kind != Kind::picture_waiting, snapshot.tile_side, snapshot.turned);
    else if (snapshot.source)
      tile = make_source_tile(request, snapshot, snapshot.source);
  } catch (const std::exception& e) {
    log() << u"create_tile failed: " << e.what() << u"\n";
  }
  if (!tile) tile = placeholder(true, snapshot.tile_side, snapshot.turned);
  {
    std::lock_guard queue(m_queue_lock);
    std::erase_if(m_queue, [&](const Request& r) { return r.id == request.id; });
    std::lock_guard finished(m_finished_lock);
    m_finished.push_back({request.place, request.generation, request.level, request.column,
                          request.row, std::move(tile)});
  }
  return true;
}

std::shared_ptr<const Surface> PictureViewer::make_source_tile(
    const Request& request, const Slot& snapshot, const std::shared_ptr<SourceBox>& box) {
  int column = request.column;
  int row = request.row;
  if (snapshot.turned) {
    // The screen's tile (c, r) of the turned picture is the picture's tile
    // (r, rows - 1 - c) turned clockwise.
    PictureDescription shown;
    shown.size = snapshot.shown;
    shown.round_up = snapshot.round_up;
    const int top = top_level_for(shown.size, shown.tile);
    const TileGrid grid = tile_grid(shown, top, request.level);
    column = request.row;
    row = grid.rows - 1 - request.column;
  }
  std::unique_ptr<RenderSurface> made;
  {
    Borrowed source(box);
    if (!source) return nullptr;
    made = source->make_tile(column, row, request.level);
  }
  if (!made) return nullptr;
  std::unique_ptr<Surface> pixels = made->take_surface();
  if (!pixels) return nullptr;
  if (snapshot.turned) pixels = turned(*pixels);
  return std::shared_ptr<const Surface>(std::move(pixels));
}

std::shared_ptr<const Surface> PictureViewer::placeholder(bool bad, int side, bool turn) {
  std::lock_guard lock(m_placeholder_lock);
  const int which = bad ? 1 : 0;
  if (!m_placeholder_read[which]) {
    m_placeholder_read[which] = true;
    const std::u16string path =
        m_options.placeholder_folder + m_options.skin_name + (bad ? u".bad.bmp" : u".load.bmp");
    FileStream file(path, OpenMode::read);
    std::unique_ptr<Surface> art = file.is_open() ? read_bitmap(file) : nullptr;
    if (!art) {
      log() << u"placeholder missing " << path << u"\n";
      art = drawn_placeholder(bad);
    }
    m_placeholder_art[which] = std::move(art);
  }
  const std::shared_ptr<const Surface>& art = m_placeholder_art[which];
  if (!art || side < 1) return nullptr;
  // The art repeated over the tile, so a 256-pixel tile of a picture that
  // failed shows the same pattern as the placeholder grid.
  auto tile = Surface::create(side, side);
  if (!tile) return nullptr;
  const uint32_t w = art->width();
  const uint32_t h = art->height();
  for (int y = 0; y < side; ++y) {
    const uint16_t* from = art->row(static_cast<uint32_t>(y) % h);
    uint16_t* to = tile->row(static_cast<uint32_t>(y));
    for (int x = 0; x < side; ++x) to[x] = from[static_cast<uint32_t>(x) % w];
  }
  if (turn) {
    std::unique_ptr<Surface> t = turned(*tile);
    if (t) return std::shared_ptr<const Surface>(std::move(t));
  }
  return std::shared_ptr<const Surface>(std::move(tile));
}

void PictureViewer::worker_loop() {
  log() << u"run start\n";
  for (;;) {
    {
      // The queue is looked at under its lock and the wait releases that
      // lock atomically: a request added in between is never missed, and
      // the stop flag is set under the same lock.
      std::unique_lock lock(m_queue_lock);
      m_wake.wait(lock, [this] {
        return m_stop || std::any_of(m_queue.begin(), m_queue.end(),
                                     [](const Request& r) { return !r.busy; });
      });
      if (m_stop) break;
    }
    log() << u"run begin\n";
    log() << u"run create_tile start\n";
    try {
      create_tile();
    } catch (const std::exception& e) {
      log() << u"run create_tile failed: " << e.what() << u"\n";
    }
    log() << u"run create_tile end\n";
    std::lock_guard lock(m_queue_lock);
    if (m_queue.empty()) set_worker_idle(true);
  }
  log() << u"run end\n";
}

bool PictureViewer::worker_idle() const {
  std::lock_guard lock(m_idle_lock);
  return m_idle;
}

void PictureViewer::set_worker_idle(bool idle) {
  std::lock_guard lock(m_idle_lock);
  m_idle = idle;
}

size_t PictureViewer::queued() const {
  std::lock_guard lock(m_queue_lock);
  return m_queue.size();
}

size_t PictureViewer::finished() const {
  std::lock_guard lock(m_finished_lock);
  return m_finished.size();
}

}  // namespace lv
