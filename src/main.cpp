#include "app/startup.h"
#include "platform/paths.h"
#include "platform/text.h"

// fontconfig keeps its configuration for the life of the process and frees
// none of it at exit; a sanitizer build is not to call that a leak of ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

int main(int argc, char** argv) {
  return lv::win_main(
      lv::command_line_of(argc, argv, lv::from_utf8(lv::platform::working_folder())));
}
