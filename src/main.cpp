#include "app/startup.h"

int main(int argc, char** argv) { return lv::win_main(lv::join_command_line(argc, argv)); }
