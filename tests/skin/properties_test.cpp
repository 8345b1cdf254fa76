#include "skin/properties.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "skin/bitmap_file.h"
#include "skin/properties_impl.h"
#include "skin/skin_test_support.h"

namespace lv {
namespace {

using test::LoadedSkin;
using test::SkinSourceFolder;
using Lines = std::vector<std::string>;

// A skin header with no pictures, fonts or strings and no named nodes.
std::string empty_skin_bytes() {
  std::string bytes(skin_format::kHeaderSize, '\0');
  for (size_t i = 0; i < skin_format::kMagic.size(); ++i)
    test::put_bytes(bytes, 2 * i, skin_format::kMagic[i], 2);
  test::put_bytes(bytes, skin_format::kRootOffset, skin_format::kNoEntry, 4);
  test::put_bytes(bytes, skin_format::kStringPoolOffset, skin_format::kHeaderSize, 4);
  return bytes;
}

// The loader's log lines, with every time value replaced by "T".
Lines loader_lines() {
  std::istringstream log(
      std::regex_replace(test::log_text(), std::regex("time=[-+0-9.e]+"), "time=T"));
  Lines out;
  for (std::string line; std::getline(log, line);)
    if (std::regex_search(line, std::regex("^(Properties|sizeof|load_565|Error)|::Size=")))
      out.push_back(line);
  return out;
}

TEST(LoadSkin, NinetyTwoByteSkinLoadsAndNinetyOneBytesOrNoSkinFailWithoutAnErrorLine) {
  Properties properties;
  const std::string dir = test::make_temp_dir("skin"), bytes = empty_skin_bytes();
  std::string bad = bytes;
  test::put_bytes(bad, 4, 0x0439, 2);  // the third unit of the magic
  for (const auto& [name, content] :
       {std::pair{"/empty.skin", bytes}, {"/short.skin", bytes.substr(0, 91)}, {"/bad.skin", bad}})
    test::write_file(dir + name, content);
  for (const char* name : {"/short.skin", "/bad.skin", "/none.skin"}) {
    test::start_fresh_log();
    EXPECT_FALSE(test::load(properties, dir + name) || properties.loaded()) << name;
    EXPECT_EQ(test::log_text().find("Error"), std::string::npos) << name;
  }
  ASSERT_TRUE(test::load(properties, dir + "/empty.skin"));
  EXPECT_TRUE(properties.find_node(u"") == nullptr && properties.pictures().empty());
}

TEST(LoadSkin, LogsEveryStepInOrder) {
  test::start_fresh_log();
  LoadedSkin skin(
      R"({"nodes": {"Splash": {"picture": {"bg": "art/p"}, "font": {"f": "0 1 0 0 X"}}}})",
      {{"art/p.png", 2, 2}});
  EXPECT_EQ(loader_lines(),
            (Lines{"Properties::load_skin 1", "sizeof(Node*4)=8", "sizeof(IntegerNode*4)=32",
                   "sizeof(PointNode*4)=32", "sizeof(Node)=2", "sizeof(IntegerNode)=8",
                   "IntegerNode::Size=8", "sizeof(PointNode)=8", "PointNode::Size=8",
                   "sizeof(ColorNode)=8", "ColorNode::Size=8", "sizeof(StringNode)=4",
                   "StringNode::Size=4", "sizeof(PictureNode)=20", "PictureNode::Size=20",
                   "PropertiesImpl::PropertiesImpl picture load time=T {test/art/p}",
                   "PropertiesImpl::PropertiesImpl fonts create time=T", "Properties::load_skin 2",
                   "Properties::load_skin 3"}));
}

TEST(LoadSkin, ABrokenPictureAShortReadOrAHugeFileFailAndKeepThePreviousSkin) {
  LoadedSkin first(R"({"nodes": {"Splash": {"integer": {"x": 1}}}})", {}, 96, "first");
  Properties& properties = first.properties();
  const SkinNode* node = properties.find_node(u"Splash");
  SkinSourceFolder second("second");
  test::write_art(second.folder() / "p.png", 2, 2);
  second.build(R"({"nodes": {"Splash": {"integer": {"x": 2}, "picture": {"bg": "p"}}}})");
  // A 24-bit bitmap in place of the compiled one.
  std::string bmp = encode_bitmap_565(*Surface::create(1, 1));
  bmp[28] = 24;
  const std::string picture = (second.output() / "second/p").string();
  test::write_file(picture + ".bmp", bmp);
  // Larger than 64 MiB: refused before anything is read (a sparse file).
  const std::string huge = test::make_temp_dir("huge") + "/huge.skin";
  test::write_file(huge, empty_skin_bytes());
  std::filesystem::resize_file(huge, kMaxSkinFileSize + 1);
  // Files of the kernel's sysfs claim a size of a page and read shorter.
  const std::string sysfs = "/sys/devices/system/cpu/online";
  const std::pair<std::string, std::string> cases[] = {
      {second.skin_file(), "load_565 " + picture +
                               " is not 16bit bitmap\nPropertiesImpl::PropertiesImpl picture "
                               "failed to load {second/p}\nProperties::load_skin 2\n"},
      {huge, "Error: skin [" + huge + "] is too large"},
      {sysfs, "Error: skin [" + sysfs + "] failed to load"}};
  for (const auto& [path, line] : cases) {
    if (path == sysfs && (!std::filesystem::exists(path) ||
                          test::read_file(path).size() >= std::filesystem::file_size(path)))
      GTEST_SKIP() << "no file that reads shorter than its size";
    test::start_fresh_log();
    EXPECT_FALSE(test::load(properties, path));
    EXPECT_NE(test::log_text().find(line), std::string::npos) << test::log_text();
    EXPECT_TRUE(properties.path() == first.source().skin_path() &&
                properties.find_node(u"Splash") == node &&
                properties.get_integer(node, u"x", 0) == 1 && properties.pictures().empty())
        << path;
  }
}

TEST(SkinScale, PointsAndPicturesFollowTheDotsPerInch) {
  for (const auto& [dpi, scale] : {std::pair{191, 0}, {192, 1}, {384, 2}, {600, 2}}) {
    SCOPED_TRACE(dpi);
    LoadedSkin skin(R"({"nodes": {"Main": {"point": {"at": [-3, 7]}, "integer": {"n": 5},
      "font": {"f": "12 0 0 0 DejaVu Sans"}, "picture": {"plain": "p.png",
      "pic": {"file": "p", "region": [1, 1, 7, 5], "inner": [2, 2, 6, 4], "flag": 3}}}}})",
                    {{"p.png", 8, 6}}, dpi);
    Properties& p = skin.properties();
    EXPECT_EQ(p.scale(), scale);
    const SkinNode* node = skin.node(u"Main");
    const int32_t f = 1 << scale;
    EXPECT_EQ(p.get_point(node, u"at", {}), (Point{-3 * f, 7 * f}));
    EXPECT_EQ(p.get_integer(node, u"n", 0), 5) << "integers are not scaled";
    EXPECT_EQ(p.fonts().at(0)->description(), (FontDesc{12, uint32_t(f), 0, 0, 0, u"DejaVu Sans"}));
    // Lookups share the table's bitmap and carry their region, scale and flag.
    const Picture pic = p.get_picture(node, u"pic", empty_picture());
    EXPECT_TRUE(pic.bitmap == p.pictures().at(0).bitmap && pic.scale == scale && pic.flag == 3);
    EXPECT_EQ((std::vector<Point>{pic.p0, pic.p1, pic.p2, pic.p3}),
              (std::vector<Point>{{f, f}, {2 * f, 2 * f}, {6 * f, 4 * f}, {7 * f, 5 * f}}));
    EXPECT_EQ(p.get_picture(node, u"plain", {}).p3, (Point{8 * f, 6 * f}));
  }
}

