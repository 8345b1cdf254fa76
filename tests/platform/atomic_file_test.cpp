#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/test_env.h"

namespace lv::platform {
namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class AtomicFile : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = fs::temp_directory_path() / ("atomic-" + std::to_string(::getpid()));
    fs::remove_all(m_folder);
    fs::create_directories(m_folder);
  }
  void TearDown() override { fs::remove_all(m_folder); }
  size_t entries() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(m_folder), {}));
  }
  fs::path m_folder;
};

TEST_F(AtomicFile, ReplacesTheFileALinkNamesAndKeepsItsPermissions) {
  const fs::path real = m_folder / "real.ini";
  const fs::path link = m_folder / "link.ini";
  std::ofstream(real) << "old";
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink(real, link);

  struct stat written {};
  ASSERT_TRUE(write_file_atomically(link.string(), "new", Durability::synced, &written));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(read(real), "new");
  EXPECT_EQ(written.st_size, 3);
  EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(entries(), 2u);  // no temporary left beside them
}

TEST_F(AtomicFile, AFailedRenameLeavesWhatWasThereAndNoTemporary) {
  // A folder in the file's place cannot be replaced by a file.
  const fs::path target = m_folder / "folders.ini";
  fs::create_directories(target);
  std::ofstream(target / "kept") << "old";
  EXPECT_FALSE(write_file_atomically(target.string(), "new", Durability::unsynced));
  EXPECT_EQ(read(target / "kept"), "old");
  EXPECT_EQ(entries(), 1u);
}

}  // namespace
}  // namespace lv::platform
