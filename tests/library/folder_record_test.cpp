#include "library/folder_record.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace lv {
namespace {

TEST(FolderDisplayName, IsTheLastFolderNameAndThePicturesFolderItselfIsMyDocuments) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"/media/card/DCIM/100NIKON/DSC_0001.JPG", u"100NIKON"},
      {u"/media/card/DCIM/100NIKON/", u"100NIKON"},
      {u"\\Storage Card\\Trip 2009\\x.jpg", u"Trip 2009"},
      {u"Holiday/x.jpg", u"Holiday"},
      {u"x.jpg", u""},
      {u"", u""},
      {u"%my_documents%/a.jpg", u"My documents"},
      {u"%my_documents%/", u"My documents"},
      {u"%my_documents%/Trip/a.jpg", u"Trip"},
      {u"/x/%my_documents%x/a.jpg", u"%my_documents%x"},
  };
  for (const auto& [path, name] : cases)
    EXPECT_EQ(folder_display_name(path), name) << to_utf8(path);
}

TEST(FindFolderRecord, FindsTheFirstRecordOfAFolderExactly) {
  const std::vector<FolderRecord> records = {
      {u"/c/", u"/c/A/", u"/c/A/1.jpg", 1},
      {u"/c/", u"/c/B/", u"/c/B/1.jpg", 2},
      {u"/c/", u"/c/b/", u"/c/b/1.jpg", 3},
  };
  EXPECT_EQ(find_folder_record(records, u"/c/C/"), -1);
  EXPECT_EQ(find_folder_record(records, u"/c/A/", 0), 0);
  // A hint that no longer fits (the list changed) is not trusted.
  EXPECT_EQ(find_folder_record(records, u"/c/b/", 0), 2);
  EXPECT_EQ(find_folder_record(records, u"/c/b/", 7), 2);
  EXPECT_EQ(find_folder_record({}, u"/c/A/", 0), -1);
}

}  // namespace
}  // namespace lv
