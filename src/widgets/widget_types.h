#pragma once

// The element types of the widget toolkit, as the skins name them in their
// "type" strings, and their registration in the NodeTypeRegistry.

#include <array>
#include <string_view>

#include "skin/node_type_registry.h"

namespace lv {

inline constexpr std::array<std::u16string_view, 14> kWidgetTypeNames = {
    u"node",  u"text",      u"color",    u"image", u"htable", u"vtable",     u"button",
    u"vlist", u"multinode", u"progress", u"clip",  u"edit",   u"label_edit", u"richtext"};

// A factory of the element class of one type name above; a plain element
// for any other name.
NodeFactory widget_factory(std::u16string_view name);

// Registers every type above, in this order; throws
// jobser::NodeAlreadyRegistered when one is there already.
void register_widget_types(NodeTypeRegistry& registry = NodeTypeRegistry::instance());
// Removes them in the reverse order (those missing are skipped).
void unregister_widget_types(NodeTypeRegistry& registry = NodeTypeRegistry::instance());

}  // namespace lv
