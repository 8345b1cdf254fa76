#pragma once

// The readable source of a skin: one JSON file describing the named
// top-level nodes, each with its values grouped by kind and its children in
// order. The kind of every value is explicit, so one key may be an integer
// and a colour in the same node:
//
//   {
//     "nodes": {
//       "Splash": {
//         "integer": {"cache": 1},
//         "point":   {"design_size": [240, 320]},
//         "color":   {"color": "#102030"},
//         "string":  {"id": "splash"},
//         "font":    {"font": "12 1 0 0 Tahoma"},
//         "picture": {"background": {"file": "art/splash", "region": [0, 0, 24, 24],
//                                    "inner": [8, 8, 16, 16], "flag": 0}},
//         "children": [{"string": {"type": "image"}}]
//       }
//     }
//   }
//
// Comments (// and /* */) are allowed. A picture's file is relative to the
// source file's folder, with or without its ".png" or ".svg" extension.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "skin/skin_format.h"

namespace lv::skinc {

// A fault in a skin source; the message names the file, the node path and
// the key.
class CompileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "<file>: node "<path>": key "<key>": <message>", leaving out the parts
// that are empty.
std::string describe(std::string_view file, std::string_view node_path, std::string_view key,
                     std::string_view message);

// Left, top, right, bottom in bitmap pixels.
using Box = std::array<int64_t, 4>;

struct PictureSource {
  std::string file;  // as written
  std::optional<Box> region;
  std::optional<Box> inner;
  uint8_t flag = 0;
};

struct SourceValue {
  std::u16string key;
  std::string key_text;  // UTF-8, for messages
  int32_t integer = 0;
  int16_t x = 0, y = 0;
  std::u16string text;  // font description or string
  uint8_t red = 0, green = 0, blue = 0;
  PictureSource picture;

  // Filled in by the compiler: the table index of a font, string or picture
  // and a picture's points P0..P3 as x, y pairs.
  uint32_t index = 0;
  std::array<uint16_t, 8> points{};
};

struct SourceNode {
  std::string path;  // "Splash", "Splash/children/1", ...
  // Indexed by Section; each sorted by key in name order.
  std::array<std::vector<SourceValue>, skin_format::kSectionCount> sections;
  std::vector<SourceNode> children;
};

struct SkinSource {
  std::string file;
  // Keyed by node name; std::u16string orders by unsigned code units, the
  // skin's name order.
  std::map<std::u16string, SourceNode> nodes;
};

// Throws CompileError for a syntax error, a duplicate key anywhere, an
// unknown value kind, or a value that does not fit its kind.
SkinSource parse_skin_source(std::string_view text, const std::string& file);

}  // namespace lv::skinc
