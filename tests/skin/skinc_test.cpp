#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "skin/bitmap_file.h"
#include "skin/rgb565.h"
#include "skin/skin_check.h"
#include "skin/skin_image.h"
#include "skin/skin_test_support.h"
#include "skin/surface.h"
#include "skinc/art.h"
#include "skinc/skin_writer.h"

namespace lv {
namespace {

using skin_format::Section;
using test::Rgba;
using test::SkinSourceFolder;

SkinImage view(const std::string& bytes) {
  return SkinImage(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

// The compiler's message for a source that must not compile.
std::string error_of(const SkinSourceFolder& source, const std::string& json) {
  source.write_source(json);
  std::string error;
  EXPECT_FALSE(source.compile(error)) << "compiled: " << json.substr(0, 200);
  return error;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(SkinPixel, FollowsTheKeyOpaqueAndSeeThroughConventions) {
  EXPECT_EQ(skinc::skin_pixel(255, 0, 255, 0), rgb565::kKey);
  EXPECT_EQ(skinc::skin_pixel(12, 34, 56, 0), rgb565::kKey);
  // Opaque: the colour rounded to 5-6-5, bit 5 set; magenta is not the key.
  EXPECT_EQ(skinc::skin_pixel(255, 0, 255, 255), 0xF83F);
  EXPECT_EQ(skinc::skin_pixel(255, 255, 255, 255), 0xFFFF);
  EXPECT_EQ(skinc::skin_pixel(0, 0, 0, 255), 0x0020);
  EXPECT_EQ(skinc::skin_pixel(132, 130, 4, 255), rgb565::pack(16, 33, 0));
  // Half-transparent grey 64: pre-multiplied to 32, i.e. 4, 8, 4.
  EXPECT_EQ(skinc::skin_pixel(64, 64, 64, 128), rgb565::pack(4, 8, 4));
  // Bright colours are held where three quarters of white leave room.
  EXPECT_EQ(skinc::skin_pixel(255, 255, 255, 254), rgb565::pack(9, 16, 9));
}

// What the three-quarter see-through blitter adds of a background, the
// largest share any of them adds.
uint16_t three_quarters(uint16_t d) {
  const uint16_t h = (d & rgb565::kHalfMask) >> 1;
  return static_cast<uint16_t>(h + ((h & rgb565::kHalfMask) >> 1));
}

TEST(SkinPixel, SeeThroughPixelsNeverOverflowIntoTheNextChannel) {
  const uint16_t background = three_quarters(0xFFFF);
  for (uint32_t alpha = 1; alpha < 255; ++alpha) {
    for (uint32_t c = 0; c < 256; c += 5) {
      const uint16_t s =
          skinc::skin_pixel(uint8_t(c), uint8_t(255 - c), uint8_t(c / 2), uint8_t(alpha));
      ASSERT_FALSE(rgb565::is_opaque(s)) << alpha << " " << c;
      ASSERT_NE(s, rgb565::kKey);
      ASSERT_LE(rgb565::red(s) + rgb565::red(background), 31);
      ASSERT_LE(rgb565::green(s) + rgb565::green(background), 63);
      ASSERT_LE(rgb565::blue(s) + rgb565::blue(background), 31);
    }
  }
  // No opaque colour at all comes out as the key.
  for (uint32_t r = 0; r < 256; ++r)
    for (uint32_t b = 0; b < 256; ++b)
      ASSERT_NE(skinc::skin_pixel(uint8_t(r), 0, uint8_t(b), 255), rgb565::kKey);
}

TEST(SkinCompiler, WritesTheArtAsSixteenBitBitmaps) {
  SkinSourceFolder source;
  const std::vector<Rgba> pixels = {{255, 0, 255, 0},     {10, 200, 30, 255}, {64, 64, 64, 128},
                                    {255, 255, 255, 255}, {0, 0, 0, 1},       {200, 10, 90, 255}};
  test::write_png_rgba(source.folder() / "art/pic.png", 3, 2, pixels);
  test::write_png_filled(source.folder() / "load.png", 4, 4, Rgba{1, 2, 3, 255});
  source.build(R"({"nodes": {"N": {"picture": {"p": "art/pic"}}}})");

  std::string bytes = test::read_file((source.output() / "test/art/pic.bmp").string());
  std::unique_ptr<Surface> bitmap =
      read_bitmap(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  ASSERT_TRUE(bitmap);
  ASSERT_EQ(bitmap->size(), (Size{3, 2}));
  for (int32_t i = 0; i < 6; ++i) {
    const Rgba& c = pixels[size_t(i)];
    EXPECT_EQ(bitmap->pixel(uint32_t(i % 3), uint32_t(i / 3)),
              skinc::skin_pixel(c.r, c.g, c.b, c.a))
        << i;
  }
  // The placeholders sit beside the skin, named after it; only the art
  // present is made.
  EXPECT_TRUE(std::filesystem::exists(source.output() / "test.load.bmp"));
  EXPECT_FALSE(std::filesystem::exists(source.output() / "test.bad.bmp"));
}

TEST(SkinCompiler, LaysTheFileOutAsTheLoaderReadsIt) {
  SkinSourceFolder source;
  test::write_png_filled(source.folder() / "a.png", 1, 1, Rgba{});
  test::write_png_filled(source.folder() / "b.png", 1, 1, Rgba{});
  std::string json = R"({"nodes": {)";
  for (char c = 'A'; c <= 'G'; ++c)
    json += std::string(c == 'A' ? "" : ",") + "\"" + c + "\": {\"integer\": {\"k\": 1}}";
  json += R"(, "P": {"picture": {"y": "b", "x": "a"}, "font": {"f": "9"}, "string": {"s": "t"},
                     "children": [{"string": {"s": "u"}}]}}})";
  const std::string bytes = source.build(json);
  const SkinImage image = view(bytes);

  SkinHeader header;
  ASSERT_TRUE(image.read_header(header));
  EXPECT_EQ(image.string_at(skin_format::kFreeBytesOffset), skinc::kSkinSignature);
  EXPECT_EQ(header.picture_count, 2u);
  EXPECT_EQ(header.font_count, 1u);
  EXPECT_EQ(header.string_count, 2u);
  SkinLayout layout;
  std::string reason;
  ASSERT_TRUE(check_skin(image, layout, reason)) << reason;
  // Pictures in order of first use (keys sorted: x before y), then fonts,
  // then strings.
  std::vector<std::u16string> pool;
  for (uint32_t at : layout.pool) pool.push_back(image.string_at(at));
  EXPECT_EQ(pool, (std::vector<std::u16string>{u"test/a", u"test/b", u"9", u"t", u"u"}));

  // A balanced search tree over the eight names: the root is the middle one
  // and no branch is longer than four entries.
  EXPECT_EQ(image.string_at(image.u32(header.root + skin_format::kEntryName)), u"E");
  std::vector<std::pair<uint32_t, int>> pending = {{header.root, 1}};
  int depth = 0;
  while (!pending.empty()) {
    const auto [entry, level] = pending.back();
    pending.pop_back();
    depth = std::max(depth, level);
    for (uint32_t side : {skin_format::kEntryLeft, skin_format::kEntryRight}) {
      const uint32_t next = image.u32(entry + side);
      if (next != skin_format::kNoEntry) pending.push_back({next, level + 1});
    }
  }
  EXPECT_EQ(depth, 4);
  EXPECT_EQ(layout.named_count, 8u);
  EXPECT_EQ(layout.node_count, 9u);
}

TEST(SkinCompiler, OutputDependsOnlyOnTheContent) {
  SkinSourceFolder one("same"), two("same");
  const std::string a = one.build(R"({"nodes": {"B": {"integer": {"y": 2, "x": 1}},
                                                "A": {"string": {"t": "q", "s": "p"}}}})");
  const std::string b = two.build(R"({"nodes": {"A": {"string": {"s": "p", "t": "q"}},
                                                "B": {"integer": {"x": 1, "y": 2}}}})");
  EXPECT_EQ(a, b);
}

