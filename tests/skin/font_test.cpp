#include "skin/font.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "app/base/log.h"
#include "app/base/settings.h"
#include "platform/text.h"
#include "skin/font_desc.h"
#include "support/test_env.h"

namespace lv {
namespace {

FontDesc desc_of(int32_t height, std::u16string face = u"DejaVu Sans", uint32_t factor = 1) {
  FontDesc d;
  d.height = height;
  d.face = std::move(face);
  d.scale_factor = factor;
  return d;
}

#define LV_REQUIRE_FONT(font)                                                     \
  do {                                                                            \
    if (!(font)->has_glyphs()) GTEST_SKIP() << "fontconfig finds no usable font"; \
  } while (0)

void enable_log() {
  ASSERT_TRUE(set_number(kKaruKey, u"Log", 1));
}

std::string log_text() {
  log().flush();
  const char* tmp = std::getenv("TMPDIR");
  const std::string raw = test::read_file(std::string(tmp) + "/" + to_utf8(app_name()) + ".txt");
  std::u16string text;
  for (size_t i = 2; i + 1 < raw.size(); i += 2)
    text.push_back(char16_t(uint8_t(raw[i]) | uint8_t(raw[i + 1]) << 8));
  return to_utf8(text);
}

// ---- description parsing ----

TEST(FontDescription, ParsesAllFieldsWithTheFaceAsTheRest) {
  FontDesc d;
  parse_font_description(u"14 1 0 1 Lucida   Sans Unicode", d);
  EXPECT_EQ(d.height, 14);
  EXPECT_EQ(d.bold, 1);
  EXPECT_EQ(d.italic, 0);
  EXPECT_EQ(d.underline, 1);
  EXPECT_EQ(d.face, u"Lucida   Sans Unicode");
  EXPECT_EQ(d.scale_factor, 1u);

  FontDesc e;
  parse_font_description(u"\t+9\u00A0-3 7\u30000   Arial  \t", e);
  EXPECT_EQ(e.height, 9);
  EXPECT_EQ(e.bold, 1);  // any non-zero number
  EXPECT_EQ(e.italic, 1);
  EXPECT_EQ(e.underline, 0);
  EXPECT_EQ(e.face, u"Arial");
}

TEST(FontDescription, StopsAtTheFirstFieldThatIsNotANumber) {
  FontDesc d = FontDesc::for_skin_scale(1);
  d.italic = 1;  // a value the parse never reaches must stay
  parse_font_description(u"14 1", d);
  EXPECT_EQ(d.height, 14);
  EXPECT_EQ(d.bold, 1);
  EXPECT_EQ(d.italic, 1);
  EXPECT_EQ(d.face, u"Tahoma");
  EXPECT_EQ(d.scale_factor, 2u);

  FontDesc e;
  parse_font_description(u"10 x 1 1 Verdana", e);
  EXPECT_EQ(e.height, 10);
  EXPECT_EQ(e.bold, 0);
  EXPECT_EQ(e.italic, 0);
  EXPECT_EQ(e.face, u"Tahoma");

  for (const char16_t* bad :
       {u"12abc 1 1 1 X", u"- 1 1 1 X", u"99999999999 1 1 1 X", u"1.5 1 1 1 X", u"", u"   "}) {
    FontDesc f;
    parse_font_description(bad, f);
    EXPECT_EQ(f, FontDesc{}) << to_utf8(bad);
  }

  FontDesc g;
  parse_font_description(u"-2147483648 0 0 0 ", g);
  EXPECT_EQ(g.height, INT_MIN);
  EXPECT_EQ(g.face, u"Tahoma");  // nothing after the fourth number
}

TEST(FontDescription, SkinScaleGivesTheFactor) {
  EXPECT_EQ(FontDesc::for_skin_scale(0).scale_factor, 1u);
  EXPECT_EQ(FontDesc::for_skin_scale(1).scale_factor, 2u);
  EXPECT_EQ(FontDesc::for_skin_scale(2).scale_factor, 4u);
  EXPECT_EQ(FontDesc::for_skin_scale(7).scale_factor, 4u);
  EXPECT_EQ(FontDesc::for_skin_scale(-1).scale_factor, 1u);
  const FontDesc d = FontDesc::for_skin_scale(0);
  EXPECT_EQ(d.height, 12);
  EXPECT_EQ(d.face, u"Tahoma");
  EXPECT_EQ(d.bold + d.italic + d.underline, 0);
}

// ---- logical font ----

TEST(LogicalFont, HeightsFollowThePointTable) {
  EXPECT_EQ(logical_height(12, 1), -16);
  EXPECT_EQ(logical_height(12, 2), -32);
  EXPECT_EQ(logical_height(19, 1), -25);
  EXPECT_EQ(logical_height(20, 1), -26);
  EXPECT_EQ(logical_height(10, 2), -26);
  EXPECT_EQ(logical_height(0, 4), 0);
  EXPECT_EQ(logical_height(5, 4), -26);
  const int32_t table[20] = {0,  1,  3,  4,  6,  7,  8,  10, 11, 12,
                             14, 15, 16, 18, 19, 20, 21, 23, 24, 25};
  for (int32_t n = 0; n < 20; ++n) EXPECT_EQ(logical_height(n, 1), -table[n]) << n;
  // Negative heights ask for a cell height.
  EXPECT_EQ(logical_height(-12, 1), 16);
  EXPECT_EQ(logical_height(-1, 1), 1);
  // Far beyond any screen, without overflow.
  EXPECT_EQ(logical_height(INT_MAX, 4), -INT_MAX);
  EXPECT_EQ(logical_height(INT_MIN, 4), INT_MAX);
  EXPECT_EQ(logical_height(100000000, 4), -533333333);
}

TEST(LogicalFont, WeightFlagsAndFaceLength) {
  FontDesc d;
  d.bold = 1;
  d.underline = 1;
  d.face = u"0123456789012345678901234567890123456789";
  const LogicalFont f = logical_font(d);
  EXPECT_EQ(f.height, -16);
  EXPECT_EQ(f.weight, 700);
  EXPECT_FALSE(f.italic);
  EXPECT_TRUE(f.underline);
  EXPECT_EQ(f.face, u"0123456789012345678901234567890");

  d.bold = 0;
  d.italic = 1;
  d.face = std::u16string(30, u'a') + u"\U0001F600z";
  const LogicalFont g = logical_font(d);
  EXPECT_EQ(g.weight, 400);
  EXPECT_TRUE(g.italic);
  EXPECT_EQ(g.face, std::u16string(30, u'a'));  // half a pair is not kept
}

// ---- realised fonts ----

TEST(CreateFont, HeightZeroHasNoGlyphsAndLogsNothing) {
  enable_log();
  const FontRef font = create_font(desc_of(0));
  EXPECT_FALSE(font->has_glyphs());
  EXPECT_EQ(font->height(), 0);
  EXPECT_EQ(font->descent(), 0);
  EXPECT_EQ(font->internal_leading(), 0);
  EXPECT_EQ(font->family(), u"");
  EXPECT_EQ(log_text().find("font"), std::string::npos) << log_text();
  FontRep::Glyphs glyphs(*font);
  EXPECT_EQ(glyphs.find(U'A'), nullptr);
}

TEST(CreateFont, MetricsOfDejaVuSansAsTheHandheldReportsThem) {
  enable_log();
  const FontRef font = create_font(desc_of(12));
  LV_REQUIRE_FONT(font);
  EXPECT_EQ(font->family(), u"DejaVu Sans");
  EXPECT_FALSE(font->synthetic_bold());
  // 16 pixels per em; Windows ascent 1901 and descent 483 of 2048 units.
  EXPECT_EQ(font->ascent(), 15);
  EXPECT_EQ(font->descent(), 4);
  EXPECT_EQ(font->height(), 19);
  EXPECT_EQ(font->internal_leading(), 3);
  EXPECT_GE(font->underline_thickness(), 1);
  EXPECT_LT(font->underline_offset() + font->underline_thickness(), font->descent() + 1);
  EXPECT_NE(log_text().find("Creating font: {DejaVu Sans} elapsed="), std::string::npos);

  const FontRef twice = create_font(desc_of(12, u"DejaVu Sans", 2));
  EXPECT_EQ(twice->height(), 38);
  EXPECT_EQ(twice->descent(), 8);
  EXPECT_EQ(twice->internal_leading(), 6);

  const FontRef nineteen = create_font(desc_of(19));
  EXPECT_EQ(nineteen->height(), 29);  // 25 pixels per em

  // A negative height asks for the cell height instead.
  const FontRef cell = create_font(desc_of(-12));
  EXPECT_EQ(cell->height(), 16);
}

TEST(CreateFont, FacesThatAreNotInstalledBecomeDejaVuSans) {
  const FontRef font = create_font(desc_of(12, u"No Such Face Anywhere"));
  LV_REQUIRE_FONT(font);
  EXPECT_EQ(font->family(), u"DejaVu Sans");
  EXPECT_EQ(font->height(), 19);
  const FontRef tahoma = create_font(desc_of(12, u"Tahoma"));
  ASSERT_TRUE(tahoma->has_glyphs());
  EXPECT_FALSE(tahoma->family().empty());
  const FontRef unnamed = create_font(desc_of(12, u""));
  EXPECT_EQ(unnamed->family(), u"DejaVu Sans");
}

TEST(CreateFont, BoldAndItalicPickTheirFaces) {
  FontDesc d = desc_of(12);
  d.bold = 1;
  const FontRef bold = create_font(d);
  LV_REQUIRE_FONT(bold);
  if (bold->style() != u"Bold") GTEST_SKIP() << "DejaVu Sans Bold is not installed";
  EXPECT_FALSE(bold->synthetic_bold());

  FontDesc i = desc_of(12);
  i.italic = 1;
  const FontRef italic = create_font(i);
  ASSERT_TRUE(italic->has_glyphs());
  EXPECT_NE(italic->style(), u"Book");
  // The file either slants itself or is slanted by the program.
  EXPECT_TRUE(italic->style() == u"Oblique" || italic->synthetic_italic());

  // A bold glyph is wider or heavier than the regular one.
  const FontRef regular = create_font(desc_of(12));
  FontRep::Glyphs rg(*regular);
  FontRep::Glyphs bg(*bold);
  const Glyph* r = rg.find(U'H');
  const Glyph* b = bg.find(U'H');
  ASSERT_TRUE(r && b);
  long ink_r = 0, ink_b = 0;
  for (uint8_t c : r->coverage) ink_r += c;
  for (uint8_t c : b->coverage) ink_b += c;
  EXPECT_GT(ink_b, ink_r + ink_r / 5);
}

TEST(CreateFont, SyntheticBoldWhereTheFamilyHasNone) {
  FontDesc d = desc_of(12, u"DejaVu Math TeX Gyre");
  d.bold = 1;
  const FontRef font = create_font(d);
  if (font->family() != u"DejaVu Math TeX Gyre") GTEST_SKIP() << "no single-weight family";
  EXPECT_TRUE(font->synthetic_bold());
  FontRep::Glyphs glyphs(*font);
  const Glyph* g = glyphs.find(U'H');
  ASSERT_NE(g, nullptr);
  EXPECT_GT(g->width, 0);
}

TEST(CreateFont, AbsurdHeightsAreCapped) {
  const FontRef font = create_font(desc_of(INT_MAX, u"DejaVu Sans", 4));
  LV_REQUIRE_FONT(font);
  EXPECT_GT(font->height(), 1000);
  EXPECT_LT(font->height(), 1400);
  FontRep::Glyphs glyphs(*font);
  const Glyph* g = glyphs.find(U'.');
  ASSERT_NE(g, nullptr);
  EXPECT_LE(g->rows, 1024);
}

// A font with no file behind it: fontconfig configured with no fonts at all,
// or the matched file gone by the time it is opened. Both run in a fresh
// process so that fontconfig starts from the configuration given.
void expect_glyphless_child(bool remove_file) {
  const std::string dir = test::make_temp_dir("fonts");
  std::error_code ec;
  const std::string font = dir + "/face.ttf";
  if (remove_file)
    std::filesystem::copy_file("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", font, ec);
  test::write_file(dir + "/fonts.conf", "<?xml version=\"1.0\"?><fontconfig>" +
                                            (remove_file ? "<dir>" + dir + "</dir>" : "") +
                                            "<cachedir>" + dir + "/cache</cachedir></fontconfig>");
  setenv("FONTCONFIG_FILE", (dir + "/fonts.conf").c_str(), 1);
  enable_log();
  if (remove_file) {
    const FontRef first = create_font(desc_of(12));
    if (!first->has_glyphs()) std::exit(3);
    std::filesystem::remove(font, ec);
  }
  const FontRef f = create_font(desc_of(14));
  if (f->has_glyphs() || f->height() != 0) std::exit(1);
  FontRep::Glyphs glyphs(*f);
  if (glyphs.find(U'A')) std::exit(2);
  if (log_text().find("ERROR: FontRep::FontRep() Failed to create font\n") == std::string::npos)
    std::exit(4);
  std::exit(0);
}

TEST(CreateFontDeathTest, NoFontsAtAllLeavesAFontWithoutGlyphs) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(expect_glyphless_child(false), testing::ExitedWithCode(0), "");
}

TEST(CreateFontDeathTest, AFileThatCannotBeOpenedLeavesAFontWithoutGlyphs) {
  if (!std::filesystem::exists("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"))
    GTEST_SKIP() << "DejaVuSans.ttf not at its Debian path";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(expect_glyphless_child(true), testing::ExitedWithCode(0), "");
}

// ---- glyph cache ----

TEST(GlyphCache, RendersEachGlyphOnce) {
  const FontRef font = create_font(desc_of(12));
  LV_REQUIRE_FONT(font);
  const GlyphCacheStats before = font->cache_stats();
  const Glyph* first;
  {
    FontRep::Glyphs glyphs(*font);
    first = glyphs.find(U'H');
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(glyphs.find(U'H'), first);
    const Glyph* space = glyphs.find(U' ');
    ASSERT_NE(space, nullptr);
    EXPECT_GT(space->advance, 0);
    EXPECT_EQ(space->coverage.size(), 0u);
  }
  {
    FontRep::Glyphs glyphs(*font);
    EXPECT_EQ(glyphs.find(U'H'), first);
  }
  const GlyphCacheStats after = font->cache_stats();
  EXPECT_EQ(after.misses - before.misses, 2u);
  EXPECT_EQ(after.hits - before.hits, 2u);

  // 'H' at 16 pixels per em: two stems standing on the baseline.
  EXPECT_EQ(first->advance, 12);
  EXPECT_EQ(first->top, 12);
  EXPECT_EQ(first->rows, 12);
  EXPECT_EQ(first->coverage.size(), size_t(first->width) * first->rows);
  int full = 0;
  for (uint8_t c : first->coverage) full += c == 255;
  EXPECT_GE(full, 2 * 12);  // the stems are solid
}

TEST(GlyphCache, StaysWithinItsBudget) {
  FontDesc d = desc_of(700);  // 933 pixels per em: glyphs of about half a megabyte
  const FontRef font = create_font(d);
  LV_REQUIRE_FONT(font);
  size_t most = 0;
  for (char32_t first = U'A'; first <= U'Z'; first += 2) {
    {
      FontRep::Glyphs glyphs(*font);
      for (char32_t c = first; c < first + 2; ++c) ASSERT_NE(glyphs.find(c), nullptr);
    }
    most = std::max(most, font->cache_stats().bytes);
  }
  EXPECT_GT(font->cache_stats().misses, 20u);
  // Emptied before a line once over budget: never more than the budget plus one line.
  EXPECT_LE(most, FontRep::kCacheBudgetBytes + 2 * 1024 * 1024);
  EXPECT_LT(font->cache_stats().glyphs, 26u);
}

TEST(GlyphCache, IsSafeToShareBetweenThreads) {
  const FontRef font = create_font(desc_of(12));
  LV_REQUIRE_FONT(font);
  std::vector<std::thread> threads;
  std::vector<int32_t> sums(4);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 50; ++round) {
        FontRep::Glyphs glyphs(*font);
        int32_t sum = 0;
        for (char32_t c = U'A'; c <= U'z'; ++c) sum += glyphs.find(c)->advance;
        sums[t] = sum;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_GT(sums[0], 0);
  for (int t = 1; t < 4; ++t) EXPECT_EQ(sums[t], sums[0]);
}

// ---- references ----

TEST(FontRef, CountsReferencesAcrossThreads) {
  const FontRef font = create_font(desc_of(0));
  EXPECT_EQ(font.use_count(), 1);
  {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&] {
        std::vector<FontRef> copies;
        for (int i = 0; i < 2000; ++i) copies.push_back(font);
        for (int i = 0; i < 2000; ++i) {
          FontRef c = copies.back();
          copies.pop_back();
        }
      });
    for (auto& t : threads) t.join();
  }
  EXPECT_EQ(font.use_count(), 1);
  FontRef other = create_font(desc_of(0));
  other = font;
  EXPECT_EQ(font.use_count(), 2);
  EXPECT_EQ(other, font);
  other = other;  // self-assignment keeps the count
  EXPECT_EQ(font.use_count(), 2);
}

TEST(FontRef, DefaultReferencesShareTheProcessWideFont) {
  const FontRef before;
  EXPECT_FALSE(before->has_glyphs());
  EXPECT_EQ(FontRef(), before);

  FontDesc d = desc_of(10, u"Tahoma");
  d.bold = 1;
  const FontRef app_font = create_font(d);
  set_default_font(app_font);
  const FontRef after;
  EXPECT_EQ(after, app_font);
  EXPECT_EQ(default_font(), app_font);
  EXPECT_EQ(app_font.use_count(), 3);  // app_font, the default, after
  EXPECT_EQ(before, FontRef(before));  // earlier references keep what they had

  reset_default_font();
  EXPECT_EQ(FontRef(), before);
  EXPECT_EQ(app_font.use_count(), 2);
}

}  // namespace
}  // namespace lv
