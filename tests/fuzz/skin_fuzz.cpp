// Any bytes as a skin file: the loader either refuses them or builds a skin
// on which every lookup of every key of every node stays inside the image.
// Skins are loaded from a scratch folder that links to the compiled skins'
// art, so the seeds' pictures are found and their skins load for real.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

#include "platform/text.h"
#include "skin/properties.h"
#include "skin/skin_check.h"
#include "skin/skin_image.h"

namespace {

using lv::skin_format::Section;
namespace fs = std::filesystem;

std::string g_folder, g_skin_file;

void walk(const lv::Properties& skin, const lv::SkinImage& image, const lv::SkinNode* node,
          uint32_t body, volatile int64_t& sink) {
  if (!node) std::abort();
  const std::u16string fallback;
  const lv::FontRef font;
  for (Section which : lv::skin_format::kSections) {
    uint32_t first = 0, count = 0;
    if (!image.section(body, which, first, count)) std::abort();  // the check let it through
    for (uint32_t i = 0; i < count; ++i) {
      const std::u16string key =
          image.string_at(image.u16(first + i * lv::skin_format::record_size(which)));
      const lv::Picture picture = skin.get_picture(node, key, lv::empty_picture());
      sink = sink + skin.get_integer(node, key, 0) + skin.get_point(node, key, {}).x +
             skin.get_color(node, key, {}).red +
             int64_t(skin.get_string(node, key, fallback).size()) +
             skin.get_font(node, key, font)->height() + picture.p3.x + picture.bitmap_size().width;
    }
  }
  // Two entries of one name make the search find either; the keys then
  // come from the other node, which only makes the lookups miss.
  const uint32_t children = skin.child_count(node);
  if (skin.child(node, children) != nullptr) std::abort();
  for (uint32_t i = 0; i < children; ++i)
    walk(skin, image, skin.child(node, i), image.child(body, i).value_or(body), sink);
}

}  // namespace

// fontconfig's configuration parser leaks a few bytes once per process
// (FcInit alone shows it); that is not the loader's leak.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = std::getenv("TMPDIR");
  g_folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/skin_fuzz.XXXXXX";
  if (!::mkdtemp(g_folder.data())) std::abort();
  g_skin_file = g_folder + "/fuzz.skin";
  // The scratch folder holds the input and links only: removing it leaves
  // the compiled skins alone.
  std::error_code ec;
  const fs::path art = fs::read_symlink("/proc/self/exe", ec).parent_path() / "../../skins/bin";
  for (const auto& entry : fs::directory_iterator(art, ec))
    fs::create_symlink(entry.path(), fs::path(g_folder) / entry.path().filename(), ec);
  std::atexit([] {
    std::error_code ignored;
    fs::remove_all(g_folder, ignored);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::ofstream(g_skin_file, std::ios::binary).write(reinterpret_cast<const char*>(data), size);

  lv::Properties skin;
  lv::ScreenInfo screen;
  screen.dpi = size > 0 ? 96 << (data[0] % 3) : 96;
  const bool loaded = skin.load_skin(lv::from_utf8(g_skin_file), screen);

  const lv::SkinImage image(std::span<const uint8_t>(data, size));
  lv::SkinLayout layout;
  std::string reason;
  const bool sound = lv::check_skin(image, layout, reason);
  if (!loaded) return 0;
  if (!sound) std::abort();

  volatile int64_t sink = 0;
  for (const lv::NamedNode& named : image.named_nodes(layout.header.root, layout.named_count)) {
    const lv::SkinNode* node = skin.find_node(image.string_at(named.name));
    // A file whose tree is not in name order may hide a node from the search.
    if (node) walk(skin, image, node, named.body, sink);
  }
  return 0;
}
