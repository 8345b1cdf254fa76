#include "library/open_target.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "library/library_test_support.h"
#include "platform/text.h"

namespace lv {
namespace {

namespace fs = std::filesystem;
using Kind = OpenTarget::Kind;

// A device with a picture in the "Trip" folder of the pictures folder.
class OpenTargetTest : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(trip + "/sub");
    test::write_file(trip + "/a.jpg", test::library::small_jpeg(1));
  }
  test::library::Device device{1};
  const std::string trip = device.pictures() + "/Trip";
};

TEST_F(OpenTargetTest, TellsPicturesFoldersAndWhatCannotBeShown) {
  // Named as no listing finds it, but a JPEG all the same.
  test::write_file(device.card(0) + "/b.jfif", test::library::small_jpeg(2));
  test::write_file(trip + "/png.jpg", std::string("\x89PNG\r\n\x1a\n", 8));
  test::write_file(trip + "/empty.jpg", "");
  test::write_file(trip + "/short.jpg", "\xFF\xD8");
  ASSERT_EQ(::mkfifo((trip + "/fifo.jpg").c_str(), 0600), 0);

  const std::vector<FolderRecord> none;
  OpenTarget a = find_open_target(from_utf8(trip + "/a.jpg"), none);
  EXPECT_EQ(a.kind, Kind::picture);
  EXPECT_EQ(a.path, from_utf8(trip + "/a.jpg"));
  // Not in the folder list: its drive as a search would give it, and no
  // key picture, so the folder screen leaves the list alone.
  EXPECT_EQ(a.record, (FolderRecord{u"%my_documents%/", from_utf8(trip + "/"), u"", 0}));

  OpenTarget b = find_open_target(from_utf8(device.card(0) + "/b.jfif"), none);
  EXPECT_EQ(b.kind, Kind::picture);
  EXPECT_EQ(b.record.drive, from_utf8(device.card(0) + "/"));

  OpenTarget folder = find_open_target(from_utf8(trip), none);
  EXPECT_EQ(folder.kind, Kind::folder);
  EXPECT_EQ(folder.path, from_utf8(trip + "/"));
  EXPECT_EQ(folder.record.folder, folder.path);

  // A FIFO must not be read: it would wait for a writer.
  for (const char* name : {"/png.jpg", "/empty.jpg", "/short.jpg", "/fifo.jpg"})
    EXPECT_EQ(find_open_target(from_utf8(trip + name), none).kind, Kind::not_picture) << name;
  for (const std::u16string& path : {from_utf8(trip + "/gone.jpg"), std::u16string(u"a.jpg"),
                                     std::u16string(), std::u16string(u"/a\0b.jpg", 8)})
    EXPECT_EQ(find_open_target(path, none).kind, Kind::missing) << to_utf8(path);
  // A regular file whose reading fails even for the superuser.
  EXPECT_EQ(find_open_target(u"/proc/self/mem", none).kind, Kind::unreadable);
}

TEST_F(OpenTargetTest, TidiesThePathAndTakesTheFolderListsOwnRecord) {
  const FolderRecord known{u"%my_documents%/", u"%my_documents%/Trip/",
                           u"%my_documents%/Trip/a.jpg", 3};

  for (const std::string& written :
       {trip + "/a.jpg", device.pictures() + "//Trip/./sub/../a.jpg"}) {
    const OpenTarget target = find_open_target(from_utf8(written), {known});
    EXPECT_EQ(target.kind, Kind::picture) << written;
    // In the form the folder's listing gives, so the screens find it there.
    EXPECT_EQ(target.path, u"%my_documents%/Trip/a.jpg") << written;
    EXPECT_EQ(target.record, known) << written;
  }
  const OpenTarget folder = find_open_target(from_utf8(trip + "/sub/.."), {known});
  EXPECT_EQ(folder.kind, Kind::folder);
  EXPECT_EQ(folder.path, u"%my_documents%/Trip/");

  // Through a link, ".." leads where the system's walk leads: beside the
  // link's target, not beside the link.
  fs::create_directories(device.card(0) + "/deep/er");
  test::write_file(device.card(0) + "/deep/c.jpg", test::library::small_jpeg(3));
  fs::create_directory_symlink(device.card(0) + "/deep/er", device.pictures() + "/link");
  const OpenTarget linked =
      find_open_target(from_utf8(device.pictures() + "/link/../c.jpg"), {known});
  EXPECT_EQ(linked.kind, Kind::picture);
  EXPECT_EQ(linked.path, from_utf8(fs::canonical(device.card(0)).string() + "/deep/c.jpg"));
}

}  // namespace
}  // namespace lv
