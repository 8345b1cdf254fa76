#include "skin/font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BITMAP_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "base/log.h"
#include "platform/text.h"

namespace lv {

namespace {

// Larger heights are drawn at this size: a skin asking for a font of
// millions of pixels must not render glyphs of that size.
constexpr int32_t kMaxPixelHeight = 1024;
constexpr const char* kFallbackFamily = "DejaVu Sans";
constexpr int32_t kBoldWeight = 600;

// FreeType's library object is shared by all faces: opening and closing a
// face changes it, so those go under this lock. Never destroyed, because
// fonts held by static objects may be released during exit.
std::mutex& library_mutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}

// Call with library_mutex held.
FT_Library library() {
  static FT_Library instance = [] {
    FT_Library lib = nullptr;
    return FT_Init_FreeType(&lib) == 0 ? lib : nullptr;
  }();
  return instance;
}

// Call with library_mutex held. Fontconfig's configuration is released at
// exit so that leak checkers see only the program's own allocations.
bool fontconfig_ready() {
  static const bool ready = [] {
    if (FcInit() != FcTrue) return false;
    std::atexit([] {
      std::lock_guard lock(library_mutex());
      FcFini();
    });
    return true;
  }();
  return ready;
}

struct FontFile {
  std::string path;
  int index = 0;
};

bool has_family(FcPattern* pattern, const std::string& family) {
  FcChar8* name = nullptr;
  for (int i = 0; FcPatternGetString(pattern, FC_FAMILY, i, &name) == FcResultMatch; ++i)
    if (FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(family.c_str())) == 0)
      return true;
  return false;
}

// With exact set, only a font of that family answers; otherwise fontconfig's
// best match, whatever its family. Call with library_mutex held.
std::optional<FontFile> match_font(const std::string& family, const LogicalFont& logical,
                                   int32_t pixels, bool exact) {
  const bool bold = logical.weight >= kBoldWeight;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return std::nullopt;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, logical.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddDouble(pattern, FC_PIXEL_SIZE, pixels);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* found = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!found) return std::nullopt;

  std::optional<FontFile> file;
  FcChar8* path = nullptr;
  if ((!exact || has_family(found, family)) &&
      FcPatternGetString(found, FC_FILE, 0, &path) == FcResultMatch) {
    file.emplace();
    file->path = reinterpret_cast<const char*>(path);
    FcPatternGetInteger(found, FC_INDEX, 0, &file->index);
  }
  FcPatternDestroy(found);
  return file;
}

int32_t scale_units(int64_t units, int64_t ppem, int64_t units_per_em) {
  return static_cast<int32_t>((units * ppem + units_per_em / 2) / units_per_em);
}

struct Metrics {
  int32_t height = 0;
  int32_t descent = 0;
  int32_t internal_leading = 0;
  int32_t underline_offset = 0;
  int32_t underline_thickness = 0;
};

// Sizes an outline face the way the handheld's font mapper does: a negative
// logical height is the em size, a positive one the cell height, and the
// cell is the font's Windows ascent and descent.
bool size_scalable(FT_Face face, int32_t logical_height, Metrics& m) {
  const int64_t upem = face->units_per_EM;
  if (upem <= 0) return false;
  int64_t ascent = face->ascender;
  int64_t descent = -int64_t{face->descender};
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    ascent = os2->usWinAscent;
    descent = os2->usWinDescent;
  }
  if (ascent + descent <= 0) {
    ascent = upem;
    descent = 0;
  }
  int64_t ppem = logical_height < 0 ? -int64_t{logical_height}
                                    : (int64_t{logical_height} * upem + (ascent + descent) / 2) /
                                          (ascent + descent);
  ppem = std::clamp<int64_t>(ppem, 1, kMaxPixelHeight);
  if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(ppem)) != 0) return false;

  const int32_t a = scale_units(ascent, ppem, upem);
  m.descent = std::max(scale_units(descent, ppem, upem), 0);
  m.height = a + m.descent;
  m.internal_leading = std::max<int32_t>(m.height - static_cast<int32_t>(ppem), 0);
  // FreeType gives the underline's centre, upward from the baseline.
  const int64_t thickness = std::max<int64_t>(face->underline_thickness, 0);
  m.underline_thickness = std::max(scale_units(thickness, ppem, upem), 1);
  const int64_t top_below = -int64_t{face->underline_position} - thickness / 2;
  m.underline_offset = std::max(scale_units(top_below, ppem, upem), 0);
  return true;
}

