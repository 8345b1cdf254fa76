#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "skin/node_type_registry.h"
#include "skin/properties.h"
#include "skin/skin_exceptions.h"
#include "skin/skin_image.h"
#include "skin/skin_test_support.h"

namespace lv {
namespace {

using skin_format::Section;
using test::Rgba;
using test::SkinSourceFolder;

// Compiles a source and loads it; the folder stays for the test's life.
class LoadedSkin {
 public:
  explicit LoadedSkin(const std::string& json, int32_t dpi = 96) {
    m_bytes = m_source.build(json);
    EXPECT_TRUE(m_properties.load_skin(m_source.skin_path(), test::screen_with_dpi(dpi)));
  }
  Properties& properties() { return m_properties; }
  const SkinSourceFolder& source() const { return m_source; }
  const std::string& bytes() const { return m_bytes; }
  const SkinNode* node(std::u16string_view name) const { return m_properties.find_node(name); }

 private:
  SkinSourceFolder m_source;
  std::string m_bytes;
  Properties m_properties;
};

TEST(SkinLookup, KeysThatArePrefixesOfEachOtherAreFoundExactly) {
  LoadedSkin skin(R"({"nodes": {
      "Both": {"integer": {"a": 1, "ab": 2, "abc": 3}},
      "Long": {"integer": {"ab": 2}}}})");
  Properties& p = skin.properties();
  const SkinNode* both = skin.node(u"Both");
  const SkinNode* only_long = skin.node(u"Long");
  ASSERT_NE(both, nullptr);
  ASSERT_NE(only_long, nullptr);
  EXPECT_EQ(p.get_integer(both, u"a", -1), 1);
  EXPECT_EQ(p.get_integer(both, u"ab", -1), 2);
  EXPECT_EQ(p.get_integer(both, u"abc", -1), 3);
  EXPECT_EQ(p.get_integer(both, u"abcd", -1), -1);
  EXPECT_EQ(p.get_integer(both, u"", -1), -1);
  EXPECT_EQ(p.get_integer(only_long, u"a", -1), -1);
  EXPECT_EQ(p.get_integer(only_long, u"ab", -1), 2);
  EXPECT_EQ(p.get_integer(only_long, u"b", -1), -1);
}

TEST(SkinLookup, NamesSortByUnsignedCodeUnits) {
  // U+FF21 is one unit above every surrogate; U+1F600 is the pair D83D DE00,
  // so in the skin's order it sorts before U+FF21 (code points would not).
  LoadedSkin skin(R"({"nodes": {"N": {"integer": {
      "apple": 1, "Zebra": 2, "Apple": 3, "zoo": 4, "\u00e9": 5, "\uff21": 6, "\ud83d\ude00": 7}}}})");
  Properties& p = skin.properties();
  const SkinNode* node = skin.node(u"N");
  const std::vector<std::u16string> order = {u"Apple",  u"Zebra",      u"apple", u"zoo",
                                             u"\u00e9", u"\U0001F600", u"\uFF21"};
  const std::vector<int32_t> values = {3, 2, 1, 4, 5, 7, 6};
  for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(p.get_integer(node, order[i], 0), values[i]);

  // The records lie in exactly that order.
  const SkinImage image(
      std::span(reinterpret_cast<const uint8_t*>(skin.bytes().data()), skin.bytes().size()));
  uint32_t first = 0, count = 0;
  ASSERT_TRUE(image.section(test::root_body(skin.bytes()), Section::integer, first, count));
  ASSERT_EQ(count, order.size());
  for (uint32_t i = 0; i < count; ++i)
    EXPECT_EQ(image.string_at(image.u16(first + 8 * i)), order[i]) << i;
}

