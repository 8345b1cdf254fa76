#pragma once

// The fourteen element types the skins may name, registered by the
// application at start-up in this order and removed in the reverse order at
// its end.

#include <array>
#include <string_view>

#include "skin/node_type_registry.h"

namespace lv {

inline constexpr std::array<std::u16string_view, 14> kElementTypeNames = {
    u"node",   u"text",  u"color",     u"image",    u"edit",       u"htable", u"vtable",
    u"button", u"vlist", u"multinode", u"progress", u"label_edit", u"clip",   u"richtext"};

// Registers every type above in order. When one is there already,
// jobser::NodeAlreadyRegistered comes out and the ones this call registered
// are removed again.
void register_element_types(NodeTypeRegistry& registry = NodeTypeRegistry::instance());
// Removes them in the reverse order (those missing are skipped).
void unregister_element_types(NodeTypeRegistry& registry = NodeTypeRegistry::instance());

}  // namespace lv
