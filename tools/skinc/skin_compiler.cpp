#include "skinc/skin_compiler.h"

#include <fstream>
#include <iterator>
#include <map>

#include "base/file_util.h"
#include "platform/text.h"
#include "skin/bitmap_file.h"
#include "skinc/art.h"
#include "skinc/skin_source.h"
#include "skinc/skin_writer.h"

namespace lv::skinc {

namespace fs = std::filesystem;
using skin_format::Section;

namespace {

// The file an extension-less art name stands for: PNG first, then SVG.
std::optional<fs::path> find_art(const fs::path& folder, const fs::path& stem) {
  for (const char* extension : {".png", ".svg"}) {
    fs::path file = folder / stem;
    file += extension;
    std::error_code ignored;
    if (fs::is_regular_file(file, ignored)) return file;
  }
  return std::nullopt;
}

class Resolver {
 public:
  Resolver(const fs::path& folder, const std::string& name, CompiledSkin& out)
      : m_folder(folder), m_name(name), m_out(out) {}

  SkinTables run(SkinSource& source) {
    m_file = source.file;
    for (auto& [name, node] : source.nodes) resolve(node);
    return std::move(m_tables);
  }

 private:
  struct Art {
    fs::path file;
    uint32_t index;
    Size size;
  };

  [[noreturn]] void fail(const SourceNode& node, const SourceValue& value,
                         std::string_view why) const {
    throw CompileError(describe(m_file, node.path, value.key_text, why));
  }

  static uint32_t intern(std::vector<std::u16string>& table,
                         std::map<std::u16string, uint32_t>& index, const std::u16string& text) {
    const auto [found, added] = index.try_emplace(text, static_cast<uint32_t>(table.size()));
    if (added) table.push_back(text);
    return found->second;
  }

  // Table order is the order of first use, named nodes in name order and
  // each depth first: a dumped skin compiles back to the same tables.
  void resolve(SourceNode& node) {
    for (SourceValue& value : node.sections[size_t(Section::font)])
      value.index = intern(m_tables.fonts, m_font_index, value.text);
    for (SourceValue& value : node.sections[size_t(Section::string)]) {
      value.index = intern(m_tables.strings, m_string_index, value.text);
      if (value.index > 0xFFFF) fail(node, value, "more than 65,536 different strings");
    }
    for (SourceValue& value : node.sections[size_t(Section::picture)]) resolve_picture(node, value);
    for (SourceNode& child : node.children) resolve(child);
  }

  void resolve_picture(const SourceNode& node, SourceValue& value) {
    const fs::path written = fs::path(value.picture.file).lexically_normal();
    if (written.empty() || written.is_absolute() || *written.begin() == "..")
      fail(node, value,
           "picture file \"" + value.picture.file + "\" must lie inside the skin folder");
    fs::path stem = written;
    std::optional<fs::path> file;
    if (written.extension() == ".png" || written.extension() == ".svg") {
      stem.replace_extension();
      file = m_folder / written;
      std::error_code ignored;
      if (!fs::is_regular_file(*file, ignored))
        fail(node, value, "missing picture file " + file->string());
    } else {
      file = find_art(m_folder, stem);
      if (!file)
        fail(node, value, "missing picture file " + (m_folder / stem).string() + ".png (or .svg)");
    }
    const Art& art = add_art(node, value, stem, *file);
    value.index = art.index;
    place_points(node, value, art.size);
  }

  const Art& add_art(const SourceNode& node, const SourceValue& value, const fs::path& stem,
                     const fs::path& file) {
    const std::string key = stem.generic_string();
    const auto found = m_art.find(key);
    if (found != m_art.end()) {
      if (found->second.file != file)
        fail(node, value,
             file.string() + " and " + found->second.file.string() + " would share one bitmap");
      return found->second;
    }
    if (m_tables.pictures.size() >= skin_format::kMaxPictures)
      fail(node, value, "too many pictures: a skin holds at most 256");
    std::unique_ptr<Surface> surface;
    std::string reason;
    if (!load_art(file, surface, reason)) fail(node, value, file.string() + ": " + reason);
    Art art{file, static_cast<uint32_t>(m_tables.pictures.size()), surface->size()};
    m_tables.pictures.push_back(from_utf8(m_name + "/" + key));
    m_out.bitmaps.push_back({m_name + "/" + key + ".bmp", std::move(surface)});
    return m_art.emplace(key, std::move(art)).first->second;
  }

