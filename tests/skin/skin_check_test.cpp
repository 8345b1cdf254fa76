#include "skin/skin_check.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "base/log_capture.h"
#include "skin/skin_image.h"
#include "skin/skin_test_support.h"

namespace lv {
namespace {

using skin_format::Section;
using test::Rgba;
using test::SkinSourceFolder;

SkinImage view(const std::string& bytes) {
  return SkinImage(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

// A sound skin with every kind of record and a child, loaded as the live
// skin; each test damages a copy of it and loads that over it.
class DamagedSkin : public ::testing::Test {
 protected:
  void SetUp() override {
    test::write_png_filled(m_source.folder() / "p.png", 2, 2, Rgba{1, 2, 3, 255});
    m_bytes = m_source.build(R"({"nodes": {
        "Main": {"integer": {"i": 1}, "font": {"f": "0"}, "string": {"s": "x"},
                 "picture": {"p": "p"}, "color": {"c": "#010203"},
                 "children": [{"string": {"s": "y"}}, {"integer": {"j": 2}}]},
        "Next": {"integer": {"k": 3}}}})");
    ASSERT_TRUE(m_live.load_skin(m_source.skin_path(), test::screen_with_dpi(96)));
    m_body = m_live_body();
  }

  uint32_t m_live_body() const { return *view(m_bytes).find_named(root(), u"Main", 8); }
  uint32_t root() const { return test::read_u32(m_bytes, skin_format::kRootOffset); }
  uint32_t first_record(Section which, uint32_t body) const {
    uint32_t first = 0, count = 0;
    EXPECT_TRUE(view(m_bytes).section(body, which, first, count));
    EXPECT_GT(count, 0u);
    return first;
  }
  uint32_t child_body(uint32_t i) const { return *view(m_bytes).child(m_body, i); }

  // Loads the damaged bytes over the live skin: the load must fail with the
  // reason logged, and the live skin must answer as before.
  void expect_refused(const std::string& damaged, const std::string& reason) {
    const std::string path = test::make_temp_dir("damaged") + "/damaged.skin";
    test::write_file(path, damaged);
    test::start_fresh_log();
    EXPECT_FALSE(m_live.load_skin(from_utf8(path), test::screen_with_dpi(96)));
    const std::string log = to_utf8(test::read_log_text());
    EXPECT_NE(log.find("Error: skin [" + path + "] is damaged: " + reason), std::string::npos)
        << log;
    EXPECT_EQ(m_live.path(), m_source.skin_path());
    const SkinNode* main = m_live.find_node(u"Main");
    EXPECT_EQ(m_live.get_integer(main, u"i", 0), 1);
    EXPECT_EQ(m_live.get_integer(m_live.child(main, 1), u"j", 0), 2);
  }

  std::string patched(std::function<void(std::string&)> change) const {
    std::string copy = m_bytes;
    change(copy);
    return copy;
  }

  SkinSourceFolder m_source;
  std::string m_bytes;
  Properties m_live;
  uint32_t m_body = 0;
};

TEST_F(DamagedSkin, EveryTruncationIsRefused) {
  const std::string dir = test::make_temp_dir("cut");
  for (size_t size = 0; size < m_bytes.size(); ++size) {
    const std::string path = dir + "/cut.skin";
    test::write_file(path, m_bytes.substr(0, size));
    ASSERT_FALSE(m_live.load_skin(from_utf8(path), test::screen_with_dpi(96))) << size;
  }
  EXPECT_EQ(m_live.get_integer(m_live.find_node(u"Main"), u"i", 0), 1);
  EXPECT_EQ(m_live.path(), m_source.skin_path());
}

TEST_F(DamagedSkin, HeaderOffsetsAndCountsPastTheEnd) {
  const uint32_t size = uint32_t(m_bytes.size());
  expect_refused(patched([&](std::string& b) { test::put_u32(b, skin_format::kRootOffset, size); }),
                 "named node lies past the end");
  expect_refused(
      patched([&](std::string& b) { test::put_u32(b, skin_format::kStringPoolOffset, size + 2); }),
      "string pool starts past the end");
  expect_refused(patched([&](std::string& b) {
                   test::put_u32(b, skin_format::kStringCountOffset, 0xFFFFFFFF);
                 }),
                 "string pool runs past the end");
  expect_refused(patched([&](std::string& b) {
                   test::put_u32(b, skin_format::kPictureCountOffset, size / 2);
                 }),
                 "string pool runs past the end");
}

TEST_F(DamagedSkin, NodeOffsetsPastTheEnd) {
  const uint32_t size = uint32_t(m_bytes.size());
  expect_refused(patched([&](std::string& b) {
                   test::put_u32(b, m_body + skin_format::kBodyHeaderSize, size - 4);
                 }),
                 "node lies past the end");
  expect_refused(patched([&](std::string& b) {
                   test::put_u32(b, m_body - skin_format::kEntrySize + skin_format::kEntryName,
                                 size);
                 }),
                 "node name runs past the end");
  // The end of the colour section of the last child, beyond the file.
  expect_refused(patched([&](std::string& b) { test::put_u16(b, child_body(1) + 12, 0xFFF8); }),
                 "node records run past the end");
  expect_refused(patched([&](std::string& b) {
                   test::put_u16(b, m_body + 2, test::read_u16(b, m_body + 4) + 8);
                 }),
                 "node sections are out of order");
  expect_refused(patched([&](std::string& b) { test::put_u16(b, m_body + 2, 18); }),
                 "node sections are out of order");
  expect_refused(patched([&](std::string& b) {
                   test::put_u16(b, first_record(Section::integer, m_body), uint16_t(size - 1));
                 }),
                 "key name runs past the end");
}

TEST_F(DamagedSkin, TableIndicesOutOfRange) {
  expect_refused(patched([&](std::string& b) {
                   test::put_u32(b, first_record(Section::font, m_body) + 4, 1);
                 }),
                 "font index out of range");
  expect_refused(patched([&](std::string& b) {
                   test::put_u32(b, first_record(Section::font, m_body) + 4, 0x80000000u);
                 }),
                 "font index out of range");
  expect_refused(patched([&](std::string& b) {
                   test::put_u16(b, first_record(Section::string, child_body(0)) + 2, 2);
                 }),
                 "string index out of range");
  expect_refused(
      patched([&](std::string& b) { b.at(first_record(Section::picture, m_body) + 18) = 1; }),
      "picture index out of range");
}

TEST_F(DamagedSkin, CyclesInTheNodeTreeAreRefused) {
  // A child that is its own parent.
  expect_refused(patched([&](std::string& b) {
                   test::put_u32(b, m_body + skin_format::kBodyHeaderSize, m_body);
                 }),
                 "node is reached twice");
  // Two children sharing one body.
  expect_refused(patched([&](std::string& b) {
                   test::put_u32(b, m_body + skin_format::kBodyHeaderSize + 4, child_body(0));
                 }),
                 "node is reached twice");
  // A named entry whose branch leads back to the root.
  expect_refused(patched([&](std::string& b) {
                   const uint32_t r = root();
                   const uint32_t left = test::read_u32(b, r + skin_format::kEntryLeft);
                   const uint32_t right = test::read_u32(b, r + skin_format::kEntryRight);
                   const uint32_t other = left != skin_format::kNoEntry ? left : right;
                   test::put_u32(b, other + skin_format::kEntryLeft, r);
                 }),
                 "named-node tree has a loop");
}

TEST(SkinImage, SearchesStayBoundedOnALoop) {
  SkinSourceFolder source;
  std::string bytes = source.build(R"({"nodes": {"B": {}}})");
  const uint32_t root = test::read_u32(bytes, skin_format::kRootOffset);
  test::put_u32(bytes, root + skin_format::kEntryLeft, root);
  test::put_u32(bytes, root + skin_format::kEntryRight, root);
  const SkinImage image = view(bytes);
  EXPECT_FALSE(image.find_named(root, u"A", 1000).has_value());
  EXPECT_FALSE(image.find_named(root, u"C", 1000).has_value());
  EXPECT_TRUE(image.find_named(root, u"B", 1).has_value());
  EXPECT_EQ(image.named_nodes(root, 10).size(), 10u);

  SkinLayout layout;
  std::string reason;
  EXPECT_FALSE(check_skin(image, layout, reason));
  EXPECT_EQ(reason, "named-node tree has a loop");
}

TEST(SkinImage, ReadsOutsideTheImageAnswerNothing) {
  const std::string bytes = "\x01\x02\x03";
  const SkinImage image = view(bytes);
  EXPECT_EQ(image.u16(1), 0x0302);
  EXPECT_EQ(image.u16(2), 0);
  EXPECT_EQ(image.u32(0), 0u);
  EXPECT_EQ(image.u8(3), 0);
  EXPECT_EQ(image.u8(~uint64_t{0}), 0);
  EXPECT_FALSE(image.string_length(0).has_value());
  EXPECT_EQ(image.string_at(0), u"\u0201");
  EXPECT_EQ(image.child_count(0), 0u);
  EXPECT_FALSE(image.find_record(0, Section::integer, u"a").has_value());
  SkinHeader header;
  EXPECT_FALSE(image.read_header(header));
}

}  // namespace
}  // namespace lv