// A bitmap-only face: the strike nearest the asked height.
bool size_fixed(FT_Face face, int32_t logical_height, Metrics& m) {
  if (face->num_fixed_sizes < 1) return false;
  const int32_t want = logical_height < 0 ? -logical_height : logical_height;
  int best = 0;
  for (int i = 1; i < face->num_fixed_sizes; ++i)
    if (std::abs(face->available_sizes[i].height - want) <
        std::abs(face->available_sizes[best].height - want))
      best = i;
  if (FT_Select_Size(face, best) != 0) return false;
  const FT_Size_Metrics& s = face->size->metrics;
  const int32_t a = static_cast<int32_t>((s.ascender + 32) >> 6);
  m.descent = std::max(static_cast<int32_t>((-s.descender + 32) >> 6), 0);
  m.height = a + m.descent;
  m.internal_leading = std::max<int32_t>(m.height - s.y_ppem, 0);
  m.underline_thickness = 1;
  m.underline_offset = std::max(m.descent / 2, 1);
  return true;
}

bool size_face(FT_Face face, int32_t logical_height, Metrics& m) {
  if (FT_IS_SCALABLE(face)) return size_scalable(face, logical_height, m);
  return size_fixed(face, logical_height, m);
}

}  // namespace

struct FontRep::Impl {
  FT_Face face = nullptr;
  bool embolden = false;
  bool oblique = false;
  std::u16string family;
  std::u16string style;

  std::mutex mutex;  // the face and everything below
  std::unordered_map<char32_t, Glyph> cache;
  size_t cache_bytes = 0;
  GlyphCacheStats stats;

  ~Impl() {
    if (face) {
      std::lock_guard lock(library_mutex());
      FT_Done_Face(face);
    }
  }

  const Glyph& load(char32_t code);
};

const Glyph& FontRep::Impl::load(char32_t code) {
  Glyph glyph;
  const FT_UInt index = FT_Get_Char_Index(face, code);
  const FT_Int32 flags = FT_IS_SCALABLE(face) ? FT_LOAD_TARGET_LIGHT : FT_LOAD_DEFAULT;
  if (FT_Load_Glyph(face, index, flags) == 0) {
    FT_GlyphSlot slot = face->glyph;
    if (oblique && slot->format == FT_GLYPH_FORMAT_OUTLINE) FT_GlyphSlot_Oblique(slot);
    if (embolden) FT_GlyphSlot_Embolden(slot);
    const bool rendered =
        slot->format == FT_GLYPH_FORMAT_BITMAP || FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0;
    glyph.advance = static_cast<int32_t>(std::max<FT_Pos>(slot->advance.x + 32, 0) >> 6);
    FT_Bitmap gray;
    FT_Bitmap_Init(&gray);
    const FT_Bitmap* bitmap = &slot->bitmap;
    if (rendered && bitmap->pixel_mode != FT_PIXEL_MODE_GRAY) {
      // Bitmap-only faces hand over 1-bit (or other) strikes.
      bitmap = FT_Bitmap_Convert(slot->library, &slot->bitmap, &gray, 1) == 0 ? &gray : nullptr;
    }
    if (rendered && bitmap && bitmap->buffer && bitmap->width > 0 && bitmap->rows > 0) {
      glyph.left = slot->bitmap_left;
      glyph.top = slot->bitmap_top;
      glyph.width = static_cast<int32_t>(bitmap->width);
      glyph.rows = static_cast<int32_t>(bitmap->rows);
      glyph.coverage.resize(size_t(glyph.width) * glyph.rows);
      const uint32_t levels = bitmap->num_grays > 1 ? bitmap->num_grays - 1 : 255;
      const int pitch = bitmap->pitch;
      for (int32_t y = 0; y < glyph.rows; ++y) {
        // A negative pitch means the buffer starts with the bottom row.
        const unsigned char* src =
            pitch >= 0 ? bitmap->buffer + size_t(y) * pitch
                       : bitmap->buffer + size_t(glyph.rows - 1 - y) * size_t(-pitch);
        uint8_t* dst = glyph.coverage.data() + size_t(y) * glyph.width;
        for (int32_t x = 0; x < glyph.width; ++x)
          dst[x] = static_cast<uint8_t>(std::min<uint32_t>(src[x] * 255u / levels, 255u));
      }
    }
    FT_Bitmap_Done(slot->library, &gray);
  }
  cache_bytes += sizeof(Glyph) + glyph.coverage.size();
  return cache.emplace(code, std::move(glyph)).first->second;
}

FontRep::FontRep(FontDesc desc) : m_desc(std::move(desc)), m_impl(std::make_unique<Impl>()) {}

FontRep::~FontRep() = default;

