#include "platform/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/scoped_env.h"
#include "support/test_env.h"

namespace lv::platform {
namespace {

class PathsTest : public testing::Test {
 protected:
  void SetUp() override { m_env.set("HOME", m_home + "/"); }
  test::ScopedEnv m_env;
  std::string m_home = test::make_temp_dir("home");
};

TEST_F(PathsTest, RuntimeFallbackIsAPrivateFolder) {
  m_env.unset("XDG_RUNTIME_DIR");
  const std::string tmp = test::make_temp_dir("tmp");
  m_env.set("TMPDIR", tmp);
  const std::string expected = tmp + "/lumiview-" + std::to_string(getuid());
  struct stat st {};
  // Made private, and closed again when someone opened it to others.
  for (mode_t before : {0u, 0777u}) {
    if (before) {
      ASSERT_EQ(::chmod(expected.c_str(), before), 0);
    }
    EXPECT_EQ(runtime_folder(), expected);
    ASSERT_EQ(::lstat(expected.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
  }
  // A link planted in its place is not followed.
  ASSERT_EQ(::rmdir(expected.c_str()), 0);
  ASSERT_EQ(::symlink(test::make_temp_dir("elsewhere").c_str(), expected.c_str()), 0);
  EXPECT_EQ(runtime_folder(), "");
}

TEST_F(PathsTest, PicturesFolderPrecedence) {
  const std::string dirs = m_home + "/user-dirs.dirs";
  m_env.set("XDG_CONFIG_HOME", m_home);
  m_env.unset("LUMIVIEW_PICTURES");
  EXPECT_EQ(pictures_folder(), m_home);  // nothing configured, no ~/Pictures
  ASSERT_EQ(::mkdir((m_home + "/Pictures").c_str(), 0700), 0);
  EXPECT_EQ(pictures_folder(), m_home + "/Pictures");
  test::write_file(dirs,
                   "#XDG_PICTURES_DIR=\"/commented\"\nXDG_PICTURES_DIR=\"$HOME/My \\\"F\\\"/\"\n");
  EXPECT_EQ(pictures_folder(), m_home + "/My \"F\"");
  test::write_file(dirs, "XDG_PICTURES_DIR=\"/mnt/photos\"\n");
  EXPECT_EQ(pictures_folder(), "/mnt/photos");
  // Values that are neither absolute nor under $HOME are not used.
  test::write_file(dirs,
                   "XDG_PICTURES_DIR=\"p\"\nXDG_PICTURES_DIR=\"$HOMEp\"\nXDG_PICTURES_DIR=\"/x\n");
  EXPECT_EQ(pictures_folder(), m_home + "/Pictures");
  m_env.set("XDG_CONFIG_HOME", "relative");  // not absolute: ignored
  EXPECT_EQ(settings_file_path(), m_home + "/.config/lumiview/registry.reg");
  m_env.set("LUMIVIEW_PICTURES", "/data/pictures/");
  EXPECT_EQ(pictures_folder(), "/data/pictures");
}

}  // namespace
}  // namespace lv::platform
