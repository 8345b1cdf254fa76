#pragma once

#include <string_view>

namespace lv::platform {

// A modal message box with one OK button and no owner window. With the
// headless display, or when no box can be shown, the text goes to standard
// error instead.
void show_message_box(std::u16string_view text, std::u16string_view caption);

}  // namespace lv::platform
