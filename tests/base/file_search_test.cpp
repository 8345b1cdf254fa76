#include "base/file_search.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/text.h"
#include "support/scoped_env.h"
#include "support/test_env.h"

namespace lv {
namespace {

// Records every call as "F /a.jpg, D /sub", the root folder left out;
// answers false at the call numbered stop_at.
struct RecordingVisitor : FileVisitor {
  bool on_file(const std::u16string& path) override { return record(u"F ", path); }
  bool on_folder(const std::u16string& path) override { return record(u"D ", path); }
  bool record(std::u16string kind, const std::u16string& path) {
    calls += (calls.empty() ? u"" : u", ") + kind +
             (path.starts_with(root) ? path.substr(root.size()) : u"?" + path);
    return ++count != stop_at;
  }
  std::u16string root, calls;
  size_t count = 0, stop_at = 0;
};

// Sorted, files first, depth first. Links back to a folder walked already,
// FIFOs, broken links, names that are not UTF-8, hidden folders and the
// trash are left out; hidden files are still files. "again" is met before
// "zlink", so the linked folder is walked under that name only.
const std::u16string kFullWalk =
    u"F /Z.Jpg, F /a.jpg, F /b.JPG, F /link.jpg, F /\u00E9t\u00E9.JPG, D /data, D /data/kept, "
    u"F /data/kept/k.jpg, D /dir.jpg, F /dir.jpg/in.jpg, D /empty, D /sub0, F /sub0/w.jpg, "
    u"D /sub0/again, F /sub0/again/o.jpg, D /sub1, F /sub1/.hidden.jpg, F /sub1/x.JPG, "
    u"D /sub1/deeper, F /sub1/deeper/y.jpg";

std::u16string first_of_walk(size_t count) {
  size_t end = 0;
  while (count-- > 0 && end != std::u16string::npos) end = kFullWalk.find(u", ", end + 1);
  return kFullWalk.substr(0, end);
}

class FileSearchTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::string elsewhere = test::make_temp_dir("elsewhere");
    test::write_file(elsewhere + "/o.jpg", "jpeg");
    for (const char* file :
         {"a.jpg", "b.JPG", "Z.Jpg", "c.jpeg", "notes.txt", "\xC3\xA9t\xC3\xA9.JPG", "bad\xFF.jpg",
          "dir.jpg/in.jpg", "sub0/w.jpg", "sub1/x.JPG", "sub1/deeper/y.jpg", "empty/",
          ".cache/c.jpg", ".Trash-1000/files/t.jpg", "data/Trash/files/d.jpg", "data/kept/k.jpg",
          "sub1/.hidden.jpg"}) {
      std::filesystem::create_directories(std::filesystem::path(m_root + "/" + file).parent_path());
      if (!std::string_view(file).ends_with('/')) test::write_file(m_root + "/" + file, "jpeg");
    }
    const std::pair<std::string, const char*> links[] = {
        {"a.jpg", "/link.jpg"}, {"gone", "/broken.jpg"}, {".", "/loop"},
        {"..", "/sub1/up"},     {elsewhere, "/zlink"},   {elsewhere, "/sub0/again"}};
    for (auto [target, link] : links)
      ASSERT_EQ(::symlink(target.c_str(), (m_root + link).c_str()), 0);
    ASSERT_EQ(::mkfifo((m_root + "/pipe.jpg").c_str(), 0600), 0);
    m_env.set("XDG_DATA_HOME", m_root + "/data");  // the home trash is data/Trash
  }

  std::u16string walk(std::u16string_view files, std::u16string_view folders, Recursion recursion,
                      std::u16string_view under = u"", size_t stop_at = 0) const {
    RecordingVisitor visitor;
    visitor.root = m_r;
    visitor.stop_at = stop_at;
    EXPECT_TRUE(find_files(visitor, m_r + std::u16string(under), files, folders, recursion));
    return visitor.calls;
  }

  test::ScopedEnv m_env;
  std::string m_root = test::make_temp_dir("card");
  std::u16string m_r = from_utf8(m_root);
};

TEST_F(FileSearchTest, WalkOrderFlatListingFolderPatternsAndFolderNames) {
  EXPECT_EQ(walk(u"*.jpg", u"*", Recursion::recursive), kFullWalk);
  // A flat listing shows hidden folders as they are and a link to a folder as a folder.
  EXPECT_EQ(walk(u"*.JPEG", u"*", Recursion::flat),
            u"F /c.jpeg, D /.Trash-1000, D /.cache, D /data, D /dir.jpg, D /empty, D /loop, "
            u"D /sub0, D /sub1, D /zlink");
  EXPECT_EQ(walk(u"*.jpg", u"do_not_search", Recursion::recursive), first_of_walk(5));
  EXPECT_EQ(walk(u"?.jpg", u"SUB*", Recursion::recursive),
            u"F /Z.Jpg, F /a.jpg, F /b.JPG, D /sub0, F /sub0/w.jpg, D /sub1, F /sub1/x.JPG");
  // A folder is joined with one separator; missing folders give nothing.
  EXPECT_EQ(walk(u"*", u"*", Recursion::flat, u"/sub1/"),
            u"F /sub1/.hidden.jpg, F /sub1/x.JPG, D /sub1/deeper, D /sub1/up");
  // The folder is reported as given; backslashes reach the file system as '/'.
  EXPECT_EQ(walk(u"*", u"*", Recursion::flat, u"\\sub0\\"), u"F \\sub0\\w.jpg, D \\sub0\\again");
  EXPECT_EQ(walk(u"*", u"*", Recursion::recursive, u"/vanished") +
                walk(u"*", u"*", Recursion::recursive, u"/a.jpg"),
            u"");
}

TEST_F(FileSearchTest, VisitorStopsTheSearchAndEveryFolderIsClosed) {
  auto open_descriptors = [] {
    auto fds = std::filesystem::directory_iterator("/proc/self/fd");
    return std::distance(begin(fds), end(fds));
  };
  const auto before = open_descriptors();
  for (size_t stop_at : {1, 6, 7, 15, 20})
    EXPECT_EQ(walk(u"*.jpg", u"*", Recursion::recursive, u"", stop_at), first_of_walk(stop_at));
  EXPECT_EQ(open_descriptors(), before);
}

TEST(MatchPattern, StarsMayBeEmptyBacktrackAndDotStarMatchesAnyName) {
  const std::tuple<std::u16string_view, std::u16string_view, bool> cases[] = {
      {u"*.jpg", u".jpg", true},
      {u"*.jpg", u"a.jpg.txt", false},
      {u"a*b*c", u"aXXbYYbZc", true},
      {u"*.*", u"README", true},
      {u"?", u"", false}};
  for (auto [pattern, name, matches] : cases)
    EXPECT_EQ(match_pattern(pattern, name), matches) << to_utf8(pattern) << " " << to_utf8(name);
}

}  // namespace
}  // namespace lv
