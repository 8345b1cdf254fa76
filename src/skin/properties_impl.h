#pragma once

// One data set of the skin resources: a skin file's image with the tables
// built from it. Internal to Properties, which keeps one live data set and
// builds each new skin in another, exchanging the two only when the new one
// is valid.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "skin/bitmap.h"
#include "skin/font.h"
#include "skin/screen_info.h"
#include "skin/skin_image.h"

namespace lv {

class SkinNode;

// Skin files larger than this are refused before anything is allocated.
inline constexpr uint64_t kMaxSkinFileSize = 64u << 20;

class PropertiesImpl {
 public:
  // The empty data set: no skin, empty tables, scale 0.
  PropertiesImpl() = default;
  // Reads, checks and builds the skin at `path` (already resolved) for the
  // screen, logging each step; valid() tells whether every step worked.
  PropertiesImpl(const std::u16string& path, const ScreenInfo& screen);
  PropertiesImpl(const PropertiesImpl&) = delete;
  PropertiesImpl& operator=(const PropertiesImpl&) = delete;

  // Set only when loading succeeded: the single sign of a valid data set.
  bool valid() const { return m_header != nullptr; }
  void swap(PropertiesImpl& other) noexcept;

  SkinImage image() const;
  int32_t scale() const { return m_scale; }
  const std::vector<Picture>& pictures() const { return m_pictures; }
  const std::vector<FontRef>& fonts() const { return m_fonts; }
  const std::vector<std::u16string>& strings() const { return m_strings; }

  const SkinNode* find_node(std::u16string_view name) const;
  // The body offset of a node handle of this image; none for null, foreign
  // or stale handles.
  std::optional<uint32_t> body_of(const SkinNode* node) const;
  const SkinNode* node_at(uint32_t body) const;

 private:
  bool read_file(const std::u16string& path);
  bool load_pictures(const std::u16string& path, const std::vector<uint32_t>& pool);
  void create_fonts(const std::vector<uint32_t>& pool);
  void copy_strings(const std::vector<uint32_t>& pool);

  std::shared_ptr<const std::vector<uint8_t>> m_image;
  const uint8_t* m_header = nullptr;
  std::vector<Picture> m_pictures;
  std::vector<FontRef> m_fonts;
  std::vector<std::u16string> m_strings;
  int32_t m_scale = 0;
  uint32_t m_root = skin_format::kNoEntry;
  // Entries of the named-node tree: no search needs more steps.
  uint32_t m_named_count = 0;
};

// The folder of a skin file: the path with one trailing separator removed,
// cut after its last separator ("" when it has none).
std::u16string skin_folder_of(std::u16string_view path);
// Where picture `name` of a skin in `folder` is loaded from (without ".bmp").
std::u16string skin_picture_path(std::u16string_view folder, std::u16string_view name);

}  // namespace lv
