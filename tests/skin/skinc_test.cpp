#include <gtest/gtest.h>

#include "skin/bitmap_file.h"
#include "skin/rgb565.h"
#include "skin/skin_check.h"
#include "skin/skin_test_support.h"
#include "skinc/skin_writer.h"

namespace lv {
namespace {

using test::SkinSourceFolder;

// The compiler's message for a source that must not compile.
std::string error_of(const SkinSourceFolder& source, const std::string& json) {
  std::string error;
  EXPECT_FALSE(source.compile(json, error)) << "compiled: " << json.substr(0, 200);
  return error;
}

TEST(SkinCompiler, WritesTheArtAsSixteenBitBitmapsAndThePlaceholders) {
  SkinSourceFolder source;
  test::write_art(source.folder() / "art/pic.png", 3, 2,
                  {{12, 34, 56, 0},
                   {255, 0, 255, 255},
                   {132, 130, 4, 255},
                   {64, 64, 64, 128},
                   {255, 255, 255, 254},
                   {255, 255, 255, 255}});
  test::write_art(source.folder() / "load.png", 4, 4);
  source.build(R"({"nodes": {"N": {"picture": {"p": "art/pic"}}}})");
  auto bitmap = read_bitmap(
      test::byte_span(test::read_file((source.output() / "test/art/pic.bmp").string())));
  ASSERT_TRUE(bitmap && bitmap->size() == (Size{3, 2}));
  // Transparent is the key; opaque is the colour rounded to 5-6-5 with bit 5
  // set, so magenta is not the key; half-transparent grey 64 is
  // pre-multiplied to 32; bright colours are held where three quarters of
  // white leave room, so no see-through sum carries into the next channel.
  const uint16_t want[] = {
      rgb565::kKey,           0xF83F, rgb565::pack(16, 33, 0), rgb565::pack(4, 8, 4),
      rgb565::pack(9, 16, 9), 0xFFFF};
  for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(bitmap->pixel(i % 3, i / 3), want[i]) << i;
  // The placeholders sit beside the skin, named after it; only the art
  // present is made.
  EXPECT_TRUE(std::filesystem::exists(source.output() / "test.load.bmp"));
  EXPECT_FALSE(std::filesystem::exists(source.output() / "test.bad.bmp"));
}

TEST(SkinCompiler, ErrorsNameTheFileTheNodeAndTheKeyAndRefuseWhatTheFormatCannotHoldAsDoesTheDump) {
  SkinSourceFolder source;
  const std::string file = (source.folder() / "skin.json").string();
  test::write_art(source.folder() / "p.png", 4, 4);
  // More than 256 pictures; a node whose records pass 65,535 bytes.
  std::string pictures = "\"k000\": \"p\"", records = "\"p\": \"p\"";
  for (int i = 1; i <= 256; ++i) {
    const std::string n = std::to_string(i), key = std::string(3 - n.size(), '0') + n;
    test::write_art(source.folder() / ("p" + n + ".png"), 1, 1);
    pictures += ",\"k" + key + "\": \"p" + n + "\"";
  }
  for (int i = 0; i < 3300; ++i) records += ",\"p" + std::to_string(i) + "\": \"p\"";
  const std::string in_main = R"({"nodes": {"Main": )";
  const std::pair<std::string, std::string> cases[] = {
      {in_main + R"({"children": [{}, {"integer": {"x": 1, "x": 2}}]}}})",
       file + R"(: node "Main/children/1": key "x": duplicate key in the integer section)"},
      {in_main + R"({"picture": {"p": "../outside"}}}})", "inside the skin folder"},
      {in_main + R"({"picture": {)" + pictures + "}}}}",
       R"(node "Main": key "k256": too many pictures)"},
      {in_main + R"({"picture": {)" + records + "}}}}",
       R"(node "Main": the node's records end beyond 65,535 bytes)"}};
  for (const auto& [json, part] : cases) {
    const std::string e = error_of(source, json);
    EXPECT_NE(e.find(part), std::string::npos) << e << "\nwanted: " << part;
  }
  // Children as deep as the loader takes, and one level deeper.
  std::string deep = "{}";
  for (uint32_t i = 0; i < kMaxNodeDepth; ++i) deep = R"({"children": [)" + deep + "]}";
  source.build(R"({"nodes": {"Deep": )" + deep + "}}");
  Properties properties;
  EXPECT_TRUE(test::load(properties, source.skin_file()));
  const std::string deeper = R"({"nodes": {"Deep": {"children": [)" + deep + "]}}}";
  EXPECT_NE(error_of(source, deeper).find("deeper"), std::string::npos);
  // The dump tool refuses a damaged skin.
  std::string bytes = source.build(R"({"nodes": {"A": {}}})"), dumped, error;
  test::put_bytes(bytes, skin_format::kRootOffset, uint32_t(bytes.size()), 4);
  EXPECT_FALSE(skinc::dump_skin(test::byte_span(bytes), "test", dumped, error));
  EXPECT_NE(error.find("named node lies past the end"), std::string::npos) << error;
}

}  // namespace
}  // namespace lv
