#include "platform/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <optional>

#include "support/test_env.h"

namespace lv::platform {
namespace {

// Tests change the environment; put it back so that the cases stay
// independent when they share one process.
class PathsTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME",
                             "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "TMPDIR", "LUMIVIEW_PICTURES"}) {
      const char* value = std::getenv(name);
      m_saved[name] = value ? std::optional<std::string>(value) : std::nullopt;
    }
    m_home = test::make_temp_dir("home");
    setenv("HOME", m_home.c_str(), 1);
  }
  void TearDown() override {
    for (auto& [name, value] : m_saved) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
  }
  std::map<std::string, std::optional<std::string>> m_saved;
  std::string m_home;
};

TEST_F(PathsTest, XdgFoldersFollowTheVariablesOrDefaultUnderHome) {
  setenv("XDG_CONFIG_HOME", "/somewhere/config/", 1);
  setenv("XDG_STATE_HOME", "/somewhere/state", 1);
  setenv("XDG_CACHE_HOME", "relative/cache", 1);  // not absolute: ignored
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(config_folder(), "/somewhere/config");
  EXPECT_EQ(state_folder(), "/somewhere/state");
  EXPECT_EQ(cache_folder(), m_home + "/.cache");
  EXPECT_EQ(data_folder(), m_home + "/.local/share");
  EXPECT_EQ(settings_file_path(), "/somewhere/config/lumiview/registry.reg");

  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", (m_home + "/").c_str(), 1);
  EXPECT_EQ(home_folder(), m_home);
  EXPECT_EQ(config_folder(), m_home + "/.config");
  EXPECT_EQ(settings_file_path(), m_home + "/.config/lumiview/registry.reg");

  unsetenv("TMPDIR");
  EXPECT_EQ(temp_folder(), "/tmp");
  setenv("TMPDIR", "/var/tmp/", 1);
  EXPECT_EQ(temp_folder(), "/var/tmp");
}

TEST_F(PathsTest, RuntimeFallbackIsAPrivateFolder) {
  setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
  EXPECT_EQ(runtime_folder(), "/run/user/4242");

  unsetenv("XDG_RUNTIME_DIR");
  const std::string tmp = test::make_temp_dir("tmp");
  setenv("TMPDIR", tmp.c_str(), 1);
  const std::string expected = tmp + "/lumiview-" + std::to_string(getuid());
  EXPECT_EQ(runtime_folder(), expected);
  struct stat st {};
  ASSERT_EQ(::lstat(expected.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // Left open to others by someone: closed again before it is used.
  ASSERT_EQ(::chmod(expected.c_str(), 0777), 0);
  EXPECT_EQ(runtime_folder(), expected);
  ASSERT_EQ(::lstat(expected.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // A link planted in its place is not followed.
  ASSERT_EQ(::rmdir(expected.c_str()), 0);
  const std::string elsewhere = test::make_temp_dir("elsewhere");
  ASSERT_EQ(::symlink(elsewhere.c_str(), expected.c_str()), 0);
  EXPECT_EQ(runtime_folder(), "");
}

TEST_F(PathsTest, PicturesFolderPrecedence) {
  const std::string config = m_home + "/.config";
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  unsetenv("LUMIVIEW_PICTURES");
  // Nothing configured and no ~/Pictures: the home folder.
  EXPECT_EQ(pictures_folder(), m_home);

  ASSERT_EQ(::mkdir((m_home + "/Pictures").c_str(), 0700), 0);
  EXPECT_EQ(pictures_folder(), m_home + "/Pictures");

  ASSERT_EQ(::mkdir(config.c_str(), 0700), 0);
  test::write_file(config + "/user-dirs.dirs",
                   "# written by xdg-user-dirs-update\n"
                   "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                   "#XDG_PICTURES_DIR=\"$HOME/Commented\"\n"
                   "XDG_PICTURES_DIR=\"$HOME/My \\\"Fotos\\\"/\"\n");
  EXPECT_EQ(pictures_folder(), m_home + "/My \"Fotos\"");

  test::write_file(config + "/user-dirs.dirs", "XDG_PICTURES_DIR=\"/mnt/photos\"\n");
  EXPECT_EQ(pictures_folder(), "/mnt/photos");

  // Values that are neither absolute nor under $HOME are not used.
  test::write_file(config + "/user-dirs.dirs",
                   "XDG_PICTURES_DIR=\"photos\"\nXDG_PICTURES_DIR=\"$HOMEphotos\"\n"
                   "XDG_PICTURES_DIR=\"$HOME/unclosed\n");
  EXPECT_EQ(pictures_folder(), m_home + "/Pictures");

  setenv("LUMIVIEW_PICTURES", "/data/pictures/", 1);
  EXPECT_EQ(pictures_folder(), "/data/pictures");
}

TEST_F(PathsTest, ExecutableAndInstallPrefix) {
  const std::string& exe = executable_path();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(exe[0], '/');
  EXPECT_TRUE(exe.ends_with("/platform_tests")) << exe;
  EXPECT_EQ(::access(exe.c_str(), X_OK), 0);
  const std::string folder = exe.substr(0, exe.rfind('/'));
  EXPECT_EQ(install_prefix(), folder.substr(0, folder.rfind('/')));
}

}  // namespace
}  // namespace lv::platform
