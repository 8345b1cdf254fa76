#include "platform/atomic_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/test_env.h"

namespace lv::platform {
namespace {

namespace fs = std::filesystem;

long entries(const std::string& folder) {
  return std::distance(fs::directory_iterator(folder), {});
}

TEST(AtomicFile, ReplacesTheFileWholeThroughALinkAndKeepsItsPermissions) {
  const std::string folder = test::make_temp_dir("atomic");
  const std::string real = folder + "/real.ini", link = folder + "/link.ini";
  test::write_file(real, "old");
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  const int old_fd = ::open(real.c_str(), O_RDONLY);

  struct stat written {};
  ASSERT_TRUE(write_file_atomically(link, "new", Durability::synced, &written));
  // Replaced, never rewritten in place: a reader of the old file sees it whole.
  char old[8] = {};
  EXPECT_EQ(::pread(old_fd, old, sizeof old - 1, 0), 3);
  ::close(old_fd);
  EXPECT_STREQ(old, "old");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(test::read_file(real), "new");
  EXPECT_EQ(written.st_size, 3);
  EXPECT_EQ(fs::status(real).permissions(), fs::perms(0640));
  EXPECT_EQ(entries(folder), 2);  // no temporary left beside them
}

TEST(AtomicFile, AFailedRenameLeavesWhatWasThereAndNoTemporary) {
  // A folder in the file's place cannot be replaced by a file.
  const std::string folder = test::make_temp_dir("atomic");
  const std::string target = folder + "/folders.ini";
  fs::create_directories(target);
  test::write_file(target + "/kept", "old");
  EXPECT_FALSE(write_file_atomically(target, "new", Durability::unsynced));
  EXPECT_EQ(test::read_file(target + "/kept"), "old");
  EXPECT_EQ(entries(folder), 1);
}

}  // namespace
}  // namespace lv::platform
