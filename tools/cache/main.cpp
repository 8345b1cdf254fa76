// lumiview-cache: the cache files of the photo browser from the command line.

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"

namespace {

constexpr const char* kUsageText =
    "usage: lumiview-cache COMMAND ...\n"
    "  build PICTURE [DRIVE]       make the cache file of a picture in DRIVE/!lumiviewcache\n"
    "                              (DRIVE defaults to the picture's folder)\n"
    "  info CACHEFILE              show a cache file's header, levels, index and thumbnail\n"
    "  thumb PICTURE DRIVE OUT.png write the picture's thumbnail from its cache file\n"
    "  tile PICTURE DRIVE LEVEL COLUMN ROW OUT.png [--source cache|picture]\n"
    "                              write one 256 x 256 tile as the viewer gets it\n"
    "                              (LEVEL 0 is the smallest, the top level the picture)\n"
    "  decode PICTURE OUT.png      decode the whole picture with the program's own decoder\n"
    "  scan [-j N] [CARD...]       search the cards (default: LUMIVIEW_CARDS, else the\n"
    "                              mounted removable volumes) and the pictures folder as\n"
    "                              the program does, make every missing cache file on N\n"
    "                              threads (default: one per core) and save the folder\n"
    "                              list; refused (status 2) while Lumiview runs; Ctrl-C\n"
    "                              stops cleanly\n";

int usage(const char* problem) {
  if (problem) std::fprintf(stderr, "lumiview-cache: %s\n", problem);
  std::fputs(kUsageText, stderr);
  return lv::cache_tool::kUsage;
}

bool number(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace lv::cache_tool;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return usage(nullptr);
  const std::string command = args[0];
  args.erase(args.begin());
  if (command == "-h" || command == "--help" || command == "help") {
    std::fputs(kUsageText, stdout);
    return kOk;
  }
  if (command == "build") {
    if (args.size() < 1 || args.size() > 2) return usage("build needs PICTURE and maybe DRIVE");
    return build(args[0], args.size() == 2 ? args[1] : folder_of(args[0]));
  }
  if (command == "info") {
    if (args.size() != 1) return usage("info needs one CACHEFILE");
    return info(args[0]);
  }
  if (command == "thumb") {
    if (args.size() != 3) return usage("thumb needs PICTURE, DRIVE and OUT.png");
    return thumb(args[0], args[1], args[2]);
  }
  if (command == "tile") {
    bool from_picture = false;
    if (args.size() == 8 && args[6] == "--source") {
      if (args[7] == "picture")
        from_picture = true;
      else if (args[7] != "cache")
        return usage("--source is cache or picture");
      args.resize(6);
    }
    if (args.size() != 6) return usage("tile needs PICTURE, DRIVE, LEVEL, COLUMN, ROW and OUT.png");
    int level = 0, column = 0, row = 0;
    if (!number(args[2], level) || !number(args[3], column) || !number(args[4], row))
      return usage("LEVEL, COLUMN and ROW are whole numbers");
    return tile(args[0], args[1], level, column, row, args[5], from_picture);
  }
  if (command == "decode") {
    if (args.size() != 2) return usage("decode needs PICTURE and OUT.png");
    return decode(args[0], args[1]);
  }
  if (command == "scan") return scan(args);
  const std::string problem = "unknown command \"" + command + "\"";
  return usage(problem.c_str());
}