TEST(SkinLookup, EachKindHasItsOwnSection) {
  LoadedSkin skin(R"({"nodes": {"N": {
      "integer": {"color": -5},
      "color": {"color": "#0a141e"},
      "string": {"color": "red"}}}})");
  Properties& p = skin.properties();
  const SkinNode* node = skin.node(u"N");
  EXPECT_EQ(p.get_integer(node, u"color", 0), -5);
  EXPECT_EQ(p.get_color(node, u"color", {}), (Color{10, 20, 30, 255}));
  EXPECT_EQ(p.get_string(node, u"color", {}), u"red");
  EXPECT_EQ(p.get_point(node, u"color", {4, 4}), (Point{4, 4}));
  const FontRef none = default_font();
  EXPECT_EQ(p.get_font(node, u"color", none), none);
}

TEST(SkinLookup, ColourHasAlpha255WhateverItsFourthByte) {
  SkinSourceFolder source;
  std::string bytes = source.build(R"({"nodes": {"N": {"color": {"c": [10, 20, 30]}}}})");
  const uint32_t body = test::root_body(bytes);
  const uint32_t record = body + test::read_u16(bytes, body + 2 * int(Section::color));
  bytes.at(record + 7) = 0x77;
  test::write_file(source.skin_file().string(), bytes);

  Properties p;
  ASSERT_TRUE(p.load_skin(source.skin_path(), test::screen_with_dpi(96)));
  const SkinNode* node = p.find_node(u"N");
  EXPECT_EQ(p.get_color(node, u"c", {}), (Color{10, 20, 30, 255}));
  // A default keeps all four bytes as given.
  EXPECT_EQ(p.get_color(node, u"d", {1, 2, 3, 4}), (Color{1, 2, 3, 4}));
}

TEST(SkinLookup, StringsAndFontsAreReferencesIntoTheTables) {
  LoadedSkin skin(R"({"nodes": {
      "A": {"string": {"id": "same", "text": "Привет"}, "font": {"f": "14 1", "g": "0 0 0 0 X"}},
      "B": {"string": {"id": "same"}, "font": {"f": "14 1"}},
      "Empty": {"integer": {"x": 1}}}})");
  Properties& p = skin.properties();
  const std::u16string fallback = u"fallback";
  const std::u16string& id_a = p.get_string(skin.node(u"A"), u"id", fallback);
  const std::u16string& id_b = p.get_string(skin.node(u"B"), u"id", fallback);
  EXPECT_EQ(id_a, u"same");
  // One table entry serves both nodes.
  EXPECT_EQ(&id_a, &id_b);
  EXPECT_EQ(p.strings().size(), 2u);
  EXPECT_EQ(p.get_string(skin.node(u"A"), u"text", fallback), u"Привет");
  EXPECT_EQ(&p.get_string(skin.node(u"Empty"), u"id", fallback), &fallback);

  const FontRef fallback_font = default_font();
  const FontRef& f = p.get_font(skin.node(u"A"), u"f", fallback_font);
  ASSERT_EQ(p.fonts().size(), 2u);
  EXPECT_EQ(&f, &p.fonts()[0]);
  EXPECT_EQ(&p.get_font(skin.node(u"B"), u"f", fallback_font), &p.fonts()[0]);
  // "14 1": height 14, bold, the rest default.
  EXPECT_EQ(f->description().height, 14);
  EXPECT_EQ(f->description().bold, 1);
  EXPECT_EQ(f->description().face, u"Tahoma");
  EXPECT_EQ(p.get_font(skin.node(u"A"), u"g", fallback_font)->description().height, 0);
  EXPECT_EQ(&p.get_font(skin.node(u"Empty"), u"f", fallback_font), &fallback_font);
}

