#include "base/settings.h"

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "platform/text.h"
#include "support/scoped_env.h"
#include "support/test_env.h"

namespace lv {
namespace {

TEST(Settings, KindRulesAndRoots) {
  ASSERT_TRUE(set_number(kKaruKey, u"Number", 3));
  ASSERT_TRUE(set_string(kKaruKey, u"String", u"3"));
  ASSERT_TRUE(set_string(kKaruKey, u"Empty", u""));
  ASSERT_TRUE(set_number(u"HKEY_LOCAL_MACHINE\\Software\\KARU", u"Number", 7));
  // Reading the other kind, or what is not there, fails and keeps the out value.
  for (const char16_t* name : {u"String", u"Empty", u"Missing"}) {
    uint32_t number = 99;
    EXPECT_FALSE(get_number(kKaruKey, name, number)) << to_utf8(name);
    EXPECT_EQ(number, 99u);
  }
  std::u16string text = u"unchanged";
  EXPECT_FALSE(get_string(kKaruKey, u"Number", text) || get_string(kKaruKey, u"Missing", text));
  EXPECT_EQ(text, u"unchanged");
  EXPECT_TRUE(get_string(kKaruKey, u"Empty", text));
  EXPECT_EQ(text, u"");
  uint32_t number = 0;
  EXPECT_TRUE(get_number(kKaruKey, u"Number", number));
  EXPECT_EQ(number, 3u);
  EXPECT_TRUE(get_number(u"HKEY_LOCAL_MACHINE\\Software\\KARU", u"Number", number));
  EXPECT_EQ(number, 7u);

  // Without a known root every operation fails and nothing is written.
  for (std::u16string_view key :
       {u"Software\\KARU", u"", u"hkey_current_user\\Software\\KARU", u"HKEY_CURRENT_USE\\S"}) {
    EXPECT_FALSE(set_string(key, u"Unknown", u"x") || set_number(key, u"Unknown", 1) ||
                 get_string(key, u"Number", text) || get_number(key, u"Number", number))
        << to_utf8(key);
  }
  EXPECT_EQ(test::read_file(platform::settings_file_path()).find("Unknown"), std::string::npos);
}

TEST(Settings, MacrosExpandOnlyAtTheStartAndSeparatorsTurn) {
  const std::u16string path = app_path();
  EXPECT_EQ(path + u"/" + app_name(), from_utf8(platform::executable_path()));
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"%app_path%\\skins\\bin", path + u"/skins/bin"},
      {u"%app_name%.txt", u"base_tests.txt"},
      {u"%windows%\\Tmail.exe", u"/usr/bin/Tmail.exe"},
      {u"%startup%", from_utf8(std::getenv("XDG_CONFIG_HOME")) + u"/autostart"},
      {u"%program_files%", path.substr(0, path.rfind(u'/'))},
      // Not at the start, another case, or cut short: copied, separators turned.
      {u"x%app_path%\\a", u"x%app_path%/a"},
      {u"%APP_PATH%\\a", u"%APP_PATH%/a"},
      {u"%app_path%%app_name%", path + u"%app_name%"},
      {u"C:\\Temp\\a.txt", u"C:/Temp/a.txt"}};
  for (const auto& [in, out] : cases) EXPECT_EQ(expand_path(in), out) << to_utf8(in);
  // The pictures folder's own name is kept: only the text after the macro turns.
  test::ScopedEnv env;
  env.set("LUMIVIEW_PICTURES", "/srv/odd\\name");
  EXPECT_EQ(expand_path(u"%my_documents%\\b.jpg"), u"/srv/odd\\name/b.jpg");
}

TEST(Settings, CaseMappingRoundTripsAndFolderOf) {
  EXPECT_EQ(to_lower(u"IMG_0001.JPG \u00C4\u00DF\u00D7\u0178 \u041F\u0401 \u0141\u03A3"),
            u"img_0001.jpg \u00E4\u00DF\u00D7\u00FF \u043F\u0451 \u0142\u03C3");
  EXPECT_EQ(to_upper(u"\u00E4\u00F7\u00FF \u0436\u0491 \u0107\u017C \u03C3\u03C2\u03AC"),
            u"\u00C4\u00F7\u0178 \u0416\u0490 \u0106\u017B \u03A3\u03A3\u0386");
  // Every letter that lower-cases goes back to itself, and upper and lower
  // case letters never both change.
  for (uint32_t c = 0; c < 0x10000; ++c) {
    const std::u16string one(1, static_cast<char16_t>(c));
    if (const std::u16string lower = to_lower(one); lower != one) {
      ASSERT_EQ(to_upper(lower), one) << std::hex << c;
      ASSERT_EQ(to_upper(one), one) << std::hex << c;
    }
  }
  EXPECT_EQ(folder_of(u"\\Storage Card\\DCIM\\x.jpg"), u"\\Storage Card\\DCIM\\");
  EXPECT_EQ(folder_of(u"name.jpg"), u"");
}

}  // namespace
}  // namespace lv
