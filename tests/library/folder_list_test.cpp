#include "library/folder_list.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/log_capture.h"
#include "library/folder_record.h"
#include "platform/text.h"
#include "support/test_env.h"

namespace lv {
namespace {

namespace fs = std::filesystem;
using Records = std::vector<FolderRecord>;

Records twelve_folders() {
  Records records;
  for (int i = 0; i < 12; ++i) {
    const std::u16string n = from_utf8(std::to_string(i));
    const std::u16string drive = i % 3 == 0 ? u"%my_documents%/" : u"/media/card" + n + u"/";
    const std::u16string folder = drive + u"Folder " + n + u"/";
    records.push_back({drive, folder, folder + u"IMG_" + n + u".JPG", 100 + i});
  }
  return records;
}

TEST(FolderListFile, WritesUtf16WithTheMarkTabsAndLineFeeds) {
  EXPECT_EQ(encode_folder_list(
                {{u"/media/card/", u"/media/card/Été 2009/", u"/media/card/Été 2009/a b.jpg", 7},
                 {u"%my_documents%/", u"%my_documents%/", u"%my_documents%/x.jpeg", 12}}),
            test::utf16le_file(u"KeyPicturePath0\t/media/card/Été 2009/a b.jpg\n"
                               u"DrivePath0\t/media/card/\nFolderSize0\t7\n"
                               u"KeyPicturePath1\t%my_documents%/x.jpeg\n"
                               u"DrivePath1\t%my_documents%/\nFolderSize1\t12\n"));
  EXPECT_EQ(encode_folder_list({}), "\xFF\xFE");  // an empty list is the mark alone
}

// Saved (the folder made on the first save) and read back, then saved again
// byte for byte; a second save replaces the whole file and leaves nothing beside.
TEST(FolderListFile, SavingWritesTheWholeListAndLeavesNothingBeside) {
  const std::string folder = test::make_temp_dir("state") + "/lumiview", path = folder + "/f.ini";
  Records loaded;
  ASSERT_TRUE(write_folder_list(from_utf8(path), twelve_folders()));
  ASSERT_TRUE(read_folder_list(from_utf8(path), loaded));
  EXPECT_TRUE(loaded == twelve_folders() && encode_folder_list(loaded) == test::read_file(path));
  const Records one = {{u"/d/", u"/d/", u"/d/x.jpg", 1}};
  ASSERT_TRUE(write_folder_list(from_utf8(path), one));
  EXPECT_TRUE(test::read_file(path) == encode_folder_list(one) &&
              std::distance(fs::directory_iterator(folder), fs::directory_iterator()) == 1);
  // A list that cannot be written leaves the old one as it was.
  fs::create_directory(folder + "/blocked.ini");
  EXPECT_FALSE(write_folder_list(from_utf8(folder + "/blocked.ini"), one) ||
               write_folder_list(u"", one) || !fs::is_directory(folder + "/blocked.ini"));
  // A missing file is an empty list.
  EXPECT_FALSE(read_folder_list(u"/no/such/folders.ini", loaded) || !loaded.empty());
}

// "=" for the tab, blanks, CR LF, lines in any order, no mark, UTF-8 as a
// Linux editor writes it; bytes that are not UTF-8 are one character each.
TEST(FolderListFile, AHandEditedFileReadsTheSameAndDamagedLinesCostOnlyTheirValues) {
  EXPECT_EQ(decode_folder_list("  FolderSize1=3\r\nKeyPicturePath1=/media/card/Été/b.jpg\r\n"
                               "DrivePath1=/media/card/\r\nKeyPicturePath0 \t /m/A/é.jpg\r\n"
                               "DrivePath0\t\t/m/\r\nFolderSize0 5 \r\n\r\nno line of ours\r\n"),
            (Records{{u"/m/", u"/m/A/", u"/m/A/é.jpg", 5},
                     {u"/media/card/", u"/media/card/Été/", u"/media/card/Été/b.jpg", 3}}));
  EXPECT_EQ(decode_folder_list("KeyPicturePath0=/m/\xE9t\xE9/x.jpg\n"),
            (Records{{u"", u"/m/été/", u"/m/été/x.jpg", 0}}));
  // A damaged or missing line costs only its own value; a record without its
  // key picture line is gone.
  const std::u16string text =
      u"KeyPicturePath0\t/c/A/a.jpg\nFolderSize0\tmany\nDrivePath0\t/c/\n"
      u"KeyPicturePath1\t/c/B/b.jpg\nFolderSize1\t-4\n"
      u"KeyPicturePath2\t/c/C/c.jpg\nFolderSize2\t4294967297\n"
      u"KeyPicturePath01\t/c/leading/zero.jpg\nKeyPicturePath3x\t/c/not/a/number.jpg\n"
      u"KeyPicturePath\t/c/no/number.jpg\nKeyPicturePath4\t\n"
      u"DrivePath6\t/media/stray/\nFolderSize6\t9\nKeyPicturePath5\t/c/F/f.jpg\nFolderSize5\t8\n";
  EXPECT_EQ(decode_folder_list(test::utf16le_file(text)),
            (Records{{u"/c/", u"/c/A/", u"/c/A/a.jpg", 0},
                     {u"", u"/c/B/", u"/c/B/b.jpg", 0},
                     {u"", u"/c/C/", u"/c/C/c.jpg", 0},
                     {u"", u"/c/F/", u"/c/F/f.jpg", 8}}));
}

// Never a path cut in the middle, never another record's value.
TEST(FolderListFile, ATruncatedFileGivesOnlyWhatItsIntactLinesSay) {
  const Records records = twelve_folders();
  const std::string bytes = encode_folder_list(records);
  for (size_t cut = 0; cut <= bytes.size(); ++cut) {
    const Records got = decode_folder_list(bytes.substr(0, cut));
    for (size_t i = 0; i < got.size(); ++i)
      ASSERT_TRUE(i < records.size() && got[i].key_picture == records[i].key_picture &&
                  got[i].folder == records[i].folder &&
                  (got[i].drive == records[i].drive || got[i].drive.empty()) &&
                  (got[i].size == records[i].size || got[i].size == 0))
          << "cut at " << cut;
  }
  EXPECT_EQ(decode_folder_list(bytes), records);
}

TEST(FolderRecords, DisplayNamesAndTheFirstRecordOfAFolderFoundExactly) {
  for (const auto& [path, name] :
       {std::pair{u"/media/card/DCIM/100NIKON/DSC_0001.JPG", u"100NIKON"},
        {u"\\Storage Card\\Trip 2009\\x.jpg", u"Trip 2009"},
        {u"%my_documents%/a.jpg", u"My documents"},
        {u"%my_documents%/Trip/a.jpg", u"Trip"}})
    EXPECT_EQ(folder_display_name(path), name) << to_utf8(path);
  const Records records = {{u"/c/", u"/c/A/", u"/c/A/1.jpg", 1},
                           {u"/c/", u"/c/B/", u"/c/B/1.jpg", 2},
                           {u"/c/", u"/c/b/", u"/c/b/1.jpg", 3}};
  // A hint that no longer fits (the list changed) is not trusted.
  EXPECT_EQ(std::tuple(
                find_folder_record(records, u"/c/C/"), find_folder_record(records, u"/c/A/", 0),
                find_folder_record(records, u"/c/b/", 0), find_folder_record(records, u"/c/b/", 7)),
            std::tuple(-1, 0, 2, 2));
}

}  // namespace
}  // namespace lv
