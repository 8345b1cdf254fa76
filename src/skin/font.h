#pragma once

// Realised fonts. A FontRep is made once per skin font from its FontDesc and
// shared through FontRef, whose count is atomic so references may be copied
// and dropped on any thread. Glyphs are rendered once per font (8-bit
// anti-aliased coverage) and kept in the font's glyph cache.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "skin/font_desc.h"

namespace lv {

// One rendered glyph, placed relative to the pen position on the baseline.
struct Glyph {
  int32_t advance = 0;  // pixels to the next pen position
  int32_t left = 0;     // first coverage column, from the pen position
  int32_t top = 0;      // coverage rows above the baseline
  int32_t width = 0;
  int32_t rows = 0;
  std::vector<uint8_t> coverage;  // width x rows, top row first; 255 = fully covered
};

struct GlyphCacheStats {
  uint64_t hits = 0;
  uint64_t misses = 0;
  size_t glyphs = 0;  // held now
  size_t bytes = 0;   // held now, roughly
};

class FontRef;

class FontRep {
 public:
  FontRep(const FontRep&) = delete;
  FontRep& operator=(const FontRep&) = delete;

  const FontDesc& description() const { return m_desc; }
  // False when the height is 0 or no font file could be opened and sized:
  // such a font measures and draws nothing.
  bool has_glyphs() const;

  // Text metrics in pixels; all 0 without glyphs.
  int32_t height() const { return m_height; }  // ascent + descent
  int32_t descent() const { return m_descent; }
  int32_t ascent() const { return m_height - m_descent; }
  int32_t internal_leading() const { return m_internal_leading; }
  // Underline: first row below the baseline, and thickness.
  int32_t underline_offset() const { return m_underline_offset; }
  int32_t underline_thickness() const { return m_underline_thickness; }

  // Family and style of the font file in use ("DejaVu Sans", "Bold"), and
  // whether bold or slant is made up because the file has none.
  const std::u16string& family() const;
  const std::u16string& style() const;
  bool synthetic_bold() const;
  bool synthetic_italic() const;

  GlyphCacheStats cache_stats() const;
  // A cache holding more than this is emptied before the next line.
  static constexpr size_t kCacheBudgetBytes = size_t{4} << 20;

 private:
  struct Impl;

 public:
  // Exclusive use of the font's glyphs while one line is measured or drawn;
  // the glyphs it returns stay valid until it is destroyed. It holds the
  // font's lock: while it lives, the same thread must not measure, draw or
  // ask the cache statistics of this font.
  class Glyphs {
   public:
    explicit Glyphs(const FontRep& font);
    ~Glyphs();
    Glyphs(const Glyphs&) = delete;
    Glyphs& operator=(const Glyphs&) = delete;

    // The glyph for a code point (the font's missing-glyph shape where it
    // has none); null for a font without glyphs.
    const Glyph* find(char32_t code);

   private:
    Impl* m_font;  // locked while this lives; null without glyphs
  };

 private:
  friend class FontRef;
  friend FontRef create_font(const FontDesc& desc);

  explicit FontRep(FontDesc desc);
  ~FontRep();
  void add_ref() const { m_refs.fetch_add(1, std::memory_order_relaxed); }
  void release() const;

  mutable std::atomic<int32_t> m_refs{0};
  FontDesc m_desc;
  int32_t m_height = 0;
  int32_t m_descent = 0;
  int32_t m_internal_leading = 0;
  int32_t m_underline_offset = 0;
  int32_t m_underline_thickness = 0;
  std::unique_ptr<Impl> m_impl;
};

// A counted reference to a FontRep; it always refers to one. A default
// reference shares the process-wide default font.
class FontRef {
 public:
  FontRef();
  FontRef(const FontRef& other) : m_rep(other.m_rep) { m_rep->add_ref(); }
  FontRef& operator=(const FontRef& other) {
    FontRep* old = m_rep;
    m_rep = other.m_rep;
    m_rep->add_ref();
    old->release();
    return *this;
  }
  ~FontRef() { m_rep->release(); }

  const FontRep* get() const { return m_rep; }
  const FontRep* operator->() const { return m_rep; }
  const FontRep& operator*() const { return *m_rep; }
  friend bool operator==(const FontRef& a, const FontRef& b) { return a.m_rep == b.m_rep; }

  // References held by all FontRef values to this font.
  int32_t use_count() const { return m_rep->m_refs.load(std::memory_order_acquire); }

 private:
  friend FontRef create_font(const FontDesc& desc);
  friend void set_default_font(const FontRef& font);
  friend void reset_default_font();
  explicit FontRef(FontRep* rep) : m_rep(rep) { m_rep->add_ref(); }

  FontRep* m_rep;
};

// Matches the face, weight and slant with fontconfig (a face that is not
// installed becomes DejaVu Sans) and opens it at the logical font's height.
// Height 0 gives a font without glyphs and logs nothing; a font that cannot
// be opened is logged and has no glyphs either.
FontRef create_font(const FontDesc& desc);
// The same face and height, bold and underlined or not.
FontRef font_variant(const FontRef& font, bool bold, bool underline);

// The process-wide default font: a font without glyphs until the
// application sets one.
FontRef default_font();
void set_default_font(const FontRef& font);
// Back to the font without glyphs (the application's tear-down).
void reset_default_font();

}  // namespace lv
