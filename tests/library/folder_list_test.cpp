#include "library/folder_list.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/log_capture.h"
#include "platform/text.h"
#include "support/scoped_env.h"
#include "support/test_env.h"

namespace lv {
namespace {

namespace fs = std::filesystem;
using test::utf16le;
using test::utf16le_file;

std::vector<FolderRecord> twelve_folders() {
  std::vector<FolderRecord> records;
  for (int i = 0; i < 12; ++i) {
    const std::u16string n = from_utf8(std::to_string(i));
    const std::u16string drive = i % 3 == 0 ? u"%my_documents%/" : u"/media/card" + n + u"/";
    const std::u16string folder = drive + u"Folder " + n + u"/";
    records.push_back({drive, folder, folder + u"IMG_" + n + u".JPG", 100 + i});
  }
  return records;
}

TEST(FolderListFile, WritesUtf16WithTheMarkTabsAndLineFeeds) {
  const std::vector<FolderRecord> records = {
      {u"/media/card/", u"/media/card/Été 2009/", u"/media/card/Été 2009/a b.jpg", 7},
      {u"%my_documents%/", u"%my_documents%/", u"%my_documents%/x.jpeg", 12},
  };
  EXPECT_EQ(encode_folder_list(records),
            utf16le_file(u"KeyPicturePath0\t/media/card/Été 2009/a b.jpg\n"
                         u"DrivePath0\t/media/card/\n"
                         u"FolderSize0\t7\n"
                         u"KeyPicturePath1\t%my_documents%/x.jpeg\n"
                         u"DrivePath1\t%my_documents%/\n"
                         u"FolderSize1\t12\n"));
  EXPECT_EQ(encode_folder_list({}), "\xFF\xFE");  // an empty list is the mark alone
}

TEST(FolderListFile, TwelveFoldersComeBackInTheirOwnOrderWithTheirOwnValues) {
  // The folder is made on the first save.
  const std::string path = test::make_temp_dir("state") + "/lumiview/folders.ini";
  const std::vector<FolderRecord> records = twelve_folders();
  ASSERT_TRUE(write_folder_list(from_utf8(path), records));
  std::vector<FolderRecord> loaded;
  ASSERT_TRUE(read_folder_list(from_utf8(path), loaded));
  EXPECT_EQ(loaded, records);
  // Saved again, the file is the same byte for byte.
  EXPECT_EQ(encode_folder_list(loaded), test::read_file(path));
}

TEST(FolderListFile, AHandEditedFileReadsTheSame) {
  // "=" for the tab, blanks, CR LF line ends, lines in any order, no mark,
  // UTF-8 as a Linux editor writes it.
  const std::string text =
      "  FolderSize1=3\r\n"
      "KeyPicturePath1=/media/card/Été/b.jpg\r\n"
      "DrivePath1=/media/card/\r\n"
      "KeyPicturePath0 \t /media/card/A/a.jpg\r\n"
      "DrivePath0\t\t/media/card/\r\n"
      "FolderSize0 5 \r\n"
      "\r\n"
      "no line of ours\r\n";
  const std::vector<FolderRecord> expected = {
      {u"/media/card/", u"/media/card/A/", u"/media/card/A/a.jpg", 5},
      {u"/media/card/", u"/media/card/Été/", u"/media/card/Été/b.jpg", 3},
  };
  EXPECT_EQ(decode_folder_list(text), expected);
  // Bytes that are not UTF-8 are one character each.
  const std::vector<FolderRecord> latin =
      decode_folder_list("KeyPicturePath0=/m/\xE9t\xE9/x.jpg\n");
  ASSERT_EQ(latin.size(), 1u);
  EXPECT_EQ(latin[0].key_picture, u"/m/été/x.jpg");
}

// A damaged or missing line costs only its own value; a record without its
// key picture line is gone.
TEST(FolderListFile, DamagedValuesAndKeysAreLeftOut) {
  const std::u16string text =
      u"KeyPicturePath0\t/c/A/a.jpg\nFolderSize0\tmany\nDrivePath0\t/c/\n"
      u"KeyPicturePath1\t/c/B/b.jpg\nFolderSize1\t-4\n"
      u"KeyPicturePath2\t/c/C/c.jpg\nFolderSize2\t4294967297\n"
      u"KeyPicturePath01\t/c/leading/zero.jpg\n"
      u"KeyPicturePath3x\t/c/not/a/number.jpg\n"
      u"KeyPicturePath\t/c/no/number.jpg\n"
      u"KeyPicturePath4\t\n"
      u"DrivePath6\t/media/stray/\nFolderSize6\t9\n"
      u"KeyPicturePath5\t/c/F/f.jpg\nFolderSize5\t8\n";
  const std::vector<FolderRecord> expected = {
      {u"/c/", u"/c/A/", u"/c/A/a.jpg", 0},
      {u"", u"/c/B/", u"/c/B/b.jpg", 0},
      {u"", u"/c/C/", u"/c/C/c.jpg", 0},
      {u"", u"/c/F/", u"/c/F/f.jpg", 8},
  };
  EXPECT_EQ(decode_folder_list(utf16le_file(text)), expected);
}

TEST(FolderListFile, ATruncatedFileGivesOnlyWhatItsIntactLinesSay) {
  const std::vector<FolderRecord> records = twelve_folders();
  const std::string bytes = encode_folder_list(records);
  for (size_t cut = 0; cut <= bytes.size(); ++cut) {
    const std::vector<FolderRecord> got = decode_folder_list(bytes.substr(0, cut));
    ASSERT_LE(got.size(), records.size());
    for (size_t i = 0; i < got.size(); ++i) {
      const FolderRecord& want = records[i];
      // Never a path cut in the middle, never another record's value.
      ASSERT_EQ(got[i].key_picture, want.key_picture) << "cut at " << cut;
      ASSERT_EQ(got[i].folder, want.folder);
      ASSERT_TRUE(got[i].drive == want.drive || got[i].drive.empty()) << "cut at " << cut;
      ASSERT_TRUE(got[i].size == want.size || got[i].size == 0) << "cut at " << cut;
    }
  }
  EXPECT_EQ(decode_folder_list(bytes), records);
}

TEST(FolderListFile, SavingReplacesTheWholeFileAndLeavesNothingBeside) {
  const std::string folder = test::make_temp_dir("state");
  const std::string path = folder + "/folders.ini";
  ASSERT_TRUE(write_folder_list(from_utf8(path), twelve_folders()));
  const std::vector<FolderRecord> one = {{u"/d/", u"/d/", u"/d/x.jpg", 1}};
  ASSERT_TRUE(write_folder_list(from_utf8(path), one));
  EXPECT_EQ(test::read_file(path), encode_folder_list(one));
  int entries = 0;
  for (const auto& e : fs::directory_iterator(folder)) entries += e.exists() ? 1 : 0;
  EXPECT_EQ(entries, 1);

  // A list that cannot be written leaves the old one as it was.
  fs::create_directory(folder + "/blocked.ini");
  EXPECT_FALSE(write_folder_list(from_utf8(folder + "/blocked.ini"), one));
  EXPECT_TRUE(fs::is_directory(folder + "/blocked.ini"));
  EXPECT_FALSE(write_folder_list(u"", one));

  // A missing file is an empty list.
  std::vector<FolderRecord> records = one;
  EXPECT_FALSE(read_folder_list(u"/no/such/folders.ini", records));
  EXPECT_TRUE(records.empty());
  test::ScopedEnv env;
  env.set("XDG_STATE_HOME", "/state/home");
  EXPECT_EQ(default_folder_list_path(), u"/state/home/lumiview/folders.ini");
}

}  // namespace
}  // namespace lv
