#include "skin/properties.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <string>
#include <vector>

#include "base/log_capture.h"
#include "skin/properties_impl.h"
#include "skin/skin_format.h"
#include "skin/skin_test_support.h"

namespace lv {
namespace {

using test::Rgba;
using test::SkinSourceFolder;

// A skin header with no pictures, fonts or strings and no named nodes.
std::string empty_skin_bytes() {
  std::string bytes(skin_format::kHeaderSize, '\0');
  for (size_t i = 0; i < skin_format::kMagic.size(); ++i)
    test::put_u16(bytes, 2 * i, skin_format::kMagic[i]);
  test::put_u32(bytes, skin_format::kRootOffset, skin_format::kNoEntry);
  test::put_u32(bytes, skin_format::kStringPoolOffset, skin_format::kHeaderSize);
  return bytes;
}

// The log's lines, with every time value replaced by "T".
std::vector<std::string> log_lines() {
  std::vector<std::string> lines;
  std::string text = to_utf8(test::read_log_text());
  text = std::regex_replace(text, std::regex("time=[-+0-9.e]+"), "time=T");
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

std::vector<std::string> lines_of_loader(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const std::string& line : lines)
    if (line.starts_with("Properties") || line.starts_with("sizeof") ||
        line.find("::Size=") != std::string::npos || line.starts_with("load_565") ||
        line.starts_with("Error"))
      out.push_back(line);
  return out;
}

constexpr const char* kOneNode = R"({"nodes": {"Splash": {"integer": {"x": 1}}}})";

TEST(LoadSkin, NinetyTwoByteSkinLoadsAndNinetyOneBytesFail) {
  const std::string dir = test::make_temp_dir("skin");
  const std::string bytes = empty_skin_bytes();
  test::write_file(dir + "/empty.skin", bytes);
  test::write_file(dir + "/short.skin", bytes.substr(0, 91));

  Properties properties;
  EXPECT_FALSE(properties.load_skin(from_utf8(dir + "/short.skin"), test::screen_with_dpi(96)));
  EXPECT_FALSE(properties.loaded());
  ASSERT_TRUE(properties.load_skin(from_utf8(dir + "/empty.skin"), test::screen_with_dpi(96)));
  EXPECT_TRUE(properties.loaded());
  EXPECT_EQ(properties.find_node(u"Splash"), nullptr);
  EXPECT_EQ(properties.find_node(u""), nullptr);
  EXPECT_TRUE(properties.pictures().empty());

  // The compiler makes exactly this file from a source without nodes.
  SkinSourceFolder source;
  EXPECT_EQ(source.build(R"({"nodes": {}})").substr(skin_format::kRootOffset),
            bytes.substr(skin_format::kRootOffset));
}

TEST(LoadSkin, WrongThirdMagicUnitFailsWithoutErrorLine) {
  const std::string dir = test::make_temp_dir("skin");
  std::string bytes = empty_skin_bytes();
  test::put_u16(bytes, 4, 0x0439);
  test::write_file(dir + "/bad.skin", bytes);

  test::start_fresh_log();
  Properties properties;
  EXPECT_FALSE(properties.load_skin(from_utf8(dir + "/bad.skin"), test::screen_with_dpi(96)));
  EXPECT_FALSE(properties.loaded());
  const std::vector<std::string> lines = lines_of_loader(log_lines());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "Properties::load_skin 1");
  EXPECT_EQ(lines.back(), "Properties::load_skin 2");
  for (const std::string& line : lines) EXPECT_FALSE(line.starts_with("Error")) << line;
}

TEST(LoadSkin, MissingFileFailsSilently) {
  test::start_fresh_log();
  Properties properties;
  EXPECT_FALSE(properties.load_skin(u"/nonexistent/folder/none.skin", test::screen_with_dpi(96)));
  for (const std::string& line : log_lines()) EXPECT_FALSE(line.starts_with("Error")) << line;
  EXPECT_EQ(properties.path(), u"");
}

TEST(LoadSkin, LogsEveryStepInOrder) {
  SkinSourceFolder source;
  test::write_png_filled(source.folder() / "art/p.png", 2, 2, Rgba{10, 20, 30, 255});
  source.build(
      R"({"nodes": {"Splash": {"picture": {"bg": "art/p"}, "font": {"f": "0 1 0 0 X"}}}})");

  test::start_fresh_log();
  Properties properties;
  ASSERT_TRUE(properties.load_skin(source.skin_path(), test::screen_with_dpi(96)));
  const std::vector<std::string> expected = {
      "Properties::load_skin 1",
      "sizeof(Node*4)=8",
      "sizeof(IntegerNode*4)=32",
      "sizeof(PointNode*4)=32",
      "sizeof(Node)=2",
      "sizeof(IntegerNode)=8",
      "IntegerNode::Size=8",
      "sizeof(PointNode)=8",
      "PointNode::Size=8",
      "sizeof(ColorNode)=8",
      "ColorNode::Size=8",
      "sizeof(StringNode)=4",
      "StringNode::Size=4",
      "sizeof(PictureNode)=20",
      "PictureNode::Size=20",
      "PropertiesImpl::PropertiesImpl picture load time=T {test/art/p}",
      "PropertiesImpl::PropertiesImpl fonts create time=T",
      "Properties::load_skin 2",
      "Properties::load_skin 3",
  };
  EXPECT_EQ(lines_of_loader(log_lines()), expected);
  EXPECT_EQ(properties.path(), source.skin_path());
}

TEST(LoadSkin, SixteenBitPictureIsRequiredAndAFailureKeepsThePreviousSkin) {
  SkinSourceFolder first("first");
  first.build(kOneNode);
  Properties properties;
  ASSERT_TRUE(properties.load_skin(first.skin_path(), test::screen_with_dpi(96)));
  const SkinNode* node = properties.find_node(u"Splash");

  SkinSourceFolder second("second");
  test::write_png_filled(second.folder() / "p.png", 2, 2, Rgba{1, 2, 3, 255});
  second.build(R"({"nodes": {"Splash": {"integer": {"x": 2}, "picture": {"bg": "p"}}}})");
  // A 24-bit bitmap of 1 x 1 pixel in place of the compiled one.
  std::string bmp(58, '\0');
  bmp[0] = 'B';
  bmp[1] = 'M';
  test::put_u32(bmp, 10, 54);
  test::put_u32(bmp, 14, 40);
  test::put_u32(bmp, 18, 1);
  test::put_u32(bmp, 22, 1);
  test::put_u16(bmp, 26, 1);
  test::put_u16(bmp, 28, 24);
  const std::string picture = (second.output() / "second/p").string();
  test::write_file(picture + ".bmp", bmp);

  test::start_fresh_log();
  EXPECT_FALSE(properties.load_skin(second.skin_path(), test::screen_with_dpi(96)));
  const std::vector<std::string> lines = lines_of_loader(log_lines());
  const std::vector<std::string> tail = {
      "load_565 " + picture + " is not 16bit bitmap",
      "PropertiesImpl::PropertiesImpl picture failed to load {second/p}",
      "Properties::load_skin 2",
  };
  ASSERT_GE(lines.size(), tail.size());
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()), tail);

  EXPECT_EQ(properties.path(), first.skin_path());
  EXPECT_EQ(properties.find_node(u"Splash"), node);
  EXPECT_EQ(properties.get_integer(node, u"x", 0), 1);
  EXPECT_TRUE(properties.pictures().empty());
}

