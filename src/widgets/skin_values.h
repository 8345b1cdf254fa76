#pragma once

// Small readers the widgets share for the values they take from skin nodes.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace lv {

class Properties;
class SkinNode;

// A copy of the node's string (the skin's own string lives only until the
// next skin load); "" when the node has none.
std::u16string read_string(const Properties& properties, const SkinNode* node,
                           std::u16string_view key);

// A skin text through the language table: the translation when the whole
// text is a key of the loaded language, else the text itself.
std::u16string translated(const Properties& properties, std::u16string_view text);
// The node's string, translated.
std::u16string read_text(const Properties& properties, const SkinNode* node,
                         std::u16string_view key);

// A decimal number: optional sign, digits, an optional fraction after ".",
// an optional exponent after "e" or "E", nothing else. False, leaving value
// as it was, for any other text or a number too large to hold.
bool parse_decimal(std::u16string_view text, double& value);

// The program's key code of a skin key name ("SOFT_LEFT", "A"), letter case
// included; 0 for an empty or unknown name.
int key_code_from_skin_name(std::u16string_view name);

}  // namespace lv