  void place_points(const SourceNode& node, SourceValue& value, Size size) {
    const Box whole{0, 0, size.width, size.height};
    const Box region = value.picture.region.value_or(whole);
    const Box inner = value.picture.inner.value_or(region);
    if (region[0] > region[2] || region[1] > region[3] || region[2] > size.width ||
        region[3] > size.height)
      fail(node, value,
           "the region must lie within the " + std::to_string(size.width) + " x " +
               std::to_string(size.height) + " picture, left <= right and top <= bottom");
    if (inner[0] < region[0] || inner[1] < region[1] || inner[2] > region[2] ||
        inner[3] > region[3] || inner[0] > inner[2] || inner[1] > inner[3])
      fail(node, value, "the inner rectangle must lie within the region");
    const int64_t points[8] = {region[0], region[1], inner[0],  inner[1],
                               inner[2],  inner[3],  region[2], region[3]};
    for (size_t i = 0; i < 8; ++i) value.points[i] = static_cast<uint16_t>(points[i]);
  }

  const fs::path& m_folder;
  const std::string& m_name;
  CompiledSkin& m_out;
  std::string m_file;
  SkinTables m_tables;
  std::map<std::u16string, uint32_t> m_font_index;
  std::map<std::u16string, uint32_t> m_string_index;
  std::map<std::string, Art> m_art;
};

bool valid_skin_name(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

void add_placeholders(const fs::path& folder, const std::string& name, CompiledSkin& out) {
  for (const char* kind : {"load", "bad"}) {
    const std::optional<fs::path> file = find_art(folder, kind);
    if (!file) continue;
    std::unique_ptr<Surface> surface;
    std::string reason;
    if (!load_art(*file, surface, reason)) throw CompileError(file->string() + ": " + reason);
    out.bitmaps.push_back({name + "." + kind + ".bmp", std::move(surface)});
  }
}

}  // namespace

fs::path source_file_of(const fs::path& source) {
  std::error_code ignored;
  if (fs::is_directory(source, ignored)) return source / kSourceFileName;
  return source;
}

std::string default_skin_name(const fs::path& source_file) {
  std::error_code ignored;
  fs::path absolute = fs::absolute(source_file, ignored).lexically_normal();
  return absolute.parent_path().filename().string();
}

bool compile_skin(const fs::path& source_file, const std::string& name, CompiledSkin& out,
                  std::string& error) {
  out = CompiledSkin{};
  out.name = name;
  const std::string file = source_file.string();
  if (!valid_skin_name(name)) {
    error = file + ": \"" + name + "\" cannot name a skin file";
    return false;
  }
  std::ifstream in(source_file, std::ios::binary);
  if (!in) {
    error = file + ": cannot read the skin source";
    return false;
  }
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  try {
    SkinSource source = parse_skin_source(text, file);
    const fs::path folder = source_file.parent_path();
    const SkinTables tables = Resolver(folder, name, out).run(source);
    out.bytes = write_skin_image(source, tables);
    add_placeholders(folder, name, out);
  } catch (const CompileError& e) {
    error = e.what();
    out = CompiledSkin{};
    return false;
  }
  return true;
}

bool write_compiled_skin(const CompiledSkin& skin, const fs::path& output_folder,
                         std::string& error) {
  std::error_code code;
  for (const OutputBitmap& bitmap : skin.bitmaps) {
    const fs::path path = output_folder / bitmap.path;
    fs::create_directories(path.parent_path(), code);
    if (code || !write_bitmap_565(from_utf8(path.string()), *bitmap.surface)) {
      error = path.string() + ": cannot write the bitmap";
      return false;
    }
  }
  const fs::path path = output_folder / (skin.name + ".skin");
  fs::create_directories(output_folder, code);
  if (code || !write_file_atomic(from_utf8(path.string()), skin.bytes)) {
    error = path.string() + ": cannot write the skin";
    return false;
  }
  return true;
}

}  // namespace lv::skinc
