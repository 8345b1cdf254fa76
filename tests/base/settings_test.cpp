// The settings store, the path macros and letter case, the key-value text
// files and the language files made of them, and the command line.

#include "base/settings.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/command_line.h"
#include "base/key_value_file.h"
#include "base/language.h"
#include "base/log_capture.h"
#include "base/system_language.h"
#include "platform/text.h"
#include "support/scoped_env.h"
#include "support/test_env.h"

namespace lv {
namespace {

using Arguments = std::vector<std::u16string>;

TEST(Settings, KindRulesAndRoots) {
  const std::u16string machine = u"HKEY_LOCAL_MACHINE\\Software\\KARU";
  ASSERT_TRUE(set_number(kKaruKey, u"Number", 3) && set_string(kKaruKey, u"String", u"3") &&
              set_string(kKaruKey, u"Empty", u"") && set_number(machine, u"Number", 7));
  // Reading the other kind, or what is not there, fails and keeps the out value.
  uint32_t number = 99;
  std::u16string text = u"unchanged";
  EXPECT_FALSE(get_number(kKaruKey, u"String", number) || get_number(kKaruKey, u"Empty", number) ||
               get_number(kKaruKey, u"Missing", number) || get_string(kKaruKey, u"Number", text) ||
               get_string(kKaruKey, u"Missing", text));
  EXPECT_EQ(std::pair(number, text), std::pair(99u, std::u16string(u"unchanged")));
  EXPECT_TRUE(get_string(kKaruKey, u"Empty", text) && text.empty());
  EXPECT_TRUE(get_number(kKaruKey, u"Number", number) && number == 3u);
  EXPECT_TRUE(get_number(machine, u"Number", number) && number == 7u);
  // Without a known root nothing is written.
  EXPECT_FALSE(set_string(u"hkey_current_user\\Software\\KARU", u"Unknown", u"x") ||
               set_number(u"Software\\KARU", u"Unknown", 1));
}

TEST(Settings, MacrosExpandOnlyAtTheStartAndFolderOfKeepsTheSeparator) {
  const std::u16string path = app_path();
  test::ScopedEnv env;
  env.set("LUMIVIEW_PICTURES", "/srv/odd\\name");
  EXPECT_EQ(expand_path(u"%app_path%\\skins\\bin"), path + u"/skins/bin");
  // The pictures folder's own name is kept: only the text after the macro turns.
  EXPECT_EQ(expand_path(u"%my_documents%\\b.jpg"), u"/srv/odd\\name/b.jpg");
  EXPECT_EQ(expand_path(u"x%app_path%\\a"), u"x%app_path%/a");  // not at the start
  EXPECT_EQ(folder_of(u"\\Storage Card\\DCIM\\x.jpg"), u"\\Storage Card\\DCIM\\");
  EXPECT_EQ(folder_of(u"name.jpg"), u"");
}

TEST(Settings, CaseMappingAtBothEndsOfEveryRange) {
  // Both ends of each case range in upper and lower case; then letters
  // without a one-to-one partner and the neighbours of ranges, which stay.
  const std::u16string upper =
      u"AZ\u00C0\u00DE\u0178\u0100\u012E\u0139\u0147\u014A\u0176\u0179\u017D\u0391\u03AB\u0386"
      u"\u038A\u038C\u038F\u0400\u040F\u0410\u042F\u0460\u0480\u04BE\u04C0\u04C1\u04CD\u052E";
  const std::u16string lower =
      u"az\u00E0\u00FE\u00FF\u0101\u012F\u013A\u0148\u014B\u0177\u017A\u017E\u03B1\u03CB\u03AC"
      u"\u03AF\u03CC\u03CE\u0450\u045F\u0430\u044F\u0461\u0481\u04BF\u04CF\u04C2\u04CE\u052F";
  const std::u16string same = u"@[`{09\u00D7\u00F7\u00DF\u0130\u0131\u0138\u0149\u017F\u03A2\u0482";
  EXPECT_EQ(to_lower(upper + same), lower + same);
  EXPECT_EQ(to_upper(lower + same + u"\u03C2"), upper + same + u"\u03A3");  // final sigma too
}

TEST(KeyValueFile, LineSyntaxAndEncodings) {
  KeyValueMap map{{u"keep", u"old"}, {u"dup", u"old"}};
  parse_key_value_text(
      u"a=word\nb   word\nc= word\nd\tword\r\ne \t word\r"
      u"   indented=yes\n\t\ttabbed value with  inner  blanks  \n=no key\n   \n\r\r\n"
      u"bare\nempty=\nspaced = x\neq=a=b\n#hash comment\ndup=first\ndup=second",
      map);
  // Parsing adds to the map. A blank right after '=' belongs to the value,
  // which runs to the end of the line; after a blank separator '=' is value.
  // There is no comment syntax.
  const KeyValueMap expected = {{u"keep", u"old"},      {u"a", u"word"},
                                {u"b", u"word"},        {u"c", u" word"},
                                {u"d", u"word"},        {u"e", u"word"},
                                {u"indented", u"yes"},  {u"tabbed", u"value with  inner  blanks  "},
                                {u"bare", u""},         {u"empty", u""},
                                {u"spaced", u"= x"},    {u"eq", u"a=b"},
                                {u"#hash", u"comment"}, {u"dup", u"second"}};
  EXPECT_EQ(map, expected);
  // Eight-bit bytes are Latin-1; the mark FF FE means UTF-16 little-endian.
  EXPECT_EQ(decode_key_value_bytes("\x01\x7F\x80\xC3\xA9\xFF"),
            u"\u0001\u007F\u0080\u00C3\u00A9\u00FF");
  EXPECT_EQ(decode_key_value_bytes(test::utf16le_file(u"\u041f\U0001F600")), u"\u041f\U0001F600");
  EXPECT_EQ(decode_key_value_bytes(test::utf16le_file(u"ab") + "c"), u"ab");  // odd last byte
  EXPECT_EQ(decode_key_value_bytes("\xFF\xFE\x41"), u"");
  // A lone FF does not switch encodings.
  EXPECT_EQ(decode_key_value_bytes("\xFF"), u"\u00ff");
}

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