TEST(LoadSkin, ShortReadFailsAndKeepsThePreviousSkin) {
  SkinSourceFolder source;
  source.build(kOneNode);
  Properties properties;
  ASSERT_TRUE(properties.load_skin(source.skin_path(), test::screen_with_dpi(96)));

  // Files of the kernel's sysfs claim a size of a page and read shorter.
  const std::string file = "/sys/devices/system/cpu/online";
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0 || st.st_size <= 0 ||
      test::read_file(file).size() >= size_t(st.st_size))
    GTEST_SKIP() << "no file that reads shorter than its size";

  test::start_fresh_log();
  EXPECT_FALSE(properties.load_skin(from_utf8(file), test::screen_with_dpi(96)));
  const std::vector<std::string> lines = lines_of_loader(log_lines());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Error: skin [" + file + "] failed to load"),
            lines.end());
  EXPECT_EQ(properties.path(), source.skin_path());
  EXPECT_EQ(properties.get_integer(properties.find_node(u"Splash"), u"x", 0), 1);
}

struct ScaleCase {
  int32_t dpi;
  int32_t scale;
};

class SkinScale : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(SkinScale, PointsPicturesAndFontsFollowTheDotsPerInch) {
  const auto [dpi, scale] = GetParam();
  SkinSourceFolder source;
  test::write_png_filled(source.folder() / "p.png", 8, 6, Rgba{1, 2, 3, 255});
  source.build(R"({"nodes": {"Main": {
      "point": {"at": [-3, 7]},
      "integer": {"n": 5},
      "font": {"f": "12 0 0 0 DejaVu Sans"},
      "picture": {"pic": {"file": "p", "region": [1, 1, 7, 5], "inner": [2, 2, 6, 4]}}}}})");

  Properties properties;
  ASSERT_TRUE(properties.load_skin(source.skin_path(), test::screen_with_dpi(dpi)));
  EXPECT_EQ(properties.scale(), scale);
  const SkinNode* node = properties.find_node(u"Main");
  const int32_t f = 1 << scale;
  EXPECT_EQ(properties.get_point(node, u"at", {}), (Point{-3 * f, 7 * f}));
  EXPECT_EQ(properties.get_point(node, u"none", {-3, 7}), (Point{-3, 7}));
  EXPECT_EQ(properties.get_integer(node, u"n", 0), 5);

  ASSERT_EQ(properties.fonts().size(), 1u);
  EXPECT_EQ(properties.fonts()[0]->description().scale_factor, uint32_t(f));
  EXPECT_EQ(properties.fonts()[0]->description().height, 12);

  const Picture picture = properties.get_picture(node, u"pic", empty_picture());
  EXPECT_EQ(picture.p0, (Point{1 * f, 1 * f}));
  EXPECT_EQ(picture.p1, (Point{2 * f, 2 * f}));
  EXPECT_EQ(picture.p2, (Point{6 * f, 4 * f}));
  EXPECT_EQ(picture.p3, (Point{7 * f, 5 * f}));
  EXPECT_EQ(picture.scale, scale);
  EXPECT_EQ(picture.bitmap_size(), (Size{8, 6}));
}

