#include "screens/picture_viewer.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <map>
#include <new>

#include "base/file_util.h"
#include "base/log.h"
#include "base/settings.h"
#include "base/thread.h"
#include "library/cache_file.h"
#include "library/exif.h"
#include "library/photo_library.h"
#include "library/tile_source.h"
#include "screens/picture_info.h"
#include "screens/picture_viewer_parts.h"
#include "skin/bitmap_file.h"
#include "skin/render_surface.h"
#include "skin/surface.h"

namespace lv {

namespace {

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

}  // namespace

double starting_zoom(Size view, Size picture, int top_level) {
  if (picture.width <= 0 || picture.height <= 0) return 0;
  const double zx = std::log2(static_cast<double>(std::max(1, view.width)) / picture.width);
  const double zy = std::log2(static_cast<double>(std::max(1, view.height)) / picture.height);
  const double fit = (zx < 0 && zy < 0) ? std::max(zx, zy) : std::min(zx, zy);
  return std::min<double>(top_level, top_level + fit);
}

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
    for (int i = 0; i < std::max(1, m_options.workers); ++i) {
      m_workers.push_back(std::make_unique<TileWorker>(*this));
      if (!m_workers.back()->start()) log() << u"tile worker not started\n";
    }
  }
}

PictureViewer::~PictureViewer() {
  if (!m_workers.empty()) {
    {
      std::lock_guard lock(m_queue_lock);
      m_stop = true;
    }
    for (auto& worker : m_workers) worker->request_stop();
    m_wake.notify_all();
    for (auto& worker : m_workers) worker->join();
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
  std::unique_ptr<TileSource> source;
  if (kind == Kind::picture_only) {
    log() << u"reset PieceCrt2 begin\n";
    source = make_picture_tile_source(picture);
    log() << u"reset PieceCrt2\n";
  } else if (kind == Kind::picture_waiting) {
    log() << u"reset PieceCrt1 begin\n";
    source = make_picture_tile_source(picture);
    log() << u"reset PieceCrt1\n";
  } else {
    source = make_cache_tile_source(picture, m_drive);
    if (!source->ready()) log() << u"Bad picture in creation\n";
    log() << u"reset\n";
    box->limit = std::max(1, m_options.workers);
    box->another = [picture, drive = m_drive] { return make_cache_tile_source(picture, drive); };
  }
  const bool ready = source && source->ready();
  const Size shown = ready ? source->full_size() : Size{};
  const int orientation = ready ? source->orientation() : 1;
  const int levels = ready ? source->top_level() : 0;
  if (source) box->idle.push_back(std::move(source));
  Slot& s = slot(role);
  {
    std::lock_guard lock(m_sources_lock);
    s.picture = picture;
    s.kind = kind;
    s.ready = ready;
    s.shown = shown;
    s.orientation = orientation;
    s.source_levels = levels;
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
  std::u16string text = decimal_text(m_index + 1);
  text += u' ';
  text += of;
  text += u' ';
  text += decimal_text(m_pictures.size());
  return text;
}

std::array<uint32_t, 4> PictureViewer::level_sizes() const {
  std::shared_ptr<SourceBox> box;
  {
    std::lock_guard lock(m_sources_lock);
    box = slot(current).source;
  }
  Borrowed source(box);
  if (!source) return {0, 0, 0, 0};
  return source->level_sizes();
}

bool PictureViewer::extract_level(std::u16string_view output, int cache_level) const {
  std::shared_ptr<SourceBox> box;
  {
    std::lock_guard lock(m_sources_lock);
    box = slot(current).source;
  }
  Borrowed source(box);
  if (!source) return false;
  return source->extract_level(output, cache_level);
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
