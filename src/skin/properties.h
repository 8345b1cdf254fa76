#pragma once

// The skin resources: the loaded skin (its file image, pictures, fonts and
// strings) with the lookups every element makes on its nodes, and the
// language table beside it. Loading is transactional: a new skin is built
// completely aside and replaces the live one only when every step worked.
// Used from the user-interface thread.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/language.h"
#include "skin/bitmap.h"
#include "skin/color.h"
#include "skin/font.h"
#include "skin/geometry.h"
#include "skin/screen_info.h"
#include "skin/skin_format.h"

namespace lv {

// A node of the loaded skin: a position inside its image, never dereferenced
// by callers. Valid until the next successful load, and not to be kept past
// it. A null handle, or one outside the current image, makes every lookup
// answer its default; no handle makes a lookup read outside the image.
class SkinNode;

class PropertiesImpl;
class Properties;

// Told after the skin changed; each listener looks its values up again.
class ReloadListener {
 public:
  virtual void reload_skin(Properties& properties) = 0;

 protected:
  ~ReloadListener() = default;
};

class Properties {
 public:
  Properties();
  ~Properties();
  Properties(const Properties&) = delete;
  Properties& operator=(const Properties&) = delete;

  // Loads a ".skin" file (macros expanded, its file name matched ignoring
  // case) for a screen, whose vertical dots per inch fix the skin scale. On
  // success the new skin replaces the old one and its path is remembered; on
  // any failure (missing, short, damaged, a picture that does not load)
  // nothing changes. Listeners are not told: the caller sends the reload.
  bool load_skin(std::u16string_view path, const ScreenInfo& screen);

  // Tells every listener, in the order they were added, that the skin changed.
  void send_reload_skin();
  // A listener added twice is told once; removing one that is not there does
  // nothing. Listeners may add or remove listeners while being told.
  void add_reload_listener(ReloadListener* listener);
  void remove_reload_listener(ReloadListener* listener);

  bool loaded() const;
  // The skin file that was loaded, as found on disk; "" before the first load.
  const std::u16string& path() const { return m_path; }
  // 0, 1 or 2: points and pictures are multiplied by 2^scale().
  int32_t scale() const;

  LanguageTable& language() { return m_language; }
  const LanguageTable& language() const { return m_language; }

  // The named top-level node ("Main", "Splash", ...), or null.
  const SkinNode* find_node(std::u16string_view name) const;

  // Lookups: the default, as given, when the node has no such key. Points and
  // picture points come scaled by 2^scale(); integers, colours, strings and
  // fonts do not. A colour found in the skin has alpha 255.
  int32_t get_integer(const SkinNode* node, std::u16string_view key, int32_t default_value) const;
  Point get_point(const SkinNode* node, std::u16string_view key, Point default_value) const;
  Color get_color(const SkinNode* node, std::u16string_view key, Color default_value) const;
  // References into the skin's tables (or the default reference), valid
  // until the next successful load.
  const std::u16string& get_string(const SkinNode* node, std::u16string_view key,
                                   const std::u16string& default_value) const;
  const FontRef& get_font(const SkinNode* node, std::u16string_view key,
                          const FontRef& default_value) const;
  // Shares the bitmap of the skin's picture table; the Picture keeps it alive
  // after the skin is replaced.
  Picture get_picture(const SkinNode* node, std::u16string_view key,
                      const Picture& default_value) const;

  // Number of values the node holds of one kind (0 for a null handle).
  // Elements read some groups of keys only when the node has values of that
  // kind at all.
  uint32_t value_count(const SkinNode* node, skin_format::Section section) const;

  uint32_t child_count(const SkinNode* node) const;
  // The i-th child in file order, or null past the last.
  const SkinNode* child(const SkinNode* node, uint32_t index) const;

  // The skin's tables, in file order.
  const std::vector<Picture>& pictures() const;
  const std::vector<FontRef>& fonts() const;
  const std::vector<std::u16string>& strings() const;

 private:
  std::unique_ptr<PropertiesImpl> m_data;
  std::u16string m_path;
  std::vector<ReloadListener*> m_listeners;
  LanguageTable m_language;
};

}  // namespace lv