INSTANTIATE_TEST_SUITE_P(Dpi, SkinScale,
                         ::testing::Values(ScaleCase{96, 0}, ScaleCase{191, 0}, ScaleCase{192, 1},
                                           ScaleCase{383, 1}, ScaleCase{384, 2}, ScaleCase{600, 2}),
                         [](const auto& info) { return "dpi" + std::to_string(info.param.dpi); });

TEST(LoadSkin, PictureNamesAreJoinedToTheSkinFolder) {
  EXPECT_EQ(skin_folder_of(u"/a/b/c.skin"), u"/a/b/");
  EXPECT_EQ(skin_folder_of(u"/a/b/"), u"/a/");
  EXPECT_EQ(skin_folder_of(u"c.skin"), u"");
  EXPECT_EQ(skin_folder_of(u"C:\\skins\\c.skin"), u"C:\\skins\\");
  EXPECT_EQ(skin_picture_path(u"/a/b/", u"x/y"), u"/a/b/x/y");
  EXPECT_EQ(skin_picture_path(u"/a/b", u"x"), u"/a/b/x");
  EXPECT_EQ(skin_picture_path(u"", u"x"), u"x");

  SkinSourceFolder source;
  test::write_png_filled(source.folder() / "sub/deeper/pic.png", 3, 2, Rgba{255, 255, 255, 255});
  std::string bytes = source.build(R"({"nodes": {"Main": {"picture": {"p": "sub/deeper/pic"}}}})");
  Properties properties;
  ASSERT_TRUE(properties.load_skin(source.skin_path(), test::screen_with_dpi(96)));
  const Picture picture = properties.get_picture(properties.find_node(u"Main"), u"p", {});
  EXPECT_EQ(picture.bitmap->path(), from_utf8(source.output().string()) + u"/test/sub/deeper/pic");
  EXPECT_EQ(picture.bitmap_size(), (Size{3, 2}));

  // A name written with a backslash, as skins for the handheld have them,
  // is found in the same sub-folder.
  const std::string name = test::utf16le(u"test/sub/deeper/pic");
  const size_t at = bytes.find(name);
  ASSERT_NE(at, std::string::npos);
  test::put_u16(bytes, at + 2 * std::u16string_view(u"test/sub").size(), u'\\');
  test::write_file(source.skin_file().string(), bytes);
  Properties other;
  ASSERT_TRUE(other.load_skin(source.skin_path(), test::screen_with_dpi(96)));
  EXPECT_EQ(other.pictures().at(0).bitmap_size(), (Size{3, 2}));
}

