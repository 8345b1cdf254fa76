#include "screens/album_screen.h"

#include <algorithm>

#include "base/command_line.h"
#include "base/log.h"
#include "base/settings.h"
#include "base/text_case.h"
#include "library/open_target.h"
#include "library/photo_library.h"
#include "screens/album_element.h"
#include "screens/app_services.h"
#include "screens/folder_screen.h"
#include "screens/image_screen.h"
#include "screens/required_element.h"
#include "widgets/label_edit_element.h"
#include "widgets/list_element.h"
#include "widgets/menu_screen.h"
#include "widgets/progress.h"
#include "widgets/screen_host.h"

namespace lv {

namespace {

constexpr int32_t kMainMenuTag = 1;
constexpr std::u16string_view kLanguagePrefix = u"Language#";
constexpr std::u16string_view kSkinPrefix = u"Skin#";

MenuItem menu_item(std::u16string_view key, std::u16string_view style = {}) {
  MenuItem item;
  item.key = std::u16string(key);
  item.style = std::u16string(style);
  return item;
}

std::unique_ptr<MenuScreen> make_main_menu(const Properties& skin, MenuSource* source) {
  return std::make_unique<MenuScreen>(kMainMenuTag, skin, source, u"Menu", u"MenuElement");
}

}  // namespace

AlbumScreen::AlbumScreen(Properties& skin, PhotoLibrary& library, AppServices& app)
    : m_skin(skin), m_library(library), m_app(app) {
  m_folder = std::make_unique<FolderScreen>(skin, library, app);
  log() << u"album form\n";
  build_screen();
  log() << u"album skin load\n";
  show_folders(m_library.get_folders_size());
  // Last: nothing above may leave the library or the skin holding a
  // listener that was never fully made.
  m_library.add_listener(this);
  m_skin.add_reload_listener(this);
}

AlbumScreen::~AlbumScreen() {
  m_skin.remove_reload_listener(this);
  m_library.remove_listener(this);
}

struct AlbumScreen::Elements {
  ButtonElement* search;
  ButtonElement* menu_button;
  ListElement* list;
  ProgressElement* progress;
  Element* warning_image;
  Element* warning_text;

