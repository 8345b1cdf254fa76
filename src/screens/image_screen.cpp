#include "screens/image_screen.h"

#include <algorithm>
#include <cmath>

#include "base/file_util.h"
#include "base/log.h"
#include "base/settings.h"
#include "library/cache_file.h"
#include "library/photo_library.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/trash.h"
#include "screens/app_services.h"
#include "screens/big_picture.h"
#include "screens/picture_info.h"
#include "screens/required_element.h"
#include "skin/font.h"
#include "widgets/menu_screen.h"
#include "widgets/rich_text_element.h"
#include "widgets/screen_host.h"

namespace lv {

namespace {

constexpr int32_t kImageMenuTag = 2;
constexpr char16_t kOptions[] = u"Options";
constexpr char16_t kSendProgram[] = u"xdg-email";
// Cache level of each send variant: the picture itself, then its halvings.
constexpr std::u16string_view kSendVariants[] = {u"Original", u"Large", u"Medium", u"Small"};

MenuItem item(std::u16string_view key, std::u16string text = {}, std::u16string_view style = {}) {
  MenuItem m;
  m.key = std::u16string(key);
  m.text = std::move(text);
  m.style = std::u16string(style);
  return m;
}

// A check box is a button with two state pictures.
struct CheckBox {
  ButtonElement* button = nullptr;
  Element* off = nullptr;
  Element* on = nullptr;
};

CheckBox check_box(const Element& root, std::u16string_view id) {
  CheckBox box;
  box.button = &required_element<ButtonElement>(root, id);
  box.off = &box.button->find_required(u"ptr_state_0");
  box.on = &box.button->find_required(u"ptr_state_1");
  return box;
}

}  // namespace

struct ImageScreen::Controls {
  ButtonElement* back = nullptr;
  ButtonElement* minus = nullptr;
  ButtonElement* plus = nullptr;
  ButtonElement* counter = nullptr;
  ButtonElement* menu = nullptr;
  ButtonElement* panel = nullptr;
  CheckBox landscape;
  CheckBox slide_show;
  Element* area = nullptr;
  std::array<BigPictureElement*, 3> pictures{};
  // What hides and shows: the bars when the skin has them, else every
  // control on its own.
  std::vector<Element*> shown;
};

ImageScreen::ImageScreen(Properties& skin, PhotoLibrary& library, AppServices& app,
                         PictureViewer::Worker worker)
    : m_skin(skin), m_library(library), m_app(app), m_worker(worker) {
  build_tree();
  make_viewer();
  log() << u"image form\n";
  m_library.add_listener(this);
  m_skin.add_reload_listener(this);
}

ImageScreen::~ImageScreen() {
  m_skin.remove_reload_listener(this);
  m_library.remove_listener(this);
  m_slide_time.reset();
  m_viewer.reset();  // stops, wakes and joins the worker
  if (m_screen_held) m_app.allow_screen_saver(true);
  m_menu.reset();
  if (m_on_stack) screen_host().remove_screen(*this, ScreenAnimation::none);
}

void ImageScreen::build_tree() {
  // A rebuilt tree drops the viewer's elements: the viewer goes first.
  m_viewer.reset();
  build(m_skin, u"Image");
  auto c = std::make_unique<Controls>();
  c->back = &required_element<ButtonElement>(*this, u"btnBack");
  c->back->find_required(u"ptrBack");
  c->minus = &required_element<ButtonElement>(*this, u"btnMinus");
  c->minus->find_required(u"ptrMinus");
  c->plus = &required_element<ButtonElement>(*this, u"btnPlus");
  c->plus->find_required(u"ptrPlus");
  c->counter = &required_element<ButtonElement>(*this, u"btnNumText");
  c->counter->find_required(u"ptrNumText");
  c->menu = &required_element<ButtonElement>(*this, u"btnMenu");
  c->menu->find_required(u"ptrMenu");
  c->panel = &required_element<ButtonElement>(*this, u"btnProperties");
  c->landscape = check_box(*this, u"chkLandscape");
  c->slide_show = check_box(*this, u"chkSlideShow");
  std::vector<Element*> gaps;
  for (std::u16string_view id : {u"btngap1", u"btngap2", u"btngap3"}) {
    Element& gap = find_required(id);
    gap.find_required(u"ptrgap");
    gaps.push_back(&gap);
  }
  c->pictures = {&required_element<BigPictureElement>(*this, u"left"),
                 &required_element<BigPictureElement>(*this, u"center"),
                 &required_element<BigPictureElement>(*this, u"right")};
  c->area = &find_required(u"size_image");
  for (std::u16string_view id : {u"bar_top", u"bar_bottom"})
    if (Element* bar = find_by_id(id)) c->shown.push_back(bar);
  if (c->shown.empty()) {
    c->shown = {
        c->back, c->minus, c->plus, c->counter, c->menu, c->landscape.button, c->slide_show.button};
    c->shown.insert(c->shown.end(), gaps.begin(), gaps.end());
  }
  for (ButtonElement* b : {c->back, c->minus, c->plus, c->counter, c->menu, c->panel,
                           c->landscape.button, c->slide_show.button})
    b->set_listener(this);
  c->panel->set_visible(false);
  m_controls = std::move(c);
  set_check(*m_controls->landscape.button, m_landscape);
  set_check(*m_controls->slide_show.button, m_slide_show);
  m_controls->landscape.button->set_enabled(false);
  m_controls_shown = true;
  m_menu = std::make_unique<MenuScreen>(kImageMenuTag, m_skin, this, u"Menu", u"MenuElement");
}

void ImageScreen::make_viewer() {
  PictureViewer::Options options;
  options.library = &m_library;
  options.worker = m_worker;
  // The placeholders are named after the skin file: "<skin>.load.bmp".
  const std::u16string& path = m_skin.path();
  const size_t slash = path.find_last_of(u"/\\");
  std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
  if (name.size() > 5 && name.compare(name.size() - 5, 5, u".skin") == 0)
    name.resize(name.size() - 5);
  options.skin_name = name;
  if (slash != std::u16string::npos) options.placeholder_folder = path.substr(0, slash + 1);
  auto& p = m_controls->pictures;
  m_viewer = std::make_unique<PictureViewer>(*p[0], *p[1], *p[2], options);
  m_viewer->set_listener(this);
  m_viewer->set_worker_idle(false);
}

// --- Opening and leaving -------------------------------------------------------------

void ImageScreen::open(std::vector<std::u16string> pictures, size_t index, std::u16string drive) {
  log() << u"image open " << index << u"\n";
  stop_slide_show();
  if (m_landscape) {
    m_landscape = false;
    m_viewer->set_landscape(false);
  }
  set_check(*m_controls->landscape.button, false);
  m_pictures_changed = false;
  m_tap_time.reset();
  hide_panel();
  m_viewer->set_worker_idle(true);
  ScreenHost& host = screen_host();
  if (m_on_stack) host.remove_screen(*this, ScreenAnimation::none);
  host.add_screen(*this, ScreenLayer::replace, ScreenAnimation::animated);
  m_on_stack = true;
  m_viewer->open(std::move(pictures), index, std::move(drive));
  touch_controls();
}

void ImageScreen::close_screen(ScreenAnimation animation) {
  log() << u"image close\n";
  stop_slide_show();
  m_viewer->close();
  m_tap_time.reset();
  if (m_on_stack) screen_host().remove_screen(*this, animation);
  m_on_stack = false;
}

void ImageScreen::leave(ScreenAnimation animation) {
  close_screen(animation);
  if (m_pictures_changed) {
    m_pictures_changed = false;
    m_library.post_event(LibraryEvent::with(LibraryEvent::pictures_changed));
  }
}

// --- Frame ----------------------------------------------------------------------------

void ImageScreen::on_timer(double seconds) {
  ScreenRoot::on_timer(seconds);
  if (m_controls_time) {
    if (*m_controls_time < kControlsSeconds) {
      show_controls(true);
      *m_controls_time += seconds;
    } else {
      show_controls(false);
      m_controls_time.reset();
    }
  }
  m_library.poll();
  m_viewer->update(seconds);
  update_buttons();
  if (m_tap_time) {
    *m_tap_time -= seconds;
    if (*m_tap_time <= 0) {
      // No second tap came: the tap shows or hides the controls.
      m_tap_time.reset();
      if (m_controls_time) {
        m_controls_time.reset();
        show_controls(false);
      } else {
        touch_controls();
      }
    }
  }
  if (m_slide_time) {
    *m_slide_time -= seconds;
    if (*m_slide_time <= 0) slide_show_tick();
  }
}

void ImageScreen::update_buttons() {
  Controls& c = *m_controls;
  const BigPictureElement& here = m_viewer->element(PictureViewer::current);
  const double saved = m_viewer->saved_zoom(PictureViewer::current);
  const bool picture = here.has_picture() && m_viewer->ready(PictureViewer::current);
  c.minus->set_enabled(picture && can_zoom_out(here.zoom(), saved));
  c.plus->set_enabled(picture && can_zoom_in(here.zoom(), here.top_level()));
  // The turn waits until the worker has made what the last turn asked for.
  // A worker with nothing left to make counts as done, so the box can never
  // stay off.
  ++m_frames_since_turn;
  const bool idle =
      m_viewer->worker_idle() ||
      (m_frames_since_turn > 2 && m_viewer->queued() == 0 && m_viewer->finished() == 0);
  if (idle && !c.landscape.button->enabled()) {
    m_viewer->set_worker_idle(true);
    c.landscape.button->set_enabled(true);
    log() << u"Landscape enabled\n";
  }
}

void ImageScreen::layout_children_y() {
  ScreenRoot::layout_children_y();
  if (m_viewer) m_viewer->set_view(m_controls->area->rect());
}

void ImageScreen::show_controls(bool shown) {
  if (shown == m_controls_shown) return;
  m_controls_shown = shown;
  for (Element* e : m_controls->shown) e->show_animated(shown);
}

void ImageScreen::touch_controls() {
  m_controls_time = 0.0;
  show_controls(true);
}

void ImageScreen::set_check(ButtonElement& box, bool on) {
  const CheckBox& c =
      &box == m_controls->landscape.button ? m_controls->landscape : m_controls->slide_show;
  c.off->set_visible(!on);
  c.on->set_visible(on);
}

// --- Buttons and keys --------------------------------------------------------------

void ImageScreen::clicked(ButtonElement& button, const ClickInfo&) {
  Controls& c = *m_controls;
  const bool slide_show_box = &button == c.slide_show.button;
  if (!slide_show_box) stop_slide_show();
  touch_controls();
  hide_panel();
  if (&button == c.back) {
    leave();
  } else if (&button == c.minus) {
    zoom_out();
  } else if (&button == c.plus) {
    zoom_in(std::nullopt);
  } else if (&button == c.menu) {
    open_menu(kOptions);
  } else if (&button == c.landscape.button) {
    toggle_landscape();
  } else if (slide_show_box) {
    toggle_slide_show();
  }
}

bool ImageScreen::on_key(const KeyEvent& event) {
  Controls& c = *m_controls;
  for (ButtonElement* b : {c.back, c.menu, c.minus, c.plus})
    if (b->bind_key() != 0 && b->bind_key() == event.key) return b->on_key(event);
  const bool backwards = event.key == (m_landscape ? kKeyUp : kKeyLeft);
  const bool forwards = event.key == (m_landscape ? kKeyDown : kKeyRight);
  const bool handled = backwards || forwards || event.key == kKeyBackspace ||
                       event.key == kKeyHome || event.key == kKeyEnd || event.key == kKeyDel ||
                       event.key == kKeyPlus || event.key == kKeyMinus;
  if (!handled) return false;
  if (event.pressed) return true;  // acted on at the release
  stop_slide_show();
  touch_controls();
  if (backwards) {
    m_viewer->slide_left();
  } else if (forwards) {
    m_viewer->slide_right();
  } else if (event.key == kKeyBackspace) {
    leave();
  } else if (event.key == kKeyHome || event.key == kKeyEnd) {
    if (m_viewer->count() > 0) {
      std::vector<std::u16string> list = m_viewer->pictures();
      const size_t index = event.key == kKeyHome ? 0 : list.size() - 1;
      if (index != m_viewer->index()) m_viewer->open(std::move(list), index, m_viewer->drive());
    }
  } else if (event.key == kKeyDel) {
    open_menu(u"Delete");
  } else if (event.key == kKeyPlus) {
    zoom_in(std::nullopt);
  } else if (event.key == kKeyMinus) {
    zoom_out();
  }
  return true;
}

bool ImageScreen::on_wheel(const WheelEvent& event) {
  BigPictureElement& e = m_viewer->element(PictureViewer::current);
  if (!e.has_picture() || !m_viewer->ready(PictureViewer::current)) return false;
  stop_slide_show();
  const double start = m_viewer->saved_zoom(PictureViewer::current);
  const double target = std::clamp(e.target_zoom() + event.steps * kWheelLevels,
                                   std::min(start, static_cast<double>(e.top_level())),
                                   static_cast<double>(e.top_level()));
  if (target != e.target_zoom()) e.zoom_to(target, Point{event.x, event.y});
  return true;
}

bool ImageScreen::on_pinch(const PinchEvent& event) {
  BigPictureElement& e = m_viewer->element(PictureViewer::current);
  if (!e.has_picture() || !m_viewer->ready(PictureViewer::current)) return false;
  if (event.phase == PinchEvent::Phase::begin) stop_slide_show();
  const double start = m_viewer->saved_zoom(PictureViewer::current);
  const double top = e.top_level();
  const double zoom =
      std::clamp(e.zoom() + std::log2(std::max(event.scale, 1e-6)), std::min(start, top), top);
  e.pan_by(event.dx, event.dy);
  e.zoom_at(zoom, {event.x, event.y}, event.phase == PinchEvent::Phase::end);
  return true;
}

// --- Zoom -------------------------------------------------------------------------

void ImageScreen::zoom_out() {
  BigPictureElement& e = m_viewer->element(PictureViewer::current);
  if (!e.zoom_settled()) return;
  const double saved = m_viewer->saved_zoom(PictureViewer::current);
  if (!can_zoom_out(e.zoom(), saved)) return;
  e.zoom_to(zoom_out_target(e.zoom(), e.target_zoom(), saved));
}

void ImageScreen::zoom_in(std::optional<Point> anchor) {
  BigPictureElement& e = m_viewer->element(PictureViewer::current);
  if (!e.zoom_settled() || !can_zoom_in(e.zoom(), e.top_level())) return;
  e.zoom_to(zoom_in_target(e.zoom()), anchor);
}

void ImageScreen::picture_interaction(PictureViewer&, const PointerEvent& event, bool tap) {
  if (!tap) return;
  stop_slide_show();
  BigPictureElement& e = m_viewer->element(PictureViewer::current);
  if (m_tap_time && e.zoom_settled()) {
    m_tap_time.reset();
    const Point at{event.x, event.y};
    if (can_zoom_in(e.zoom(), e.top_level()))
      zoom_in(at);
    else
      // At full size a double tap goes back to the whole picture.
      e.zoom_to(m_viewer->saved_zoom(PictureViewer::current), at);
    return;
  }
  m_tap_time = kDoubleTapSeconds;
}

// --- Check boxes and the slide show --------------------------------------------------

void ImageScreen::toggle_landscape() {
  m_landscape = !m_landscape;
  set_check(*m_controls->landscape.button, m_landscape);
  m_viewer->set_landscape(m_landscape);
  invalidate_layout();
  m_controls->landscape.button->set_enabled(false);
  log() << u"Landscape disabled\n";
  m_viewer->set_worker_idle(false);
  m_frames_since_turn = 0;
}

void ImageScreen::toggle_slide_show() {
  if (m_slide_show) {
    stop_slide_show();
    return;
  }
  m_slide_show = true;
  set_check(*m_controls->slide_show.button, true);
  if (!m_screen_held) m_app.allow_screen_saver(false);
  m_screen_held = true;
  m_slide_time = kSlideShowSeconds;
}

void ImageScreen::stop_slide_show() {
  if (m_slide_show) {
    m_slide_show = false;
    set_check(*m_controls->slide_show.button, false);
  }
  m_slide_time.reset();
  if (m_screen_held) {
    m_screen_held = false;
    m_app.allow_screen_saver(true);
  }
}

void ImageScreen::slide_show_tick() {
  if (m_viewer->index() + 1 >= m_viewer->count()) {
    // The end of the folder ends the show and the screen.
    leave();
    return;
  }
  m_viewer->slide_right();
  if (!m_screen_held) m_app.allow_screen_saver(false);
  m_screen_held = true;
  m_slide_time = kSlideShowSeconds;
}

// --- Menus ------------------------------------------------------------------------

std::u16string ImageScreen::text(std::u16string_view key) const {
  return m_skin.language().lookup(key);
}

void ImageScreen::open_menu(std::u16string_view key) {
  if (m_menu) m_menu->open(key, u"", true);
}

void ImageScreen::fill(int32_t, std::u16string_view key, std::u16string&,
                       std::vector<MenuItem>& items) {
  log() << u"image menu " << key << u"\n";
  if (key == kOptions) {
    for (std::u16string_view k : {u"Delete", u"Send", u"Properties", u"Cancel"})
      items.push_back(item(k));
  } else if (key == u"Send") {
    const std::array<uint32_t, 4> sizes = m_viewer->level_sizes();
    const int top = m_viewer->top_level();
    // A level the picture does not have is never offered: its old file
    // would be sent instead.
    for (int level = 0; level < 4; ++level) {
      if (sizes[static_cast<size_t>(level)] == 0 || level > top) continue;
      const std::u16string_view variant = kSendVariants[level];
      items.push_back(item(
          variant, text(variant) + u" (" +
                       size_text(sizes[static_cast<size_t>(level)], m_skin.language()) + u")"));
    }
    items.push_back(item(u"Cancel"));
  } else if (key == u"Delete") {
    items.push_back(item(u"DeleteYes", text(u"Delete"), u"MenuElementRed"));
    items.push_back(item(u"Cancel"));
  } else if (key == u"Properties") {
    show_properties();
  } else if (key == u"DeleteYes") {
    delete_picture();
  } else if (std::find(std::begin(kSendVariants), std::end(kSendVariants), key) !=
             std::end(kSendVariants)) {
    send(key);
  }
}

void ImageScreen::show_panel(const std::u16string& text) {
  // The last line's end would read as one more line that does not fit.
  std::u16string shown = text;
  while (!shown.empty() && shown.back() == u'\n') shown.pop_back();
  m_controls->panel->set_text(shown);
  m_controls->panel->set_visible(true);
}

void ImageScreen::show_properties() {
  const std::vector<PictureProperty> properties =
      picture_properties(m_viewer->picture(PictureViewer::current),
                         m_viewer->picture_size(PictureViewer::current), m_skin.language());
  for (const PictureProperty& p : properties)
    log() << u"property " << p.label << u" : " << p.value << u"\n";
  auto* rich = dynamic_cast<RichTextElement*>(m_controls->panel->find_by_id(u"#text"));
  if (!rich) {
    show_panel(properties_text(properties));
    return;
  }
  // Labels in the bold face of the panel's font, values in the font itself.
  const FontRef bold = font_variant(rich->font(), true, false);
  rich->clear_runs();
  for (size_t i = 0; i < properties.size(); ++i) {
    rich->add_text(properties[i].label + u" : ", bold, rich->color());
    rich->add_text(properties[i].value + (i + 1 < properties.size() ? u"\n" : u""), rich->font(),
                   rich->color());
  }
  m_controls->panel->set_visible(true);
}

void ImageScreen::hide_panel() {
  m_controls->panel->set_visible(false);
}

void ImageScreen::delete_picture() {
  const std::u16string picture = m_viewer->picture(PictureViewer::current);
  if (picture.empty()) return;
  const std::u16string cache = cache_name(picture, m_viewer->drive());
  const platform::TrashOutcome outcome = platform::move_to_trash(to_utf8(expand_path(picture)));
  if (outcome.result == platform::TrashResult::failed) {
    log() << u"delete failed " << picture << u": " << outcome.problem << u"\n";
    // Nothing is taken from the list: the picture is still there.
    show_panel(text(u"DeleteFailed") + u"\n" + from_utf8(outcome.problem));
    return;
  }
  log() << u"deleted " << picture << u"\n";
  if (!cache.empty()) delete_file(cache);
  if (m_viewer->count() <= 1) {
    close_screen();
    LibraryEvent event = LibraryEvent::with(LibraryEvent::folder_size_changed);
    event.second_path = picture;
    event.count = 0;
    m_library.post_event(event);
    m_pictures_changed = false;
    return;
  }
  m_pictures_changed = true;
  m_viewer->remove_current();
}

void ImageScreen::send(std::u16string_view variant) {
  const std::u16string picture = expand_path(m_viewer->picture(PictureViewer::current));
  if (picture.empty()) return;
  const int level =
      static_cast<int>(std::find(std::begin(kSendVariants), std::end(kSendVariants), variant) -
                       std::begin(kSendVariants));
  std::u16string file = picture;
  if (level > 0) {
    if (level > m_viewer->top_level() || m_viewer->level_sizes()[static_cast<size_t>(level)] == 0)
      return;
    std::u16string folder = cache_folder(m_viewer->drive());
    if (!folder.empty() && folder.back() != u'/') folder += u'/';
    file = expand_path(folder + u"send.jpg");
    // Only a file this send wrote may go out.
    delete_file(file);
    if (!m_viewer->extract_level(file, level) || file_info(file).size == 0) {
      log() << u"send: no reduced copy\n";
      return;
    }
  }
  int pid = 0;
  if (!platform::spawn_process(to_utf8(kSendProgram), {"--attach", to_utf8(file)}, &pid)) {
    log() << u"send: cannot start " << kSendProgram << u"\n";
    show_panel(text(u"SendFailed"));
    return;
  }
  log() << u"send " << file << u" pid " << pid << u"\n";
}

// --- Library and skin ------------------------------------------------------------------

void ImageScreen::on_event(const LibraryEvent& event) {
  if (event.has(LibraryEvent::picture_complete)) m_viewer->picture_complete(event.picture);
}

void ImageScreen::picture_changed(PictureViewer& viewer) {
  m_controls->counter->set_text(viewer.counter_text(text(u"of")));
}

void ImageScreen::reload_skin(Properties&) {
  std::vector<std::u16string> pictures;
  size_t index = 0;
  std::u16string drive;
  if (m_viewer) {
    pictures = m_viewer->pictures();
    index = m_viewer->index();
    drive = m_viewer->drive();
  }
  build_tree();
  make_viewer();
  if (m_landscape) m_viewer->set_landscape(true);
  if (m_on_stack) {
    screen_host().size_to_client_area(*this);
    m_viewer->open(std::move(pictures), index, std::move(drive));
  }
}

}  // namespace lv
