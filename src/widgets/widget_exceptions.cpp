#include "widgets/widget_exceptions.h"

#include "platform/text.h"

namespace lv::jobser {

NodeTreeTooDeep::NodeTreeTooDeep(std::u16string id, uint32_t limit)
    : SkinException("the skin's elements nest deeper than " + std::to_string(limit) +
                    " levels (or loop) below element \"" + to_utf8(id) + "\""),
      m_id(std::move(id)),
      m_limit(limit) {}

}  // namespace lv::jobser
