#include "widgets/widget_types.h"

#include <memory>

#include "widgets/button.h"
#include "widgets/clip_element.h"
#include "widgets/color_element.h"
#include "widgets/edit_element.h"
#include "widgets/element.h"
#include "widgets/frame_sequence.h"
#include "widgets/image_element.h"
#include "widgets/label_edit_element.h"
#include "widgets/list_element.h"
#include "widgets/progress.h"
#include "widgets/rich_text_element.h"
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

}  // namespace

NodeFactory widget_factory(std::u16string_view name) {
  if (name == u"text") return factory_of<TextElement>();
  if (name == u"color") return factory_of<ColorElement>();
  if (name == u"image") return factory_of<ImageElement>();
  if (name == u"htable") return table_factory(TableAxis::horizontal);
  if (name == u"vtable") return table_factory(TableAxis::vertical);
  if (name == u"button") return factory_of<ButtonElement>();
  if (name == u"vlist") return factory_of<ListElement>();
  if (name == u"multinode") return factory_of<FrameSequenceElement>();
  if (name == u"progress") return factory_of<ProgressElement>();
  if (name == u"clip") return factory_of<ClipElement>();
  if (name == u"edit") return factory_of<EditElement>();
  if (name == u"label_edit") return factory_of<LabelEditElement>();
  if (name == u"richtext") return factory_of<RichTextElement>();
  return factory_of<Element>();
}

void register_widget_types(NodeTypeRegistry& registry) {
  for (std::u16string_view name : kWidgetTypeNames)
    registry.register_type(std::u16string(name), widget_factory(name));
}

void unregister_widget_types(NodeTypeRegistry& registry) {
  for (auto it = kWidgetTypeNames.rbegin(); it != kWidgetTypeNames.rend(); ++it)
    registry.unregister_type(*it);
}

}  // namespace lv