  test::ScopedEnv m_env;
  std::string m_dir = test::make_temp_dir("lang");
  std::u16string m_folder = from_utf8(m_dir);
};

TEST_F(LanguageTest, LoadReplacesTheTableOnlyOnSuccessAndLookupFallsBackToTheKey) {
  LanguageTable table;
  write_languages({"german.lng"}, m_dir);
  test::write_file(m_dir + "/latin1.lng", "Empty=\nB=3\n");
  ASSERT_TRUE(table.load(m_folder + u"\\GERMAN.lng"));  // names match ignoring case
  EXPECT_EQ(table.path(), m_folder + u"/german.lng");   // the name on disk
  ASSERT_TRUE(table.load(m_folder + u"/latin1.lng"));
  EXPECT_EQ(table.lookup(u"Empty"), u"");  // present but empty is not missing
  EXPECT_EQ(table.lookup(u"b") + table.lookup(u"Which"), u"bWhich");  // missing: the key

  for (std::u16string path : {m_folder + u"/missing.lng", m_folder, m_folder + u"/GERM?N.lng"})
    EXPECT_FALSE(table.load(path)) << to_utf8(path);
  // No loadable language at start leaves the table as it was too.
  std::filesystem::create_directories(m_dir + "/empty/english.lng");  // a folder, not a file
  EXPECT_FALSE(load_language_at_start(table, kAppName, m_folder + u"/empty"));
  EXPECT_EQ(table.lookup(u"B"), u"3");
  EXPECT_EQ(table.path(), m_folder + u"/latin1.lng");
}

TEST_F(LanguageTest, StartTriesRememberedThenUsersThenEnglishThenAnyFile) {
  write_languages({"AAA.lng", "english.lng", "german.lng", "RUSSIAN.lng", "outside.lng"}, m_dir);
  m_env.set("LANG", "de_DE.UTF-8");
  EXPECT_EQ(started(m_dir), u"german.lng");  // GERMAN.lng before english.lng
  m_env.set("LC_MESSAGES", "C.UTF-8");       // the first set locale variable decides: no language
  EXPECT_EQ(started(m_dir), u"english.lng");
  ASSERT_TRUE(set_string(app_settings_key(), u"Language", u"russian"));
  EXPECT_EQ(started(m_dir), u"RUSSIAN.lng");

  // A remembered file that is gone, or outside the folder, is passed over.
  const std::string inner = m_dir + "/inner";
  std::filesystem::create_directories(inner + "/folder.lng");
  write_languages({"german.lng"}, inner);
  for (const char16_t* remembered : {u"klingon", u"../outside"}) {
    ASSERT_TRUE(set_string(app_settings_key(), u"Language", remembered));
    EXPECT_EQ(started(inner), u"german.lng") << to_utf8(remembered);
  }
  // Then every *.lng in search order; one that cannot load (beyond the size
  // bound of a key-value file) is passed over.
  std::filesystem::remove(m_dir + "/english.lng");
  std::filesystem::resize_file(m_dir + "/AAA.lng", kMaxKeyValueFileBytes + 1);
  EXPECT_EQ(started(m_dir), u"RUSSIAN.lng");
  // Malformed locale names and language numbers name nothing.
  for (const char* none : {"", "POSIX", "deu_DE", "_DE"})
    EXPECT_EQ(primary_language_of_locale(none), 0u) << none;
  EXPECT_EQ(system_language_name(0xFFFFFFFFu), u"");
}

TEST(CommandLine, SplittingGivesBackWhatWasJoinedAndArgumentsBecomePaths) {
  // A backslash before the closing quote must not escape it.
  const Arguments arguments = {u"",          u"/with blank/a.jpg", u"tab\there", u"say \"hi\"",
                               u"ends in\\", u"C:\\no\\blanks",    u"\\\"",      u""};
  EXPECT_EQ(split_command_line(join_command_line(arguments)), arguments);
  // Inside quotes only \" and \\ are escapes.
  const std::pair<std::u16string, Arguments> written[] = {
      {u"  a \t \"b c\"d  ", {u"a", u"b cd"}},
      {u"\"unclosed quote", {u"unclosed quote"}},
      {u"back\\slash \"q\\\\\"", {u"back\\slash", u"q\\"}},
      {u"   ", {}}};
  for (const auto& [line, arguments] : written)
    EXPECT_EQ(split_command_line(line), arguments) << to_utf8(line);

  // Arguments become paths any working folder can open. A colon alone makes no URI; an escape that
  // is none stays. Other hosts, NULs, bytes that are no UTF-8 and other schemes are kept as given:
  // the running instance says it cannot open them.
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"a.jpg", u"/home/u/a.jpg"},
      {u"12:30.jpg", u"/home/u/12:30.jpg"},
      {u"file:///home/u/%C3%A4%20x.jpg", u"/home/u/\u00e4 x.jpg"},
      {u"FILE://localhost/a%2fb.jpg", u"/a/b.jpg"},
      {u"file:///100%25%zz.jpg", u"/100%%zz.jpg"},
      {u"file://otherhost/a.jpg", u"file://otherhost/a.jpg"},
      {u"file:///a%00.jpg", u"file:///a%00.jpg"},
      {u"file:///%FF.jpg", u"file:///%FF.jpg"},
  };
  for (const auto& [argument, expected] : cases)
    EXPECT_EQ(absolute_argument(argument, u"/home/u"), expected) << to_utf8(argument);
  EXPECT_EQ(absolute_argument(u"a.jpg", u""), u"a.jpg");  // no working folder to be had
}

}  // namespace
}  // namespace lv
