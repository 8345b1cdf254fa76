// lumiview-skinc: compiles a skin source folder into a ".skin" file and its
// bitmaps, or prints a ".skin" file back as source.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "skinc/skin_compiler.h"

namespace {

constexpr const char* kUsage =
    "usage: lumiview-skinc [--name NAME] SOURCE OUTPUT_FOLDER\n"
    "       lumiview-skinc --dump FILE.skin\n"
    "SOURCE is a skin source folder (holding skin.json) or a source file; the skin\n"
    "is named after the source's folder unless --name is given.\n";

int usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

int dump(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "lumiview-skinc: %s: cannot read the file\n", file.c_str());
    return 1;
  }
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>()};
  std::string name = std::filesystem::path(file).stem().string();
  std::string text, error;
  if (!lv::skinc::dump_skin(bytes, name, text, error)) {
    std::fprintf(stderr, "lumiview-skinc: %s: %s\n", file.c_str(), error.c_str());
    return 1;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 2 && args[0] == "--dump") return dump(args[1]);
  std::string name;
  if (args.size() >= 2 && args[0] == "--name") {
    name = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.size() != 2 || args[0].starts_with("--")) return usage();

  const std::filesystem::path source = lv::skinc::source_file_of(args[0]);
  if (name.empty()) name = lv::skinc::default_skin_name(source);
  lv::skinc::CompiledSkin skin;
  std::string error;
  if (!lv::skinc::compile_skin(source, name, skin, error) ||
      !lv::skinc::write_compiled_skin(skin, args[1], error)) {
    std::fprintf(stderr, "lumiview-skinc: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
