#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/trash.h"
#include "support/scoped_env.h"
#include "support/test_env.h"

// The file system side of the platform: the atomic writer, the user's
// folders and the trash.

namespace lv::platform {
namespace {

namespace fs = std::filesystem;
using lv::test::make_temp_dir;
using lv::test::read_file;
using lv::test::write_file;

long entries(const std::string& folder) {
  return std::distance(fs::directory_iterator(folder), {});
}

TEST(AtomicFile, ReplacesTheFileWholeThroughALinkAndKeepsItsPermissions) {
  const std::string folder = make_temp_dir("atomic");
  const std::string real = folder + "/real.ini", link = folder + "/link.ini";
  write_file(real, "old");
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  std::ifstream old_reader(real);

  struct stat written {};
  ASSERT_TRUE(write_file_atomically(link, "new", Durability::synced, &written));
  // Replaced, never rewritten in place: a reader of the old file sees it whole.
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old_reader), {}), "old");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(read_file(real), "new");
  EXPECT_EQ(written.st_size, 3);
  EXPECT_EQ(fs::status(real).permissions(), fs::perms(0640));
  EXPECT_EQ(entries(folder), 2);  // no temporary left beside them

  // A folder in the file's place, even an empty one, is not replaced by a
  // file, and no temporary is left.
  fs::create_directory(folder + "/folder.ini");
  EXPECT_FALSE(write_file_atomically(folder + "/folder.ini", "new", Durability::unsynced));
  EXPECT_TRUE(fs::is_empty(folder + "/folder.ini"));
  EXPECT_EQ(entries(folder), 3);
}

class PathsTest : public testing::Test {
 protected:
  void SetUp() override { m_env.set("HOME", m_home + "/"); }
  test::ScopedEnv m_env;
  std::string m_home = make_temp_dir("home");
};

TEST_F(PathsTest, RuntimeFallbackIsAPrivateFolder) {
  m_env.unset("XDG_RUNTIME_DIR");
  const std::string tmp = make_temp_dir("tmp");
  m_env.set("TMPDIR", tmp);
  const std::string expected = tmp + "/lumiview-" + std::to_string(getuid());
  // Made private, and closed again when someone opened it to others.
  for (mode_t before : {0u, 0777u}) {
    if (before) ::chmod(expected.c_str(), before);
    EXPECT_EQ(runtime_folder(), expected);
    EXPECT_EQ(fs::symlink_status(expected).permissions(), fs::perms(0700));
  }
  // A link planted in its place is not followed.
  ASSERT_EQ(::rmdir(expected.c_str()), 0);
  ASSERT_EQ(::symlink(make_temp_dir("elsewhere").c_str(), expected.c_str()), 0);
  EXPECT_EQ(runtime_folder(), "");
}

TEST_F(PathsTest, PicturesFolderPrecedence) {
  m_env.set("XDG_CONFIG_HOME", m_home);
  m_env.unset("LUMIVIEW_PICTURES");
  EXPECT_EQ(pictures_folder(), m_home);  // nothing configured, no ~/Pictures
  ASSERT_EQ(::mkdir((m_home + "/Pictures").c_str(), 0700), 0);
  EXPECT_EQ(pictures_folder(), m_home + "/Pictures");
  write_file(m_home + "/user-dirs.dirs",
             "#XDG_PICTURES_DIR=\"/commented\"\nXDG_PICTURES_DIR=\"$HOME/My \\\"F\\\"/\"\n");
  EXPECT_EQ(pictures_folder(), m_home + "/My \"F\"");
  m_env.set("XDG_CONFIG_HOME", "relative");  // not absolute: ignored
  EXPECT_EQ(settings_file_path(), m_home + "/.config/lumiview/registry.reg");
  m_env.set("LUMIVIEW_PICTURES", "/data/pictures/");
  EXPECT_EQ(pictures_folder(), "/data/pictures");
}

// Everything under `card` reports a device of its own: a second volume.
TrashSystem with_card(const std::string& card, const std::string& home_trash) {
  TrashSystem system = current_trash_system();
  system.home_trash = home_trash;
  system.now = 1700000000;  // 2023-11-14 22:13:20 UTC
  system.device = [card](const std::string& path) -> std::optional<dev_t> {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    if (path == card || path.starts_with(card + "/")) return static_cast<dev_t>(-2);
    return st.st_dev;
  };
  return system;
}

struct TrashTest : ::testing::Test {
  TrashTest() {
    env.set("TZ", "UTC0");
    ::tzset();
  }
  lv::test::ScopedEnv env;
  std::string trash = fs::canonical(make_temp_dir("data")).string() + "/Trash";
  std::string pictures = fs::canonical(make_temp_dir("pictures")).string();
  std::string card = fs::canonical(make_temp_dir("card")).string();
  TrashSystem system = with_card(card, trash);
};