TEST(SkinCompiler, ErrorsNameTheFileTheNodeAndTheKey) {
  SkinSourceFolder source;
  const std::string file = (source.folder() / "skin.json").string();

  std::string e = error_of(source, R"({"nodes": {"Main": {"children": [{"colour": {"c": 1}}]}}})");
  EXPECT_TRUE(contains(e, file)) << e;
  EXPECT_TRUE(contains(e, "node \"Main/children/0\"")) << e;
  EXPECT_TRUE(contains(e, "key \"colour\"")) << e;
  EXPECT_TRUE(contains(e, "unknown value kind")) << e;

  e = error_of(source, R"({"nodes": {"Main": {"children": [{}, {"integer": {"x": 1, "x": 2}}]}}})");
  EXPECT_TRUE(contains(e, file + ": node \"Main/children/1\": key \"x\": duplicate key")) << e;
  EXPECT_TRUE(contains(e, "integer")) << e;
  e = error_of(source, R"({"nodes": {"Main": {}, "Main": {}}})");
  EXPECT_TRUE(contains(e, "key \"Main\": duplicate key")) << e;

  e = error_of(source, R"({"nodes": {"Main": {"picture": {"bg": "art/none"}}}})");
  EXPECT_TRUE(contains(e, "node \"Main\": key \"bg\"")) << e;
  EXPECT_TRUE(contains(e, "art/none.png")) << e;

  e = error_of(source, R"({"nodes": {"Main": {"point": {"p": [1, 40000]}}}})");
  EXPECT_TRUE(contains(e, "key \"p\"")) << e;
  e = error_of(source, R"({"nodes": {"Main": {"integer": {"i": 2147483648}}}})");
  EXPECT_TRUE(contains(e, "key \"i\"")) << e;
  e = error_of(source, R"({"nodes": {"Main": {"integer": {"i": 1.5}}}})");
  EXPECT_TRUE(contains(e, "key \"i\"")) << e;
  e = error_of(source, R"({"nodes": {"Main": {"color": {"c": "#12345"}}}})");
  EXPECT_TRUE(contains(e, "key \"c\"")) << e;
  e = error_of(source, R"({"nodes": {"Main": {"string": {"s": "a\u0000b"}}}})");
  EXPECT_TRUE(contains(e, "NUL")) << e;
  e = error_of(source, R"({"nodes": {"Main": {"picture": {"p": "../outside"}}}})");
  EXPECT_TRUE(contains(e, "inside the skin folder")) << e;
  e = error_of(source, R"({"nodes": {"Main": {"integer": {"i": 1}})");
  EXPECT_TRUE(contains(e, file + ": syntax error")) << e;

  test::write_png_filled(source.folder() / "p.png", 4, 4, Rgba{});
  e = error_of(source,
               R"({"nodes": {"Main": {"picture": {"p": {"file": "p", "region": [0, 0, 5, 4]}}}}})");
  EXPECT_TRUE(contains(e, "key \"p\": the region must lie within the 4 x 4 picture")) << e;
  e = error_of(source,
               R"({"nodes": {"Main": {"picture": {"p": {"file": "p", "region": [1, 1, 3, 3],
                                                       "inner": [0, 1, 2, 2]}}}}})");
  EXPECT_TRUE(contains(e, "inner rectangle")) << e;
}

