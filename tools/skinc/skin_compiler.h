#pragma once

// The skin compiler: a skin source folder (its "skin.json" and the art it
// names) becomes "<name>.skin" with the 16-bit bitmaps it names, under
// "<name>/" beside it so that skins sharing one folder never clash, and the
// image viewer's placeholders "<name>.load.bmp" and "<name>.bad.bmp" made
// from the art "load" and "bad" of the source folder, when present.

#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "skin/surface.h"

namespace lv::skinc {

inline constexpr const char* kSourceFileName = "skin.json";

struct OutputBitmap {
  std::string path;  // relative to the output folder, '/'-separated, with ".bmp"
  std::unique_ptr<Surface> surface;
};

struct CompiledSkin {
  std::string name;
  std::string bytes;  // the ".skin" file
  std::vector<OutputBitmap> bitmaps;
};

// "<folder>/skin.json" for a folder; a file is taken as it is.
std::filesystem::path source_file_of(const std::filesystem::path& source);

// The skin name a source gets by default: the name of its folder.
std::string default_skin_name(const std::filesystem::path& source_file);

// Compiles a source file, its art relative to the file's folder. False with
// a message naming the file, the node path and the key.
bool compile_skin(const std::filesystem::path& source_file, const std::string& name,
                  CompiledSkin& out, std::string& error);

// Writes the bitmaps first and the ".skin" file last, each atomically, so a
// failed run never leaves a new skin naming bitmaps that are not there.
bool write_compiled_skin(const CompiledSkin& skin, const std::filesystem::path& output_folder,
                         std::string& error);

// The skin file printed back as source text, which compiles (beside the
// original art) to the same bytes. `name` is the skin's name, whose
// "<name>/" prefix the picture names lose again. False with a reason for a
// file that is not a sound skin.
bool dump_skin(std::span<const uint8_t> bytes, const std::string& name, std::string& text,
               std::string& error);

}  // namespace lv::skinc
