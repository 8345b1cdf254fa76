#include "app/base/language.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "app/base/settings.h"
#include "app/base/system_language.h"
#include "platform/text.h"
#include "support/test_env.h"

namespace lv {
namespace {

std::string utf16le_with_mark(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

// Each language file says which one it is under the key "Which".
void write_language(const std::string& folder, const std::string& name) {
  test::write_file(folder + "/" + name, utf16le_with_mark(u"Which=" + from_utf8(name) + u"\r\n"));
}

// Saves and restores the locale variables, so that tests run in one process
// do not see each other's settings.
class LocaleEnvironment {
 public:
  LocaleEnvironment() {
    for (size_t i = 0; i < 3; ++i) {
      const char* value = std::getenv(kNames[i]);
      if (value) m_saved[i] = value;
      unsetenv(kNames[i]);
    }
  }
  ~LocaleEnvironment() {
    for (size_t i = 0; i < 3; ++i) {
      if (m_saved[i])
        setenv(kNames[i], m_saved[i]->c_str(), 1);
      else
        unsetenv(kNames[i]);
    }
  }

 private:
  static constexpr const char* kNames[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::optional<std::string> m_saved[3];
};

class LanguageTest : public testing::Test {
 protected:
  void TearDown() override { set_string(app_settings_key(), u"Language", u""); }

  std::u16string folder() const { return from_utf8(m_dir); }
  bool start(LanguageTable& table) { return load_language_at_start(table, kAppName, folder()); }

  LocaleEnvironment m_locale;
  std::string m_dir = test::make_temp_dir("lang");
};

TEST_F(LanguageTest, LookupAnswersTheTextOrTheKey) {
  LanguageTable table;
  EXPECT_EQ(table.lookup(u"NoSkins"), u"NoSkins");
  EXPECT_EQ(table.path(), u"");

  test::write_file(m_dir + "/x.lng",
                   utf16le_with_mark(u"Cancel=\u041e\u0442\u043c\u0435\u043d\u0430\r\nEmpty=\r\n"));
  ASSERT_TRUE(table.load(folder() + u"/x.lng"));
  EXPECT_EQ(table.lookup(u"Cancel"), u"\u041e\u0442\u043c\u0435\u043d\u0430");
  EXPECT_EQ(table.lookup(u"Empty"), u"");  // present but empty is not missing
  EXPECT_EQ(table.lookup(u"cancel"), u"cancel");
  EXPECT_EQ(table.path(), folder() + u"/x.lng");
}

TEST_F(LanguageTest, LoadReplacesTheTableAndFailureKeepsIt) {
  test::write_file(m_dir + "/one.lng", "A=1\nB=2\n");
  test::write_file(m_dir + "/two.lng", "B=3\n");
  LanguageTable table;
  ASSERT_TRUE(table.load(folder() + u"/one.lng"));
  ASSERT_TRUE(table.load(folder() + u"/two.lng"));
  EXPECT_EQ(table.lookup(u"A"), u"A");  // nothing of the old file is left
  EXPECT_EQ(table.lookup(u"B"), u"3");

  EXPECT_FALSE(table.load(folder() + u"/missing.lng"));
  EXPECT_FALSE(table.load(folder()));
  EXPECT_FALSE(table.load(u""));
  EXPECT_EQ(table.lookup(u"B"), u"3");
  EXPECT_EQ(table.path(), folder() + u"/two.lng");
}

TEST_F(LanguageTest, FileNamesMatchWithoutRegardToCase) {
  write_language(m_dir, "german.lng");
  LanguageTable table;
  ASSERT_TRUE(table.load(folder() + u"/GERMAN.lng"));
  EXPECT_EQ(table.lookup(u"Which"), u"german.lng");
  EXPECT_EQ(table.path(), folder() + u"/german.lng");  // the name on disk
  EXPECT_FALSE(table.load(folder() + u"/GERM?N.lng"));
  EXPECT_FALSE(table.load(folder() + u"/*.lng"));
  EXPECT_EQ(table.lookup(u"Which"), u"german.lng");
}

TEST_F(LanguageTest, UserLanguageIsTriedBeforeEnglish) {
  write_language(m_dir, "aaa.lng");
  write_language(m_dir, "english.lng");
  write_language(m_dir, "german.lng");
  setenv("LANG", "de_DE.UTF-8", 1);
  LanguageTable table;
  ASSERT_TRUE(start(table));
  EXPECT_EQ(table.lookup(u"Which"), u"german.lng");

  // Without a file for the user's language, english comes next.
  std::filesystem::remove(m_dir + "/german.lng");
  ASSERT_TRUE(start(table));
  EXPECT_EQ(table.lookup(u"Which"), u"english.lng");
}

TEST_F(LanguageTest, LocaleVariablesAreReadInPosixPrecedence) {
  write_language(m_dir, "english.lng");
  write_language(m_dir, "german.lng");
  write_language(m_dir, "RUSSIAN.lng");
  LanguageTable table;

  setenv("LANG", "de_DE.UTF-8", 1);
  setenv("LC_MESSAGES", "ru_RU.UTF-8", 1);
  ASSERT_TRUE(start(table));
  EXPECT_EQ(table.lookup(u"Which"), u"RUSSIAN.lng");

  setenv("LC_ALL", "", 1);  // set but empty: ignored
  ASSERT_TRUE(start(table));
  EXPECT_EQ(table.lookup(u"Which"), u"RUSSIAN.lng");

  setenv("LC_ALL", "C.UTF-8", 1);  // the first set one decides, and names no language
  ASSERT_TRUE(start(table));
  EXPECT_EQ(table.lookup(u"Which"), u"english.lng");
}

TEST_F(LanguageTest, RememberedLanguageWins) {
  write_language(m_dir, "english.lng");
  write_language(m_dir, "german.lng");
  write_language(m_dir, "russian.lng");
  setenv("LANG", "de_DE.UTF-8", 1);
  ASSERT_TRUE(set_string(app_settings_key(), u"Language", u"russian"));
  LanguageTable table;
  ASSERT_TRUE(start(table));
  EXPECT_EQ(table.lookup(u"Which"), u"russian.lng");

  // A remembered language whose file is gone falls back to the user's.
  ASSERT_TRUE(set_string(app_settings_key(), u"Language", u"klingon"));
  ASSERT_TRUE(start(table));
  EXPECT_EQ(table.lookup(u"Which"), u"german.lng");
}

TEST_F(LanguageTest, RememberedNameCannotReachOutOfTheFolder) {
  write_language(m_dir, "outside.lng");
  const std::string inner = m_dir + "/inner";
  std::filesystem::create_directory(inner);
  write_language(inner, "english.lng");
  setenv("LANG", "C", 1);
  ASSERT_TRUE(set_string(app_settings_key(), u"Language", u"../outside"));
  LanguageTable table;
  ASSERT_TRUE(load_language_at_start(table, kAppName, from_utf8(inner)));
  EXPECT_EQ(table.lookup(u"Which"), u"english.lng");
}

TEST_F(LanguageTest, FallsBackToAnyLanguageFileInSearchOrder) {
  // The first file found cannot be loaded (beyond the size bound).
  write_language(m_dir, "a.lng");
  std::filesystem::resize_file(m_dir + "/a.lng", kMaxKeyValueFileBytes + 1);
  write_language(m_dir, "b.lng");
  write_language(m_dir, "c.lng");
  write_language(m_dir, "english.txt");
  setenv("LANG", "fr_FR.UTF-8", 1);
  LanguageTable table;
  ASSERT_TRUE(start(table));
  EXPECT_EQ(table.lookup(u"Which"), u"b.lng");
  EXPECT_EQ(table.path(), folder() + u"/b.lng");
}

TEST_F(LanguageTest, NoLoadableLanguageAnswersFalseAndKeepsTheTable) {
  write_language(m_dir, "kept.lng");
  LanguageTable table;
  ASSERT_TRUE(table.load(folder() + u"/kept.lng"));

  const std::string empty = m_dir + "/empty";
  std::filesystem::create_directory(empty);
  std::filesystem::create_directory(empty + "/english.lng");  // a folder, not a file
  setenv("LANG", "en_GB.UTF-8", 1);
  EXPECT_FALSE(load_language_at_start(table, kAppName, from_utf8(empty)));
  EXPECT_FALSE(load_language_at_start(table, kAppName, from_utf8(m_dir + "/vanished")));
  EXPECT_EQ(table.path(), folder() + u"/kept.lng");
  EXPECT_EQ(table.lookup(u"Which"), u"kept.lng");
}

TEST_F(LanguageTest, ListingCountsOnlyLanguageFilesOfTheFolderItself) {
  EXPECT_FALSE(has_several_languages(folder()));
  EXPECT_TRUE(list_language_files(folder()).empty());

  write_language(m_dir, "b.lng");
  std::filesystem::create_directory(m_dir + "/sub");
  write_language(m_dir + "/sub", "d.lng");
  std::filesystem::create_directory(m_dir + "/folder.lng");
  write_language(m_dir, "notes.txt");
  EXPECT_FALSE(has_several_languages(folder()));

  write_language(m_dir, "A.LNG");
  write_language(m_dir, "c.lng");
  EXPECT_TRUE(has_several_languages(folder()));
  const std::vector<std::u16string> expected = {folder() + u"/A.LNG", folder() + u"/b.lng",
                                                folder() + u"/c.lng"};
  EXPECT_EQ(list_language_files(folder()), expected);
}

TEST(LanguageNamesTest, FilePathsAndNames) {
  EXPECT_EQ(language_file_path(u"/opt/lv", u"english"), u"/opt/lv/english.lng");
  EXPECT_EQ(language_file_path(u"/opt/lv/", u"english"), u"/opt/lv/english.lng");
  EXPECT_EQ(language_name_of(u"/opt/lv/russian.lng"), u"russian");
  EXPECT_EQ(language_name_of(u"/opt/lv/GERMAN.LNG"), u"GERMAN");
  EXPECT_EQ(language_name_of(u"C:\\lv\\a.b.lng"), u"a.b");
  EXPECT_EQ(language_name_of(u"plain"), u"plain");
}

TEST(SystemLanguageTest, NamesFollowThePrimaryIdentifiers) {
  EXPECT_EQ(system_language_name(0x01), u"ARABIC");
  EXPECT_EQ(system_language_name(0x07), u"GERMAN");
  EXPECT_EQ(system_language_name(0x09), u"ENGLISH");
  EXPECT_EQ(system_language_name(0x0A), u"SPANISH");
  EXPECT_EQ(system_language_name(0x19), u"RUSSIAN");
  EXPECT_EQ(system_language_name(0x61), u"NEPALI");
  EXPECT_EQ(system_language_code(0x61), "ne");
  for (uint32_t none : {0u, 0x30u, 0x3Du, 0x55u, 98u, 99u, 0x3FFu, 0xFFFFFFFFu}) {
    EXPECT_EQ(system_language_name(none), u"") << none;
    EXPECT_EQ(system_language_code(none), "") << none;
  }
}

TEST(SystemLanguageTest, EveryCodeLeadsBackToItsIdentifier) {
  int named = 0;
  for (uint32_t id = 1; id < kSystemLanguageLimit; ++id) {
    if (system_language_name(id).empty()) continue;
    ++named;
    const std::string_view code = system_language_code(id);
    EXPECT_TRUE(code.size() == 2 || code.size() == 3) << id;
    EXPECT_EQ(primary_language_of_code(code), id) << code;
    for (char16_t c : system_language_name(id)) EXPECT_TRUE((c >= u'A' && c <= u'Z') || c == u'_');
  }
  EXPECT_EQ(named, 91);
}

TEST(SystemLanguageTest, LocaleNames) {
  EXPECT_EQ(primary_language_of_locale("de_DE.UTF-8"), 0x07u);
  EXPECT_EQ(primary_language_of_locale("de"), 0x07u);
  EXPECT_EQ(primary_language_of_locale("EN_us"), 0x09u);
  EXPECT_EQ(primary_language_of_locale("pt_BR"), 0x16u);
  EXPECT_EQ(primary_language_of_locale("nb_NO.UTF-8"), 0x14u);
  EXPECT_EQ(primary_language_of_locale("no_NO"), 0x14u);
  EXPECT_EQ(primary_language_of_locale("sr_RS@latin"), 0x1Au);
  EXPECT_EQ(primary_language_of_locale("ru@euro"), 0x19u);
  EXPECT_EQ(primary_language_of_locale("kok_IN"), 0x57u);
  for (const char* none : {"", "C", "POSIX", "C.UTF-8", "x", "deu_DE", "d1", "fy_NL", "_DE"})
    EXPECT_EQ(primary_language_of_locale(none), 0u) << none;
}

TEST(SystemLanguageTest, UserLanguageName) {
  LocaleEnvironment locale;
  EXPECT_EQ(user_language_name(), u"");
  setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(user_language_name(), u"GERMAN");
  setenv("LC_MESSAGES", "uk_UA.UTF-8", 1);
  EXPECT_EQ(user_language_name(), u"UKRAINIAN");
  setenv("LC_ALL", "ja_JP.UTF-8", 1);
  EXPECT_EQ(user_language_name(), u"JAPANESE");
  setenv("LC_ALL", "POSIX", 1);
  EXPECT_EQ(user_language_name(), u"");
}

TEST(ShippedLanguagesTest, HoldEveryKeyInBothLanguages) {
  const char16_t* keys[] = {
      u"NoSkins", u"Delete", u"Send",   u"Properties", u"Cancel", u"Original", u"Large", u"Medium",
      u"Small",   u"Name",   u"Folder", u"Resolution", u"Size",   u"Date",     u"Time",  u"byte",
      u"kbyte",   u"mbyte",  u"of",     u"Options",    u"Skin",   u"Language"};
  KeyValueMap english, russian;
  ASSERT_TRUE(read_key_value_file(from_utf8(test::source_path("lang/english.lng")), english));
  ASSERT_TRUE(read_key_value_file(from_utf8(test::source_path("lang/russian.lng")), russian));
  for (const char16_t* key : keys) {
    ASSERT_TRUE(english.contains(key)) << to_utf8(key);
    ASSERT_TRUE(russian.contains(key)) << to_utf8(key);
    EXPECT_FALSE(english.at(key).empty()) << to_utf8(key);
    EXPECT_NE(english.at(key), russian.at(key)) << to_utf8(key);
  }
  EXPECT_EQ(english.at(u"Cancel"), u"Cancel");
  EXPECT_EQ(russian.at(u"Cancel"), u"\u041e\u0442\u043c\u0435\u043d\u0430");
  // Both files offer the same keys, so that no text falls back to its key in one.
  ASSERT_EQ(english.size(), russian.size());
  for (const auto& [key, text] : english) EXPECT_TRUE(russian.contains(key)) << to_utf8(key);

  for (const char* name : {"lang/english.lng", "lang/russian.lng"})
    EXPECT_EQ(test::read_file(test::source_path(name)).substr(0, 2), "\xFF\xFE") << name;
}

}  // namespace
}  // namespace lv