TEST(LoadSkin, PictureNamesAreJoinedToTheSkinFolder) {
  LoadedSkin skin(R"({"nodes": {"Main": {"picture": {"p": "sub/deeper/pic"}}}})",
                  {{"sub/deeper/pic.png", 3, 2}});
  Properties& properties = skin.properties();
  const SkinSourceFolder& source = skin.source();
  EXPECT_EQ(properties.get_picture(skin.node(u"Main"), u"p", {}).bitmap->path(),
            from_utf8(source.output().string()) + u"/test/sub/deeper/pic");
  std::string bytes = skin.bytes();
  // A name written with a backslash, as skins for the handheld have them,
  // is found in the same sub-folder.
  const size_t at = bytes.find(test::utf16le(u"test/sub/deeper/pic"));
  ASSERT_NE(at, std::string::npos);
  test::put_bytes(bytes, at + 2 * std::u16string_view(u"test/sub").size(), u'\\', 2);
  test::write_file(source.skin_file(), bytes);
  // The skin's own file name is matched ignoring case.
  ASSERT_TRUE(test::load(properties, (source.output() / "TEST.Skin").string()));
  EXPECT_EQ(properties.pictures().at(0).bitmap_size(), (Size{3, 2}));
  EXPECT_EQ(properties.path(), source.skin_path());
}

struct Recorder : ReloadListener {
  Recorder(std::vector<int>& calls, int id) : calls(calls), id(id) {}
  void reload_skin(Properties& properties) override {
    calls.push_back(id);
    if (remove_on_call) properties.remove_reload_listener(remove_on_call);
  }
  std::vector<int>& calls;
  int id;
  ReloadListener* remove_on_call = nullptr;
};

