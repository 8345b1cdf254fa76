#include "skin/font.h"

#include <gtest/gtest.h>

#include <climits>

#include "skin/font_desc.h"
#include "skin/skin_test_support.h"

namespace lv {
namespace {

using test::dejavu;

FontDesc parsed(std::u16string_view text, FontDesc d = {}) {
  parse_font_description(text, d);
  return d;
}

TEST(FontDescription, ParsesNumbersThenTheFaceAsTheRest) {
  EXPECT_EQ(parsed(u"14 1 0 1 Lucida   Sans Unicode"),
            (FontDesc{14, 1, 1, 0, 1, u"Lucida   Sans Unicode"}));
  // Unicode white space separates; any non-zero number is true; the face
  // loses its padding.
  EXPECT_EQ(parsed(u"\t+9\u00A0-3 7\u30000   Arial  \t"), (FontDesc{9, 1, 1, 1, 0, u"Arial"}));
  // Parsing stops at the first field that is not a number; what it never
  // reaches keeps its value.
  FontDesc scaled = FontDesc::for_skin_scale(1);
  scaled.italic = 1;
  EXPECT_EQ(parsed(u"14 1", scaled), (FontDesc{14, 2, 1, 1, 0, u"Tahoma"}));
  EXPECT_EQ(parsed(u"10 x 1 1 Verdana"), (FontDesc{10, 1, 0, 0, 0, u"Tahoma"}));
  for (const char16_t* bad : {u"12abc 1 1 1 X", u"- 1 1 1 X", u"99999999999 1 1 1 X", u"   "})
    EXPECT_EQ(parsed(bad), FontDesc{}) << to_utf8(bad);
  EXPECT_EQ(parsed(u"-2147483648 0 0 0 "), (FontDesc{INT_MIN, 1, 0, 0, 0, u"Tahoma"}));
  EXPECT_EQ(FontDesc::for_skin_scale(7).scale_factor, 4u);
}

TEST(LogicalFont, HeightsWeightAndFace) {
  // The point table below 20, 96 / 72 above; negative heights ask for a
  // cell height; absurd ones do not overflow. {height, factor, logical}:
  const int32_t heights[][3] = {
      {0, 4, 0},    {19, 1, -25},           {20, 1, -26},         {12, 2, -32},
      {-12, 1, 16}, {INT_MAX, 4, -INT_MAX}, {INT_MIN, 4, INT_MAX}};
  for (const auto [height, factor, logical] : heights)
    EXPECT_EQ(logical_height(height, uint32_t(factor)), logical) << height << " x " << factor;
  EXPECT_EQ(logical_height(100000000, 4), -533333333) << "worked out in 64 bits";
  // The face is cut to 31 units, never inside a surrogate pair.
  const LogicalFont f = logical_font({12, 1, 1, 0, 1, u"0123456789012345678901234567890123456789"});
  EXPECT_TRUE(f.height == -16 && f.weight == 700 && !f.italic && f.underline);
  EXPECT_EQ(f.face, u"0123456789012345678901234567890");
  const LogicalFont g = logical_font({12, 1, 0, 1, 0, std::u16string(30, u'a') + u"\U0001F600z"});
  EXPECT_TRUE(g.weight == 400 && g.italic && !g.underline && g.face == std::u16string(30, u'a'));
}

TEST(CreateFont, NoGlyphsAtHeightZeroHugeSizesCappedMissingFacesFallBackAndTheCacheKeepsItsBudget) {
  const FontRef none = dejavu(0);
  EXPECT_TRUE(!none->has_glyphs() && FontRep::Glyphs(*none).find(U'A') == nullptr);
  const FontRef font = dejavu(12);
  LV_REQUIRE_FONT(font);
  // Far beyond any screen the size is capped; a missing face falls back.
  const FontRef absurd = dejavu(INT_MAX, false, 4);
  EXPECT_TRUE(absurd->height() > 1000 && absurd->height() < 1400) << absurd->height();
  EXPECT_LE(FontRep::Glyphs(*absurd).find(U'.')->rows, 1024);
  const FontRef fallback = create_font({12, 1, 0, 0, 0, u"No Such Face Anywhere"});
  EXPECT_TRUE(fallback->family() == u"DejaVu Sans" && fallback->height() == 19);
  // Each glyph is rendered once.
  const GlyphCacheStats before = font->cache_stats();
  const Glyph *first = FontRep::Glyphs(*font).find(U'H'),
              *space = FontRep::Glyphs(*font).find(U' ');
  EXPECT_TRUE(FontRep::Glyphs(*font).find(U'H') == first && space->coverage.empty());
  const GlyphCacheStats after = font->cache_stats();
  EXPECT_TRUE(after.misses - before.misses == 2u && after.hits - before.hits == 1u);
  // 933 pixels per em, glyphs of about half a megabyte: emptied before a
  // line once over budget, the cache never holds more than one line beyond it.
  const FontRef big = dejavu(700);
  for (char32_t c = U'A'; c <= U'Z'; c += 2) {
    FontRep::Glyphs(*big).find(c);
    EXPECT_LE(big->cache_stats().bytes, FontRep::kCacheBudgetBytes + 1024 * 1024) << char(c);
  }
}

// A font with no file behind it: fontconfig configured with no fonts at all,
// or the matched file gone by the time it is opened. Each runs in a fresh
// process so that fontconfig starts from the configuration given; the exit
// code names the first check that failed.
void expect_glyphless_child(bool remove_file) {
  const std::string dir = test::make_temp_dir("fonts"), font = dir + "/face.ttf";
  std::error_code ec;
  if (remove_file)
    std::filesystem::copy_file("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", font, ec);
  test::write_file(dir + "/fonts.conf", "<?xml version=\"1.0\"?><fontconfig>" +
                                            (remove_file ? "<dir>" + dir + "</dir>" : "") +
                                            "<cachedir>" + dir + "/cache</cachedir></fontconfig>");
  setenv("FONTCONFIG_FILE", (dir + "/fonts.conf").c_str(), 1);
  test::start_fresh_log();
  if (remove_file && !dejavu(12)->has_glyphs()) std::exit(3);
  std::filesystem::remove(font, ec);
  const FontRef f = dejavu(14);
  if (f->has_glyphs() || f->height() != 0 || FontRep::Glyphs(*f).find(U'A')) std::exit(1);
  const bool logged = test::log_text().find("ERROR: FontRep::FontRep() Failed to create font\n") !=
                      std::string::npos;
  std::exit(logged ? 0 : 4);
}

TEST(CreateFontDeathTest, NoFontFileLeavesAFontWithoutGlyphs) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(expect_glyphless_child(false), testing::ExitedWithCode(0), "");
  if (!std::filesystem::exists("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"))
    GTEST_SKIP() << "DejaVuSans.ttf not at its Debian path";
  EXPECT_EXIT(expect_glyphless_child(true), testing::ExitedWithCode(0), "");
}

TEST(FontRef, TheDefaultIsSharedAndEarlierReferencesKeepWhatTheyHad) {
  const FontRef before, app_font = dejavu(10);
  set_default_font(app_font);
  EXPECT_EQ(FontRef(), app_font);
  EXPECT_EQ(app_font.use_count(), 2);  // app_font and the default
  reset_default_font();
  EXPECT_TRUE(FontRef() == before && !before->has_glyphs() && app_font.use_count() == 1);
}

}  // namespace
}  // namespace lv
