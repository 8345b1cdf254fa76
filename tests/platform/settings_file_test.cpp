#include "platform/settings_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "support/test_env.h"

namespace lv::platform {
namespace {

constexpr std::u16string_view kKaru = u"HKEY_CURRENT_USER\\Software\\KARU";
constexpr std::u16string_view kApp = u"HKEY_CURRENT_USER\\Software\\KARU\\Lumiview";
const std::string kKaruHeader = "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\KARU]\n";

// A value as text: "string:TEXT", "dword:N" (in decimal) or "absent".
std::string value(SettingsFile& file, std::u16string_view key, std::u16string_view name) {
  std::u16string text;
  uint32_t number = 0;
  if (file.get_string(key, name, text)) return "string:" + to_utf8(text);
  return file.get_number(key, name, number) ? "dword:" + std::to_string(number) : "absent";
}

class SettingsFileTest : public testing::Test {
 protected:
  std::string m_folder = test::make_temp_dir("settings");
  std::string m_path = m_folder + "/registry.reg";
};

TEST_F(SettingsFileTest, WritesTheRegedit4LayoutAndReadsHandWrittenFiles) {
  {
    SettingsFile file(m_path);
    ASSERT_TRUE(file.set_number(kKaru, u"Log", 10));
    ASSERT_TRUE(file.set_string(kApp, u"Skin", u"a\\b \"q\"\nnext\r\u20AC"));
    ASSERT_TRUE(file.set_string(kApp, u"na\"me", u"x"));
    ASSERT_TRUE(file.set_string(kApp, u"", u"default value"));
    ASSERT_TRUE(file.set_number(kKaru, u"SIPPreference", 1));
    // Only ASCII letters fold: these are two names.
    ASSERT_TRUE(file.set_string(kApp, u"\u00C4", u"upper"));
    ASSERT_TRUE(file.set_string(kApp, u"\u00E4", u"lower"));
    // The case first written is kept; setting the other kind replaces.
    ASSERT_TRUE(file.set_string(u"HKEY_CURRENT_USER\\\\SOFTWARE\\KARU\\", u"LOG", u"on"));
    // A string is kept up to its first NUL, as the registry hands it back.
    ASSERT_TRUE(file.set_string(kKaru, u"Cut", std::u16string(u"ab\0cd", 5)));
  }
  EXPECT_EQ(test::read_file(m_path),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\KARU]\n"
            "\"Log\"=\"on\"\n\"SIPPreference\"=dword:00000001\n\"Cut\"=\"ab\"\n\n"
            "[HKEY_CURRENT_USER\\Software\\KARU\\Lumiview]\n"
            "\"Skin\"=\"a\\\\b \\\"q\\\"\\nnext\\r\xE2\x82\xAC\"\n\"na\\\"me\"=\"x\"\n"
            "@=\"default value\"\n\"\xC3\x84\"=\"upper\"\n\"\xC3\xA4\"=\"lower\"\n\n");
  SettingsFile again(m_path);
  EXPECT_EQ(value(again, kApp, u"Skin"), "string:a\\b \"q\"\nnext\r\xE2\x82\xAC");

  test::write_file(m_path,
                   "\xEF\xBB\xBFREGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\KARU\\Lumiview]\r\n"
                   "\"SIP\"=dword:FFFFFFFF\r\n  \"Skin\" = \"dark\"  \r\n@=\"the default\"");
  EXPECT_EQ(value(again, kApp, u"SIP"), "dword:4294967295");
  EXPECT_EQ(value(again, u"hkey_current_user\\SOFTWARE\\karu\\lumiview", u"sKIN"), "string:dark");
  EXPECT_EQ(value(again, kApp, u""), "string:the default");
  EXPECT_EQ(value(again, kKaru, u"Log"), "absent");
}

TEST_F(SettingsFileTest, DamagedFileKeepsEveryReadableValue) {
  test::write_file(
      m_path,
      "garbage before anything\n\"Orphan\"=\"no section\"\n"
      "[HKEY_CURRENT_USER\\Software\\KARU]\n; a comment the user wrote\n"
      "\"Log\"=dword:00000001\n\"NoQuotes=\"x\"\nBare=value\n\"Unclosed\"=\"text\n"
      "\"Trailing\"=\"text\" junk\n\"TooLong\"=dword:123456789\n\"NotHex\"=dword:12g4\n"
      "\"Binary\"=hex:01,02,\\\n  03,04\n\"Multi\"=hex(7):41,00,00,00\n\"Weird\"=qword:1\n"
      "\"Dup\"=\"first\"\n\"Dup\"=\"second\"\n\x01\x02\xFF\xFE binary \x80 noise\n"
      "[HKEY_CURRENT_USER\\Software\\KARU\\Lumiview\n\"Lost\"=\"under a broken header\"\n"
      "[HKEY_CURRENT_USER\\Software\\KARU\\Lumiview]\n\"Skin\"=\"default\"\n"
      "\"Language\"=\"a \\\"cut");
  // What cannot be read reads as absent (a file cut off inside a value
  // too); the rewrite below shows what was read.
  SettingsFile file(m_path);
  EXPECT_EQ(value(file, kApp, u"Language"), "absent");
  // The rewrite keeps every readable value, values of kinds the program does
  // not use, and comments; the rest is gone.
  ASSERT_TRUE(file.set_string(kApp, u"Language", u"english"));
  EXPECT_EQ(test::read_file(m_path),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\KARU]\n; a comment the user wrote\n"
            "\"Log\"=dword:00000001\n\"Binary\"=hex:01,02,\\\n03,04\n"
            "\"Multi\"=hex(7):41,00,00,00\n\"Weird\"=qword:1\n\"Dup\"=\"second\"\n\n"
            "[HKEY_CURRENT_USER\\Software\\KARU\\Lumiview]\n\"Skin\"=\"default\"\n"
            "\"Language\"=\"english\"\n\n");
}

