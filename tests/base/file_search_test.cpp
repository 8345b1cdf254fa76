#include "app/base/file_search.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

#include "platform/text.h"
#include "support/test_env.h"

namespace lv {
namespace {

std::u16string u16(const std::string& text) {
  return from_utf8(text);
}

// Records every call in order; answers false at the call numbered stop_at.
class RecordingVisitor : public FileVisitor {
 public:
  explicit RecordingVisitor(int stop_at = -1) : m_stop_at(stop_at) {}
  bool on_file(const std::u16string& path) override { return record(u"F " + path); }
  bool on_folder(const std::u16string& path) override { return record(u"D " + path); }
  std::vector<std::u16string> calls;

 private:
  bool record(std::u16string call) {
    calls.push_back(std::move(call));
    return static_cast<int>(calls.size()) != m_stop_at;
  }
  int m_stop_at;
};

int open_descriptors() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count;
}

class FileSearchTest : public testing::Test {
 protected:
  void SetUp() override {
    m_root = test::make_temp_dir("card");
    for (const char* file :
         {"a.jpg", "b.JPG", "Z.Jpg", "c.jpeg", "notes.txt", "\xC3\xA9t\xC3\xA9.JPG", "bad\xFF.jpg",
          "dir.jpg/inner.jpg", "sub0/w.jpg", "sub1/x.JPG", "sub1/deeper/y.jpg"}) {
      const std::string path = m_root + "/" + file;
      std::filesystem::create_directories(std::filesystem::path(path).parent_path());
      test::write_file(path, "jpeg");
    }
    std::filesystem::create_directory(m_root + "/empty");
    ASSERT_EQ(::symlink("a.jpg", (m_root + "/link.jpg").c_str()), 0);
    ASSERT_EQ(::symlink("missing.jpg", (m_root + "/broken.jpg").c_str()), 0);
    ASSERT_EQ(::symlink(".", (m_root + "/loop").c_str()), 0);
    ASSERT_EQ(::symlink("..", (m_root + "/sub1/up").c_str()), 0);
    ASSERT_EQ(::mkfifo((m_root + "/pipe.jpg").c_str(), 0600), 0);
    m_r = u16(m_root);
  }

  std::vector<std::u16string> full_walk() const {
    return {u"F " + m_r + u"/Z.Jpg",
            u"F " + m_r + u"/a.jpg",
            u"F " + m_r + u"/b.JPG",
            u"F " + m_r + u"/link.jpg",
            u"F " + m_r + u"/\u00E9t\u00E9.JPG",
            u"D " + m_r + u"/dir.jpg",
            u"F " + m_r + u"/dir.jpg/inner.jpg",
            u"D " + m_r + u"/empty",
            u"D " + m_r + u"/sub0",
            u"F " + m_r + u"/sub0/w.jpg",
            u"D " + m_r + u"/sub1",
            u"F " + m_r + u"/sub1/x.JPG",
            u"D " + m_r + u"/sub1/deeper",
            u"F " + m_r + u"/sub1/deeper/y.jpg"};
  }

