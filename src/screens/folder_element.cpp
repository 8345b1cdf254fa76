#include "screens/folder_element.h"

#include <string>

#include "screens/folder_screen.h"
#include "screens/required_element.h"
#include "skin/properties.h"
#include "widgets/button.h"
#include "widgets/image_element.h"
#include "widgets/list_element.h"

namespace lv {

namespace {

Picture template_picture(Element& row, std::u16string_view id) {
  ImageElement& image = required_element<ImageElement>(row, id);
  image.set_visible(false);
  return image.picture();
}

}  // namespace

std::u16string FolderElement::cell_id(int32_t c) {
  return u"button" + std::u16string(1, static_cast<char16_t>(u'0' + c));
}

int32_t FolderElement::cell_of(const ButtonElement& button) const {
  for (int32_t c = 0; c < kFolderMaxColumns; ++c)
    if (m_cells[static_cast<size_t>(c)] == &button) return c;
  return -1;
}

void FolderElement::build(ListElement& list) {
  // Nothing is kept until the whole row is found: a row whose skin lacks a
  // part stays without cells rather than with some of them.
  m_cells.fill(nullptr);
  m_images.fill(nullptr);
  build_from_node(list, m_screen->properties(), u"FolderElement");
  std::array<ButtonElement*, kFolderMaxColumns> cells{};
  std::array<ImageElement*, kFolderMaxColumns> images{};
  for (size_t c = 0; c < cells.size(); ++c) {
    cells[c] = &required_element<ButtonElement>(*this, cell_id(static_cast<int32_t>(c)));
    images[c] = &required_element<ImageElement>(*cells[c], u"image");
  }
  m_bad = template_picture(*this, u"bad");
  m_loading = template_picture(*this, u"loading");
  for (ButtonElement* cell : cells) cell->set_listener(m_screen);
  m_cells = cells;
  m_images = images;
}

void FolderElement::bind_row(ListElement& list, bool created) {
  if (created || !m_cells[0]) build(list);
  m_columns = m_screen->columns();
  const int32_t used = folder_row_cells(index(), m_screen->pictures().size(), m_columns);
  for (int32_t c = 0; c < kFolderMaxColumns; ++c) bind_cell(c, used);
}

void FolderElement::bind_cell(int32_t c, int32_t used) {
  ButtonElement& button = *m_cells[static_cast<size_t>(c)];
  ImageElement& image = *m_images[static_cast<size_t>(c)];
  if (c >= m_columns) {
    button.set_visible(false);
    button.set_enabled(false);
    return;
  }
  // Every state is set both ways: a row is bound again for other pictures
  // and a changed column count, and must not keep an earlier binding's look.
  button.set_visible(true);
  if (c >= used) {
    image.set_visible(false);
    button.set_enabled(false);
    return;
  }
  const size_t picture =
      static_cast<size_t>(index()) * static_cast<size_t>(m_columns) + static_cast<size_t>(c);
  if (const Picture* thumbnail = m_screen->thumbnail(picture))
    image.set_picture(*thumbnail);
  else
    image.set_picture(m_screen->bad(picture) ? m_bad : m_loading);
  image.set_visible(true);
  button.set_enabled(true);
}

}  // namespace lv
