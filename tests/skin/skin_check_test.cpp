#include "skin/skin_check.h"

#include <gtest/gtest.h>

#include "skin/skin_test_support.h"

namespace lv {
namespace {

using namespace skin_format;

// A sound skin with every kind of record and two children, loaded as the
// live skin; each case damages a copy of it and loads that over it.
TEST(DamagedSkin, EachFaultIsRefusedWithItsReasonAndTheLiveSkinStays) {
  test::LoadedSkin live(R"({"nodes": {
      "Main": {"integer": {"i": 1}, "font": {"f": "0"}, "string": {"s": "x"},
               "picture": {"p": "p"}, "color": {"c": "#010203"},
               "children": [{"string": {"s": "y"}}, {"integer": {"j": 2}}]},
      "Next": {"integer": {"k": 3}}}})",
                        {{"p.png", 2, 2}});
  const std::string& bytes = live.bytes();
  Properties& properties = live.properties();
  const SkinImage image = SkinImage(test::byte_span(bytes));
  const uint32_t size = uint32_t(bytes.size()), root = image.u32(kRootOffset);
  const uint32_t body = *image.find_named(root, u"Main", 8), child0 = *image.child(body, 0),
                 child1 = *image.child(body, 1);
  auto record = [&](Section which, uint32_t in) {
    uint32_t first = 0, count = 0;
    return image.section(in, which, first, count) ? first : 0u;
  };
  // Another entry of the named-node tree, to point back at the root.
  const uint32_t other = image.u32(root + kEntryLeft) != kNoEntry ? image.u32(root + kEntryLeft)
                                                                  : image.u32(root + kEntryRight);
  // Where, how many bytes of what value, and the reason given.
  const std::tuple<uint64_t, int, uint32_t, std::string> cases[] = {
      {kRootOffset, 4, size, "named node lies past the end"},
      {kStringPoolOffset, 4, size + 2, "string pool starts past the end"},
      {kStringCountOffset, 4, 0xFFFFFFFF, "string pool runs past the end"},
      {kPictureCountOffset, 4, size / 2, "string pool runs past the end"},
      {body + kBodyHeaderSize, 4, size - 4, "node lies past the end"},
      {body - kEntrySize + kEntryName, 4, size, "node name runs past the end"},
      // The end of the colour section of the last child, beyond the file.
      {child1 + 12, 2, 0xFFF8, "node records run past the end"},
      {body + 2, 2, image.u16(body + 4) + 8u, "node sections are out of order"},
      {body + 2, 2, 18, "node sections are out of order"},
      {body, 2, 16, "node records overlap its child offsets"},
      {record(Section::integer, body), 2, size - 1, "key name runs past the end"},
      {record(Section::font, body) + kValueOffset, 4, 1, "font index out of range"},
      {record(Section::font, body) + kValueOffset, 4, 0x80000000u, "font index out of range"},
      {record(Section::string, child0) + kStringIndexOffset, 2, 2, "string index out of range"},
      {record(Section::picture, body) + kPictureIndexOffset, 1, 1, "picture index out of range"},
      // A child that is its own parent; two children sharing one body.
      {body + kBodyHeaderSize, 4, body, "node is reached twice"},
      {body + kBodyHeaderSize + 4, 4, child0, "node is reached twice"},
      {other + kEntryLeft, 4, root, "named-node tree has a loop"},
  };
  const std::string path = test::make_temp_dir("damaged") + "/damaged.skin";
  for (const auto& [at, width, value, reason] : cases) {
    std::string damaged = bytes;
    test::put_bytes(damaged, at, value, width);
    test::write_file(path, damaged);
    test::start_fresh_log();
    EXPECT_FALSE(test::load(properties, path)) << reason;
    EXPECT_NE(test::log_text().find("Error: skin [" + path + "] is damaged: " + reason),
              std::string::npos)
        << test::log_text();
  }
  // And every truncation.
  for (size_t size = 0; size < bytes.size(); ++size) {
    test::write_file(path, bytes.substr(0, size));
    ASSERT_FALSE(test::load(properties, path)) << size;
  }
  const SkinNode* main = live.node(u"Main");
  EXPECT_TRUE(properties.path() == live.source().skin_path() &&
              properties.get_integer(main, u"i", 0) == 1 &&
              properties.get_integer(properties.child(main, 1), u"j", 0) == 2);
}

TEST(SkinImage, SearchesStayBoundedOnALoopAndReadsStayInside) {
  std::string bytes = test::SkinSourceFolder().build(R"({"nodes": {"B": {}}})");
  const uint32_t root = test::read_u32(bytes, kRootOffset);
  for (uint32_t side : {kEntryLeft, kEntryRight}) test::put_bytes(bytes, root + side, root, 4);
  const SkinImage image = SkinImage(test::byte_span(bytes));
  EXPECT_FALSE(image.find_named(root, u"A", 1000) || image.find_named(root, u"C", 1000));
  EXPECT_TRUE(image.find_named(root, u"B", 1).has_value());
  EXPECT_EQ(image.named_nodes(root, 10).size(), 10u);
  // Reads past the end of a three-byte image answer zero or nothing.
  const std::string three = "\x01\x02\x03";
  const SkinImage tiny = SkinImage(test::byte_span(three));
  EXPECT_EQ(tiny.u16(1), 0x0302);
  EXPECT_EQ(tiny.u16(2) + tiny.u32(0) + tiny.u8(~uint64_t{0}) + tiny.child_count(0), 0u);
  EXPECT_TRUE(!tiny.string_length(0) && !tiny.find_record(0, Section::integer, u"a"));
  EXPECT_EQ(tiny.string_at(0), u"\u0201");
  SkinLayout layout;
  std::string reason;
  EXPECT_FALSE(check_skin(tiny, layout, reason));
  EXPECT_EQ(reason, "not a skin file");
}

}  // namespace
}  // namespace lv
