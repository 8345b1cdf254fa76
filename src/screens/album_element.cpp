#include "screens/album_element.h"

#include <string>

#include "base/file_util.h"
#include "base/log.h"
#include "library/cache_file.h"
#include "library/photo_library.h"
#include "platform/text.h"
#include "screens/required_element.h"
#include "screens/thumbnail_art.h"
#include "skin/render_surface.h"
#include "widgets/image_element.h"
#include "widgets/text_element.h"

namespace lv {

AlbumElement::AlbumElement(const Properties& properties, PhotoLibrary& library, FolderRecord record)
    : m_library(library), m_record(std::move(record)) {
  build(properties, u"AlbumElement");
  m_image = &required_element<ImageElement>(*this, u"image");
  m_loading = &required_element<ImageElement>(*this, u"loading");
  m_bad = &required_element<ImageElement>(*this, u"bad");
  m_name = &required_element<TextElement>(*this, u"name");
  m_count = &required_element<TextElement>(*this, u"count");
  m_frame = m_image->picture();
  // They only hold the pictures that "image" shows.
  m_loading->set_visible(false);
  m_bad->set_visible(false);
}

AlbumElement::~AlbumElement() = default;

void AlbumElement::bind_row(ListElement&, bool) {
  const std::u16string& key = m_record.key_picture;
  const std::u16string& drive = m_record.drive;
  const std::u16string cache = key.empty() ? std::u16string() : cache_name(key, drive);
  log() << u"Name " << key << u"\n";
  log() << u"Drive " << drive << u"\n";
  log() << u"Cache " << cache << u"\n";

  const FileInfo info = cache.empty() ? FileInfo{} : file_info(cache);
  if (cache.empty() || (info.exists() && !info.is_directory() && info.size == 0)) {
    // No picture to look at, or its cache build failed before.
    show_picture_of(*m_bad, Look::bad);
  } else if (cache_file_valid(cache)) {
    m_thumbnail = load_thumbnail_file(cache);
    if (m_thumbnail && m_thumbnail->surface()) {
      m_look = Look::thumbnail;
      m_art_size = {};
      cut_thumbnail();
    } else {
      show_picture_of(*m_bad, Look::bad);
    }
  } else {
    show_picture_of(*m_loading, Look::loading);
    if (m_library.add_picture(key, drive) == PhotoLibrary::AddResult::failed)
      show_picture_of(*m_bad, Look::bad);
  }

  m_name->set_text(folder_display_name(key.empty() ? m_record.folder : key));
  m_count->set_text(from_utf8(std::to_string(m_record.size)));
}

void AlbumElement::layout_children_y() {
  ListRow::layout_children_y();
  if (m_look == Look::thumbnail && art_size() != m_art_size) cut_thumbnail();
}

void AlbumElement::show_picture_of(ImageElement& holder, Look look) {
  m_thumbnail.reset();
  m_art_size = {};
  m_look = look;
  m_image->set_picture(holder.picture());
}

// Before the row's first layout "image" has no size yet; its preferred size
// is what a fixed-size image will get.
Size AlbumElement::art_size() {
  const Size laid_out = m_image->size();
  if (laid_out.width > 0 && laid_out.height > 0) return laid_out;
  return {m_image->width_range().preferred, m_image->height_range().preferred};
}

void AlbumElement::cut_thumbnail() {
  if (!m_thumbnail || !m_thumbnail->surface()) return;
  const Size size = art_size();
  m_art_size = size;
  m_image->set_picture(thumbnail_art(*m_thumbnail->surface(), size, m_frame));
}

}  // namespace lv
