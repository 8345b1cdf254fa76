#include "skin/node_type_registry.h"

namespace lv::node_type_detail {

void throw_already_registered(std::u16string_view type_name) {
  throw jobser::NodeAlreadyRegistered(std::u16string(type_name));
}

void throw_not_registered(std::u16string_view type_name) {
  throw jobser::NodeNotRegistered(std::u16string(type_name));
}

std::u16string type_of(const Properties& properties, const SkinNode* node) {
  static const std::u16string kNone;
  return properties.get_string(node, u"type", kNone);
}

}  // namespace lv::node_type_detail
