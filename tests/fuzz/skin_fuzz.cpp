// Any bytes as a skin file: the loader either refuses them or builds a skin
// on which every lookup of every key of every node stays inside the image.
// Skins are loaded from a scratch folder that links to the compiled skins'
// art, so the seeds' pictures are found and their skins load for real.
#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "platform/text.h"
#include "skin/properties.h"
#include "skin/skin_check.h"
#include "skin/skin_image.h"

namespace {

using lv::skin_format::Section;

std::string g_folder;
std::string g_skin_file;

// The scratch folder holds the input and links only: removing it leaves the
// compiled skins alone.
void remove_scratch_folder() {
  std::error_code ignored;
  std::filesystem::remove_all(g_folder, ignored);
}

void link_compiled_art(const std::string& folder) {
  char exe[4096];
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return;
  std::string bin(exe, size_t(n));
  bin = bin.substr(0, bin.rfind('/')) + "/../../skins/bin";
  DIR* dir = ::opendir(bin.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (::symlink((bin + "/" + name).c_str(), (folder + "/" + name).c_str()) != 0) continue;
  }
  ::closedir(dir);
}

void walk(const lv::Properties& skin, const lv::SkinImage& image, const lv::SkinNode* node,
          uint32_t body, volatile int64_t& sink) {
  const std::u16string fallback;
  const lv::FontRef font;
  for (Section which : lv::skin_format::kSections) {
    uint32_t first = 0, count = 0;
    if (!image.section(body, which, first, count)) std::abort();  // the check let it through
    for (uint32_t i = 0; i < count; ++i) {
      const std::u16string key =
          image.string_at(image.u16(first + i * lv::skin_format::record_size(which)));
      sink = sink + skin.get_integer(node, key, 0);
      sink = sink + skin.get_point(node, key, {}).x;
      sink = sink + skin.get_color(node, key, {}).red;
      sink = sink + int64_t(skin.get_string(node, key, fallback).size());
      sink = sink + skin.get_font(node, key, font)->height();
      const lv::Picture picture = skin.get_picture(node, key, lv::empty_picture());
      sink = sink + picture.p3.x + picture.bitmap_size().width;
    }
  }
  // Two entries of one name make the search find either; the keys then
  // come from the other node, which only makes the lookups miss.
  const uint32_t children = skin.child_count(node);
  for (uint32_t i = 0; i < children; ++i) {
    const lv::SkinNode* child = skin.child(node, i);
    if (!child) std::abort();
    walk(skin, image, child, image.child(body, i).value_or(body), sink);
  }
  if (skin.child(node, children) != nullptr) std::abort();
}

}  // namespace

// fontconfig's configuration parser leaks a few bytes once per process
// (FcInit alone shows it); that is not the loader's leak.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/skin_fuzz.XXXXXX";
  if (!::mkdtemp(folder.data())) std::abort();
  link_compiled_art(folder);
  g_folder = folder;
  g_skin_file = folder + "/fuzz.skin";
  std::atexit(remove_scratch_folder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = std::fopen(g_skin_file.c_str(), "wb");
  if (!file) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  lv::Properties skin;
  lv::ScreenInfo screen;
  screen.dpi = size > 0 ? 96 << (data[0] % 3) : 96;
  const bool loaded = skin.load_skin(lv::from_utf8(g_skin_file), screen);

  const lv::SkinImage image(std::span<const uint8_t>(data, size));
  lv::SkinLayout layout;
  std::string reason;
  const bool sound = lv::check_skin(image, layout, reason);
  if (loaded && !sound) std::abort();
  if (!loaded) return 0;

  volatile int64_t sink = 0;
  for (const lv::NamedNode& named : image.named_nodes(layout.header.root, layout.named_count)) {
    const lv::SkinNode* node = skin.find_node(image.string_at(named.name));
    // A file whose tree is not in name order may hide a node from the search.
    if (node) walk(skin, image, node, named.body, sink);
  }
  return 0;
}
