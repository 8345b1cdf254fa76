#include "screens/folder_screen.h"

#include <algorithm>

#include "base/file_util.h"
#include "base/log.h"
#include "base/settings.h"
#include "library/cache_file.h"
#include "library/photo_library.h"
#include "screens/app_services.h"
#include "screens/folder_element.h"
#include "screens/folder_grid.h"
#include "screens/image_screen.h"
#include "screens/required_element.h"
#include "screens/thumbnail_art.h"
#include "skin/render_surface.h"
#include "widgets/image_element.h"
#include "widgets/list_element.h"
#include "widgets/progress.h"
#include "widgets/screen_host.h"
#include "widgets/text_element.h"

namespace lv {

namespace {

void set_caption(Element& element, std::u16string_view text) {
  if (auto* label = dynamic_cast<TextElement*>(&element))
    label->set_text(text);
  else if (auto* button = dynamic_cast<ButtonElement*>(&element))
    button->set_text(text);
  else
    element.set_text_by_id(u"#text", text);
}

// The size thumbnails are shown at: the "bad" element's own size as the
// skin designs it, else the size of its picture (the frame), else the
// thumbnail's own.
Size thumbnail_size(const ImageElement& frame) {
  const Size design = frame.design_size();
  if (design.width > 0 && design.height > 0) return design;
  const Picture& picture = frame.picture();
  const Size drawn{picture.p3.x - picture.p0.x, picture.p3.y - picture.p0.y};
  if (!picture.empty() && drawn.width > 0 && drawn.height > 0) return drawn;
  return {kThumbnailSide, kThumbnailSide};
}

// The same picture with its points at another scale: every bitmap pixel
// then covers 2^scale screen pixels.
Picture rescaled(Picture picture, int32_t scale) {
  const auto to = [&](Point p) {
    const Point unscaled{p.x >> picture.scale, p.y >> picture.scale};
    return Point{unscaled.x << scale, unscaled.y << scale};
  };
  picture.p0 = to(picture.p0);
  picture.p1 = to(picture.p1);
  picture.p2 = to(picture.p2);
  picture.p3 = to(picture.p3);
  picture.scale = scale;
  return picture;
}

// A cache file that exists but is empty: its build failed.
bool failed_cache_file(std::u16string_view cache_path) {
  const FileInfo info = file_info(cache_path);
  return info.exists() && !info.is_directory() && info.size == 0;
}

}  // namespace

struct FolderScreen::Impl {
  Impl(Properties& skin, PhotoLibrary& library, AppServices& app)
      : skin(skin), library(library), app(app) {}

  Properties& skin;
  PhotoLibrary& library;
  AppServices& app;

  ButtonElement* back = nullptr;
  ListElement* list = nullptr;
  ProgressElement* progress = nullptr;
  Element* title = nullptr;
  ImageElement* frame = nullptr;
  Element* empty_note = nullptr;  // optional: shown for a folder without pictures

