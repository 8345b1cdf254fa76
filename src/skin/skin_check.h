#pragma once

// The structural check a skin passes before it is used: the header's counts
// and offsets, the string pool, the named-node tree and every node body that
// can be reached from it, with every record's key name and table index.
// After it, every offset a lookup or the element builder follows lies inside
// the image, every name is NUL-terminated, every index names a table entry,
// and the nodes form trees: no body is reached twice (so there is no cycle)
// and no chain of children is deeper than kMaxNodeDepth.

#include <cstdint>
#include <string>
#include <vector>

#include "skin/skin_image.h"

namespace lv {

// Deepest nesting of children below a named node; elements are built
// recursively from the nodes, so the depth is bounded.
inline constexpr uint32_t kMaxNodeDepth = 64;

struct SkinLayout {
  SkinHeader header;
  // Image offsets of the pool's strings: the picture names, then the font
  // descriptions, then the string table.
  std::vector<uint32_t> pool;
  // Entries of the named-node tree, and node bodies in all.
  uint32_t named_count = 0;
  uint32_t node_count = 0;
};

// False with a short reason ("string pool runs past the end", ...) at the
// first fault.
bool check_skin(const SkinImage& image, SkinLayout& layout, std::string& reason);

}  // namespace lv
