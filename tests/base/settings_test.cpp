#include "app/base/settings.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "app/base/log.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "support/test_env.h"

extern char** environ;

namespace lv {
namespace {

std::u16string u16(const std::string& s) {
  return from_utf8(s);
}

std::string settings_text() {
  return test::read_file(platform::settings_file_path());
}

TEST(Settings, ValuesOfBothKindsRoundTripUnderEveryRoot) {
  EXPECT_TRUE(set_string(app_settings_key(), u"Skin", u"dark"));
  EXPECT_TRUE(set_number(kKaruKey, u"SIPPreference", 1));
  EXPECT_TRUE(set_number(u"HKEY_LOCAL_MACHINE\\Software\\KARU", u"SIPPreference", 7));
  std::u16string text;
  EXPECT_TRUE(get_string(u"HKEY_CURRENT_USER\\Software\\KARU\\Lumiview", u"Skin", text));
  EXPECT_EQ(text, u"dark");
  uint32_t number = 0;
  EXPECT_TRUE(get_number(kKaruKey, u"SIPPreference", number));
  EXPECT_EQ(number, 1u);
  EXPECT_TRUE(get_number(u"HKEY_LOCAL_MACHINE\\Software\\KARU", u"SIPPreference", number));
  EXPECT_EQ(number, 7u);
  EXPECT_TRUE(set_number(u"HKEY_CLASSES_ROOT\\x", u"n", 2));
  EXPECT_TRUE(set_number(u"HKEY_USERS\\x", u"n", 3));
  EXPECT_TRUE(get_number(u"HKEY_CLASSES_ROOT\\x", u"n", number));
  EXPECT_EQ(number, 2u);
  EXPECT_TRUE(get_number(u"HKEY_USERS\\x", u"n", number));
  EXPECT_EQ(number, 3u);

  const std::string file = settings_text();
  EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\KARU\\Lumiview]\n\"Skin\"=\"dark\"\n"),
            std::string::npos)
      << file;
  EXPECT_NE(file.find("[HKEY_LOCAL_MACHINE\\Software\\KARU]\n\"SIPPreference\"=dword:00000007\n"),
            std::string::npos)
      << file;
  EXPECT_EQ(app_settings_key(), u"HKEY_CURRENT_USER\\Software\\KARU\\Lumiview");
}

TEST(Settings, KindRules) {
  ASSERT_TRUE(set_number(kKaruKey, u"KindNumber", 3));
  ASSERT_TRUE(set_string(kKaruKey, u"KindString", u"3"));
  ASSERT_TRUE(set_string(kKaruKey, u"KindEmpty", u""));

  std::u16string text = u"unchanged";
  EXPECT_FALSE(get_string(kKaruKey, u"KindNumber", text));
  EXPECT_EQ(text, u"unchanged");
  EXPECT_FALSE(get_string(kKaruKey, u"KindMissing", text));
  EXPECT_EQ(text, u"unchanged");
  EXPECT_TRUE(get_string(kKaruKey, u"KindEmpty", text));
  EXPECT_EQ(text, u"");

  uint32_t number = 99;
  EXPECT_FALSE(get_number(kKaruKey, u"KindString", number));
  EXPECT_FALSE(get_number(kKaruKey, u"KindEmpty", number));
  EXPECT_FALSE(get_number(kKaruKey, u"KindMissing", number));
  EXPECT_FALSE(get_number(u"HKEY_CURRENT_USER\\Software\\NoSuchKey", u"KindNumber", number));
  EXPECT_EQ(number, 99u);
  EXPECT_TRUE(get_number(kKaruKey, u"KindNumber", number));
  EXPECT_EQ(number, 3u);
}

TEST(Settings, RootNameIsAPrefixAndOneCharacterFollowsIt) {
  // Whatever character follows the root name is skipped, as on the handheld.
  ASSERT_TRUE(set_string(u"HKEY_CURRENT_USER/Software\\KARU", u"Prefix", u"slash"));
  std::u16string text;
  EXPECT_TRUE(get_string(kKaruKey, u"Prefix", text));
  EXPECT_EQ(text, u"slash");
  EXPECT_TRUE(get_string(u"HKEY_CURRENT_USERxSoftware\\KARU", u"Prefix", text));

  // A bare root name is the root key itself.
  ASSERT_TRUE(set_number(u"HKEY_CURRENT_USER", u"AtRoot", 5));
  uint32_t number = 0;
  EXPECT_TRUE(get_number(u"HKEY_CURRENT_USER\\", u"AtRoot", number));
  EXPECT_EQ(number, 5u);
  EXPECT_FALSE(get_number(kKaruKey, u"AtRoot", number));
}