TEST(SkinCompiler, RefusesMoreThan256Pictures) {
  SkinSourceFolder source;
  std::string values;
  for (int i = 0; i <= 256; ++i) {
    test::write_png_filled(source.folder() / ("p" + std::to_string(i) + ".png"), 1, 1, Rgba{});
    char key[16];
    std::snprintf(key, sizeof key, "k%03d", i);
    values += std::string(i ? "," : "") + "\"" + key + "\": \"p" + std::to_string(i) + "\"";
  }
  const std::string e = error_of(source, R"({"nodes": {"Main": {"picture": {)" + values + "}}}}");
  EXPECT_TRUE(contains(e, "node \"Main\": key \"k256\": too many pictures")) << e;
}

TEST(SkinCompiler, RefusesKeyNamesBeyondTheFirst64KiB) {
  SkinSourceFolder source;
  const std::string long_key(10000, 'k');
  std::string values;
  for (char c : std::string("abcd"))
    values += std::string(values.empty() ? "" : ",") + "\"" + c + long_key + "\": 1";
  const std::string e =
      error_of(source, R"({"nodes": {"Main": {"children": [{"integer": {)" + values + "}}]}}}");
  // Each name takes 20,004 bytes after the 92 of the header: the fourth ends
  // beyond 65,536.
  EXPECT_TRUE(contains(e, "node \"Main/children/0\": key \"d" + long_key.substr(0, 10))) << e;
  EXPECT_TRUE(contains(e, "64 KiB")) << e;
}

TEST(SkinCompiler, RefusesNodesWhoseRecordsPass65535Bytes) {
  SkinSourceFolder source;
  test::write_png_filled(source.folder() / "p.png", 1, 1, Rgba{});
  std::string values;
  for (int i = 0; i < 3300; ++i)
    values += std::string(i ? "," : "") + "\"p" + std::to_string(i) + "\": \"p\"";
  const std::string e = error_of(source, R"({"nodes": {"Big": {"picture": {)" + values + "}}}}");
  EXPECT_TRUE(contains(e, "node \"Big\"")) << e;
  EXPECT_TRUE(contains(e, "65,535")) << e;
}

TEST(SkinCompiler, RefusesChildrenDeeperThanTheLoaderTakes) {
  SkinSourceFolder source;
  auto nested = [](uint32_t depth) {
    std::string json;
    for (uint32_t i = 0; i < depth; ++i) json += R"({"children": [)";
    json += "{}";
    for (uint32_t i = 0; i < depth; ++i) json += "]}";
    return R"({"nodes": {"Deep": )" + json + "}}";
  };
  source.build(nested(kMaxNodeDepth));
  Properties properties;
  EXPECT_TRUE(properties.load_skin(source.skin_path(), test::screen_with_dpi(96)));
  const std::string e = error_of(source, nested(kMaxNodeDepth + 1));
  EXPECT_TRUE(contains(e, "deeper")) << e;
}

