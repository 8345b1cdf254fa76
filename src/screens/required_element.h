#pragma once

// Finding the elements a screen cannot do without. A missing element, or one
// of another kind than the screen needs, is a fault of the skin's structure.

#include <string>
#include <string_view>

#include "skin/skin_exceptions.h"
#include "widgets/element.h"

namespace lv {

// The descendant with the id, as the widget class T; throws
// jobser::NodeNotFound (the root's id, the id sought) when there is none or
// it is of another class.
template <typename T>
T& required_element(const Element& root, std::u16string_view id) {
  if (T* found = dynamic_cast<T*>(root.find_by_id(id))) return *found;
  throw jobser::NodeNotFound(root.id(), std::u16string(id));
}

}  // namespace lv
