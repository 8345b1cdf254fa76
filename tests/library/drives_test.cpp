#include "library/drives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "base/file_search.h"
#include "base/log_capture.h"
#include "library/library_test_support.h"
#include "platform/text.h"
#include "support/scoped_env.h"

namespace lv {
namespace {

namespace fs = std::filesystem;

TEST(RemovableMountPoints, TakesMediaRunMediaAndMntInTableOrderWithEscapesDecoded) {
  const std::string table =
      "/dev/vda1 / ext4 rw,relatime 0 0\n"
      "proc /proc proc rw 0 0\n"
      "/dev/sdb1 /run/media/ann/NIKON\\040D90 vfat rw 0 0\n"
      "/dev/sdc1 /media/usb vfat ro 0 0\n"
      "tmpfs /mnt tmpfs rw 0 0\n"
      "/dev/sdd1 /mnt/back\\134slash ext4 rw 0 0\n"
      "/dev/sde1 /media2/other ext4 rw 0 0\n"
      "/dev/sdf1 /home/ann/mnt/x ext4 rw 0 0\n"
      "broken-line-without-fields\n"
      "/dev/sdg1 /media/last vfat rw 0 0";  // no line end
  EXPECT_EQ(removable_mount_points(table),
            (std::vector<std::u16string>{u"/run/media/ann/NIKON D90", u"/media/usb",
                                         u"/mnt/back\\slash", u"/media/last"}));
  EXPECT_TRUE(removable_mount_points("").empty());
}

TEST(MountPointOf, IsTheLongestMountPointThatLeadsThePathByWholeNames) {
  const std::string table =
      "/dev/vda1 / ext4 rw 0 0\n/dev/vdb1 /home ext4 rw 0 0\n"
      "/dev/sdb1 /home/ann/my\\040disk/ vfat rw 0 0\n/dev/sdc1 /home/ann/my ext4 rw 0 0\n";
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"/home/ann/my disk/DCIM/a.jpg", u"/home/ann/my disk"},
      {u"/home/ann/my/a.jpg", u"/home/ann/my"},
      {u"/home/ann/myself/a.jpg", u"/home"},
      {u"/home", u"/home"},
      {u"/homework/a.jpg", u"/"}};
  for (const auto& [path, mount] : cases) EXPECT_EQ(mount_point_of(table, path), mount);
  EXPECT_EQ(mount_point_of("", u"/srv/a.jpg"), u"/");
}

TEST(DriveOf, IsTheCardThenThePicturesFolderThenTheVolume) {
  test::library::Device device(1);
  const std::string inner_card = device.pictures() + "/sd";
  fs::create_directories(inner_card);
  // A card inside the pictures folder is no drive of its own.
  device.set_cards({device.card(0), inner_card});
  EXPECT_EQ(drive_of(from_utf8(device.card(0) + "/DCIM/a.jpg")), from_utf8(device.card(0)) + u"/");
  EXPECT_EQ(drive_of(from_utf8(device.pictures() + "/Trip/")), u"%my_documents%/");
  EXPECT_EQ(drive_of(from_utf8(inner_card + "/a.jpg")), u"%my_documents%/");

  const std::string elsewhere = fs::canonical(device.root()).string() + "/elsewhere/a.jpg";
  std::u16string volume =
      mount_point_of(test::read_file("/proc/self/mounts"), from_utf8(elsewhere));
  if (volume != u"/") volume += u'/';
  EXPECT_EQ(drive_of(from_utf8(elsewhere)), volume);
}

TEST(CardCandidates, ComeFromTheVariableCleanedUp) {
  test::ScopedEnv env;
  const std::string cwd = fs::current_path().string();
  env.set("LUMIVIEW_CARDS", "/media/a/::relative/card//:/media/b/../c/");
  EXPECT_EQ(card_candidates(), (std::vector<std::u16string>{
                                   u"/media/a", from_utf8(cwd + "/relative/card"), u"/media/c"}));
  env.set("LUMIVIEW_CARDS", "");
  EXPECT_TRUE(card_candidates().empty());
}

TEST(CardLeftOut, ByVolumeSizeAndByNestingWithThePicturesFolderByWholeNames) {
  const std::u16string docs = u"/home/ann/Pictures";
  EXPECT_TRUE(card_left_out(u"/media/card", docs, 1'000'000));
  EXPECT_FALSE(card_left_out(u"/media/card", docs, 1'000'001));
  EXPECT_TRUE(card_left_out(u"/media/card", docs, 0));  // size unknown
  // A card whose path leads the pictures folder's holds it.
  for (const char16_t* card :
       {u"/home", u"/home/ann/", u"/home/ann/Pictures", u"/home/ann/Pictures/sd"})
    EXPECT_TRUE(card_left_out(card, docs, 8'000'000'000)) << to_utf8(card);
  for (const char16_t* card : {u"/home/an", u"/home/ann/Pictures2"})
    EXPECT_FALSE(card_left_out(card, docs, 8'000'000'000)) << to_utf8(card);
}

TEST(PathsNest, ComparesNormalisedPathsWithLinksResolved) {
  EXPECT_TRUE(paths_nest(u"/media/card/DCIM/", u"/media/card"));
  EXPECT_TRUE(paths_nest(u"/media/x/../card", u"/media/card/"));
  EXPECT_FALSE(paths_nest(u"/media/card", u"/media/card2"));
  EXPECT_TRUE(paths_nest(u"/", u"/media"));
  // A card reached through a link is the same card.
  const std::string root = test::make_temp_dir("nest");
  fs::create_directories(root + "/real/DCIM");
  fs::create_symlink(root + "/real", root + "/link");
  EXPECT_TRUE(paths_nest(from_utf8(root + "/link"), from_utf8(root + "/real/DCIM")));
}

TEST(FindDrives, ReturnsTheSearchableCardsInOrderAndLogsEveryDecision) {
  test::library::Device device(0);
  const std::string a = device.root() + "/media/a";
  const std::string b = device.root() + "/media/b";
  const std::string inside = a + "/inner";
  fs::create_directories(inside);
  fs::create_directories(b);
  const std::string missing = device.root() + "/media/gone";
  // /proc reports a volume of 0 bytes: too small to search.
  device.set_cards({b, a, missing, "/proc", a + "/", inside, device.pictures(), device.root()});

  test::start_fresh_log();
  CollectingVisitor visitor;
  find_drives(visitor);
  const auto lines = test::read_log_lines();
  test::set_log_switch(0);

  EXPECT_EQ(visitor.folders, (std::vector<std::u16string>{from_utf8(b), from_utf8(a)}));
  EXPECT_TRUE(visitor.files.empty());
  std::vector<std::string> expected = {"find_drives: mydoc={" + device.pictures() + "}",
                                       "returning result={" + b + "}",
                                       "returning result={" + a + "}"};
  for (const std::string& skipped :
       {missing, std::string("/proc"), inside, device.pictures(), device.root()})
    expected.push_back("skipping result={" + skipped + "}");
  for (const std::string& line : expected)
    EXPECT_NE(std::find(lines.begin(), lines.end(), from_utf8(line)), lines.end()) << line;
}

TEST(FindDrives, StopsWhenTheVisitorSaysSo) {
  test::library::Device device(3);
  class FirstOnly : public CollectingVisitor {
   public:
    bool on_folder(const std::u16string& path) override {
      CollectingVisitor::on_folder(path);
      return false;
    }
  } visitor;
  find_drives(visitor);
  EXPECT_EQ(visitor.folders, std::vector<std::u16string>{from_utf8(device.card(0))});
}

}  // namespace
}  // namespace lv
