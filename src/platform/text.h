#pragma once

// The program's text is UTF-16 (std::u16string); UTF-8 appears only at the
// operating-system boundary (file names, SDL, fontconfig, process arguments).

#include <string>
#include <string_view>

namespace lv::platform {

// Malformed input (lone surrogates, invalid or overlong UTF-8) becomes U+FFFD;
// conversion never fails and never reads past its input.
std::string to_utf8(std::u16string_view text);
std::u16string from_utf8(std::string_view text);

}  // namespace lv::platform

namespace lv {
using platform::from_utf8;
using platform::to_utf8;
}  // namespace lv
