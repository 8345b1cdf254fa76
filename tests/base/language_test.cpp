#include "base/language.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/log_capture.h"
#include "base/settings.h"
#include "base/system_language.h"
#include "platform/text.h"
#include "support/scoped_env.h"
#include "support/test_env.h"

namespace lv {
namespace {

class LanguageTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) m_env.unset(name);
  }
  void TearDown() override { set_string(app_settings_key(), u"Language", u""); }

  // Each language file says which one it is under the key "Which".
  void write_language(const std::string& name, const std::string& folder = {}) {
    test::write_file((folder.empty() ? m_dir : folder) + "/" + name,
                     test::utf16le_file(u"Which=" + from_utf8(name) + u"\r\n"));
  }
  std::u16string folder() const { return from_utf8(m_dir); }
  // The file load_language_at_start chose, by its "Which" text.
  std::u16string started(const std::string& dir = {}) {
    LanguageTable table;
    EXPECT_TRUE(load_language_at_start(table, kAppName, from_utf8(dir.empty() ? m_dir : dir)));
    return table.lookup(u"Which");
  }

  test::ScopedEnv m_env;
  std::string m_dir = test::make_temp_dir("lang");
};

TEST_F(LanguageTest, LoadReplacesTheTableOnlyOnSuccessAndLookupFallsBackToTheKey) {
  LanguageTable table;
  EXPECT_EQ(table.lookup(u"NoSkins"), u"NoSkins");
  write_language("german.lng");
  test::write_file(m_dir + "/latin1.lng", "Empty=\nB=3\n");
  ASSERT_TRUE(table.load(folder() + u"/GERMAN.lng"));  // names match ignoring case
  EXPECT_EQ(table.path(), folder() + u"/german.lng");  // the name on disk
  ASSERT_TRUE(table.load(folder() + u"/latin1.lng"));
  EXPECT_EQ(table.lookup(u"Empty"), u"");       // present but empty is not missing
  EXPECT_EQ(table.lookup(u"Which"), u"Which");  // nothing of the old file is left
  EXPECT_EQ(table.lookup(u"b"), u"b");

  for (std::u16string path : {folder() + u"/missing.lng", folder(), folder() + u"/GERM?N.lng"})
    EXPECT_FALSE(table.load(path)) << to_utf8(path);
  // No loadable language at start leaves the table as it was too.
  std::filesystem::create_directories(m_dir + "/empty/english.lng");  // a folder, not a file
  EXPECT_FALSE(load_language_at_start(table, kAppName, folder() + u"/empty"));
  EXPECT_FALSE(load_language_at_start(table, kAppName, folder() + u"/vanished"));
  EXPECT_EQ(table.lookup(u"B"), u"3");
  EXPECT_EQ(table.path(), folder() + u"/latin1.lng");
}

TEST_F(LanguageTest, StartTriesRememberedThenUsersThenEnglishThenAnyFile) {
  for (const char* name : {"AAA.lng", "english.lng", "german.lng", "RUSSIAN.lng", "outside.lng"})
    write_language(name);
  m_env.set("LANG", "de_DE.UTF-8");
  EXPECT_EQ(started(), u"german.lng");  // GERMAN.lng before english.lng
  // The first set locale variable decides; an empty one is not set.
  m_env.set("LC_MESSAGES", "ru_RU.UTF-8");
  m_env.set("LC_ALL", "");
  EXPECT_EQ(started(), u"RUSSIAN.lng");
  m_env.set("LC_ALL", "C.UTF-8");  // names no language
  EXPECT_EQ(started(), u"english.lng");
  m_env.unset("LC_ALL");
  m_env.unset("LC_MESSAGES");

  ASSERT_TRUE(set_string(app_settings_key(), u"Language", u"russian"));
  EXPECT_EQ(started(), u"RUSSIAN.lng");
  // A remembered file that is gone, or outside the folder, is passed over.
  const std::string inner = m_dir + "/inner";
  std::filesystem::create_directories(inner);
  write_language("german.lng", inner);
  for (const char16_t* remembered : {u"klingon", u"../outside"}) {
    ASSERT_TRUE(set_string(app_settings_key(), u"Language", remembered));
    EXPECT_EQ(started(inner), u"german.lng") << to_utf8(remembered);
  }

  // Then every *.lng in search order; one that cannot load is passed over.
  m_env.set("LANG", "fr_FR.UTF-8");
  std::filesystem::remove(m_dir + "/english.lng");
  std::filesystem::resize_file(m_dir + "/AAA.lng", kMaxKeyValueFileBytes + 1);
  ASSERT_TRUE(set_string(app_settings_key(), u"Language", u""));
  EXPECT_EQ(started(), u"RUSSIAN.lng");

  // Listing counts only the language files of the folder itself.
  std::filesystem::create_directories(inner + "/folder.lng");
  write_language("notes.txt", inner);
  EXPECT_EQ(list_language_files(folder() + u"/inner"),
            std::vector<std::u16string>{folder() + u"/inner/german.lng"});
  EXPECT_FALSE(has_several_languages(folder() + u"/inner"));
  EXPECT_TRUE(has_several_languages(folder()));
  EXPECT_EQ(language_name_of(u"C:\\lv\\a.b.LNG"), u"a.b");
}

TEST(SystemLanguageTest, IdentifiersAndLocaleNames) {
  EXPECT_EQ(system_language_name(0x07), u"GERMAN");
  for (uint32_t id = 0; id < kSystemLanguageLimit; ++id) {
    EXPECT_TRUE(system_language_name(id).empty() ||
                primary_language_of_code(system_language_code(id)) == id)
        << id;
  }
  EXPECT_EQ(system_language_name(0xFFFFFFFFu), u"");
  EXPECT_EQ(primary_language_of_locale("EN_us"), 0x09u);
  EXPECT_EQ(primary_language_of_locale("no_NO"), 0x14u);  // also nb
  EXPECT_EQ(primary_language_of_locale("sr_RS@latin"), 0x1Au);
  for (const char* none : {"", "C", "POSIX", "C.UTF-8", "deu_DE", "_DE"})
    EXPECT_EQ(primary_language_of_locale(none), 0u) << none;
}

}  // namespace
}  // namespace lv