TEST(SkinLookup, PictureSharesTheTableBitmapAndCarriesRegionScaleAndFlag) {
  SkinSourceFolder source;
  test::write_png_filled(source.folder() / "frame.png", 10, 8, Rgba{0, 0, 255, 255});
  source.build(R"({"nodes": {"N": {"picture": {
      "plain": "frame.png",
      "part": {"file": "frame", "region": [1, 2, 9, 8], "inner": [3, 4, 7, 6], "flag": 1}}}}})");
  Properties p;
  ASSERT_TRUE(p.load_skin(source.skin_path(), test::screen_with_dpi(192)));
  const SkinNode* node = p.find_node(u"N");
  ASSERT_EQ(p.pictures().size(), 1u);
  const Picture& table = p.pictures()[0];
  EXPECT_EQ(table.p0, (Point{0, 0}));
  EXPECT_EQ(table.p1, (Point{0, 0}));
  EXPECT_EQ(table.p2, (Point{10, 8}));
  EXPECT_EQ(table.p3, (Point{10, 8}));

  const Picture part = p.get_picture(node, u"part", {});
  EXPECT_EQ(part.bitmap, table.bitmap);
  EXPECT_EQ(part.p0, (Point{2, 4}));
  EXPECT_EQ(part.p1, (Point{6, 8}));
  EXPECT_EQ(part.p2, (Point{14, 12}));
  EXPECT_EQ(part.p3, (Point{18, 16}));
  EXPECT_EQ(part.scale, 1);
  EXPECT_EQ(part.flag, 1);
  const Picture plain = p.get_picture(node, u"plain", {});
  EXPECT_EQ(plain.p3, (Point{20, 16}));
  EXPECT_EQ(plain.flag, 0);
  EXPECT_EQ(plain.bitmap->surface()->pixel(0, 0), 0x003F);

  Picture fallback;
  fallback.p3 = {5, 5};
  fallback.flag = 7;
  const Picture missing = p.get_picture(node, u"nothing", fallback);
  EXPECT_EQ(missing.p3, (Point{5, 5}));
  EXPECT_EQ(missing.flag, 7);
  EXPECT_EQ(missing.bitmap, fallback.bitmap);
}

TEST(SkinLookup, ChildrenComeInFileOrder) {
  LoadedSkin skin(R"({"nodes": {"Main": {"children": [
      {"string": {"id": "first"}},
      {"string": {"id": "second"}, "children": [{"string": {"id": "inner"}}]},
      {"string": {"id": "third"}}]}}})");
  Properties& p = skin.properties();
  const SkinNode* main = skin.node(u"Main");
  ASSERT_EQ(p.child_count(main), 3u);
  const std::u16string none;
  EXPECT_EQ(p.get_string(p.child(main, 0), u"id", none), u"first");
  EXPECT_EQ(p.get_string(p.child(main, 1), u"id", none), u"second");
  EXPECT_EQ(p.get_string(p.child(main, 2), u"id", none), u"third");
  EXPECT_EQ(p.child(main, 3), nullptr);
  const SkinNode* second = p.child(main, 1);
  ASSERT_EQ(p.child_count(second), 1u);
  EXPECT_EQ(p.get_string(p.child(second, 0), u"id", none), u"inner");
  EXPECT_EQ(p.child_count(p.child(second, 0)), 0u);
}

TEST(SkinLookup, EveryNamedNodeIsFoundAndNoOtherName) {
  std::string json = R"({"nodes": {)";
  std::vector<std::u16string> names;
  for (int i = 0; i < 100; ++i) {
    const std::string name = "Node" + std::to_string(i * 7 % 100);
    names.push_back(from_utf8(name));
    json += (i ? "," : "") +
            ("\"" + name + "\": {\"integer\": {\"n\": " + std::to_string(i * 7 % 100) + "}}");
  }
  json += "}}";
  LoadedSkin skin(json);
  Properties& p = skin.properties();
  for (const std::u16string& name : names) {
    const SkinNode* node = p.find_node(name);
    ASSERT_NE(node, nullptr) << to_utf8(name);
    EXPECT_EQ(u"Node" + from_utf8(std::to_string(p.get_integer(node, u"n", -1))), name);
  }
  for (const char16_t* absent : {u"", u"A", u"Node", u"Node100", u"Node5a", u"Nodf", u"node1"})
    EXPECT_EQ(p.find_node(absent), nullptr) << to_utf8(absent);
}