TEST(LoadSkin, FileNameIsMatchedIgnoringCase) {
  SkinSourceFolder source("Mixed");
  source.build(kOneNode);
  Properties properties;
  const std::u16string asked = from_utf8((source.output() / "MIXED.SKIN").string());
  ASSERT_TRUE(properties.load_skin(asked, test::screen_with_dpi(96)));
  EXPECT_EQ(properties.path(), source.skin_path());
}

TEST(LoadSkin, ReplacingTheSkinReleasesItsPicturesExceptCopiesInUse) {
  SkinSourceFolder first("first");
  test::write_png_filled(first.folder() / "p.png", 2, 1, Rgba{255, 0, 0, 255});
  first.build(R"({"nodes": {"Main": {"picture": {"p": "p"}}}})");
  SkinSourceFolder second("second");
  second.build(kOneNode);

  Properties properties;
  ASSERT_TRUE(properties.load_skin(first.skin_path(), test::screen_with_dpi(96)));
  Picture kept = properties.get_picture(properties.find_node(u"Main"), u"p", {});
  // The table entry and this copy.
  EXPECT_EQ(kept.bitmap->use_count(), 2);

  ASSERT_TRUE(properties.load_skin(second.skin_path(), test::screen_with_dpi(96)));
  EXPECT_EQ(kept.bitmap->use_count(), 1);
  EXPECT_EQ(kept.bitmap->surface()->pixel(1, 0), 0xF820);
  EXPECT_EQ(properties.find_node(u"Main"), nullptr);
  EXPECT_NE(properties.find_node(u"Splash"), nullptr);
}

TEST(Properties, IsEmptyBeforeTheFirstLoad) {
  Properties properties;
  EXPECT_FALSE(properties.loaded());
  EXPECT_EQ(properties.scale(), 0);
  EXPECT_EQ(properties.find_node(u"Main"), nullptr);
  EXPECT_EQ(properties.get_integer(nullptr, u"x", 42), 42);
  EXPECT_EQ(properties.child_count(nullptr), 0u);
  EXPECT_TRUE(properties.fonts().empty());
  EXPECT_TRUE(properties.strings().empty());
}

class Recorder : public ReloadListener {
 public:
  Recorder(std::vector<int>& calls, int id) : m_calls(calls), m_id(id) {}
  void reload_skin(Properties& properties) override {
    m_calls.push_back(m_id);
    seen = &properties;
    if (remove_on_call) properties.remove_reload_listener(remove_on_call);
  }
  Properties* seen = nullptr;
  ReloadListener* remove_on_call = nullptr;

 private:
  std::vector<int>& m_calls;
  int m_id;
};

TEST(SendReloadSkin, TellsEachListenerInOrderAndLogsTheTime) {
  std::vector<int> calls;
  Recorder a(calls, 1), b(calls, 2), c(calls, 3);
  Properties properties;
  properties.add_reload_listener(&a);
  properties.add_reload_listener(&b);
  properties.add_reload_listener(&a);
  properties.add_reload_listener(&c);

  test::start_fresh_log();
  properties.send_reload_skin();
  EXPECT_EQ(calls, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(b.seen, &properties);
  const std::vector<std::string> lines = log_lines();
  EXPECT_NE(
      std::find(lines.begin(), lines.end(), "PropertiesImpl::send_reload_skin the rest time=T"),
      lines.end());

  // A listener that removes a later one while being told: that one is skipped.
  calls.clear();
  a.remove_on_call = &c;
  properties.send_reload_skin();
  EXPECT_EQ(calls, (std::vector<int>{1, 2}));
  calls.clear();
  properties.remove_reload_listener(&a);
  properties.send_reload_skin();
  EXPECT_EQ(calls, (std::vector<int>{2}));
}

}  // namespace
}  // namespace lv
