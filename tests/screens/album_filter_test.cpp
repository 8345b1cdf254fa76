// The album screen's filter field: which rows it leaves, that rows still
// lead to their own folders and get their own thumbnails, and that a
// search, a new skin and an empty library keep it sensible.

#include <gtest/gtest.h>

#include <algorithm>

#include "album_test_fixture.h"
#include "base/log_capture.h"
#include "platform/text.h"
#include "screens/required_element.h"
#include "support/test_env.h"
#include "widgets/label_edit_element.h"

namespace lv::test::screens {
namespace {

bool log_has(std::u16string_view line) {
  const std::vector<std::u16string> lines = read_log_lines();
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class AlbumFilterTest : public AlbumTest {
 protected:
  void SetUp() override {
    AlbumTest::SetUp();
    if (IsSkipped()) return;
    device.put("Austria/a.jpg", kPictureA);
    device.put("Holiday/b.jpg", kPictureB);
    device.put("Trip/c.jpg", kPictureC);
    device.put("Winter/d.jpg", kPictureD);
    start();
    search();
  }
  LabelEditElement& field() { return required_element<LabelEditElement>(*album, u"editFilter"); }
  // As the edit box hands the typed text to the field.
  void type(std::u16string_view text) { field().edit()->set_text(text); }
  std::vector<std::u16string> shown_folders() {
    render();
    std::vector<std::u16string> folders;
    for (int32_t i = 0; i < album->list().count(); ++i)
      if (AlbumElement* r = row(i)) folders.push_back(r->record().folder);
    return folders;
  }
};

TEST_F(AlbumFilterTest, TypingLeavesTheFoldersWhoseNameHoldsTheTextAndRowsStayTheirs) {
  ASSERT_EQ(album->folder_count(), 4);
  EXPECT_TRUE(field().effectively_visible());
  // A tap on the field asks for the edit box over it.
  rig.tap(*album, centre_of(*field().edit()));
  EXPECT_EQ(rig.host().edited, field().edit());

  start_fresh_log();
  type(u"TRI");
  EXPECT_EQ(album->filter(), u"TRI");
  EXPECT_EQ(album->folder_count(), 2);
  EXPECT_EQ(shown_folders(),
            (std::vector<std::u16string>{u"%my_documents%/Austria/", u"%my_documents%/Trip/"}));
  EXPECT_TRUE(log_has(u"album filter TRI 2 of 4"));

  // The second row is Trip's: its thumbnail, and a tap opens Trip.
  make_all_thumbnails();
  ASSERT_NE(row(1), nullptr);
  EXPECT_EQ(row(1)->look(), AlbumElement::Look::thumbnail);
  EXPECT_EQ(row(1)->record().folder, u"%my_documents%/Trip/");
  rig.tap(*album, {size.width / 2, album->list().row_top(*row(1)) + 30});
  EXPECT_TRUE(log_has(u"album open folder %my_documents%/Trip/"));

  type(u"zz");
  EXPECT_EQ(album->folder_count(), 0);
  EXPECT_TRUE(album->list().visible());
  EXPECT_FALSE(album->find_required(u"warning_text").visible()) << "folders are known";
  type(u"");
  EXPECT_EQ(album->folder_count(), 4);
}

TEST_F(AlbumFilterTest, ASearchAndANewSkinKeepTheFilter) {
  type(u"a");  // Austria, Holiday
  ASSERT_EQ(album->folder_count(), 2);
  device.put("Alps/e.jpg", kPictureA);
  search();
  EXPECT_EQ(album->folder_count(), 3);
  EXPECT_EQ(shown_folders(),
            (std::vector<std::u16string>{u"%my_documents%/Alps/", u"%my_documents%/Austria/",
                                         u"%my_documents%/Holiday/"}));

  ScreenInfo info;
  info.width = size.width;
  info.height = size.height;
  info.dpi = 192;
  ASSERT_TRUE(skin.load_skin(from_utf8(binary_path("skins/bin/default.skin")), info));
  skin.send_reload_skin();
  EXPECT_EQ(field().edit()->text(), u"a");
  EXPECT_FALSE(field().label()->visible());
  EXPECT_EQ(album->folder_count(), 3);
  type(u"");
  EXPECT_EQ(album->folder_count(), 5);
}

TEST_F(AlbumFilterTest, WithoutFoldersThereIsNothingToFilter) {
  type(u"w");
  ASSERT_EQ(album->folder_count(), 1);
  for (const char* folder : {"Austria/a.jpg", "Holiday/b.jpg", "Trip/c.jpg", "Winter/d.jpg"})
    library->set_folder_size(u"%my_documents%/" + from_utf8(folder), 0);
  tick();
  EXPECT_EQ(album->folder_count(), 0);
  EXPECT_TRUE(album->find_required(u"warning_text").visible());
  EXPECT_FALSE(field().effectively_visible());
}

}  // namespace
}  // namespace lv::test::screens
