#pragma once

// Lays a resolved skin source out in the ".skin" format: the header, a name
// pool with every key name (all within the first 64 KiB) and node name, the
// string pool (picture names, font descriptions, strings), then each named
// node's entry followed by its body and, depth first, the bodies of its
// children. The named-node tree is a balanced binary search tree over the
// names in name order. The result depends only on the content, never on the
// order the source listed it in.

#include <string>
#include <vector>

#include "skinc/skin_source.h"

namespace lv::skinc {

struct SkinTables {
  std::vector<std::u16string> pictures;  // bitmap names, without ".bmp"
  std::vector<std::u16string> fonts;
  std::vector<std::u16string> strings;
};

// The values' table indices and picture points must be filled in. Throws
// CompileError naming the node and key when a key name would end beyond
// 64 KiB, a node's records beyond 65,535 bytes, or a limit of the format is
// passed.
std::string write_skin_image(const SkinSource& source, const SkinTables& tables);

// Written into the header's free bytes.
inline constexpr std::u16string_view kSkinSignature = u"Lumiview skin";

}  // namespace lv::skinc