  std::string m_root;
  std::u16string m_r;
};

TEST_F(FileSearchTest, RecursiveWalkIsSortedFilesFirstDepthFirstAndIgnoresLinkedFolders) {
  RecordingVisitor visitor;
  EXPECT_TRUE(find_files(visitor, m_r, u"*.jpg", u"*", Recursion::recursive));
  EXPECT_EQ(visitor.calls, full_walk());
}

TEST_F(FileSearchTest, FlatListingReportsSubFoldersWithoutEnteringThem) {
  RecordingVisitor visitor;
  find_files(visitor, m_r, u"*.JPEG", u"*", Recursion::flat);
  EXPECT_EQ(visitor.calls,
            (std::vector<std::u16string>{u"F " + m_r + u"/c.jpeg", u"D " + m_r + u"/dir.jpg",
                                         u"D " + m_r + u"/empty", u"D " + m_r + u"/sub0",
                                         u"D " + m_r + u"/sub1"}));
}

TEST_F(FileSearchTest, FolderPatternChoosesWhichFoldersAreReportedAndEntered) {
  RecordingVisitor none;
  find_files(none, m_r, u"*.jpg", u"do_not_search", Recursion::recursive);
  const std::vector<std::u16string> all = full_walk();
  EXPECT_EQ(none.calls, std::vector<std::u16string>(all.begin(), all.begin() + 5));

  RecordingVisitor subs;
  find_files(subs, m_r, u"?.jpg", u"SUB*", Recursion::recursive);
  EXPECT_EQ(subs.calls,
            (std::vector<std::u16string>{u"F " + m_r + u"/Z.Jpg", u"F " + m_r + u"/a.jpg",
                                         u"F " + m_r + u"/b.JPG", u"D " + m_r + u"/sub0",
                                         u"F " + m_r + u"/sub0/w.jpg", u"D " + m_r + u"/sub1",
                                         u"F " + m_r + u"/sub1/x.JPG"}));
}

TEST_F(FileSearchTest, VisitorStopsTheSearchAndEveryFolderIsClosed) {
  const int before = open_descriptors();
  const std::vector<std::u16string> all = full_walk();
  for (int stop_at : {1, 6, 7, 10, 14}) {
    RecordingVisitor visitor(stop_at);
    EXPECT_TRUE(find_files(visitor, m_r, u"*.jpg", u"*", Recursion::recursive));
    EXPECT_EQ(visitor.calls, std::vector<std::u16string>(all.begin(), all.begin() + stop_at));
  }
  EXPECT_EQ(open_descriptors(), before);
}

TEST_F(FileSearchTest, PathsAreJoinedWithOneSeparator) {
  CollectingVisitor trailing;
  find_files(trailing, m_r + u"/sub1/", u"*", u"*", Recursion::flat);
  EXPECT_EQ(trailing.files, (std::vector<std::u16string>{m_r + u"/sub1/x.JPG"}));
  EXPECT_EQ(trailing.folders, (std::vector<std::u16string>{m_r + u"/sub1/deeper"}));

  // The folder is reported as given; backslashes reach the file system as '/'.
  std::u16string backslashed = m_r + u"\\sub0\\";
  CollectingVisitor handheld;
  find_files(handheld, backslashed, u"*", u"*", Recursion::flat);
  EXPECT_EQ(handheld.files, (std::vector<std::u16string>{backslashed + u"w.jpg"}));

  char old_cwd[PATH_MAX];
  ASSERT_NE(::getcwd(old_cwd, sizeof old_cwd), nullptr);
  ASSERT_EQ(::chdir((m_root + "/sub1").c_str()), 0);
  CollectingVisitor relative;
  find_files(relative, u"", u"*.jpg", u"*", Recursion::recursive);
  ASSERT_EQ(::chdir(old_cwd), 0);
  EXPECT_EQ(relative.files, (std::vector<std::u16string>{u"x.JPG", u"deeper/y.jpg"}));
  EXPECT_EQ(relative.folders, (std::vector<std::u16string>{u"deeper"}));
}

TEST_F(FileSearchTest, MissingFoldersContributeNothing) {
  CollectingVisitor visitor;
  EXPECT_TRUE(find_files(visitor, m_r + u"/vanished", u"*", u"*", Recursion::recursive));
  EXPECT_TRUE(find_files(visitor, m_r + u"/a.jpg", u"*", u"*", Recursion::recursive));
  EXPECT_TRUE(visitor.files.empty());
  EXPECT_TRUE(visitor.folders.empty());
}

TEST_F(FileSearchTest, UnreadableFolderIsReportedButContributesNothing) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  ASSERT_EQ(::chmod((m_root + "/sub1").c_str(), 0), 0);
  CollectingVisitor locked;
  find_files(locked, m_r, u"*.jpg", u"sub*", Recursion::recursive);
  ::chmod((m_root + "/sub1").c_str(), 0755);
  EXPECT_EQ(locked.folders, (std::vector<std::u16string>{m_r + u"/sub0", m_r + u"/sub1"}));
  EXPECT_EQ(locked.files.back(), m_r + u"/sub0/w.jpg");
}

TEST(MatchPattern, WildcardsIgnoreLetterCase) {
  EXPECT_TRUE(match_pattern(u"*.jpg", u"IMG_0001.JPG"));
  EXPECT_TRUE(match_pattern(u"*.JPG", u"holiday.jpg"));
  EXPECT_FALSE(match_pattern(u"*.jpg", u"holiday.jpeg"));
  EXPECT_FALSE(match_pattern(u"*.jpg", u"holiday.jpg.txt"));
  EXPECT_TRUE(match_pattern(u"*.jpg", u".jpg"));
  EXPECT_TRUE(match_pattern(u"*", u""));
  EXPECT_FALSE(match_pattern(u"?", u""));
  EXPECT_TRUE(match_pattern(u"IMG_????.jpg", u"img_1234.JPG"));
  EXPECT_FALSE(match_pattern(u"IMG_????.jpg", u"img_123.JPG"));
  EXPECT_TRUE(match_pattern(u"a*b*c", u"aXXbYYbZc"));
  EXPECT_FALSE(match_pattern(u"a*b*c", u"aXXbYYbZ"));
  EXPECT_TRUE(match_pattern(u"*.*", u"README"));
  EXPECT_TRUE(match_pattern(u"\u00C9T\u00C9*", u"\u00E9t\u00E9.jpg"));
  EXPECT_TRUE(match_pattern(u"\u041C\u041E\u0421\u041A\u0412\u0410.*",
                            u"\u043C\u043E\u0441\u043A\u0432\u0430.jpg"));
  EXPECT_TRUE(match_pattern(u"\u0141\u00D3D\u0179*", u"\u0142\u00F3d\u017A.jpg"));
  EXPECT_FALSE(match_pattern(u"\u00D7", u"\u00F7"));
  EXPECT_FALSE(match_pattern(u"do_not_search", u"sub0"));
}

}  // namespace
}  // namespace lv
