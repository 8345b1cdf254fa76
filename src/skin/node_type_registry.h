#pragma once

// The registry that maps a child node's type name ("button", "vlist", ...)
// to the code that creates its element. Names compare in the skin's name
// order (unsigned code units). The element class belongs to the widget
// layer, above this one, so the registry is written over the product type;
// the widgets use NodeTypeRegistry, the registry of their Element.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "skin/properties.h"
#include "skin/skin_exceptions.h"

namespace lv {

namespace node_type_detail {
[[noreturn]] void throw_already_registered(std::u16string_view type_name);
[[noreturn]] void throw_not_registered(std::u16string_view type_name);
// The child's string "type", "" when it has none.
std::u16string type_of(const Properties& properties, const SkinNode* node);
}  // namespace node_type_detail

template <typename Product>
class BasicNodeTypeRegistry {
 public:
  // Makes a new element, which the caller owns.
  using Factory = std::function<std::unique_ptr<Product>()>;

  // The process-wide registry: filled at start-up, alive until the process
  // ends (never destroyed, so no element built during exit outlives it).
  static BasicNodeTypeRegistry& instance() {
    static BasicNodeTypeRegistry* registry = new BasicNodeTypeRegistry();
    return *registry;
  }

  // Throws jobser::NodeAlreadyRegistered when the name is present; the first
  // factory stays.
  void register_type(std::u16string type_name, Factory factory) {
    if (m_factories.contains(type_name)) node_type_detail::throw_already_registered(type_name);
    m_factories.emplace(std::move(type_name), std::move(factory));
  }

  // Removes the name's factory; false when it was not registered.
  bool unregister_type(std::u16string_view type_name) {
    const auto found = m_factories.find(type_name);
    if (found == m_factories.end()) return false;
    m_factories.erase(found);
    return true;
  }

  bool contains(std::u16string_view type_name) const {
    return m_factories.find(type_name) != m_factories.end();
  }

  // Throws jobser::NodeNotRegistered when the name is absent.
  std::unique_ptr<Product> create(std::u16string_view type_name) const {
    const auto found = m_factories.find(type_name);
    if (found == m_factories.end()) node_type_detail::throw_not_registered(type_name);
    return found->second();
  }

  // The element for a child node: its string "type" (empty when it has none)
  // through create.
  std::unique_ptr<Product> create_for_node(const Properties& properties,
                                           const SkinNode* node) const {
    return create(node_type_detail::type_of(properties, node));
  }

 private:
  std::map<std::u16string, Factory, std::less<>> m_factories;
};

class Element;
using NodeTypeRegistry = BasicNodeTypeRegistry<Element>;
using NodeFactory = std::function<std::unique_ptr<Element>()>;

}  // namespace lv
