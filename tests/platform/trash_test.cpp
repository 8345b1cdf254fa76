#include "platform/trash.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "support/scoped_env.h"
#include "support/test_env.h"

namespace lv::platform {
namespace {

using lv::test::read_file;
using lv::test::write_file;

constexpr std::time_t kNow = 1700000000;  // 2023-11-14 22:13:20 UTC

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::string real(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  std::string result = resolved ? resolved : path;
  ::free(resolved);
  return result;
}

// Everything under `card` reports a device of its own: a second volume.
TrashSystem with_card(const std::string& card) {
  TrashSystem system = current_trash_system();
  system.now = kNow;
  system.device = [card](const std::string& path) -> std::optional<dev_t> {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    if (path == card || path.starts_with(card + "/")) return static_cast<dev_t>(-2);
    return st.st_dev;
  };
  return system;
}

struct TrashTest : ::testing::Test {
  void SetUp() override {
    env.set("TZ", "UTC0");
    ::tzset();
    data = real(lv::test::make_temp_dir("data"));
    env.set("XDG_DATA_HOME", data);
    pictures = real(lv::test::make_temp_dir("pictures"));
  }
  void TearDown() override { ::tzset(); }
  lv::test::ScopedEnv env;
  std::string data;
  std::string pictures;
};

TEST_F(TrashTest, HomeTrashKeepsTheFileWithItsEscapedPathAndNumbersClashingNames) {
  ::mkdir((pictures + "/b").c_str(), 0700);
  const std::string first = pictures + "/Ferien Ü.jpg";
  const std::string second = pictures + "/b/Ferien Ü.jpg";
  write_file(first, "one");
  write_file(second, "two");
  TrashSystem system = with_card("/nonexistent");

  const TrashOutcome a = move_to_trash(first, system);
  ASSERT_EQ(a.result, TrashResult::trashed) << a.problem;
  EXPECT_EQ(a.trashed_path, data + "/Trash/files/Ferien Ü.jpg");
  EXPECT_FALSE(exists(first));
  EXPECT_EQ(read_file(a.trashed_path), "one");
  EXPECT_EQ(read_file(data + "/Trash/info/Ferien Ü.jpg.trashinfo"),
            "[Trash Info]\nPath=" + trash_percent_encode(pictures) +
                "/Ferien%20%C3%9C.jpg\nDeletionDate=2023-11-14T22:13:20\n");

  // A stray file without its info file takes the next number too.
  write_file(data + "/Trash/files/Ferien Ü.2.jpg", "stray");
  const TrashOutcome b = move_to_trash(second, system);
  ASSERT_EQ(b.result, TrashResult::trashed) << b.problem;
  EXPECT_EQ(b.trashed_path, data + "/Trash/files/Ferien Ü.3.jpg");
  EXPECT_EQ(read_file(b.trashed_path), "two");
  EXPECT_EQ(read_file(data + "/Trash/files/Ferien Ü.2.jpg"), "stray");
  EXPECT_FALSE(exists(data + "/Trash/info/Ferien Ü.2.jpg.trashinfo"));
  EXPECT_TRUE(exists(data + "/Trash/info/Ferien Ü.3.jpg.trashinfo"));

  // A name as long as the file system allows is shortened at a character
  // boundary so that its info file fits, keeping the extension.
  std::string long_stem;
  for (int i = 0; i < 124; ++i) long_stem += "é";
  write_file(pictures + "/" + long_stem + ".jpg", "long");
  const TrashOutcome c = move_to_trash(pictures + "/" + long_stem + ".jpg", system);
  ASSERT_EQ(c.result, TrashResult::trashed) << c.problem;
  EXPECT_EQ(c.trashed_path, data + "/Trash/files/" + long_stem.substr(0, 240) + ".jpg");
}

TEST_F(TrashTest, VolumeTrashRecordsThePathBelowTheTopFolderAndPrefersASharedStickyTrash) {
  const std::string card = real(lv::test::make_temp_dir("card"));
  std::filesystem::create_directories(card + "/DCIM/100 CAM");
  const std::string photo = card + "/DCIM/100 CAM/IMG_0001.JPG";
  write_file(photo, "jpeg");
  const TrashSystem system = with_card(card);
  const std::string own = card + "/.Trash-" + std::to_string(system.uid);

  // A .Trash without the sticky bit is not a shared trash.
  ::mkdir((card + "/.Trash").c_str(), 0777);
  const TrashOutcome a = move_to_trash(photo, system);
  ASSERT_EQ(a.result, TrashResult::trashed) << a.problem;
  EXPECT_EQ(a.trashed_path, own + "/files/IMG_0001.JPG");
  EXPECT_EQ(read_file(own + "/info/IMG_0001.JPG.trashinfo"),
            "[Trash Info]\nPath=DCIM/100%20CAM/IMG_0001.JPG\nDeletionDate=2023-11-14T22:13:20\n");
  struct stat st {};
  ASSERT_EQ(::stat(own.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_FALSE(exists(data + "/Trash"));

  ::chmod((card + "/.Trash").c_str(), 01777);
  write_file(photo, "again");
  const TrashOutcome b = move_to_trash(photo, system);
  ASSERT_EQ(b.result, TrashResult::trashed) << b.problem;
  const std::string shared = card + "/.Trash/" + std::to_string(system.uid);
  EXPECT_EQ(b.trashed_path, shared + "/files/IMG_0001.JPG");
  EXPECT_EQ(read_file(b.trashed_path), "again");
  EXPECT_TRUE(exists(shared + "/info/IMG_0001.JPG.trashinfo"));
}

TEST_F(TrashTest, APlantedLinkIsNoTrashSoTheFileIsDeletedAndAGoneFileFails) {
  const std::string card = real(lv::test::make_temp_dir("card"));
  const std::string elsewhere = lv::test::make_temp_dir("elsewhere");
  const TrashSystem system = with_card(card);
  ::symlink(elsewhere.c_str(), (card + "/.Trash-" + std::to_string(system.uid)).c_str());
  write_file(card + "/a.jpg", "a");

  const TrashOutcome deleted = move_to_trash(card + "/a.jpg", system);
  EXPECT_EQ(deleted.result, TrashResult::deleted);
  EXPECT_FALSE(exists(card + "/a.jpg"));
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere));

  const TrashOutcome gone = move_to_trash(pictures + "/missing.jpg", system);
  EXPECT_EQ(gone.result, TrashResult::failed);
  EXPECT_EQ(gone.problem, "The file no longer exists.");
  EXPECT_FALSE(exists(data + "/Trash/info"));
}

// Runs the move as an ordinary user: root may write anywhere, so the
// read-only cases drop to "nobody" in a child process when run as root.
// Gives nothing when the case cannot be set up (skip): `read_only` is still
// writable.
std::optional<TrashOutcome> run_unprivileged(const std::string& folder,
                                             const std::string& read_only,
                                             const std::function<TrashOutcome()>& move) {
  if (::geteuid() != 0) {
    if (::access(read_only.c_str(), W_OK) == 0) return std::nullopt;
    return move();
  }
  constexpr uid_t kNobody = 65534;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    ::lchown(entry.path().c_str(), kNobody, kNobody);
  ::chown(folder.c_str(), kNobody, kNobody);
  int fds[2];
  if (::pipe(fds) != 0) return std::nullopt;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(77);
    if (::access(read_only.c_str(), W_OK) == 0) ::_exit(77);
    const TrashOutcome outcome = move();
    const std::string text = std::to_string(static_cast<int>(outcome.result)) + outcome.problem;
    const bool ok = ::write(fds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::_exit(ok ? 0 : 1);
  }
  ::close(fds[1]);
  std::string text;
  char buffer[256];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || text.empty()) return std::nullopt;
  TrashOutcome outcome;
  outcome.result = static_cast<TrashResult>(text[0] - '0');
  outcome.problem = text.substr(1);
  return outcome;
}

TEST_F(TrashTest, AReadOnlyFolderLeavesTheFileAndNoInfoAndAReadOnlyTopFolderDeletes) {
  // Folders every user can reach, since the moves may run as "nobody".
  char pattern[] = "/tmp/lv-trash-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string root = pattern;
  ::chmod(root.c_str(), 0755);
  const std::string card = root + "/card";
  const std::string top_locked = root + "/locked";
  std::filesystem::create_directories(card + "/DCIM");
  std::filesystem::create_directories(top_locked + "/DCIM");
  write_file(card + "/DCIM/a.jpg", "a");
  write_file(top_locked + "/DCIM/b.jpg", "b");
  ::chmod((card + "/DCIM").c_str(), 0555);
  ::chmod(top_locked.c_str(), 0555);

  const auto locked_folder = run_unprivileged(
      root, card + "/DCIM", [&] { return move_to_trash(card + "/DCIM/a.jpg", with_card(card)); });
  const auto locked_top = run_unprivileged(root, top_locked, [&] {
    return move_to_trash(top_locked + "/DCIM/b.jpg", with_card(top_locked));
  });
  const bool files_left = exists(card + "/DCIM/a.jpg");
  const bool deleted = !exists(top_locked + "/DCIM/b.jpg");
  std::vector<std::string> info_left;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(card))
    if (entry.path().extension() == ".trashinfo") info_left.push_back(entry.path());
  ::chmod((card + "/DCIM").c_str(), 0755);
  ::chmod(top_locked.c_str(), 0755);
  std::filesystem::remove_all(root);
  if (!locked_folder || !locked_top) GTEST_SKIP() << "cannot run as an unprivileged user";

  EXPECT_EQ(locked_folder->result, TrashResult::failed);
  EXPECT_EQ(locked_folder->problem, "There is no permission to delete the file.");
  EXPECT_TRUE(files_left);
  EXPECT_TRUE(info_left.empty());
  EXPECT_EQ(locked_top->result, TrashResult::deleted) << locked_top->problem;
  EXPECT_TRUE(deleted);
}

}  // namespace
}  // namespace lv::platform
