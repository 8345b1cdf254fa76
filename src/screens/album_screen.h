#pragma once

// The album screen, the program's home screen: one row per picture folder
// (its key picture's thumbnail, name and picture count), a search button, a
// menu button, a progress bar while thumbnails are made, and a warning that
// stands in for the list while no folder is known. Built from the skin node
// "Main" with the elements "btnSearch", "btnMenu", "listApps", "progress",
// "warning_image" and "warning_text", and the optional filter field
// "editFilter" (a "label_edit"): while it holds a text, the list shows only
// the folders whose name holds it, letter case aside. Rows from
// "AlbumElement"; the main menu from "Menu" with rows "MenuElement" and,
// where the skin has it, "MenuElement4Buttons".
//
// It is made once at start-up, on the splash screen's loader thread, so its
// constructor touches neither the screen stack nor the window. From then on
// it lives on the user-interface thread: library events arrive only through
// the polling in on_timer, and a skin or language change rebuilds it from
// the new skin with its state kept.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "library/folder_record.h"
#include "library/library_event.h"
#include "screens/application_listener.h"
#include "skin/properties.h"
#include "widgets/button.h"
#include "widgets/edit_element.h"
#include "widgets/list_provider.h"
#include "widgets/menu_source.h"
#include "widgets/screen_root.h"

namespace lv {

class AppServices;
class FolderScreen;
class LabelEditElement;
class ListElement;
class MenuScreen;
class PhotoLibrary;
class ProgressElement;

class AlbumScreen : public ScreenRoot,
                    public ListProvider,
                    public ButtonListener,
                    public LibraryListener,
                    public ApplicationListener,
                    public ReloadListener,
                    public MenuSource,
                    public EditListener {
 public:
  // Throws the skin's node-not-found exceptions when "Main", "AlbumElement"
  // or "Menu" lacks what the screen needs.
  AlbumScreen(Properties& skin, PhotoLibrary& library, AppServices& app);
  ~AlbumScreen() override;

  // The base behaviour, then the library's polling.
  void on_timer(double seconds) override;
  // The keys bound to "btnSearch" and "btnMenu" work them.
  bool on_key(const KeyEvent& event) override;

  // --- ListProvider ------------------------------------------------------------
  void row_clicked(ListElement& list, int32_t index) override;
  std::unique_ptr<ListRow> create_row(ListElement& list, int32_t index) override;

  // --- ButtonListener ----------------------------------------------------------
  void clicked(ButtonElement& button, const ClickInfo& info) override;

  // --- LibraryListener ---------------------------------------------------------
  void on_event(const LibraryEvent& event) override;

  // --- ApplicationListener -----------------------------------------------------
  // A path (the first argument; later ones are left out) opens as the
  // image screen on that picture over its folder's screen, or as that
  // folder's screen; what cannot be opened is told in a message box over
  // this screen. Whatever was open above this screen goes first.
  void open_command_line(const std::u16string& text) override;
  bool may_close() override { return true; }
  void screen_added(ScreenRoot&) override {}
  void screen_removed(ScreenRoot&, bool) override {}
  void screen_layout_changed() override;
  void help() override {}
  void deactivated() override {}
  void activated() override {}
  bool key_prefilter(const KeyEvent&) override { return false; }

  // --- ReloadListener ----------------------------------------------------------
  void reload_skin(Properties& properties) override;

  // --- MenuSource --------------------------------------------------------------
  void fill(int32_t tag, std::u16string_view key, std::u16string& caption,
            std::vector<MenuItem>& items) override;

  // --- EditListener --------------------------------------------------------------
  // The filter field.
  void text_changed(EditElement& edit) override;

  // --- State, for the application and tests --------------------------------------
  // The number of folder rows the list shows (0 while the warning shows).
  int32_t folder_count() const { return m_count; }
  // The library's index of the folder a row shows, or -1.
  int32_t folder_of_row(int32_t row) const;
  ListElement& list() const { return *m_list; }

  // Ids of the main menu and its commands.
  static constexpr std::u16string_view kMainMenu = u"MainMenu";
  // "Cancel" is an ordinary row (red is for deleting).
  static constexpr std::u16string_view kCancelStyle = u"";

 private:
  struct Elements;
  void build_screen();
  void show_state();
  // Shows the library's folders that pass the filter (the warning instead
  // when the library has none).
  void show_folders(int32_t folders);
  int32_t row_of_folder(int32_t folder) const;
  void start_search();
  void open_main_menu();
  void open_help();
  void fill_main_menu(std::vector<MenuItem>& items) const;
  // The folder screen takes over from here.
  void open_folder(const FolderRecord& record);
  // The language's text for the key, the path below it, in a message box.
  void show_open_failure(std::u16string_view text_key, const std::u16string& path);

  Properties& m_skin;
  PhotoLibrary& m_library;
  AppServices& m_app;

  ButtonElement* m_search = nullptr;
  ButtonElement* m_menu_button = nullptr;
  ListElement* m_list = nullptr;
  ProgressElement* m_progress = nullptr;
  Element* m_warning_image = nullptr;
  Element* m_warning_text = nullptr;
  LabelEditElement* m_filter = nullptr;
  int32_t m_row_height = 0;  // of an "AlbumElement", for the placeholders

  // Shown over this screen when a folder row is chosen.
  std::unique_ptr<FolderScreen> m_folder;
  std::unique_ptr<MenuScreen> m_menu;
  // Made from a new skin while the old menu may still be open; it takes
  // over at the next opening.
  std::unique_ptr<MenuScreen> m_next_menu;

  // The state a rebuild from a new skin keeps.
  bool m_searching = false;
  bool m_search_enabled = true;
  bool m_progress_shown = false;
  double m_progress_value = 0;
  int32_t m_folders = 0;  // in the library
  int32_t m_count = 0;    // rows shown
  std::u16string m_filter_text;
  std::vector<int32_t> m_shown;  // the folders of the rows while filtering
};

}  // namespace lv
