#include "platform/settings_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "support/test_env.h"

namespace lv::platform {
namespace {

constexpr std::u16string_view kKaru = u"HKEY_CURRENT_USER\\Software\\KARU";
constexpr std::u16string_view kApp = u"HKEY_CURRENT_USER\\Software\\KARU\\Lumiview";

std::vector<std::string> folder_entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (dirent* e = ::readdir(dir)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  return names;
}

std::u16string string_or(SettingsFile& file, std::u16string_view key, std::u16string_view name,
                         std::u16string_view fallback = u"<absent>") {
  std::u16string out(fallback);
  file.get_string(key, name, out);
  return out;
}

class SettingsFileTest : public testing::Test {
 protected:
  void SetUp() override {
    m_folder = test::make_temp_dir("settings");
    m_path = m_folder + "/registry.reg";
  }
  std::string m_folder;
  std::string m_path;
};

TEST_F(SettingsFileTest, ReadsStringsNumbersAndEscapes) {
  test::write_file(m_path,
                   "\xEF\xBB\xBFREGEDIT4\r\n"
                   "\r\n"
                   "[HKEY_CURRENT_USER\\Software\\KARU]\r\n"
                   "\"Log\"=dword:0000000a\r\n"
                   "\"SIPPreference\"=dword:FFFFFFFF\r\n"
                   "\"Path\"=\"C:\\\\Storage Card\\\\say \\\"cheese\\\"\"\r\n"
                   "\r\n"
                   "[HKEY_CURRENT_USER\\Software\\KARU\\Lumiview]\r\n"
                   "\"Language\"=\"\xD1\x80\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9\"\r\n"
                   "  \"Skin\" = \"dark\"  \r\n"
                   "\"Empty\"=\"\"\r\n"
                   "@=\"the default\"\r\n");
  SettingsFile file(m_path);
  uint32_t number = 0;
  EXPECT_TRUE(file.get_number(kKaru, u"Log", number));
  EXPECT_EQ(number, 10u);
  EXPECT_TRUE(file.get_number(kKaru, u"SIPPreference", number));
  EXPECT_EQ(number, 0xFFFFFFFFu);
  EXPECT_EQ(string_or(file, kKaru, u"Path"), u"C:\\Storage Card\\say \"cheese\"");
  EXPECT_EQ(string_or(file, kApp, u"Language"), u"\u0440\u0443\u0441\u0441\u043A\u0438\u0439");
  EXPECT_EQ(string_or(file, kApp, u"Skin"), u"dark");
  EXPECT_EQ(string_or(file, kApp, u"Empty"), u"");
  EXPECT_EQ(string_or(file, kApp, u""), u"the default");
  EXPECT_EQ(string_or(file, kApp, u"Missing"), u"<absent>");
  EXPECT_EQ(string_or(file, u"HKEY_CURRENT_USER\\Software", u"Log"), u"<absent>");
}

TEST_F(SettingsFileTest, NamesAndKeysIgnoreAsciiCaseButKeepIt) {
  test::write_file(m_path,
                   "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\KARU\\Lumiview]\n"
                   "\"Skin\"=\"default\"\n");
  SettingsFile file(m_path);
  EXPECT_EQ(string_or(file, u"hkey_current_user\\SOFTWARE\\karu\\lumiview", u"sKIN"), u"default");
  // Extra separators name the same key.
  EXPECT_EQ(string_or(file, u"HKEY_CURRENT_USER\\\\Software\\KARU\\Lumiview\\", u"Skin"),
            u"default");
  // Only ASCII letters fold: these are different names.
  ASSERT_TRUE(file.set_string(kApp, u"\u00C4", u"upper"));
  ASSERT_TRUE(file.set_string(kApp, u"\u00E4", u"lower"));
  EXPECT_EQ(string_or(file, kApp, u"\u00C4"), u"upper");

  ASSERT_TRUE(file.set_string(u"HKEY_CURRENT_USER\\SOFTWARE\\KARU\\LUMIVIEW", u"SKIN", u"dark"));
  EXPECT_EQ(test::read_file(m_path),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\KARU\\Lumiview]\n"
            "\"Skin\"=\"dark\"\n"
            "\"\xC3\x84\"=\"upper\"\n"
            "\"\xC3\xA4\"=\"lower\"\n\n");
}

TEST_F(SettingsFileTest, WritesTheRegedit4LayoutAndReadsItBack) {
  {
    SettingsFile file(m_path);
    ASSERT_TRUE(file.set_number(kKaru, u"Log", 10));
    ASSERT_TRUE(file.set_string(kApp, u"Skin", u"a\\b \"q\"\nnext\r\u20AC"));
    ASSERT_TRUE(file.set_string(kApp, u"na\"me", u"x"));
    ASSERT_TRUE(file.set_string(kApp, u"", u"default value"));
    ASSERT_TRUE(file.set_number(kKaru, u"SIPPreference", 1));
  }
  EXPECT_EQ(test::read_file(m_path),
            "REGEDIT4\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\KARU]\n"
            "\"Log\"=dword:0000000a\n"
            "\"SIPPreference\"=dword:00000001\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\KARU\\Lumiview]\n"
            "\"Skin\"=\"a\\\\b \\\"q\\\"\\nnext\\r\xE2\x82\xAC\"\n"
            "\"na\\\"me\"=\"x\"\n"
            "@=\"default value\"\n"
            "\n");
  SettingsFile again(m_path);
  EXPECT_EQ(string_or(again, kApp, u"Skin"), u"a\\b \"q\"\nnext\r\u20AC");
  EXPECT_EQ(string_or(again, kApp, u"na\"me"), u"x");
  EXPECT_EQ(string_or(again, kApp, u""), u"default value");
}

TEST_F(SettingsFileTest, ReadingTheOtherKindFailsAndLeavesTheOutValue) {
  SettingsFile file(m_path);
  ASSERT_TRUE(file.set_number(kKaru, u"Log", 1));
  ASSERT_TRUE(file.set_string(kKaru, u"Text", u"5"));
  std::u16string text = u"unchanged";
  EXPECT_FALSE(file.get_string(kKaru, u"Log", text));
  EXPECT_EQ(text, u"unchanged");
  uint32_t number = 77;
  EXPECT_FALSE(file.get_number(kKaru, u"Text", number));
  EXPECT_EQ(number, 77u);
  // Setting the other kind replaces the value.
  ASSERT_TRUE(file.set_string(kKaru, u"Log", u"on"));
  EXPECT_FALSE(file.get_number(kKaru, u"Log", number));
  EXPECT_EQ(string_or(file, kKaru, u"Log"), u"on");
  // A string is kept up to its first NUL, as the registry hands it back.
  ASSERT_TRUE(file.set_string(kKaru, u"Cut", std::u16string(u"ab\0cd", 5)));
  EXPECT_EQ(string_or(file, kKaru, u"Cut"), u"ab");
}

TEST_F(SettingsFileTest, DamagedFileKeepsEveryReadableValue) {
  test::write_file(m_path,
                   "garbage before anything\n"
                   "\"Orphan\"=\"no section\"\n"
                   "[HKEY_CURRENT_USER\\Software\\KARU]\n"
                   "; a comment the user wrote\n"
                   "\"Log\"=dword:00000001\n"
                   "\"NoQuotes=\"x\"\n"
                   "Bare=value\n"
                   "\"Unclosed\"=\"text\n"
                   "\"Trailing\"=\"text\" junk\n"
                   "\"TooLong\"=dword:123456789\n"
                   "\"NotHex\"=dword:12g4\n"
                   "\"Binary\"=hex:01,02,\\\n"
                   "  03,04\n"
                   "\"Multi\"=hex(7):41,00,00,00\n"
                   "\"Weird\"=qword:1\n"
                   "\"Dup\"=\"first\"\n"
                   "\"Dup\"=\"second\"\n"
                   "\x01\x02\xFF\xFE binary \x80 noise\n"
                   "[HKEY_CURRENT_USER\\Software\\KARU\\Lumiview\n"
                   "\"Lost\"=\"under a broken header\"\n"
                   "[HKEY_CURRENT_USER\\Software\\KARU\\Lumiview]\n"
                   "\"Skin\"=\"default\"\n"
                   "\"Language\"=\"engl");
  SettingsFile file(m_path);
  uint32_t number = 0;
  EXPECT_TRUE(file.get_number(kKaru, u"Log", number));
  EXPECT_EQ(number, 1u);
  EXPECT_EQ(string_or(file, kKaru, u"Dup"), u"second");
  EXPECT_EQ(string_or(file, kApp, u"Skin"), u"default");
  for (std::u16string_view name : {u"Orphan", u"NoQuotes", u"Bare", u"Unclosed", u"Trailing",
                                   u"Binary", u"Multi", u"Weird", u"Lost"}) {
    EXPECT_EQ(string_or(file, kKaru, name), u"<absent>") << to_utf8(name);
    EXPECT_FALSE(file.get_number(kKaru, name, number)) << to_utf8(name);
  }
  EXPECT_FALSE(file.get_number(kKaru, u"TooLong", number));
  EXPECT_FALSE(file.get_number(kKaru, u"NotHex", number));
  EXPECT_EQ(string_or(file, kApp, u"Language"), u"<absent>");

  ASSERT_TRUE(file.set_string(kApp, u"Language", u"english"));
  // The rewrite keeps every readable value, values of kinds the program does
  // not use, and comments; the rest is gone.
  EXPECT_EQ(test::read_file(m_path),
            "REGEDIT4\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\KARU]\n"
            "; a comment the user wrote\n"
            "\"Log\"=dword:00000001\n"
            "\"Binary\"=hex:01,02,\\\n"
            "03,04\n"
            "\"Multi\"=hex(7):41,00,00,00\n"
            "\"Weird\"=qword:1\n"
            "\"Dup\"=\"second\"\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\KARU\\Lumiview]\n"
            "\"Skin\"=\"default\"\n"
            "\"Language\"=\"english\"\n"
            "\n");
}

TEST_F(SettingsFileTest, EveryTruncationReadsTheCompleteLines) {
  const std::string full =
      "REGEDIT4\n\n"
      "[HKEY_CURRENT_USER\\Software\\KARU]\n"
      "\"Log\"=dword:00000001\n"
      "\"Name\"=\"a \\\"quoted\\\" \\\\ value\"\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\KARU\\Lumiview]\n"
      "\"Skin\"=\"default\"\n"
      "\"Language\"=\"english\"\n";
  for (size_t cut = 0; cut <= full.size(); ++cut) {
    const std::string prefix = full.substr(0, cut);
    test::write_file(m_path, prefix);
    SettingsFile file(m_path);
    auto complete = [&](std::string_view line) {
      const size_t at = full.find(line);
      return at != std::string::npos && at + line.size() <= cut;
    };
    uint32_t number = 0;
    const bool has_log = file.get_number(kKaru, u"Log", number);
    if (complete("\"Log\"=dword:00000001\n")) {
      EXPECT_TRUE(has_log && number == 1) << cut;
    }
    EXPECT_EQ(string_or(file, kKaru, u"Name"),
              complete("value\"") ? u"a \"quoted\" \\ value" : u"<absent>")
        << cut;
    EXPECT_EQ(string_or(file, kApp, u"Skin"), complete("\"default\"") ? u"default" : u"<absent>")
        << cut;
    EXPECT_EQ(string_or(file, kApp, u"Language"),
              complete("\"english\"") ? u"english" : u"<absent>")
        << cut;
  }
}

TEST_F(SettingsFileTest, SeesChangesMadeFromOutside) {
  test::write_file(m_path,
                   "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\KARU]\n\"Log\"=dword:00000000\n");
  SettingsFile file(m_path);
  uint32_t number = 5;
  ASSERT_TRUE(file.get_number(kKaru, u"Log", number));
  EXPECT_EQ(number, 0u);

  // Same size, same inode: only the modification time tells.
  test::write_file(m_path,
                   "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\KARU]\n\"Log\"=dword:00000001\n");
  const timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 123456789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, m_path.c_str(), later, 0), 0);
  ASSERT_TRUE(file.get_number(kKaru, u"Log", number));
  EXPECT_EQ(number, 1u);

  // Replaced by another file with the same size and time: a new inode.
  const std::string other = m_folder + "/other.reg";
  test::write_file(other,
                   "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\KARU]\n\"Log\"=dword:00000002\n");
  ASSERT_EQ(::utimensat(AT_FDCWD, other.c_str(), later, 0), 0);
  ASSERT_EQ(::rename(other.c_str(), m_path.c_str()), 0);
  ASSERT_TRUE(file.get_number(kKaru, u"Log", number));
  EXPECT_EQ(number, 2u);

  ASSERT_EQ(::unlink(m_path.c_str()), 0);
  EXPECT_FALSE(file.get_number(kKaru, u"Log", number));
  EXPECT_EQ(number, 2u);

  // A write re-reads first, so a value set from outside in between survives.
  test::write_file(m_path, "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\KARU]\n\"Outside\"=\"yes\"\n");
  ASSERT_TRUE(file.set_number(kKaru, u"Log", 3));
  EXPECT_EQ(string_or(file, kKaru, u"Outside"), u"yes");
  SettingsFile fresh(m_path);
  EXPECT_EQ(string_or(fresh, kKaru, u"Outside"), u"yes");
}

