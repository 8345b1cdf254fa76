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
  void write_languages(std::initializer_list<const char*> names, const std::string& folder) {
    for (const char* name : names)
      test::write_file(folder + "/" + name, test::utf16le_file(u"Which=" + from_utf8(name)));
  }
  // The file load_language_at_start chose, by its "Which" text.
  std::u16string started(const std::string& folder) {
    LanguageTable table;
    EXPECT_TRUE(load_language_at_start(table, kAppName, from_utf8(folder)));
    return table.lookup(u"Which");
  }
  void remember(std::u16string_view name) {
    ASSERT_TRUE(set_string(app_settings_key(), u"Language", name));
  }

  test::ScopedEnv m_env;
  std::string m_dir = test::make_temp_dir("lang");
  std::u16string m_folder = from_utf8(m_dir);
};

TEST_F(LanguageTest, LoadReplacesTheTableOnlyOnSuccessAndLookupFallsBackToTheKey) {
  LanguageTable table;
  EXPECT_EQ(table.lookup(u"NoSkins"), u"NoSkins");
  write_languages({"german.lng"}, m_dir);
  test::write_file(m_dir + "/latin1.lng", "Empty=\nB=3\n");
  ASSERT_TRUE(table.load(m_folder + u"/GERMAN.lng"));  // names match ignoring case
  EXPECT_EQ(table.path(), m_folder + u"/german.lng");  // the name on disk
  ASSERT_TRUE(table.load(m_folder + u"/latin1.lng"));
  EXPECT_EQ(table.lookup(u"Empty"), u"");       // present but empty is not missing
  EXPECT_EQ(table.lookup(u"Which"), u"Which");  // nothing of the old file is left
  EXPECT_EQ(table.lookup(u"b"), u"b");

  for (std::u16string path : {m_folder + u"/missing.lng", m_folder, m_folder + u"/GERM?N.lng"})
    EXPECT_FALSE(table.load(path)) << to_utf8(path);
  // No loadable language at start leaves the table as it was too.
  std::filesystem::create_directories(m_dir + "/empty/english.lng");  // a folder, not a file
  EXPECT_FALSE(load_language_at_start(table, kAppName, m_folder + u"/empty"));
  EXPECT_FALSE(load_language_at_start(table, kAppName, m_folder + u"/vanished"));
  EXPECT_EQ(table.lookup(u"B"), u"3");
  EXPECT_EQ(table.path(), m_folder + u"/latin1.lng");
}

TEST_F(LanguageTest, StartTriesRememberedThenUsersThenEnglishThenAnyFile) {
  write_languages({"AAA.lng", "english.lng", "german.lng", "RUSSIAN.lng", "outside.lng"}, m_dir);
  m_env.set("LANG", "de_DE.UTF-8");
  EXPECT_EQ(started(m_dir), u"german.lng");  // GERMAN.lng before english.lng
  // The first set locale variable decides; an empty one is not set.
  m_env.set("LC_MESSAGES", "ru_RU.UTF-8");
  m_env.set("LC_ALL", "");
  EXPECT_EQ(started(m_dir), u"RUSSIAN.lng");
  m_env.set("LC_ALL", "C.UTF-8");  // names no language
  EXPECT_EQ(started(m_dir), u"english.lng");
  m_env.unset("LC_ALL");
  m_env.unset("LC_MESSAGES");

  remember(u"russian");
  EXPECT_EQ(started(m_dir), u"RUSSIAN.lng");
  // A remembered file that is gone, or outside the folder, is passed over.
  const std::string inner = m_dir + "/inner";
  std::filesystem::create_directories(inner + "/folder.lng");
  write_languages({"german.lng", "notes.txt"}, inner);
  for (const char16_t* remembered : {u"klingon", u"../outside"}) {
    remember(remembered);
    EXPECT_EQ(started(inner), u"german.lng") << to_utf8(remembered);
  }

  // Then every *.lng in search order; one that cannot load is passed over.
  m_env.set("LANG", "fr_FR.UTF-8");
  std::filesystem::remove(m_dir + "/english.lng");
  std::filesystem::resize_file(m_dir + "/AAA.lng", kMaxKeyValueFileBytes + 1);
  remember(u"");
  EXPECT_EQ(started(m_dir), u"RUSSIAN.lng");

  // Listing counts only the language files of the folder itself.
  EXPECT_EQ(list_language_files(m_folder + u"/inner"),
            std::vector<std::u16string>{m_folder + u"/inner/german.lng"});
  EXPECT_FALSE(has_several_languages(m_folder + u"/inner"));
  EXPECT_TRUE(has_several_languages(m_folder));
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