TEST(SkinLookup, NodesFromAnotherSkinGiveDefaults) {
  LoadedSkin first(R"({"nodes": {"N": {"integer": {"x": 1}, "children": [{}]}}})");
  LoadedSkin second(R"({"nodes": {"N": {"integer": {"x": 2}}}})");
  const SkinNode* foreign = first.node(u"N");
  Properties& p = second.properties();
  EXPECT_EQ(p.get_integer(foreign, u"x", -1), -1);
  EXPECT_EQ(p.child_count(foreign), 0u);
  EXPECT_EQ(p.child(foreign, 0), nullptr);
  EXPECT_EQ(p.get_integer(nullptr, u"x", -1), -1);
  EXPECT_EQ(p.get_integer(second.node(u"N"), u"x", -1), 2);
}

struct TestElement {
  int kind = 0;
};

TEST(NodeTypeRegistry, RegisteringANameTwiceThrowsAndKeepsTheFirst) {
  BasicNodeTypeRegistry<TestElement> registry;
  registry.register_type(u"button", [] { return std::make_unique<TestElement>(TestElement{1}); });
  try {
    registry.register_type(u"button", [] { return std::make_unique<TestElement>(TestElement{2}); });
    FAIL() << "no exception";
  } catch (const jobser::NodeAlreadyRegistered& e) {
    EXPECT_EQ(e.type_name(), u"button");
    EXPECT_NE(std::string(e.what()).find("\"button\""), std::string::npos);
  }
  EXPECT_EQ(registry.create(u"button")->kind, 1);
  EXPECT_TRUE(registry.contains(u"button"));
  EXPECT_FALSE(registry.contains(u"Button"));
}

TEST(NodeTypeRegistry, ChildWithoutTypeAsksForTheEmptyName) {
  LoadedSkin skin(R"({"nodes": {"Main": {"children": [
      {"string": {"type": "button"}}, {"integer": {"x": 1}}, {"string": {"type": "vlist"}}]}}})");
  Properties& p = skin.properties();
  const SkinNode* main = skin.node(u"Main");
  BasicNodeTypeRegistry<TestElement> registry;
  registry.register_type(u"button", [] { return std::make_unique<TestElement>(TestElement{7}); });

  EXPECT_EQ(registry.create_for_node(p, p.child(main, 0))->kind, 7);
  try {
    registry.create_for_node(p, p.child(main, 1));
    FAIL() << "no exception";
  } catch (const jobser::NodeNotRegistered& e) {
    EXPECT_EQ(e.type_name(), u"");
  }
  try {
    registry.create_for_node(p, p.child(main, 2));
    FAIL() << "no exception";
  } catch (const jobser::NodeNotRegistered& e) {
    EXPECT_EQ(e.type_name(), u"vlist");
  }
}

TEST(NodeTypeRegistry, ProcessWideInstanceIsOne) {
  auto& a = BasicNodeTypeRegistry<TestElement>::instance();
  auto& b = BasicNodeTypeRegistry<TestElement>::instance();
  EXPECT_EQ(&a, &b);
}

TEST(SkinExceptions, CarryTheNames) {
  const jobser::NodeNotFoundInSkin in_skin(u"Main");
  EXPECT_EQ(in_skin.node_name(), u"Main");
  const jobser::NodeNotFound not_found(u"listApps", u"#line");
  EXPECT_EQ(not_found.searched_id(), u"listApps");
  EXPECT_EQ(not_found.sought_id(), u"#line");
  EXPECT_EQ(std::string(not_found.what()), "element \"listApps\" has no child \"#line\"");
  const jobser::NodeNotRegistered unknown(u"");
  EXPECT_EQ(unknown.type_name(), u"");
}

}  // namespace
}  // namespace lv
