#include "app/element_types.h"

#include "widgets/widget_types.h"

namespace lv {

namespace {

NodeFactory factory_for(std::u16string_view name) {
  // The edit fields and the rich text are not written yet. Until they are,
  // a skin naming them still loads: each shows its node's text the way a
  // text element does, which is what a field shows while nobody types in it.
  if (name == u"edit" || name == u"label_edit" || name == u"richtext")
    return widget_factory(u"text");
  return widget_factory(name);
}

}  // namespace

void register_element_types(NodeTypeRegistry& registry) {
  size_t done = 0;
  try {
    for (; done < kElementTypeNames.size(); ++done)
      registry.register_type(std::u16string(kElementTypeNames[done]),
                             factory_for(kElementTypeNames[done]));
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
