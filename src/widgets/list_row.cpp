#include "widgets/list_row.h"

#include <string>

#include "skin/properties.h"
#include "skin/skin_exceptions.h"
#include "widgets/list_element.h"

namespace lv {

void ListRow::bind_row(ListElement&, bool) {}

void ListRow::build_from_node(ListElement& list, const Properties& properties,
                              std::u16string_view node_name) {
  while (child_count() > 0) list.retire(take_child(child(child_count() - 1)));
  const SkinNode* node = properties.find_node(node_name);
  if (!node) {
    invalidate_layout();
    throw jobser::NodeNotFoundInSkin(std::u16string(node_name));
  }
  load(properties, node);
  invalidate_layout();
}

}  // namespace lv