TEST(Settings, UnknownRootFailsEverything) {
  for (std::u16string_view key :
       {u"HKEY_NOPE\\Software\\KARU", u"Software\\KARU", u"", u"hkey_current_user\\Software\\KARU",
        u"HKEY_CURRENT_USE\\Software"}) {
    std::u16string text = u"unchanged";
    uint32_t number = 42;
    EXPECT_FALSE(set_string(key, u"Unknown", u"x")) << to_utf8(key);
    EXPECT_FALSE(set_number(key, u"Unknown", 1)) << to_utf8(key);
    EXPECT_FALSE(get_string(key, u"Unknown", text)) << to_utf8(key);
    EXPECT_FALSE(get_number(key, u"Unknown", number)) << to_utf8(key);
    EXPECT_EQ(text, u"unchanged");
    EXPECT_EQ(number, 42u);
  }
  EXPECT_EQ(settings_text().find("Unknown"), std::string::npos);
}

TEST(Settings, ModuleNameAndItsParts) {
  const std::u16string& full = module_file_name();
  EXPECT_EQ(full, u16(platform::executable_path()));
  EXPECT_TRUE(full.ends_with(u"/base_tests"));
  EXPECT_EQ(app_name(), u"base_tests");
  EXPECT_EQ(app_path() + u"/" + app_name(), full);
  EXPECT_FALSE(app_path().ends_with(u"/"));
}

TEST(Settings, ExpandsAMacroOnlyAtTheStart) {
  const std::u16string path = app_path();
  EXPECT_EQ(expand_path(u"%app_path%"), path);
  EXPECT_EQ(expand_path(u"%app_path%/"), path + u"/");
  EXPECT_EQ(expand_path(u"%app_path%\\skins\\bin"), path + u"/skins/bin");
  EXPECT_EQ(expand_path(u"%app_path%/skins/bin/default.skin"), path + u"/skins/bin/default.skin");
  EXPECT_EQ(expand_path(u"%app_name%.txt"), u"base_tests.txt");
  EXPECT_EQ(expand_path(u"%app_full_name%"), module_file_name());
  // Not at the start, another case, or cut short: copied, separators turned.
  EXPECT_EQ(expand_path(u"x%app_path%\\a"), u"x%app_path%/a");
  EXPECT_EQ(expand_path(u"/%app_name%"), u"/%app_name%");
  EXPECT_EQ(expand_path(u"%APP_PATH%\\a"), u"%APP_PATH%/a");
  EXPECT_EQ(expand_path(u"%app_path"), u"%app_path");
  EXPECT_EQ(expand_path(u"%app_path%%app_name%"), path + u"%app_name%");
  EXPECT_EQ(expand_path(u"C:\\Temp\\a.txt"), u"C:/Temp/a.txt");
  EXPECT_EQ(expand_path(u""), u"");
}

TEST(Settings, SpecialFolderMacros) {
  const std::string config = std::getenv("XDG_CONFIG_HOME");
  const std::string data = std::getenv("XDG_DATA_HOME");
  EXPECT_EQ(expand_path(u"%windows%\\Tmail.exe"), u"/usr/bin/Tmail.exe");
  EXPECT_EQ(expand_path(u"%startup%"), u16(config + "/autostart"));
  EXPECT_EQ(expand_path(u"%programs%/x"), u16(data + "/applications/x"));
  EXPECT_EQ(expand_path(u"%start_menu%"), u16(data + "/applications"));
  const std::u16string path = app_path();
  EXPECT_EQ(expand_path(u"%program_files%"), path.substr(0, path.rfind(u'/')));
  EXPECT_EQ(special_folder(SpecialFolder::windows), u"/usr/bin");
}