TEST_F(SettingsFileTest, SeesChangesMadeFromOutside) {
  const timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 123456789}};
  auto write_log = [&](const std::string& path, char digit) {
    test::write_file(path, kKaruHeader + "\"Log\"=dword:0000000" + digit + "\n");
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), later, 0), 0);
  };
  test::write_file(m_path, kKaruHeader + "\"Log\"=dword:00000000\n");
  SettingsFile file(m_path);
  EXPECT_EQ(value(file, kKaru, u"Log"), "dword:0");
  write_log(m_path, '1');  // same size, same inode: only the time tells
  EXPECT_EQ(value(file, kKaru, u"Log"), "dword:1");
  write_log(m_folder + "/other.reg", '2');  // same size and time: a new inode
  ASSERT_EQ(::rename((m_folder + "/other.reg").c_str(), m_path.c_str()), 0);
  EXPECT_EQ(value(file, kKaru, u"Log"), "dword:2");
  ASSERT_EQ(::unlink(m_path.c_str()), 0);
  EXPECT_EQ(value(file, kKaru, u"Log"), "absent");

  // A write re-reads first, so a value set from outside in between survives.
  test::write_file(m_path, kKaruHeader + "\"Outside\"=\"yes\"\n");
  ASSERT_TRUE(file.set_number(kKaru, u"Log", 3));
  SettingsFile fresh(m_path);
  EXPECT_EQ(value(fresh, kKaru, u"Outside"), "string:yes");
}

// How the file is replaced (whole, through a link, with its mode) is the
// atomic writer's, tested with it.
TEST_F(SettingsFileTest, MakesItsFolderButNeverReplacesWhatItCannotReadOrHold) {
  const std::string nested = m_folder + "/a/b/registry.reg";
  ASSERT_TRUE(SettingsFile(nested).set_number(kKaru, u"Log", 2));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_folder + "/a/b"), {}), 1);
  // A folder where the file should be: nothing reads, nothing is replaced.
  SettingsFile folder(m_folder + "/a/b");
  EXPECT_EQ(value(folder, kKaru, u"Skin"), "absent");
  EXPECT_FALSE(folder.set_string(kKaru, u"Skin", u"dark"));
  // A file too large to be settings is read in part but never rewritten.
  const std::string big = kKaruHeader + "\"Log\"=dword:00000001\n" + std::string(5u << 20, ';');
  test::write_file(m_path, big);
  SettingsFile big_file(m_path);
  EXPECT_EQ(value(big_file, kKaru, u"Log"), "dword:1");
  EXPECT_FALSE(big_file.set_number(kKaru, u"Log", 0));
  EXPECT_EQ(test::read_file(m_path).size(), big.size());
  // Key paths and names it cannot hold.
  SettingsFile file(nested);
  EXPECT_FALSE(file.set_number(u"HKEY_CURRENT_USER\\Soft\nware", u"Log", 1));
  EXPECT_FALSE(file.set_number(kKaru, std::u16string_view(u"L\0g", 3), 1));
  EXPECT_FALSE(file.set_number(u"\\\\", u"Log", 1));
  EXPECT_TRUE(file.set_number(kKaru, u"Line\nBreak", 1));
}

TEST_F(SettingsFileTest, ThreadsAndASecondWriterDoNotLoseValues) {
  SettingsFile file(m_path), other_process(m_path);  // the second as another program's writer
  auto name_of = [](int t) { return u"Thread" + std::u16string(1, char16_t(u'0' + t)); };
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (uint32_t i = 1; i <= 25; ++i)
        EXPECT_TRUE((t % 2 ? other_process : file).set_number(kKaru, name_of(t), i));
    });
  for (auto& t : threads) t.join();
  SettingsFile check(m_path);
  for (int t = 0; t < 4; ++t) EXPECT_EQ(value(check, kKaru, name_of(t)), "dword:25") << t;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_folder), {}), 1);  // no temporaries
}

}  // namespace
}  // namespace lv::platform
