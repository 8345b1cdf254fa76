#include "app/startup.h"

// fontconfig keeps its configuration for the life of the process and frees
// none of it at exit; a sanitizer build is not to call that a leak of ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

int main(int argc, char** argv) {
  return lv::win_main(lv::join_command_line(argc, argv));
}
