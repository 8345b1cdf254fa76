#pragma once

// The folder screen: the pictures of one folder as a grid of thumbnails in
// the scrolling list "listFolder", a few columns wide, under a bar with the
// back button "btnBack" and the folder's name "btnText", built from the
// skin node "Folder" with rows from "FolderElement". Thumbnails appear
// progressively: the timer loads one per tick from the cache files, queues
// the pictures that have none with the photo library, and fills those in
// as the library reports them made. The album screen owns it and opens it
// for a folder; back (the button or Backspace) returns to the screen below.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "library/folder_record.h"
#include "library/library_event.h"
#include "skin/bitmap.h"
#include "skin/properties.h"
#include "widgets/button.h"
#include "widgets/list_provider.h"
#include "widgets/screen_host.h"
#include "widgets/screen_root.h"

namespace lv {

class AppServices;
class ImageScreen;
class ListElement;
class PhotoLibrary;

class FolderScreen : public ScreenRoot,
                     public ListProvider,
                     public ButtonListener,
                     public LibraryListener,
                     public ReloadListener {
 public:
  // Builds the tree from "Folder" and checks "FolderElement"; throws the
  // skin exceptions when a node or a required element is missing. Touches
  // neither the screen stack nor the window, so the album screen may make
  // it on the loader thread.
  FolderScreen(Properties& skin, PhotoLibrary& library, AppServices& app);
  ~FolderScreen() override;
  FolderScreen(const FolderScreen&) = delete;
  FolderScreen& operator=(const FolderScreen&) = delete;

  // Refills the screen with the folder's pictures, corrects the folder's
  // size and key picture in the folder list when the disk says otherwise,
  // and puts the screen on the screen stack.
  void open(const FolderRecord& record, ScreenAnimation animation = ScreenAnimation::animated);
  // Opens the folder and over it the image screen on one of its pictures
  // (a path in the form the folder's listing gives, which starts with the
  // record's folder).
  void open_picture(const FolderRecord& record, const std::u16string& picture);
  // Takes the screen off the stack; the screen below becomes current.
  void leave(ScreenAnimation animation = ScreenAnimation::animated);

  // --- State, for the rows and for tests ---------------------------------------

  const Properties& properties() const;
  const FolderRecord& record() const;
  const std::vector<std::u16string>& pictures() const;
  int32_t columns() const;
  // The picture whose thumbnail the timer loads next.
  size_t next_index() const;
  // The framed thumbnail of a picture, or null while it is not loaded.
  const Picture* thumbnail(size_t index) const;
  // Whether the picture's cache file failed or its thumbnail does not decode.
  bool bad(size_t index) const;
  bool on_stack() const;
  ListElement& list() const;
  // The screen a tapped thumbnail opens.
  ImageScreen& image_screen() const;

  // --- Element -----------------------------------------------------------------

  void on_timer(double seconds) override;
  void layout_children_x() override;
  bool on_key(const KeyEvent& event) override;

  // --- Listeners -----------------------------------------------------------------

  void row_clicked(ListElement& list, int32_t index) override;
  std::unique_ptr<ListRow> create_row(ListElement& list, int32_t index) override;
  void clicked(ButtonElement& button, const ClickInfo& info) override;
  void on_event(const LibraryEvent& event) override;
  void reload_skin(Properties& properties) override;

 private:
  struct Impl;

  void build_tree();
  void show_folder();
  void list_pictures();
  void refill();
  void compute_columns();
  void load_step();
  void load_thumbnail(size_t index);
  void picture_completed(const std::u16string& path);
  void open_picture(size_t index);
  int32_t screen_width() const;

  std::unique_ptr<Impl> m_impl;
};

}  // namespace lv
