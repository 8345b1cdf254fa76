#include "library/folder_record.h"

#include <gtest/gtest.h>

namespace lv {
namespace {

TEST(FolderDisplayName, IsTheLastFolderNameOfAPictureOrFolderPath) {
  EXPECT_EQ(folder_display_name(u"/media/card/DCIM/100NIKON/DSC_0001.JPG"), u"100NIKON");
  EXPECT_EQ(folder_display_name(u"/media/card/DCIM/100NIKON/"), u"100NIKON");
  EXPECT_EQ(folder_display_name(u"/media/card/a.jpg"), u"card");
  EXPECT_EQ(folder_display_name(u"\\Storage Card\\Trip 2009\\x.jpg"), u"Trip 2009");
  EXPECT_EQ(folder_display_name(u"Holiday/x.jpg"), u"Holiday");
  EXPECT_EQ(folder_display_name(u"x.jpg"), u"");
  EXPECT_EQ(folder_display_name(u""), u"");
}

TEST(FolderDisplayName, ThePicturesFolderItselfIsMyDocuments) {
  EXPECT_EQ(folder_display_name(u"%my_documents%/a.jpg"), u"My documents");
  EXPECT_EQ(folder_display_name(u"%my_documents%/"), u"My documents");
  EXPECT_EQ(folder_display_name(u"%my_documents%/Trip/a.jpg"), u"Trip");
  EXPECT_EQ(folder_display_name(u"/x/%my_documents%x/a.jpg"), u"%my_documents%x");
}

TEST(FindFolderRecord, FindsTheFirstRecordOfAFolderExactly) {
  const std::vector<FolderRecord> records = {
      {u"/c/", u"/c/A/", u"/c/A/1.jpg", 1},
      {u"/c/", u"/c/B/", u"/c/B/1.jpg", 2},
      {u"/c/", u"/c/b/", u"/c/b/1.jpg", 3},
  };
  EXPECT_EQ(find_folder_record(records, u"/c/B/"), 1);
  EXPECT_EQ(find_folder_record(records, u"/c/b/"), 2);
  EXPECT_EQ(find_folder_record(records, u"/c/C/"), -1);
  EXPECT_EQ(find_folder_record(records, u"/c/A/", 0), 0);
  // A hint that no longer fits (the list changed) is not trusted.
  EXPECT_EQ(find_folder_record(records, u"/c/b/", 0), 2);
  EXPECT_EQ(find_folder_record(records, u"/c/b/", 7), 2);
  EXPECT_EQ(find_folder_record({}, u"/c/A/", 0), -1);
}

}  // namespace
}  // namespace lv
