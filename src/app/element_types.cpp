#include "app/element_types.h"

#include <memory>

#include "widgets/button.h"
#include "widgets/clip_element.h"
#include "widgets/color_element.h"
#include "widgets/element.h"
#include "widgets/frame_sequence.h"
#include "widgets/image_element.h"
#include "widgets/list_element.h"
#include "widgets/progress.h"
#include "widgets/table.h"
#include "widgets/text_element.h"

namespace lv {

namespace {

template <typename T>
NodeFactory factory_of() {
  return [] { return std::unique_ptr<Element>(std::make_unique<T>()); };
}

NodeFactory table_factory(TableAxis axis) {
  return [axis] { return std::unique_ptr<Element>(std::make_unique<TableElement>(axis)); };
}

NodeFactory factory_for(std::u16string_view name) {
  if (name == u"text") return factory_of<TextElement>();
  // The edit fields and the rich text are not written yet. Until they are,
  // a skin naming them still loads: each shows its node's text the way a
  // text element does, which is what a field shows while nobody types in it.
  if (name == u"edit" || name == u"label_edit" || name == u"richtext")
    return factory_of<TextElement>();
  if (name == u"color") return factory_of<ColorElement>();
  if (name == u"image") return factory_of<ImageElement>();
  if (name == u"htable") return table_factory(TableAxis::horizontal);
  if (name == u"vtable") return table_factory(TableAxis::vertical);
  if (name == u"button") return factory_of<ButtonElement>();
  if (name == u"vlist") return factory_of<ListElement>();
  if (name == u"multinode") return factory_of<FrameSequenceElement>();
  if (name == u"progress") return factory_of<ProgressElement>();
  if (name == u"clip") return factory_of<ClipElement>();
  return factory_of<Element>();
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
