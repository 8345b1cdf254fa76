#include "screens/picture_viewer.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <map>
#include <new>

#include "app/base/file_util.h"
#include "app/base/log.h"
#include "app/base/settings.h"
#include "app/base/thread.h"
#include "library/cache_file.h"
#include "library/exif.h"
#include "library/photo_library.h"
#include "library/tile_source.h"
#include "skin/bitmap_file.h"
#include "skin/render_surface.h"
#include "skin/surface.h"

namespace lv {

namespace {

std::u16string decimal(uint64_t value) {
  std::u16string text;
  do {
    text.insert(text.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value > 0);
  return text;
}

// A cache file that exists but is empty: its build failed.
bool failed_cache_file(std::u16string_view cache_path) {
  const FileInfo info = file_info(cache_path);
  return info.exists() && !info.is_directory() && info.size == 0;
}

PictureViewer::Kind kind_for(std::u16string_view picture, std::u16string_view drive) {
  const std::u16string cache = cache_name(picture, drive);
  if (cache.empty() || failed_cache_file(cache)) return PictureViewer::Kind::picture_only;
  if (!cache_file_valid(cache)) return PictureViewer::Kind::picture_waiting;
  return PictureViewer::Kind::cache_file;
}

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

double starting_zoom(Size view, Size picture, int top_level) {
  if (picture.width <= 0 || picture.height <= 0) return 0;
  const double zx = std::log2(static_cast<double>(std::max(1, view.width)) / picture.width);
  const double zy = std::log2(static_cast<double>(std::max(1, view.height)) / picture.height);
  const double fit = (zx < 0 && zy < 0) ? std::max(zx, zy) : std::min(zx, zy);
  return std::min<double>(top_level, top_level + fit);
}

struct PictureViewer::SourceBox {
  std::mutex use;
  std::unique_ptr<TileSource> source;
};

struct PictureViewer::Slot {
  BigPictureElement* element = nullptr;
  std::shared_ptr<SourceBox> source;
  std::u16string picture;
  Kind kind = Kind::cache_file;
  bool ready = false;
  double saved_zoom = 0;
  uint64_t generation = 0;
  // What the worker needs to map a request onto the source.
  Size shown;
  int orientation = 1;
  int source_levels = 0;
  bool turned = false;
  bool placeholder = false;
  bool round_up = false;
  int tile_side = kTileSide;
};

struct PictureViewer::Request {
  int place = 0;
  uint64_t generation = 0;
  int level = 0;
  int column = 0;
  int row = 0;
  bool busy = false;  // the worker is making it
};

struct PictureViewer::Finished {
  int place = 0;
  uint64_t generation = 0;
  int level = 0;
  int column = 0;
  int row = 0;
  std::shared_ptr<const Surface> tile;
};

class PictureViewer::TileWorker final : public Thread {
 public:
  explicit TileWorker(PictureViewer& viewer) : m_viewer(viewer) { set_priority(-1); }

 protected:
  void run() override { m_viewer.worker_loop(); }

 private:
  PictureViewer& m_viewer;
};

PictureViewer::PictureViewer(BigPictureElement& previous, BigPictureElement& current,
                             BigPictureElement& next, Options options)
    : m_elements{&previous, &current, &next},
      m_options(std::move(options)),
      m_cache(m_options.tile_budget) {
  if (m_options.placeholder_folder.empty())
    m_options.placeholder_folder = expand_path(u"%app_path%/skins/bin/");
  for (int place = 0; place < 3; ++place) {
    m_slots[place] = std::make_unique<Slot>();
    m_slots[place]->element = m_elements[place];
    m_elements[place]->set_tile_cache(&m_cache);
    m_elements[place]->set_tile_listener(this);
    m_elements[place]->set_view_listener(this);
  }
  if (m_options.worker == Worker::start) {
    m_worker = std::make_unique<TileWorker>(*this);
    if (!m_worker->start()) log() << u"tile worker not started\n";
  }
}

PictureViewer::~PictureViewer() {
  if (m_worker) {
    {
      std::lock_guard lock(m_queue_lock);
      m_stop = true;
    }
    m_worker->request_stop();
    m_wake.notify_all();
    m_worker->join();
  }
  for (BigPictureElement* element : m_elements) {
    element->set_tile_listener(nullptr);
    element->set_view_listener(nullptr);
    element->set_tile_cache(nullptr);
  }
}

// --- Slots -------------------------------------------------------------------------

PictureViewer::Slot& PictureViewer::slot(Role role) {
  return *m_slots[m_roles[role]];
}

const PictureViewer::Slot& PictureViewer::slot(Role role) const {
  return *m_slots[m_roles[role]];
}

int PictureViewer::slot_of(const BigPictureElement& element) const {
  for (int place = 0; place < 3; ++place)
    if (m_elements[place] == &element) return place;
  return -1;
}

BigPictureElement& PictureViewer::element(Role role) const {
  return *m_slots[m_roles[role]]->element;
}

const std::u16string& PictureViewer::picture(Role role) const {
  return slot(role).picture;
}

PictureViewer::Kind PictureViewer::kind(Role role) const {
  return slot(role).kind;
}

bool PictureViewer::ready(Role role) const {
  return slot(role).ready;
}

double PictureViewer::saved_zoom(Role role) const {
  return slot(role).saved_zoom;
}

Size PictureViewer::picture_size(Role role) const {
  return slot(role).shown;
}

void PictureViewer::open(std::vector<std::u16string> pictures, size_t index, std::u16string drive) {
  clear_all_requests();
  m_cache.clear();
  m_pictures = std::move(pictures);
  m_index = m_pictures.empty() ? 0 : std::min(index, m_pictures.size() - 1);
  m_drive = std::move(drive);
  m_slide_direction = 0;
  {
    std::lock_guard lock(m_sources_lock);
    m_roles = {0, 1, 2};
  }
  // The current picture first: its source is the first the worker needs.
  fill_slot(current);
  fill_slot(next);
  fill_slot(previous);
  after_step();
}

void PictureViewer::close() {
  clear_all_requests();
  m_slide_direction = 0;
}

void PictureViewer::fill_slot(Role role) {
  const int64_t index = static_cast<int64_t>(m_index) + role - 1;
  if (index < 0 || index >= static_cast<int64_t>(m_pictures.size())) {
    empty_slot(role);
    return;
  }
  reset_slot(role);
  restart_slot(role);
}

void PictureViewer::empty_slot(Role role) {
  Slot& s = slot(role);
  uint64_t generation;
  {
    std::lock_guard lock(m_sources_lock);
    s.source.reset();
    s.picture.clear();
    s.kind = Kind::cache_file;
    s.ready = false;
    s.placeholder = false;
    s.shown = {};
    s.saved_zoom = 0;
    generation = s.generation = ++m_generation;
  }
  PictureDescription empty;
  s.element->describe(empty, generation);
}

void PictureViewer::reset_slot(Role role) {
  const int64_t index = static_cast<int64_t>(m_index) + role - 1;
  if (index < 0 || index >= static_cast<int64_t>(m_pictures.size())) return;
  const std::u16string picture = m_pictures[static_cast<size_t>(index)];
  const Kind kind = kind_for(picture, m_drive);
  // The source is opened before the lock is taken: the worker may go on
  // with the old one meanwhile, under that one's own lock.
  auto box = std::make_shared<SourceBox>();
  if (kind == Kind::picture_only) {
    log() << u"reset PieceCrt2 begin\n";
    box->source = make_picture_tile_source(picture);
    log() << u"reset PieceCrt2\n";
  } else if (kind == Kind::picture_waiting) {
    log() << u"reset PieceCrt1 begin\n";
    box->source = make_picture_tile_source(picture);
    log() << u"reset PieceCrt1\n";
  } else {
    box->source = make_cache_tile_source(picture, m_drive);
    if (!box->source->ready()) log() << u"Bad picture in creation\n";
    log() << u"reset\n";
  }
  const bool ready = box->source && box->source->ready();
  Slot& s = slot(role);
  {
    std::lock_guard lock(m_sources_lock);
    s.picture = picture;
    s.kind = kind;
    s.ready = ready;
    s.shown = ready ? box->source->full_size() : Size{};
    s.orientation = ready ? box->source->orientation() : 1;
    s.source_levels = ready ? box->source->top_level() : 0;
    s.round_up = kind != Kind::cache_file;
    s.source = std::move(box);
    s.generation = ++m_generation;
  }
  if (kind == Kind::picture_waiting && m_options.library)
    m_options.library->withdraw_picture(picture);
}

void PictureViewer::restart_slot(Role role) {
  Slot& s = slot(role);
  if (s.picture.empty()) return;
  const Size view{m_view.width() > 0 ? m_view.width() : s.element->size().width,
                  m_view.height() > 0 ? m_view.height() : s.element->size().height};
  PictureDescription picture;
  picture.rotation = m_landscape ? 1 : 0;
  double zoom = 0;
  // A picture no source can open, and a cache file that proved bad, show
  // the placeholder grid over the view: a picture of size 0 has no zoom.
  const bool placeholder = !s.ready || s.shown.width <= 0 || s.shown.height <= 0;
  if (placeholder) {
    picture.tile = {kPlaceholderSide, kPlaceholderSide};
    picture.size = view;
    picture.pyramid = false;
    picture.placeholder = true;
  } else {
    const int o = s.orientation;
    const bool partial_first_x = o == 2 || o == 3 || o == 6 || o == 7;
    const bool partial_first_y = o == 3 || o == 4 || o == 7 || o == 8;
    picture.tile = {kTileSide, kTileSide};
    picture.round_up = s.round_up;
    if (m_landscape) {
      picture.size = {s.shown.height, s.shown.width};
      picture.partial_first_x = !partial_first_y;
      picture.partial_first_y = partial_first_x;
    } else {
      picture.size = s.shown;
      picture.partial_first_x = partial_first_x;
      picture.partial_first_y = partial_first_y;
    }
    const int top = top_level_for(picture.size, picture.tile);
    if (top != s.source_levels)
      log() << u"restart level mismatch " << top << u" " << s.source_levels << u"\n";
    // libjpeg reduces by 8 at most.
    picture.lowest_level = s.kind == Kind::cache_file ? 0 : std::max(0, top - 3);
    log() << u"restart " << static_cast<int>(role) << u"\n";
    zoom = starting_zoom(view, picture.size, top);
  }
  uint64_t generation;
  {
    std::lock_guard lock(m_sources_lock);
    s.turned = m_landscape;
    s.placeholder = placeholder;
    s.tile_side = picture.tile.width;
    s.saved_zoom = zoom;
    generation = s.generation = ++m_generation;
  }
  s.element->describe(picture, generation);
  s.element->set_zoom(zoom);
  s.element->centre_picture();
}

void PictureViewer::rotate(bool right) {
  std::lock_guard lock(m_sources_lock);
  const std::array<int, 3> old = m_roles;
  if (right)
    m_roles = {old[current], old[next], old[previous]};
  else
    m_roles = {old[next], old[previous], old[current]};
}

void PictureViewer::after_step() {
  for (Role role : {previous, next}) {
    BigPictureElement& e = element(role);
    e.cancel_slide();
    e.stop_fling();
    e.set_zoom(slot(role).saved_zoom);
    e.centre_picture();
  }
  element(current).cancel_slide();
  place_elements();
  if (m_listener) m_listener->picture_changed(*this);
}

bool PictureViewer::set_left() {
  if (m_index == 0 || m_pictures.empty()) return false;
  log() << u"Set Left\n";
  clear_slot_requests(next);
  log() << u"Set Left clear end\n";
  --m_index;
  rotate(false);
  fill_slot(previous);
  element(current).centre_picture();
  after_step();
  return true;
}

bool PictureViewer::set_right() {
  if (m_index + 1 >= m_pictures.size()) return false;
  log() << u"Set Right\n";
  clear_slot_requests(previous);
  log() << u"Set Right clear end\n";
  ++m_index;
  rotate(true);
  fill_slot(next);
  element(current).centre_picture();
  after_step();
  return true;
}

bool PictureViewer::remove_current() {
  if (m_pictures.size() <= 1) return false;
  clear_slot_requests(current);
  m_pictures.erase(m_pictures.begin() + static_cast<std::ptrdiff_t>(m_index));
  // The next picture takes the place of the deleted one; after the last,
  // the previous does.
  if (m_index >= m_pictures.size()) --m_index;
  arrange_slots();
  element(current).set_zoom(slot(current).saved_zoom);
  element(current).centre_picture();
  after_step();
  return true;
}

void PictureViewer::arrange_slots() {
  std::array<std::u16string, 3> expected;
  for (Role role : {previous, current, next}) {
    const int64_t index = static_cast<int64_t>(m_index) + role - 1;
    if (index >= 0 && index < static_cast<int64_t>(m_pictures.size()))
      expected[role] = m_pictures[static_cast<size_t>(index)];
  }
  // Slots that already hold a picture keep it in its new role.
  std::array<int, 3> roles{-1, -1, -1};
  std::array<bool, 3> taken{false, false, false};
  for (Role role : {current, next, previous}) {
    if (expected[role].empty()) continue;
    for (int place = 0; place < 3; ++place) {
      if (!taken[place] && m_slots[place]->picture == expected[role]) {
        roles[role] = place;
        taken[place] = true;
        break;
      }
    }
  }
  for (int& place : roles) {
    if (place >= 0) continue;
    for (int free = 0; free < 3; ++free)
      if (!taken[free]) {
        place = free;
        taken[free] = true;
        break;
      }
  }
  {
    std::lock_guard lock(m_sources_lock);
    m_roles = roles;
  }
  for (Role role : {current, next, previous}) {
    if (slot(role).picture == expected[role] && !expected[role].empty()) continue;
    clear_slot_requests(role);
    fill_slot(role);
  }
}

bool PictureViewer::slide(int direction) {
  if (direction > 0 && m_index + 1 >= m_pictures.size()) return false;
  if (direction < 0 && m_index == 0) return false;
  BigPictureElement& e = element(current);
  const double s = e.scale();
  const double length = m_landscape ? m_view.height() : m_view.width();
  // From the far end of the range the edge rules allow, one view and the
  // gap further: the neighbour then lies exactly over the view.
  PointD target = e.rest_centre();
  const PointD centre = e.centre();
  e.set_centre(direction > 0 ? PointD{1e12, 1e12} : PointD{-1e12, -1e12});
  const PointD limit = e.rest_centre();
  e.set_centre(centre);
  if (m_landscape)
    target.y = limit.y + direction * (length + kNeighbourGap) / s;
  else
    target.x = limit.x + direction * (length + kNeighbourGap) / s;
  e.slide_to(target);
  m_slide_direction = direction;
  return true;
}

bool PictureViewer::slide_left() {
  return slide(-1);
}

bool PictureViewer::slide_right() {
  return slide(+1);
}

void PictureViewer::set_landscape(bool landscape) {
  clear_all_requests();
  m_landscape = landscape;
  m_slide_direction = 0;
  for (Role role : {current, next, previous})
    if (!slot(role).picture.empty()) restart_slot(role);
  place_elements();
}

void PictureViewer::picture_complete(const std::u16string& path) {
  for (Role role : {previous, current, next}) {
    const int64_t index = static_cast<int64_t>(m_index) + role - 1;
    if (index < 0 || index >= static_cast<int64_t>(m_pictures.size())) continue;
    Slot& s = slot(role);
    if (s.picture != path || s.ready) continue;
    // Showing a picture without its cache file withdraws it from the
    // library, which may answer with this very event: opening it again the
    // same way would only withdraw it again, every frame.
    if (s.kind == Kind::picture_waiting && kind_for(path, m_drive) == Kind::picture_waiting)
      continue;
    clear_slot_requests(role);
    log() << u"on_document_refresh begin\n";
    reset_slot(role);
    log() << u"on_document_refresh load end\n";
    restart_slot(role);
    log() << u"on_document_refresh resize end\n";
  }
}

std::u16string PictureViewer::counter_text(std::u16string_view of) const {
  if (m_pictures.empty()) return {};
  std::u16string text = decimal(m_index + 1);
  text += u' ';
  text += of;
  text += u' ';
  text += decimal(m_pictures.size());
  return text;
}

std::array<uint32_t, 4> PictureViewer::level_sizes() const {
  std::shared_ptr<SourceBox> box;
  {
    std::lock_guard lock(m_sources_lock);
    box = slot(current).source;
  }
  if (!box || !box->source) return {0, 0, 0, 0};
  std::lock_guard use(box->use);
  return box->source->level_sizes();
}

bool PictureViewer::extract_level(std::u16string_view output, int cache_level) const {
  std::shared_ptr<SourceBox> box;
  {
    std::lock_guard lock(m_sources_lock);
    box = slot(current).source;
  }
  if (!box || !box->source) return false;
  std::lock_guard use(box->use);
  return box->source->extract_level(output, cache_level);
}

int PictureViewer::top_level() const {
  return element(current).top_level();
}

// --- Placement -----------------------------------------------------------------------

void PictureViewer::set_view(const Rect& view) {
  m_view = view;
  place_elements();
}

void PictureViewer::place_elements() {
  if (m_view.empty()) return;
  BigPictureElement& here = element(current);
  const bool vertical = m_landscape;
  const int32_t length = vertical ? m_view.height() : m_view.width();
  const PointD over = here.overshoot();
  const double pushed = vertical ? over.y : over.x;
  const int32_t shift = static_cast<int32_t>(std::lround(std::clamp(pushed, -1e6, 1e6)));
  const int32_t next_start = length + kNeighbourGap + shift;
  const int32_t previous_start = -(length + kNeighbourGap) + shift;
  // Each element draws up to the middle of the gap on its side.
  const int32_t to_next = std::clamp(next_start - kNeighbourGap / 2, 0, length);
  const int32_t to_previous = std::clamp(previous_start + length + kNeighbourGap / 2, 0, to_next);
  const auto put = [&](BigPictureElement& e, int32_t view_start, int32_t from, int32_t to) {
    Rect area = m_view;
    if (vertical) {
      area.top += view_start;
      area.bottom += view_start;
      e.set_x_width(m_view.left, m_view.width());
      e.set_y_height(m_view.top + from, to - from);
    } else {
      area.left += view_start;
      area.right += view_start;
      e.set_x_width(m_view.left + from, to - from);
      e.set_y_height(m_view.top, m_view.height());
    }
    e.set_view_area(area);
  };
  put(here, 0, to_previous, to_next);
  put(element(next), next_start, to_next, length);
  put(element(previous), previous_start, 0, to_previous);
}

void PictureViewer::view_moved(BigPictureElement& element, PointD) {
  if (&element == &this->element(current)) place_elements();
}

void PictureViewer::interaction(BigPictureElement& element, const PointerEvent& event, bool tap) {
  if (&element != &this->element(current)) return;
  if (!tap && m_slide_direction == 0) {
    // Pushed far enough past its edge, the picture gives way to its
    // neighbour; otherwise the edge rules bring it back.
    const double length = m_landscape ? m_view.height() : m_view.width();
    const PointD over = element.overshoot();
    const double pushed = m_landscape ? over.y : over.x;
    const double threshold = std::max(24.0, length / 8);
    if (pushed < -threshold)
      slide(+1);
    else if (pushed > threshold)
      slide(-1);
  }
  if (m_listener) m_listener->picture_interaction(*this, event, tap);
}

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
      tile = make_source_tile(request, snapshot, *snapshot.source);
  } catch (const std::exception& e) {
    log() << u"create_tile failed: " << e.what() << u"\n";
  }
  if (!tile) tile = placeholder(true, snapshot.tile_side, snapshot.turned);
  {
    std::lock_guard queue(m_queue_lock);
    std::erase_if(m_queue, [](const Request& r) { return r.busy; });
    std::lock_guard finished(m_finished_lock);
    m_finished.push_back({request.place, request.generation, request.level, request.column,
                          request.row, std::move(tile)});
  }
  return true;
}

std::shared_ptr<const Surface> PictureViewer::make_source_tile(const Request& request,
                                                               const Slot& snapshot,
                                                               SourceBox& box) {
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
    std::lock_guard use(box.use);
    if (!box.source) return nullptr;
    made = box.source->make_tile(column, row, request.level);
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
      m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
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

// --- Frame ----------------------------------------------------------------------------

void PictureViewer::update(double) {
  m_cache.next_frame();
  std::vector<Finished> done;
  {
    std::lock_guard lock(m_finished_lock);
    done.swap(m_finished);
  }
  for (Finished& f : done) {
    Slot& s = *m_slots[f.place];
    if (f.generation != s.generation || !f.tile) continue;
    log() << u"found " << s.picture << u" " << f.level << u" " << f.column << u" " << f.row
          << u"\n";
    m_cache.put({f.generation, f.level, f.column, f.row}, std::move(f.tile));
    s.element->mark_redraw();
  }
  if (m_slide_direction != 0) {
    BigPictureElement& here = element(current);
    if (here.slide_settled()) {
      const int direction = m_slide_direction;
      m_slide_direction = 0;
      if (direction > 0)
        set_right();
      else
        set_left();
    } else if (!here.sliding()) {
      m_slide_direction = 0;  // a press took the picture back
    }
  }
  place_elements();
}

}  // namespace lv