TEST_F(TrashTest, HomeTrashKeepsTheFileWithItsEscapedPathAndNumbersClashingNames) {
  write_file(pictures + "/Ferien Ü.jpg", "one");

  const TrashOutcome a = move_to_trash(pictures + "/Ferien Ü.jpg", system);
  ASSERT_EQ(a.result, TrashResult::trashed) << a.problem;
  EXPECT_EQ(a.trashed_path, trash + "/files/Ferien Ü.jpg");
  EXPECT_FALSE(fs::exists(pictures + "/Ferien Ü.jpg"));
  EXPECT_EQ(read_file(a.trashed_path), "one");
  EXPECT_EQ(read_file(trash + "/info/Ferien Ü.jpg.trashinfo"),
            "[Trash Info]\nPath=" + trash_percent_encode(pictures) +
                "/Ferien%20%C3%9C.jpg\nDeletionDate=2023-11-14T22:13:20\n");

  // A second file of that name, and a stray file without its info file
  // taking the next number, are not overwritten.
  write_file(pictures + "/Ferien Ü.jpg", "two");
  write_file(trash + "/files/Ferien Ü.2.jpg", "stray");
  const TrashOutcome b = move_to_trash(pictures + "/Ferien Ü.jpg", system);
  EXPECT_EQ(b.trashed_path, trash + "/files/Ferien Ü.3.jpg");
  EXPECT_EQ(read_file(b.trashed_path), "two");
  EXPECT_TRUE(fs::exists(trash + "/info/Ferien Ü.3.jpg.trashinfo"));

  // A name as long as the file system allows is shortened at a character
  // boundary so that its info file fits, keeping the extension.
  std::string long_stem;
  for (int i = 0; i < 124; ++i) long_stem += "é";
  write_file(pictures + "/" + long_stem + ".jpg", "long");
  EXPECT_EQ(move_to_trash(pictures + "/" + long_stem + ".jpg", system).trashed_path,
            trash + "/files/" + long_stem.substr(0, 240) + ".jpg");
}

TEST_F(TrashTest, VolumeTrashRecordsThePathBelowTheTopFolderAndPrefersASharedStickyTrash) {
  fs::create_directories(card + "/DCIM/100 CAM");
  const std::string photo = card + "/DCIM/100 CAM/IMG_0001.JPG";
  write_file(photo, "jpeg");
  const std::string own = card + "/.Trash-" + std::to_string(system.uid);

  // A .Trash without the sticky bit is not a shared trash.
  ::mkdir((card + "/.Trash").c_str(), 0777);
  const TrashOutcome a = move_to_trash(photo, system);
  ASSERT_EQ(a.result, TrashResult::trashed) << a.problem;
  EXPECT_EQ(a.trashed_path, own + "/files/IMG_0001.JPG");
  EXPECT_EQ(read_file(own + "/info/IMG_0001.JPG.trashinfo"),
            "[Trash Info]\nPath=DCIM/100%20CAM/IMG_0001.JPG\nDeletionDate=2023-11-14T22:13:20\n");
  EXPECT_EQ(fs::status(own).permissions(), fs::perms(0700));
  EXPECT_FALSE(fs::exists(trash));

  ::chmod((card + "/.Trash").c_str(), 01777);
  write_file(photo, "again");
  const std::string shared = card + "/.Trash/" + std::to_string(system.uid);
  EXPECT_EQ(move_to_trash(photo, system).trashed_path, shared + "/files/IMG_0001.JPG");
  EXPECT_TRUE(fs::exists(shared + "/info/IMG_0001.JPG.trashinfo"));
}

TEST_F(TrashTest, APlantedLinkIsNoTrashAndAFailedMoveLeavesTheFileAndNoInfo) {
  const std::string elsewhere = make_temp_dir("elsewhere");
  ::symlink(elsewhere.c_str(), (card + "/.Trash-" + std::to_string(system.uid)).c_str());
  write_file(card + "/a.jpg", "a");
  EXPECT_EQ(move_to_trash(card + "/a.jpg", system).result, TrashResult::deleted);
  EXPECT_FALSE(fs::exists(card + "/a.jpg"));
  EXPECT_TRUE(fs::is_empty(elsewhere));

  const TrashOutcome gone = move_to_trash(pictures + "/missing.jpg", system);
  EXPECT_EQ(gone.result, TrashResult::failed);
  EXPECT_EQ(gone.problem, "The file no longer exists.");
  EXPECT_FALSE(fs::exists(trash + "/info"));

  // A move that fails once the info file is written takes the info file
  // back and leaves the file: here a folder holding the trash itself.
  fs::create_directories(pictures + "/all");
  const TrashOutcome refused =
      move_to_trash(pictures + "/all", with_card(card, pictures + "/all/Trash"));
  EXPECT_EQ(refused.result, TrashResult::failed);
  EXPECT_EQ(refused.problem, "The file could not be deleted.");
  EXPECT_TRUE(fs::is_empty(pictures + "/all/Trash/info"));
}

}  // namespace
}  // namespace lv::platform