std::string dump_of(const std::string& bytes, const std::string& name) {
  std::string text, error;
  EXPECT_TRUE(skinc::dump_skin(
      std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), name, text, error))
      << error;
  return text;
}

TEST(SkinCompiler, DumpCompilesBackToTheSameBytes) {
  SkinSourceFolder source;
  test::write_png_filled(source.folder() / "art/frame.png", 12, 12, Rgba{9, 9, 9, 255});
  test::write_png_filled(source.folder() / "glyph.png", 2, 2, Rgba{9, 9, 9, 100});
  const std::string original = source.build(R"({
    // every kind of value, children, shared and repeated tables
    "nodes": {
      "Main": {
        "integer": {"cache": 1, "cache_alpha": -1, "color": 7},
        "color": {"color": [1, 2, 3], "outside_color": "#FFEEDD"},
        "point": {"design_size": [240, -320]},
        "string": {"id": "main", "title": "Заголовок \"quoted\""},
        "font": {"font": "12 1 0 0 Tahoma", "small": "  9   0 1 0  Deja Vu  "},
        "picture": {
          "bg": {"file": "art/frame.png", "region": [0, 0, 12, 12], "inner": [4, 4, 8, 8]},
          "icon": {"file": "glyph", "flag": 3}
        },
        "children": [
          {"string": {"type": "button", "id": "main"}, "picture": {"p": "art/frame"}},
          {"children": [{"string": {"type": "text"}, "font": {"font": "12 1 0 0 Tahoma"}}]}
        ]
      },
      "Zeta": {},
      "Ärger": {"integer": {"ü": 1}}
    }})");

  const std::string dumped = dump_of(original, source.name());
  source.write_source(dumped, "dumped.json");
  std::string error;
  ASSERT_TRUE(source.compile(error, "dumped.json")) << error << "\n" << dumped;
  EXPECT_EQ(test::read_file(source.skin_file().string()), original) << dumped;
  // And the dump of the result is the dump again.
  EXPECT_EQ(dump_of(original, source.name()), dumped);
}

TEST(SkinCompiler, DumpRefusesABrokenSkin) {
  SkinSourceFolder source;
  std::string bytes = source.build(R"({"nodes": {"Main": {"integer": {"x": 1}}}})");
  test::put_u32(bytes, skin_format::kRootOffset, uint32_t(bytes.size()));
  std::string text, error;
  EXPECT_FALSE(
      skinc::dump_skin(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
                       "test", text, error));
  EXPECT_TRUE(contains(error, "named node lies past the end")) << error;
}

bool have_rsvg() {
  return std::system("rsvg-convert --version >/dev/null 2>&1") == 0;
}

TEST(DefaultSkin, CompilesLoadsAndRoundTrips) {
  if (!have_rsvg()) GTEST_SKIP() << "rsvg-convert (librsvg2-bin) is needed for the SVG art";
  const std::filesystem::path source = skinc::source_file_of(test::source_path("skins/default"));
  const std::filesystem::path output = test::make_temp_dir("bin");
  skinc::CompiledSkin skin;
  std::string error;
  ASSERT_TRUE(skinc::compile_skin(source, "default", skin, error)) << error;
  ASSERT_TRUE(skinc::write_compiled_skin(skin, output, error)) << error;

  Properties properties;
  ASSERT_TRUE(properties.load_skin(from_utf8((output / "default.skin").string()),
                                   test::screen_with_dpi(96)));
  const SkinNode* splash = properties.find_node(u"Splash");
  ASSERT_NE(splash, nullptr);
  EXPECT_GT(properties.child_count(splash), 0u);
  for (const char* placeholder : {"default.load.bmp", "default.bad.bmp"}) {
    const std::string bytes = test::read_file((output / placeholder).string());
    EXPECT_TRUE(
        read_bitmap(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())))
        << placeholder;
  }

  // Dumped into a copy of the source folder, it compiles to the same bytes.
  const std::filesystem::path copy = std::filesystem::path(test::make_temp_dir("src")) / "default";
  std::filesystem::copy(source.parent_path(), copy, std::filesystem::copy_options::recursive);
  test::write_file((copy / "skin.json").string(), dump_of(skin.bytes, "default"));
  skinc::CompiledSkin again;
  ASSERT_TRUE(skinc::compile_skin(copy / "skin.json", "default", again, error)) << error;
  EXPECT_EQ(again.bytes, skin.bytes);
}

}  // namespace
}  // namespace lv
