#include "skin/skin_exceptions.h"

#include "platform/text.h"

namespace lv::jobser {

namespace {

std::string quoted(const std::u16string& name) {
  return "\"" + to_utf8(name) + "\"";
}

}  // namespace

NodeNotFoundInSkin::NodeNotFoundInSkin(std::u16string node_name)
    : SkinException("the skin has no node " + quoted(node_name)),
      m_node_name(std::move(node_name)) {}

NodeNotFound::NodeNotFound(std::u16string searched_id, std::u16string sought_id)
    : SkinException("element " + quoted(searched_id) + " has no child " + quoted(sought_id)),
      m_searched_id(std::move(searched_id)),
      m_sought_id(std::move(sought_id)) {}

NodeNotRegistered::NodeNotRegistered(std::u16string type_name)
    : SkinException("no element type " + quoted(type_name) + " is registered"),
      m_type_name(std::move(type_name)) {}

NodeAlreadyRegistered::NodeAlreadyRegistered(std::u16string type_name)
    : SkinException("element type " + quoted(type_name) + " is registered twice"),
      m_type_name(std::move(type_name)) {}

}  // namespace lv::jobser