TEST_F(SettingsFileTest, WritesReplaceTheFileAtomically) {
  const std::string nested = m_folder + "/a/b/registry.reg";
  SettingsFile file(nested);
  ASSERT_TRUE(file.set_number(kKaru, u"Log", 1));  // makes the missing folders
  ASSERT_TRUE(file.set_number(kKaru, u"Log", 2));
  EXPECT_EQ(folder_entries(m_folder + "/a/b"), std::vector<std::string>{"registry.reg"});

  // The file is replaced, never rewritten in place: a reader holding the old
  // file still sees the old, complete content.
  const int old_fd = ::open(nested.c_str(), O_RDONLY);
  ASSERT_GE(old_fd, 0);
  ASSERT_TRUE(file.set_number(kKaru, u"Log", 3));
  char buffer[256] = {};
  const ssize_t n = ::pread(old_fd, buffer, sizeof buffer - 1, 0);
  ::close(old_fd);
  ASSERT_GT(n, 0);
  EXPECT_NE(std::string(buffer).find("dword:00000002"), std::string::npos);

  // The user's choice of permissions survives a rewrite.
  ASSERT_EQ(::chmod(nested.c_str(), 0640), 0);
  ASSERT_TRUE(file.set_number(kKaru, u"Log", 4));
  struct stat st {};
  ASSERT_EQ(::stat(nested.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(SettingsFileTest, KeepsASymlinkedFileALink) {
  const std::string target = m_folder + "/dotfiles.reg";
  test::write_file(target,
                   "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\KARU]\n\"Log\"=dword:00000001\n");
  ASSERT_EQ(::symlink(target.c_str(), m_path.c_str()), 0);
  SettingsFile file(m_path);
  ASSERT_TRUE(file.set_string(kKaru, u"Skin", u"dark"));
  struct stat st {};
  ASSERT_EQ(::lstat(m_path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  SettingsFile direct(target);
  EXPECT_EQ(string_or(direct, kKaru, u"Skin"), u"dark");
  uint32_t number = 0;
  EXPECT_TRUE(direct.get_number(kKaru, u"Log", number));
  EXPECT_EQ(number, 1u);
}

TEST_F(SettingsFileTest, RefusesToReplaceWhatItCannotRead) {
  // A folder where the file should be: nothing reads, nothing is replaced.
  ASSERT_EQ(::mkdir(m_path.c_str(), 0700), 0);
  test::write_file(m_path + "/keep", "x");
  SettingsFile file(m_path);
  std::u16string text;
  EXPECT_FALSE(file.get_string(kKaru, u"Skin", text));
  EXPECT_FALSE(file.set_string(kKaru, u"Skin", u"dark"));
  EXPECT_EQ(test::read_file(m_path + "/keep"), "x");

  // A file too large to be settings is read in part but never rewritten.
  const std::string big_path = m_folder + "/big.reg";
  std::string big = "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\KARU]\n\"Log\"=dword:00000001\n";
  big.append(5u << 20, ';');
  test::write_file(big_path, big);
  SettingsFile big_file(big_path);
  uint32_t number = 0;
  EXPECT_TRUE(big_file.get_number(kKaru, u"Log", number));
  EXPECT_FALSE(big_file.set_number(kKaru, u"Log", 0));
  EXPECT_EQ(test::read_file(big_path).size(), big.size());

  // A folder that cannot be made: the write fails, nothing else changes.
  test::write_file(m_folder + "/plain", "not a folder");
  SettingsFile blocked(m_folder + "/plain/registry.reg");
  EXPECT_FALSE(blocked.set_number(kKaru, u"Log", 1));
  EXPECT_EQ(test::read_file(m_folder + "/plain"), "not a folder");

  // Key paths that the file cannot hold.
  SettingsFile ok(m_folder + "/ok.reg");
  EXPECT_FALSE(ok.set_number(u"", u"Log", 1));
  EXPECT_FALSE(ok.set_number(u"\\\\", u"Log", 1));
  EXPECT_FALSE(ok.set_number(u"HKEY_CURRENT_USER\\Soft\nware", u"Log", 1));
  EXPECT_FALSE(ok.set_number(kKaru, std::u16string_view(u"L\0g", 3), 1));
  EXPECT_TRUE(ok.set_number(kKaru, u"Line\nBreak", 1));
  SettingsFile reread(m_folder + "/ok.reg");
  EXPECT_TRUE(reread.get_number(kKaru, u"Line\nBreak", number));
}

TEST_F(SettingsFileTest, ThreadsAndASecondWriterDoNotLoseValues) {
  SettingsFile file(m_path);
  SettingsFile other_process(m_path);  // another writer of the same file
  constexpr int kThreads = 4;
  constexpr uint32_t kRounds = 25;
  auto name_of = [](int t) { return u"Thread" + std::u16string(1, char16_t(u'0' + t)); };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      SettingsFile& target = t % 2 == 0 ? file : other_process;
      const std::u16string name = name_of(t);
      for (uint32_t i = 1; i <= kRounds; ++i) {
        EXPECT_TRUE(target.set_number(kKaru, name, i));
        uint32_t seen = 0;
        EXPECT_TRUE(target.get_number(kKaru, name, seen));
        EXPECT_EQ(seen, i);
      }
    });
  }
  for (auto& t : threads) t.join();
  SettingsFile check(m_path);
  for (int t = 0; t < kThreads; ++t) {
    uint32_t value = 0;
    EXPECT_TRUE(check.get_number(kKaru, name_of(t), value)) << t;
    EXPECT_EQ(value, kRounds) << t;
  }
  EXPECT_EQ(folder_entries(m_folder), std::vector<std::string>{"registry.reg"});
}

}  // namespace
}  // namespace lv::platform