  explicit Elements(const Element& root)
      : search(&required_element<ButtonElement>(root, u"btnSearch")),
        menu_button(&required_element<ButtonElement>(root, u"btnMenu")),
        list(&required_element<ListElement>(root, u"listApps")),
        progress(&required_element<ProgressElement>(root, u"progress")),
        warning_image(&required_element<Element>(root, u"warning_image")),
        warning_text(&required_element<Element>(root, u"warning_text")) {}
};

// Everything the screen needs is proved on trees made aside first, so that a
// skin that lacks some of it throws before the screen has changed.
void AlbumScreen::build_screen() {
  {
    ScreenRoot trial;
    trial.build(m_skin, u"Main");
    const Elements proved(trial);
    (void)proved;
  }
  AlbumElement row(m_skin, m_library);
  std::unique_ptr<MenuScreen> menu = make_main_menu(m_skin, this);

  build(m_skin, u"Main");
  const Elements found(*this);
  m_search = found.search;
  m_menu_button = found.menu_button;
  m_list = found.list;
  m_progress = found.progress;
  m_warning_image = found.warning_image;
  m_warning_text = found.warning_text;
  m_filter = dynamic_cast<LabelEditElement*>(find_by_id(u"editFilter"));
  m_row_height = row.height_range().preferred;
  // The old menu may be the one whose choice changed the skin: it must live
  // until it has closed itself, so the new one takes over at the next
  // opening.
  if (m_menu)
    m_next_menu = std::move(menu);
  else
    m_menu = std::move(menu);

  m_search->set_listener(this);
  m_menu_button->set_listener(this);
  set_text_by_id(u"warning_text", m_skin.language().lookup(u"WARNING_MESSAGE"));
  m_list->set_provider(this);
  // The filter survives a new skin; without the field there is none.
  if (m_filter && m_filter->edit()) {
    m_filter->edit()->set_text(m_filter_text);
    m_filter->set_listener(this);
  } else {
    m_filter_text.clear();
  }
  show_state();
}

void AlbumScreen::show_state() {
  m_search->set_enabled(m_search_enabled);
  m_progress->set_value(m_progress_value);
  m_progress->set_visible(m_progress_shown);
  show_folders(m_folders);
}

// The warning stands in for the list while no folder is known; the filter
// field has nothing to filter then and goes too.
void AlbumScreen::show_folders(int32_t folders) {
  m_folders = folders > 0 ? folders : 0;
  m_shown.clear();
  m_count = m_folders;
  if (!m_filter_text.empty()) {
    const std::vector<FolderRecord> records = m_library.folders();
    const size_t known = std::min(records.size(), static_cast<size_t>(m_folders));
    for (size_t i = 0; i < known; ++i) {
      const FolderRecord& record = records[i];
      const std::u16string name =
          folder_display_name(record.key_picture.empty() ? record.folder : record.key_picture);
      if (contains_ignoring_case(name, m_filter_text)) m_shown.push_back(static_cast<int32_t>(i));
    }
    m_count = static_cast<int32_t>(m_shown.size());
    log() << u"album filter " << m_filter_text << u" " << m_count << u" of " << m_folders << u"\n";
  }
  m_list->reset(m_count);
  m_list->set_visible(m_folders > 0);
  m_warning_image->set_visible(m_folders == 0);
  m_warning_text->set_visible(m_folders == 0);
  if (m_filter) m_filter->set_visible(m_folders > 0);
}

int32_t AlbumScreen::folder_of_row(int32_t row) const {
  if (row < 0 || row >= m_count) return -1;
  return m_filter_text.empty() ? row : m_shown[static_cast<size_t>(row)];
}

int32_t AlbumScreen::row_of_folder(int32_t folder) const {
  if (m_filter_text.empty()) return folder < m_count ? folder : -1;
  const auto found = std::find(m_shown.begin(), m_shown.end(), folder);
  return found == m_shown.end() ? -1 : static_cast<int32_t>(found - m_shown.begin());
}

void AlbumScreen::text_changed(EditElement& edit) {
  if (edit.text() == m_filter_text) return;
  m_filter_text = edit.text();
  show_folders(m_folders);
}

void AlbumScreen::on_timer(double seconds) {
  ScreenRoot::on_timer(seconds);
  m_library.poll();
}

bool AlbumScreen::on_key(const KeyEvent& event) {
  if (m_search->on_key(event)) return true;
  if (m_menu_button->on_key(event)) return true;
  return ScreenRoot::on_key(event);
}

// --- Rows -----------------------------------------------------------------------

void AlbumScreen::row_clicked(ListElement&, int32_t index) {
  // The folder list is being rebuilt; the row may not be what it shows.
  if (m_searching) return;
  if (std::optional<FolderRecord> record = m_library.get_folder(folder_of_row(index)))
    open_folder(*record);
}

std::unique_ptr<ListRow> AlbumScreen::create_row(ListElement&, int32_t index) {
  if (m_searching) {
    auto placeholder = std::make_unique<ListRow>();
    placeholder->set_design_size({0, m_row_height});
    return placeholder;
  }
  std::optional<FolderRecord> record = m_library.get_folder(folder_of_row(index));
  if (!record) return nullptr;
  return std::make_unique<AlbumElement>(m_skin, m_library, std::move(*record));
}

void AlbumScreen::open_folder(const FolderRecord& record) {
  // Its thumbnails are made first.
  m_library.set_current_folder(record.folder);
  log() << u"album open folder " << record.folder << u"\n";
  m_folder->open(record);
}

// --- Buttons ----------------------------------------------------------------------

void AlbumScreen::clicked(ButtonElement& button, const ClickInfo&) {
  if (&button == m_search)
    start_search();
  else if (&button == m_menu_button)
    open_main_menu();
}

void AlbumScreen::start_search() {
  if (m_searching) return;
  m_search_enabled = false;
  m_search->set_enabled(false);
  m_searching = true;
  log() << u"album search\n";
  m_library.need_search();
}

// --- Library events ---------------------------------------------------------------

void AlbumScreen::on_event(const LibraryEvent& event) {
  if (event.has(LibraryEvent::folders_changed)) {
    const int32_t count = m_library.get_folders_size();
    // An empty list ends the placeholders too: there is nothing to wait for.
    if (count == 0) m_searching = false;
    show_folders(count);
  }
  if (event.has(LibraryEvent::search_complete)) {
    // Also when the search found nothing: the warning comes back and the
    // button works again, since a search that queued no picture is followed
    // by no cache_complete.
    m_searching = false;
    m_search_enabled = true;
    m_search->set_enabled(true);
    show_folders(m_library.get_folders_size());
  }
  if (event.has(LibraryEvent::progress)) {
    m_progress_shown = true;
    m_progress_value = event.fraction;
    m_progress->set_visible(true);
    m_progress->set_value(event.fraction);
  }
  if (event.has(LibraryEvent::cache_complete)) {
    m_progress_shown = false;
    m_progress->set_visible(false);
    // Pictures queued before a search may finish while it runs; the button
    // stays off until the search itself is done.
    if (!m_searching) {
      m_search_enabled = true;
      m_search->set_enabled(true);
    }
  }
  if (event.has(LibraryEvent::picture_complete)) {
    const int row = row_of_folder(m_library.search_folder_num(event.picture));
    if (row != -1) m_list->rebind_row(row);
  }
  if (event.has(LibraryEvent::folder_size_changed) && event.count == 0)
    m_library.set_folder_size(event.second_path, 0);
}

// --- Application ------------------------------------------------------------------

void AlbumScreen::open_command_line(const std::u16string& text) {
  m_app.bring_to_front();
  const std::vector<std::u16string> arguments = split_command_line(text);
  if (arguments.empty()) return;
  if (arguments.size() > 1)
    log() << u"album command line: " << static_cast<long long>(arguments.size() - 1)
          << u" more arguments left out\n";
  const OpenTarget target = find_open_target(arguments.front(), m_library.folders());
  // Whatever was open gives way: the folder or picture asked for, or this
  // screen with the message, comes next.
  ImageScreen& image = m_folder->image_screen();
  if (image.on_stack()) image.leave(ScreenAnimation::none);
  if (m_folder->on_stack()) m_folder->leave(ScreenAnimation::none);
  switch (target.kind) {
    case OpenTarget::Kind::picture:
      log() << u"album command line picture " << target.path << u"\n";
      m_library.set_current_folder(target.record.folder);
      m_folder->open_picture(target.record, target.path);
      break;
    case OpenTarget::Kind::folder:
      log() << u"album command line folder " << target.path << u"\n";
      open_folder(target.record);
      break;
    case OpenTarget::Kind::missing:
      show_open_failure(u"OpenMissing", target.path);
      break;
    case OpenTarget::Kind::not_picture:
      show_open_failure(u"OpenNotPicture", target.path);
      break;
    case OpenTarget::Kind::unreadable:
      show_open_failure(u"OpenUnreadable", target.path);
      break;
  }
}

void AlbumScreen::show_open_failure(std::u16string_view text_key, const std::u16string& path) {
  log() << u"album command line " << text_key << u" " << path << u"\n";
  m_app.show_message(m_skin.language().lookup(text_key) + u"\n" + path);
}

void AlbumScreen::screen_layout_changed() {
  m_app.refit_to_screen();
}

void AlbumScreen::reload_skin(Properties& properties) {
  log() << u"album reload skin\n";
  build_screen();
}

// --- Main menu --------------------------------------------------------------------

void AlbumScreen::open_main_menu() {
  if (m_next_menu) m_menu = std::move(m_next_menu);
  m_menu->open(kMainMenu, u"", true);
}

void AlbumScreen::fill_main_menu(std::vector<MenuItem>& items) const {
  items.push_back(menu_item(u"Magic4Buttons", u"MenuElement4Buttons"));
  if (m_app.has_several_languages()) items.push_back(menu_item(u"Language"));
  if (m_app.has_several_skins()) items.push_back(menu_item(u"Skin"));
  items.push_back(menu_item(u"Cancel", kCancelStyle));
}

void AlbumScreen::fill(int32_t, std::u16string_view key, std::u16string&,
                       std::vector<MenuItem>& items) {
  log() << u"album menu " << key << u"\n";
  if (key == kMainMenu) {
    fill_main_menu(items);
  } else if (key == u"Exit") {
    m_app.quit();
  } else if (key == u"About") {
    m_app.show_about();
  } else if (key == u"Minimize") {
    m_app.minimize();
  } else if (key == u"Help") {
    open_help();
  } else if (key == u"Language") {
    m_app.fill_language_menu(items, kCancelStyle);
  } else if (key == u"Skin") {
    m_app.fill_skin_menu(items, kCancelStyle);
  } else if (starts_with(key, kLanguagePrefix) || starts_with(key, kSkinPrefix)) {
    if (m_app.choose(key)) screen_host().size_to_client_area(*this);
  }
  // "Cancel" and anything else: no items, the menu closes.
}

void AlbumScreen::open_help() {
  const std::u16string path = expand_path(u"%app_path%/" + m_skin.language().lookup(u"Help_link"));
  const bool opened = m_app.open_document(path);
  log() << u"album help " << path << (opened ? u" opened\n" : u" not opened\n");
}

}  // namespace lv
