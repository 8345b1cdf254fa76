#include "platform/trash.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "support/scoped_env.h"
#include "support/test_env.h"

namespace lv::platform {
namespace {

namespace fs = std::filesystem;
using lv::test::read_file;
using lv::test::write_file;

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Everything under `card` reports a device of its own: a second volume.
TrashSystem with_card(const std::string& card, const std::string& home_trash = "/nonexistent") {
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
  std::string trash = fs::canonical(lv::test::make_temp_dir("data")).string() + "/Trash";
  std::string pictures = fs::canonical(lv::test::make_temp_dir("pictures")).string();
  std::string card = fs::canonical(lv::test::make_temp_dir("card")).string();
};

TEST_F(TrashTest, HomeTrashKeepsTheFileWithItsEscapedPathAndNumbersClashingNames) {
  ::mkdir((pictures + "/b").c_str(), 0700);
  write_file(pictures + "/Ferien Ü.jpg", "one");
  write_file(pictures + "/b/Ferien Ü.jpg", "two");
  const TrashSystem system = with_card(card, trash);

  const TrashOutcome a = move_to_trash(pictures + "/Ferien Ü.jpg", system);
  ASSERT_EQ(a.result, TrashResult::trashed) << a.problem;
  EXPECT_EQ(a.trashed_path, trash + "/files/Ferien Ü.jpg");
  EXPECT_FALSE(exists(pictures + "/Ferien Ü.jpg"));
  EXPECT_EQ(read_file(a.trashed_path), "one");
  EXPECT_EQ(read_file(trash + "/info/Ferien Ü.jpg.trashinfo"),
            "[Trash Info]\nPath=" + trash_percent_encode(pictures) +
                "/Ferien%20%C3%9C.jpg\nDeletionDate=2023-11-14T22:13:20\n");

  // A stray file without its info file takes the next number too.
  write_file(trash + "/files/Ferien Ü.2.jpg", "stray");
  const TrashOutcome b = move_to_trash(pictures + "/b/Ferien Ü.jpg", system);
  EXPECT_EQ(b.trashed_path, trash + "/files/Ferien Ü.3.jpg");
  EXPECT_EQ(read_file(b.trashed_path), "two");
  EXPECT_EQ(read_file(trash + "/files/Ferien Ü.2.jpg"), "stray");
  EXPECT_FALSE(exists(trash + "/info/Ferien Ü.2.jpg.trashinfo"));
  EXPECT_TRUE(exists(trash + "/info/Ferien Ü.3.jpg.trashinfo"));

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
  const TrashSystem system = with_card(card, trash);
  const std::string own = card + "/.Trash-" + std::to_string(system.uid);

  // A .Trash without the sticky bit is not a shared trash.
  ::mkdir((card + "/.Trash").c_str(), 0777);
  const TrashOutcome a = move_to_trash(photo, system);
  ASSERT_EQ(a.result, TrashResult::trashed) << a.problem;
  EXPECT_EQ(a.trashed_path, own + "/files/IMG_0001.JPG");
  EXPECT_EQ(read_file(own + "/info/IMG_0001.JPG.trashinfo"),
            "[Trash Info]\nPath=DCIM/100%20CAM/IMG_0001.JPG\nDeletionDate=2023-11-14T22:13:20\n");
  EXPECT_EQ(fs::status(own).permissions(), fs::perms(0700));
  EXPECT_FALSE(exists(trash));

  ::chmod((card + "/.Trash").c_str(), 01777);
  write_file(photo, "again");
  const std::string shared = card + "/.Trash/" + std::to_string(system.uid);
  EXPECT_EQ(move_to_trash(photo, system).trashed_path, shared + "/files/IMG_0001.JPG");
  EXPECT_EQ(read_file(shared + "/files/IMG_0001.JPG"), "again");
  EXPECT_TRUE(exists(shared + "/info/IMG_0001.JPG.trashinfo"));
}

TEST_F(TrashTest, APlantedLinkIsNoTrashSoTheFileIsDeletedAndAGoneFileFails) {
  const std::string elsewhere = lv::test::make_temp_dir("elsewhere");
  const TrashSystem system = with_card(card, trash);
  ::symlink(elsewhere.c_str(), (card + "/.Trash-" + std::to_string(system.uid)).c_str());
  write_file(card + "/a.jpg", "a");
  EXPECT_EQ(move_to_trash(card + "/a.jpg", system).result, TrashResult::deleted);
  EXPECT_FALSE(exists(card + "/a.jpg"));
  EXPECT_TRUE(fs::is_empty(elsewhere));

  const TrashOutcome gone = move_to_trash(pictures + "/missing.jpg", system);
  EXPECT_EQ(gone.result, TrashResult::failed);
  EXPECT_EQ(gone.problem, "The file no longer exists.");
  EXPECT_FALSE(exists(trash + "/info"));
}

// A folder the user may not change keeps its file and gets no info file.
// Root may change anything, so as root the move runs as "nobody" in a child.
TEST_F(TrashTest, AReadOnlyFolderLeavesTheFileAndNoInfo) {
  // Folders every user can reach.
  char pattern[] = "/tmp/lv-trash-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string root = pattern;
  fs::create_directories(root + "/DCIM");
  write_file(root + "/DCIM/a.jpg", "a");
  ::chmod(root.c_str(), 0755);
  ::chmod((root + "/DCIM").c_str(), 0555);
  constexpr uid_t kNobody = 65534;
  const bool as_root = ::geteuid() == 0;
  if (as_root) {
    ::chown(root.c_str(), kNobody, kNobody);
    for (const auto& entry : fs::recursive_directory_iterator(root))
      ::lchown(entry.path().c_str(), kNobody, kNobody);
  }
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t pid = as_root ? ::fork() : 0;
  if (pid == 0) {
    // The outcome, or "skip" when the folder stays writable.
    std::string text = "skip";
    if ((!as_root || (::setgid(kNobody) == 0 && ::setuid(kNobody) == 0)) &&
        ::access((root + "/DCIM").c_str(), W_OK) != 0) {
      const TrashOutcome outcome = move_to_trash(root + "/DCIM/a.jpg", with_card(root));
      text = std::to_string(static_cast<int>(outcome.result)) + " " + outcome.problem;
    }
    (void)!::write(fds[1], text.data(), text.size());
    if (as_root) ::_exit(0);
  }
  ::close(fds[1]);
  char buffer[256] = {};
  (void)!::read(fds[0], buffer, sizeof buffer - 1);
  ::close(fds[0]);
  if (as_root) ::waitpid(pid, nullptr, 0);
  const bool kept = exists(root + "/DCIM/a.jpg");
  bool info_left = false;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    info_left |= entry.path().extension() == ".trashinfo";
  ::chmod((root + "/DCIM").c_str(), 0755);
  fs::remove_all(root);
  if (std::string(buffer) == "skip") GTEST_SKIP() << "cannot run as an unprivileged user";

  EXPECT_EQ(std::string(buffer), std::to_string(static_cast<int>(TrashResult::failed)) +
                                     " There is no permission to delete the file.");
  EXPECT_TRUE(kept);
  EXPECT_FALSE(info_left);
}

}  // namespace
}  // namespace lv::platform
