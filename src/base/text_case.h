#pragma once

// Letter case folding for the scripts camera and user file names use:
// ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic. Other characters
// compare as they are.

#include <string_view>

namespace lv {

char16_t fold_case(char16_t c);

// Whether `part` occurs in `text`, letter case aside; an empty part always
// does.
bool contains_ignoring_case(std::u16string_view text, std::u16string_view part);

}  // namespace lv
