#pragma once

// One row of the album screen: a picture folder with its key picture's
// thumbnail, its name and its number of pictures. Built from the skin node
// "AlbumElement", whose children are "image" (where the thumbnail goes; its
// own skin picture is the frame that cuts the thumbnail to shape), "loading"
// and "bad" (images whose pictures "image" shows while the thumbnail is
// being made and for a folder whose key picture cannot be shown; they are
// hidden themselves), "name" and "count" (texts).

#include <memory>

#include "library/folder_record.h"
#include "skin/bitmap.h"
#include "widgets/list_row.h"

namespace lv {

class ImageElement;
class PhotoLibrary;
class RenderSurface;
class TextElement;

class AlbumElement : public ListRow {
 public:
  enum class Look { none, loading, bad, thumbnail };

  // Throws jobser::NodeNotFoundInSkin without the node and jobser::NodeNotFound
  // without one of the children.
  AlbumElement(const Properties& properties, PhotoLibrary& library, FolderRecord record = {});
  ~AlbumElement() override;

  // Shows the key picture's thumbnail from its cache file; queues the
  // picture with the library when it has none yet.
  void bind_row(ListElement& list, bool created) override;
  // The thumbnail is cut again when "image" was given another size.
  void layout_children_y() override;

  const FolderRecord& record() const { return m_record; }

 private:
  void show_picture_of(ImageElement& holder, Look look);
  void cut_thumbnail();
  Size art_size();

  PhotoLibrary& m_library;
  FolderRecord m_record;
  ImageElement* m_image = nullptr;
  ImageElement* m_loading = nullptr;
  ImageElement* m_bad = nullptr;
  TextElement* m_name = nullptr;
  TextElement* m_count = nullptr;
  Picture m_frame;  // "image"'s own skin picture
  std::unique_ptr<RenderSurface> m_thumbnail;
  Size m_art_size;  // the size the shown thumbnail was cut for
  Look m_look = Look::none;
};

}  // namespace lv