  FolderRecord record;
  std::vector<std::u16string> pictures;
  std::vector<Picture> thumbnails;  // the empty picture while not loaded
  std::vector<uint8_t> bad;
  int32_t columns = 1;
  int32_t rows = 0;
  size_t next = 0;
  int32_t last_width = 0;
  bool on_stack = false;
  std::unique_ptr<ImageScreen> image;
};

FolderScreen::FolderScreen(Properties& skin, PhotoLibrary& library, AppServices& app)
    : m_impl(std::make_unique<Impl>(skin, library, app)) {
  build_tree();
  m_impl->image = std::make_unique<ImageScreen>(skin, library, app);
  m_impl->library.add_listener(this);
  m_impl->skin.add_reload_listener(this);
}

FolderScreen::~FolderScreen() {
  m_impl->skin.remove_reload_listener(this);
  m_impl->library.remove_listener(this);
  m_impl->image.reset();
  if (m_impl->on_stack) screen_host().remove_screen(*this, ScreenAnimation::none);
}

void FolderScreen::build_tree() {
  Impl& d = *m_impl;
  // A row is made only once the list needs one; its skin is checked here so
  // that a broken one is reported at once and not from some later frame.
  {
    ScreenRoot probe;
    probe.build(d.skin, u"FolderElement");
    for (int32_t c = 0; c < kFolderMaxColumns; ++c) {
      const std::u16string id = FolderElement::cell_id(c);
      required_element<ImageElement>(required_element<ButtonElement>(probe, id), u"image");
    }
    required_element<ImageElement>(probe, u"bad");
    required_element<ImageElement>(probe, u"loading");
  }

  build(d.skin, u"Folder");
  d.back = &required_element<ButtonElement>(*this, u"btnBack");
  d.list = &required_element<ListElement>(*this, u"listFolder");
  d.progress = &required_element<ProgressElement>(*this, u"progress");
  d.title = &find_required(u"btnText");
  d.frame = &required_element<ImageElement>(*this, u"bad");
  Element& loading = required_element<ImageElement>(*this, u"loading");

  d.back->set_listener(this);
  d.list->set_provider(this);
  d.progress->set_visible(false);
  d.title->set_enabled(false);
  d.frame->set_visible(false);
  loading.set_visible(false);
  d.empty_note = find_by_id(u"empty_note");
  show_folder();
}

void FolderScreen::show_folder() {
  Impl& d = *m_impl;
  set_caption(*d.title, folder_display_name(d.record.folder));
  if (d.empty_note) d.empty_note->set_visible(!d.record.folder.empty() && d.pictures.empty());
}

void FolderScreen::open(const FolderRecord& record, ScreenAnimation animation) {
  Impl& d = *m_impl;
  log() << u"folder open " << record.folder << u"\n";
  d.record = record;
  list_pictures();
  refill();
  ScreenHost& host = screen_host();
  if (d.on_stack) host.remove_screen(*this, ScreenAnimation::none);
  host.add_screen(*this, ScreenLayer::replace, animation);
  d.on_stack = true;
}

void FolderScreen::open_picture(const FolderRecord& record, const std::u16string& picture) {
  Impl& d = *m_impl;
  // Only the picture's arrival is animated: the folder lies below it.
  open(record, ScreenAnimation::none);
  const auto found = std::find(d.pictures.begin(), d.pictures.end(), picture);
  if (found != d.pictures.end()) {
    open_picture(static_cast<size_t>(found - d.pictures.begin()));
    return;
  }
  // A JPEG the listing leaves out by its name is shown after the folder's
  // pictures; the grid does not show it.
  std::vector<std::u16string> pictures = d.pictures;
  pictures.push_back(picture);
  log() << u"open picture " << pictures.size() - 1 << u" " << picture << u" (not listed)\n";
  d.image->open(std::move(pictures), d.pictures.size(), d.record.drive);
}

void FolderScreen::leave(ScreenAnimation animation) {
  Impl& d = *m_impl;
  screen_host().remove_screen(*this, animation);
  d.on_stack = false;
}

void FolderScreen::list_pictures() {
  Impl& d = *m_impl;
  d.pictures = list_folder_pictures(d.record.folder);
}

// Steps 2 to 6 of opening: the folder list follows the disk, the thumbnails
// start over and the grid is laid out for the current width.
void FolderScreen::refill() {
  Impl& d = *m_impl;
  const int32_t count = static_cast<int32_t>(std::min<size_t>(d.pictures.size(), INT32_MAX));
  // The record's key picture names its folder to both setters, which save
  // folders.ini; they are called only when the disk says something new.
  const std::u16string anchor = d.record.key_picture;
  if (!anchor.empty() && count != d.record.size) d.library.set_folder_size(anchor, count);
  if (!anchor.empty() && count > 0 && d.pictures.front() != anchor)
    d.library.set_key_picture(anchor, d.pictures.front());
  d.record.size = count;
  if (count > 0) d.record.key_picture = d.pictures.front();
  d.last_width = 0;
  show_folder();
  d.thumbnails.assign(d.pictures.size(), empty_picture());
  d.bad.assign(d.pictures.size(), 0);
  d.next = 0;
  compute_columns();
}

int32_t FolderScreen::screen_width() const {
  const int32_t width = m_impl->app.screen_info().width;
  return width > 0 ? width : size().width;
}

void FolderScreen::compute_columns() {
  Impl& d = *m_impl;
  d.last_width = screen_width();
  d.columns = folder_columns(d.last_width, d.skin.scale());
  d.rows = folder_row_count(d.pictures.size(), d.columns);
  d.list->reset(d.rows);
}

void FolderScreen::load_thumbnail(size_t index) {
  Impl& d = *m_impl;
  if (index >= d.pictures.size() || !d.thumbnails[index].empty()) return;
  const std::u16string& picture = d.pictures[index];
  const std::u16string cache = cache_name(picture, d.record.drive);
  if (cache.empty() || failed_cache_file(cache)) {
    d.bad[index] = 1;
    return;
  }
  if (cache_file_valid(cache)) {
    // Kept at the skin's own resolution and drawn magnified by its scale: a
    // folder of thousands of pictures then costs the same at every scale
    // (the thumbnails hold 64 x 64 pixels to begin with).
    const int32_t scale = std::clamp(d.skin.scale(), 0, 2);
    const Size shown = thumbnail_size(*d.frame);
    const Size stored{std::max(1, shown.width >> scale), std::max(1, shown.height >> scale)};
    const std::unique_ptr<RenderSurface> surface = load_thumbnail_file(cache);
    Picture framed = surface && surface->surface() ? thumbnail_art(*surface->surface(), stored,
                                                                   rescaled(d.frame->picture(), 0))
                                                   : empty_picture();
    if (!framed.empty()) framed = rescaled(std::move(framed), scale);
    d.bad[index] = framed.empty() ? 1 : 0;
    d.thumbnails[index] = std::move(framed);
    return;
  }
  if (d.library.add_picture(picture, d.record.drive) == PhotoLibrary::AddResult::failed)
    d.bad[index] = 1;
}

void FolderScreen::load_step() {
  Impl& d = *m_impl;
  const size_t count = d.pictures.size();
  if (d.next >= count) return;
  const size_t k = static_cast<size_t>(d.columns);
  load_thumbnail(d.next);
  // Rows are bound again only once a row's worth has been loaded.
  if (d.next % k == 0 && d.next > 0) d.list->rebind_row(static_cast<int32_t>(d.next / k - 1));
  ++d.next;
  if (d.next == count) {
    d.list->rebind_row(static_cast<int32_t>(count / k));
    if (count / k > 0) d.list->rebind_row(static_cast<int32_t>(count / k - 1));
  }
}

void FolderScreen::on_timer(double seconds) {
  ScreenRoot::on_timer(seconds);
  m_impl->library.poll();
  load_step();
}

void FolderScreen::layout_children_x() {
  ScreenRoot::layout_children_x();
  if (screen_width() != m_impl->last_width) compute_columns();
}

bool FolderScreen::on_key(const KeyEvent& event) {
  if (event.key == kKeyBackspace) {
    if (event.pressed) leave();
    return true;
  }
  return m_impl->back->on_key(event);
}

void FolderScreen::row_clicked(ListElement&, int32_t) {
  // The cells are buttons and report their own clicks.
}

std::unique_ptr<ListRow> FolderScreen::create_row(ListElement&, int32_t index) {
  if (index < 0 || index >= m_impl->rows) return nullptr;
  return std::make_unique<FolderElement>(*this);
}

void FolderScreen::clicked(ButtonElement& button, const ClickInfo&) {
  Impl& d = *m_impl;
  if (&button == d.back) {
    leave();
    return;
  }
  FolderElement* row = nullptr;
  for (Element* e = button.parent(); e && !row; e = e->parent())
    row = dynamic_cast<FolderElement*>(e);
  if (!row || row->being_removed()) return;
  const int32_t cell = row->cell_of(button);
  if (cell < 0 || cell >= d.columns) return;
  const size_t index = static_cast<size_t>(row->index()) * static_cast<size_t>(d.columns) +
                       static_cast<size_t>(cell);
  if (index < d.pictures.size()) open_picture(index);
}

void FolderScreen::open_picture(size_t index) {
  Impl& d = *m_impl;
  log() << u"open picture " << index << u" " << d.pictures[index] << u"\n";
  d.image->open(d.pictures, index, d.record.drive);
}

ImageScreen& FolderScreen::image_screen() const {
  return *m_impl->image;
}

void FolderScreen::picture_completed(const std::u16string& path) {
  Impl& d = *m_impl;
  const auto found = std::find(d.pictures.begin(), d.pictures.end(), path);
  if (found == d.pictures.end()) return;
  const size_t index = static_cast<size_t>(found - d.pictures.begin());
  load_thumbnail(index);
  d.list->rebind_row(static_cast<int32_t>(index / static_cast<size_t>(d.columns)));
  log() << u"refresh " << path << u" num " << index << u"\n";
}

void FolderScreen::on_event(const LibraryEvent& event) {
  Impl& d = *m_impl;
  if (event.has(LibraryEvent::progress)) {
    d.progress->set_visible(true);
    d.progress->set_value(event.fraction);
  }
  if (event.has(LibraryEvent::cache_complete)) d.progress->set_visible(false);
  if (event.has(LibraryEvent::picture_complete)) picture_completed(event.picture);
  if (event.has(LibraryEvent::folder_size_changed)) {
    // News about another folder's pictures is not this screen's business.
    const bool ours = event.second_path.empty() || folder_of(event.second_path) == d.record.folder;
    if (ours && d.on_stack) leave();
  }
  if (event.has(LibraryEvent::pictures_changed)) {
    list_pictures();
    refill();
  }
}

void FolderScreen::reload_skin(Properties&) {
  Impl& d = *m_impl;
  build_tree();
  // Thumbnails carry the old skin's frame: they are made again.
  d.thumbnails.assign(d.pictures.size(), empty_picture());
  d.bad.assign(d.pictures.size(), 0);
  d.next = 0;
  compute_columns();
  if (d.on_stack) screen_host().size_to_client_area(*this);
}

// --- State -------------------------------------------------------------------

const Properties& FolderScreen::properties() const {
  return m_impl->skin;
}
const FolderRecord& FolderScreen::record() const {
  return m_impl->record;
}
const std::vector<std::u16string>& FolderScreen::pictures() const {
  return m_impl->pictures;
}
int32_t FolderScreen::columns() const {
  return m_impl->columns;
}
size_t FolderScreen::next_index() const {
  return m_impl->next;
}
const Picture* FolderScreen::thumbnail(size_t index) const {
  const Impl& d = *m_impl;
  return index < d.thumbnails.size() && !d.thumbnails[index].empty() ? &d.thumbnails[index]
                                                                     : nullptr;
}
bool FolderScreen::bad(size_t index) const {
  return index < m_impl->bad.size() && m_impl->bad[index] != 0;
}
bool FolderScreen::on_stack() const {
  return m_impl->on_stack;
}
ListElement& FolderScreen::list() const {
  return *m_impl->list;
}

}  // namespace lv
