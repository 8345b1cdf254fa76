#pragma once

// The skin-structure fault the element builder adds to those of the skin
// layer: a node tree too deep (or looping back on itself) to build.

#include <cstdint>
#include <string>

#include "skin/skin_exceptions.h"

namespace lv::jobser {

class NodeTreeTooDeep : public SkinException {
 public:
  // `id` is the id of the element whose load went past the limit.
  NodeTreeTooDeep(std::u16string id, uint32_t limit);
  const std::u16string& id() const { return m_id; }
  uint32_t limit() const { return m_limit; }

 private:
  std::u16string m_id;
  uint32_t m_limit;
};

}  // namespace lv::jobser
