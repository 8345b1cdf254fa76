#include "app/element_types.h"

#include "widgets/widget_types.h"

namespace lv {

void register_element_types(NodeTypeRegistry& registry) {
  size_t done = 0;
  try {
    for (; done < kElementTypeNames.size(); ++done)
      registry.register_type(std::u16string(kElementTypeNames[done]),
                             widget_factory(kElementTypeNames[done]));
  } catch (...) {
    while (done > 0) registry.unregister_type(kElementTypeNames[--done]);
    throw;
  }
}

void unregister_element_types(NodeTypeRegistry& registry) {
  for (auto it = kElementTypeNames.rbegin(); it != kElementTypeNames.rend(); ++it)
    registry.unregister_type(*it);
}

}  // namespace lv