TEST(SendReloadSkin, TellsEachListenerOnceInOrder) {
  std::vector<int> calls;
  Recorder a(calls, 1), b(calls, 2), c(calls, 3);
  Properties properties;
  for (Recorder* r : {&a, &b, &a, &c}) properties.add_reload_listener(r);
  properties.send_reload_skin();
  // A listener that removes a later one while being told: that one is skipped.
  a.remove_on_call = &c;
  properties.send_reload_skin();
  properties.remove_reload_listener(&a);
  properties.send_reload_skin();
  EXPECT_EQ(calls, (std::vector<int>{1, 2, 3, 1, 2, 2}));
}

TEST(SkinLookup, KeysInTheirKindsInCodeUnitOrderChildrenInFileOrderNamedNodesExactly) {
  // U+FF21 is one unit above every surrogate; U+1F600 is the pair D83D DE00,
  // so in the skin's order it sorts before U+FF21 (code points would not).
  std::string json = R"({"nodes": {"N": {"integer": {"a": 8, "ab": 9, "abc": 10, "apple": 1,
      "Zebra": 2, "Apple": 3, "zoo": 4, "\u00e9": 5, "\uff21": 6, "\ud83d\ude00": 7, "color": -5},
      "color": {"color": "#0a141e"}, "string": {"color": "red", "text": "Привет"},
      "font": {"f": "14 1", "g": "0 0 0 0 X"}},
      "B": {"integer": {"ab": 2}, "string": {"id": "red"}, "font": {"f": "14 1"}},
      "Main": {"children": [{"string": {"id": "first"}}, {"string": {"id": "second"},
          "children": [{"string": {"id": "inner"}}]}, {"string": {"id": "third"}}]})";
  for (int i = 0; i < 100; ++i)
    json += ", \"Node" + std::to_string(i * 7 % 100) +
            "\": {\"integer\": {\"n\": " + std::to_string(i * 7 % 100) + "}}";
  LoadedSkin skin(json + "}}");
  Properties& p = skin.properties();
  const SkinNode *node = skin.node(u"N"), *b = skin.node(u"B");
  const std::u16string keys[] = {u"apple",  u"Zebra",      u"Apple", u"zoo", u"\u00e9",
                                 u"\uFF21", u"\U0001F600", u"a",     u"ab",  u"abc"};
  for (int32_t i = 0; i < 10; ++i) EXPECT_EQ(p.get_integer(node, keys[i], -1), i + 1) << i;
  EXPECT_EQ(p.get_integer(node, u"color", 0), -5);
  for (std::u16string absent : {u"", u"abcd", u"b", u"appl", u"\xD83D"})
    EXPECT_EQ(p.get_integer(node, absent, -1), -1) << to_utf8(absent);
  EXPECT_TRUE(p.get_integer(b, u"a", -1) == -1 && p.get_integer(b, u"ab", -1) == 2);
  // One key in several kinds; a colour read has alpha 255, a default stays.
  EXPECT_EQ(p.get_color(node, u"color", {}), (Color{10, 20, 30, 255}));
  EXPECT_EQ(p.get_point(node, u"color", {4, 4}), (Point{4, 4}));
  // Strings and fonts come from the tables: one entry serves both nodes.
  const std::u16string fallback = u"fallback";
  EXPECT_EQ(p.get_string(node, u"color", fallback) + p.get_string(b, u"id", fallback) +
                p.get_string(node, u"text", fallback),
            u"redredПривет");
  EXPECT_TRUE(&p.get_string(b, u"text", fallback) == &fallback && p.strings().size() == 6u);
  const FontRef none = default_font();
  ASSERT_EQ(p.fonts().size(), 2u);
  EXPECT_TRUE(p.get_font(b, u"f", none) == p.fonts()[0] && &p.get_font(node, u"x", none) == &none);
  // Children in file order; named nodes found exactly.
  const SkinNode* main = skin.node(u"Main");
  auto id = [&](const SkinNode* n) { return to_utf8(p.get_string(n, u"id", u"")); };
  ASSERT_EQ(p.child_count(main), 3u);
  EXPECT_EQ(id(p.child(main, 0)) + id(p.child(main, 2)) + id(p.child(p.child(main, 1), 0)),
            "firstthirdinner");
  EXPECT_EQ(p.child(main, 3), nullptr);
  for (int i = 0; i < 100; ++i)
    EXPECT_EQ(p.get_integer(p.find_node(u"Node" + from_utf8(std::to_string(i))), u"n", -1), i);
  for (const char16_t* absent : {u"", u"Node", u"Node100", u"Node5a", u"node1"})
    EXPECT_EQ(p.find_node(absent), nullptr) << to_utf8(absent);
  // A handle from another skin gives defaults.
  LoadedSkin other(R"({"nodes": {"Main": {"integer": {"x": 2}}}})");
  EXPECT_TRUE(other.properties().get_integer(main, u"x", -1) == -1 &&
              other.properties().child_count(main) == 0u);
}

}  // namespace
}  // namespace lv