TEST(Settings, MyDocumentsIsThePicturesFolder) {
  const std::string home = std::getenv("HOME");
  const std::string config = std::getenv("XDG_CONFIG_HOME");
  unsetenv("LUMIVIEW_PICTURES");
  std::filesystem::remove(config + "/user-dirs.dirs");
  std::filesystem::remove_all(home + "/Pictures");
  EXPECT_EQ(expand_path(u"%my_documents%"), u16(home));

  ASSERT_TRUE(std::filesystem::create_directory(home + "/Pictures"));
  EXPECT_EQ(expand_path(u"%my_documents%\\a.jpg"), u16(home + "/Pictures/a.jpg"));

  std::filesystem::create_directories(config);
  test::write_file(config + "/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/Fotos\"\n");
  EXPECT_EQ(expand_path(u"%my_documents%"), u16(home + "/Fotos"));

  // The folder's own name is kept as it is: only the text after the macro has
  // its separators turned.
  setenv("LUMIVIEW_PICTURES", "/srv/odd\\name", 1);
  EXPECT_EQ(expand_path(u"%my_documents%\\b.jpg"), u"/srv/odd\\name/b.jpg");
  EXPECT_EQ(special_folder(SpecialFolder::personal), u"/srv/odd\\name");
  unsetenv("LUMIVIEW_PICTURES");
  std::filesystem::remove(config + "/user-dirs.dirs");
}

TEST(Settings, TextHelpers) {
  EXPECT_TRUE(starts_with(u"%app_path%/x", u"%app_path%"));
  EXPECT_TRUE(starts_with(u"abc", u""));
  EXPECT_FALSE(starts_with(u"ab", u"abc"));
  EXPECT_FALSE(starts_with(u"ABC", u"abc"));

  EXPECT_EQ(to_lower(u"IMG_0001.JPG"), u"img_0001.jpg");
  EXPECT_EQ(to_upper(u"img_0001.jpg"), u"IMG_0001.JPG");
  EXPECT_EQ(to_lower(u"\u00C4\u00D6\u00DC\u00DF\u00D7\u0178"),
            u"\u00E4\u00F6\u00FC\u00DF\u00D7\u00FF");
  EXPECT_EQ(to_upper(u"\u00E4\u00F6\u00FC\u00DF\u00F7\u00FF"),
            u"\u00C4\u00D6\u00DC\u00DF\u00F7\u0178");
  EXPECT_EQ(to_lower(u"\u041F\u0420\u0418\u0412\u0415\u0422 \u0401\u0416"),
            u"\u043F\u0440\u0438\u0432\u0435\u0442 \u0451\u0436");
  EXPECT_EQ(to_upper(u"\u0436\u0451\u0491 \u0107\u0142\u017C \u03C3\u03C2\u03AC"),
            u"\u0416\u0401\u0490 \u0106\u0141\u017B \u03A3\u03A3\u0386");

  // Every letter that lower-cases goes back to itself, and upper and lower
  // case letters never both change.
  for (uint32_t c = 0; c < 0x10000; ++c) {
    const std::u16string one(1, static_cast<char16_t>(c));
    const std::u16string lower = to_lower(one);
    if (lower != one) {
      ASSERT_EQ(to_upper(lower), one) << std::hex << c;
      ASSERT_EQ(to_upper(one), one) << std::hex << c;
    }
  }
  EXPECT_EQ(to_lower(u"0123456789 !@#[]"), u"0123456789 !@#[]");

  EXPECT_EQ(folder_of(u"/a/b/c.jpg"), u"/a/b/");
  EXPECT_EQ(folder_of(u"\\Storage Card\\DCIM\\x.jpg"), u"\\Storage Card\\DCIM\\");
  EXPECT_EQ(folder_of(u"/a/b/"), u"/a/b/");
  EXPECT_EQ(folder_of(u"name.jpg"), u"");
  EXPECT_EQ(folder_of(u"/x"), u"/");
}

// Run in a copy of this test program placed at a path of 1024+ characters.
TEST(Settings, ModuleNameFitsThePathLimit) {
  EXPECT_FALSE(module_file_name().empty());
}

TEST(Settings, OverlongProgramPathIsAFatalStop) {
  std::string folder = test::make_temp_dir("long");
  while (folder.size() < 1100) {
    folder += "/" + std::string(200, 'd');
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  }
  const std::string copy = folder + "/base_tests";
  std::filesystem::copy_file(platform::executable_path(), copy);
  ASSERT_EQ(::chmod(copy.c_str(), 0700), 0);

  const std::string err = test::make_temp_dir("err") + "/stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::string filter = "--gtest_filter=Settings.ModuleNameFitsThePathLimit";
  char* argv[] = {const_cast<char*>(copy.c_str()), filter.data(), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, copy.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kFatalExitCode);
  EXPECT_NE(test::read_file(err).find("Gluck: path is more then MAX_PATH long @ get_app_path()"),
            std::string::npos)
      << test::read_file(err);
  std::filesystem::remove(copy);
}

}  // namespace
}  // namespace lv