void FontRep::release() const {
  if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

bool FontRep::has_glyphs() const {
  return m_impl->face != nullptr;
}

const std::u16string& FontRep::family() const {
  return m_impl->family;
}

const std::u16string& FontRep::style() const {
  return m_impl->style;
}

bool FontRep::synthetic_bold() const {
  return m_impl->embolden;
}

bool FontRep::synthetic_italic() const {
  return m_impl->oblique;
}

GlyphCacheStats FontRep::cache_stats() const {
  std::lock_guard lock(m_impl->mutex);
  GlyphCacheStats stats = m_impl->stats;
  stats.glyphs = m_impl->cache.size();
  stats.bytes = m_impl->cache_bytes;
  return stats;
}

FontRep::Glyphs::Glyphs(const FontRep& font)
    : m_font(font.m_impl->face ? font.m_impl.get() : nullptr) {
  if (!m_font) return;
  m_font->mutex.lock();
  // Emptied only here, so no glyph handed out below can go away while in use.
  if (m_font->cache_bytes > kCacheBudgetBytes) {
    m_font->cache.clear();
    m_font->cache_bytes = 0;
  }
}

FontRep::Glyphs::~Glyphs() {
  if (m_font) m_font->mutex.unlock();
}

const Glyph* FontRep::Glyphs::find(char32_t code) {
  if (!m_font) return nullptr;
  const auto it = m_font->cache.find(code);
  if (it != m_font->cache.end()) {
    ++m_font->stats.hits;
    return &it->second;
  }
  ++m_font->stats.misses;
  return &m_font->load(code);
}

FontRef font_variant(const FontRef& font, bool bold, bool underline) {
  FontDesc desc = font->description();
  desc.bold = bold ? 1 : 0;
  desc.underline = underline ? 1 : 0;
  return create_font(desc);
}

FontRef create_font(const FontDesc& desc) {
  FontRef ref(new FontRep(desc));
  if (desc.height == 0) return ref;

  FontRep& font = *ref.m_rep;
  FontRep::Impl& impl = *font.m_impl;
  Stopwatch watch;
  const LogicalFont logical = logical_font(desc);
  const std::string face_name = to_utf8(logical.face);
  const int32_t pixels =
      std::clamp(logical.height < 0 ? -logical.height : logical.height, 1, kMaxPixelHeight);
  {
    std::lock_guard lock(library_mutex());
    std::optional<FontFile> file;
    if (library() && fontconfig_ready()) {
      if (!face_name.empty()) file = match_font(face_name, logical, pixels, true);
      if (!file) file = match_font(kFallbackFamily, logical, pixels, false);
    }
    if (!file || FT_New_Face(library(), file->path.c_str(), file->index, &impl.face) != 0)
      impl.face = nullptr;
    if (impl.face) {
      // The file itself says whether it is bold or slanted; fontconfig's
      // answer already pretends so when it plans to make them up.
      const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(impl.face, FT_SFNT_OS2));
      const bool file_bold = (impl.face->style_flags & FT_STYLE_FLAG_BOLD) ||
                             (os2 && os2->version != 0xFFFF && os2->usWeightClass >= kBoldWeight);
      impl.embolden = logical.weight >= kBoldWeight && !file_bold;
      impl.oblique = logical.italic && !(impl.face->style_flags & FT_STYLE_FLAG_ITALIC);
      if (impl.face->family_name) impl.family = from_utf8(impl.face->family_name);
      if (impl.face->style_name) impl.style = from_utf8(impl.face->style_name);
    }
  }
  if (!impl.face) log() << u"ERROR: FontRep::FontRep() Failed to create font\n";
  log() << u"Creating font: {" << logical.face << u"} elapsed=" << watch.elapsed() << u"\n";
  if (!impl.face) return ref;

  Metrics metrics;
  if (!size_face(impl.face, logical.height, metrics)) {
    log() << u"GetTextMetrics failed: {" << logical.face << u"}\n";
    std::lock_guard lock(library_mutex());
    FT_Done_Face(impl.face);
    impl.face = nullptr;
    impl.family.clear();
    impl.style.clear();
    impl.embolden = impl.oblique = false;
    return ref;
  }
  font.m_height = metrics.height;
  font.m_descent = metrics.descent;
  font.m_internal_leading = metrics.internal_leading;
  font.m_underline_offset = metrics.underline_offset;
  font.m_underline_thickness = metrics.underline_thickness;
  return ref;
}

namespace {

struct DefaultFont {
  std::mutex mutex;
  FontRef none = create_font(FontDesc{.height = 0});
  FontRef current = none;
};

// Never destroyed: references may be taken while static objects go away.
DefaultFont& default_holder() {
  static auto* holder = new DefaultFont;
  return *holder;
}

}  // namespace

FontRef::FontRef() : FontRef(default_font()) {}

FontRef default_font() {
  DefaultFont& holder = default_holder();
  std::lock_guard lock(holder.mutex);
  return holder.current;
}

void set_default_font(const FontRef& font) {
  DefaultFont& holder = default_holder();
  FontRef old = font;
  {
    std::lock_guard lock(holder.mutex);
    std::swap(old.m_rep, holder.current.m_rep);
  }
  // The previous default is released here, outside the lock.
}

void reset_default_font() {
  DefaultFont& holder = default_holder();
  FontRef none = holder.none;
  set_default_font(none);
}

}  // namespace lv
