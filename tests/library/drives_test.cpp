#include "library/drives.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/file_search.h"
#include "library/library_test_support.h"
#include "library/open_target.h"

namespace lv {
namespace {

namespace fs = std::filesystem;
using namespace test::library;
using Kind = OpenTarget::Kind;

TEST(MountTable, RemovableOnesAreMediaRunMediaAndMntAndAPathsIsTheLongestLeadingIt) {
  EXPECT_EQ(removable_mount_points("/dev/vda1 / ext4 rw,relatime 0 0\n"
                                   "/dev/sdb1 /run/media/ann/NIKON\\040D90 vfat rw 0 0\n"
                                   "/dev/sdc1 /media/usb vfat ro 0 0\ntmpfs /mnt tmpfs rw 0 0\n"
                                   "/dev/sdd1 /mnt/back\\134slash ext4 rw 0 0\n"
                                   "/dev/sde1 /media2/other ext4 rw 0 0\n"
                                   "/dev/sdf1 /home/ann/mnt/x ext4 rw 0 0\nbroken-line\n"
                                   "/dev/sdg1 /media/last vfat rw 0 0"),  // no line end
            (std::vector<std::u16string>{u"/run/media/ann/NIKON D90", u"/media/usb",
                                         u"/mnt/back\\slash", u"/media/last"}));
  // A path's mount point is the longest that leads it by whole names.
  const std::string table =
      "/dev/vda1 / ext4 rw 0 0\n/dev/vdb1 /home ext4 rw 0 0\n"
      "/dev/sdb1 /home/ann/my\\040disk/ vfat rw 0 0\n/dev/sdc1 /home/ann/my ext4 rw 0 0\n";
  for (const auto& [path, mount] :
       {std::pair{u"/home/ann/my disk/DCIM/a.jpg", u"/home/ann/my disk"},
        {u"/home/ann/my/a.jpg", u"/home/ann/my"},
        {u"/home/ann/myself/a.jpg", u"/home"},
        {u"/homework/a.jpg", u"/"}})
    EXPECT_EQ(mount_point_of(table, path), mount);
}

TEST(Drives, TheSearchableCardsAndTheDriveOfAPathCardThenPicturesFolderThenVolume) {
  Device device(1);
  const std::string inner_card = device.pictures() + "/sd";
  fs::create_directories(inner_card);
  device.set_cards({device.card(0), inner_card});  // one inside the pictures folder is no drive
  EXPECT_EQ(drive_of(u(device.card(0) + "/DCIM/a.jpg")), u(device.card(0) + "/"));
  EXPECT_EQ(drive_of(u(device.pictures() + "/Trip/")), u"%my_documents%/");
  EXPECT_EQ(drive_of(u(inner_card + "/a.jpg")), u"%my_documents%/");
  const std::string elsewhere = fs::canonical(device.root()).string() + "/elsewhere/a.jpg";
  std::u16string volume = mount_point_of(test::read_file("/proc/self/mounts"), u(elsewhere));
  EXPECT_EQ(drive_of(u(elsewhere)), volume == u"/" ? volume : volume + u'/');

  // A missing folder, /proc (a volume of 0 bytes), a repeat, a card inside
  // another, the pictures folder and a folder that holds it are no drives.
  const std::string a = device.root() + "/media/a", b = device.root() + "/media/b";
  fs::create_directories(a + "/inner");
  fs::create_directories(b);
  device.set_cards({b, a, device.root() + "/media/gone", "/proc", a + "/", a + "/inner",
                    device.pictures(), device.root()});
  CollectingVisitor visitor;
  find_drives(visitor);
  EXPECT_TRUE(visitor.folders == (std::vector{u(b), u(a)}) && visitor.files.empty());
}

TEST(CardLeftOut, ByVolumeSizeAndByNestingWithThePicturesFolderByWholeNamesAndThroughLinks) {
  const std::u16string docs = u"/home/ann/Pictures";
  // Too small, holding the pictures folder (its path leads the pictures
  // folder's) or inside it; not when the names only begin alike.
  EXPECT_TRUE(card_left_out(u"/media/card", docs, 1'000'000) &&
              card_left_out(u"/home/ann/", docs, 8'000'000'000) &&
              card_left_out(u"/home/ann/Pictures/sd", docs, 8'000'000'000));
  const std::string root = test::make_temp_dir("nest");  // a card reached through a link
  fs::create_directories(root + "/real/Pictures");
  fs::create_symlink(root + "/real", root + "/link");
  EXPECT_TRUE(card_left_out(u(root + "/link"), u(root + "/real/Pictures"), 8'000'000'000));
  EXPECT_FALSE(card_left_out(u"/media/card", docs, 1'000'001) ||
               card_left_out(u"/home/an", docs, 8'000'000'000) ||
               card_left_out(u"/home/ann/Pictures2", docs, 8'000'000'000));
}

// Pictures, folders and what cannot be shown; the path tidied to the form
// the folder's listing gives, with the folder list's own record.
TEST(OpenTarget, TellsWhatAPathIsAndTidiesIt) {
  Device device{1};
  const std::string trip = device.pictures() + "/Trip";
  fs::create_directories(trip + "/sub");
  test::write_file(trip + "/a.jpg", small_jpeg(1));
  const auto target = [](const std::string& path, const std::vector<FolderRecord>& list = {}) {
    return find_open_target(u(path), list);
  };
  test::write_file(device.card(0) + "/b.jfif", small_jpeg(2));  // a JPEG no listing finds
  test::write_file(trip + "/png.jpg", std::string("\x89PNG\r\n\x1a\n", 8));
  test::write_file(trip + "/short.jpg", "\xFF\xD8");
  ASSERT_EQ(::mkfifo((trip + "/fifo.jpg").c_str(), 0600), 0);  // must not wait for a writer
  const OpenTarget a = target(trip + "/a.jpg"), folder = target(trip);
  // Not in the folder list: its drive as a search would give it, and no
  // key picture, so the folder screen leaves the list alone.
  EXPECT_EQ(std::tuple(a.kind, a.path, a.record),
            std::tuple(Kind::picture, u(trip + "/a.jpg"),
                       FolderRecord{u"%my_documents%/", u(trip + "/"), u"", 0}));
  EXPECT_EQ(target(device.card(0) + "/b.jfif").kind, Kind::picture);
  EXPECT_EQ(std::tuple(folder.kind, folder.path, folder.record.folder),
            std::tuple(Kind::folder, u(trip + "/"), u(trip + "/")));
  for (const char* name : {"/png.jpg", "/short.jpg", "/fifo.jpg"})
    EXPECT_EQ(target(trip + name).kind, Kind::not_picture) << name;
  for (const std::u16string& path :
       {u(trip + "/gone.jpg"), std::u16string(u"a.jpg"), std::u16string(u"/a\0b.jpg", 8)})
    EXPECT_EQ(find_open_target(path, {}).kind, Kind::missing) << to_utf8(path);
  // A regular file whose reading fails even for the superuser.
  EXPECT_EQ(target("/proc/self/mem").kind, Kind::unreadable);

  const FolderRecord known{u"%my_documents%/", u"%my_documents%/Trip/",
                           u"%my_documents%/Trip/a.jpg", 3};
  for (const std::string& written :
       {trip + "/a.jpg", device.pictures() + "//Trip/./sub/../a.jpg"}) {
    const OpenTarget found = target(written, {known});
    EXPECT_EQ(std::tuple(found.kind, found.path, found.record),
              std::tuple(Kind::picture, std::u16string(u"%my_documents%/Trip/a.jpg"), known))
        << written;
  }
  EXPECT_EQ(target(trip + "/sub/..", {known}).path, u"%my_documents%/Trip/");
  // Through a link, ".." leads beside the link's target, as the system's walk does.
  fs::create_directories(device.card(0) + "/deep/er");
  test::write_file(device.card(0) + "/deep/c.jpg", small_jpeg(3));
  fs::create_directory_symlink(device.card(0) + "/deep/er", device.pictures() + "/link");
  EXPECT_EQ(target(device.pictures() + "/link/../c.jpg", {known}).path,
            u(fs::canonical(device.card(0)).string() + "/deep/c.jpg"));
}

}  // namespace
}  // namespace lv
