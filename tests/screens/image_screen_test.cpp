// The image screen's own rules: the size text, what the zoom buttons may
// do, taps against double taps on the picture, a delete that fails, and the
// screen kept on by the slide show until it ends. What a user does on the
// screen (opening, zooming, stepping, deleting, sending) is tested through
// the real program in tests/app/image_program_test.cpp.

#include "screens/image_screen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <vector>

#include "library/cache_build.h"
#include "platform/text.h"
#include "screens/picture_info.h"
#include "screens/screens_test_support.h"
#include "support/test_env.h"

namespace lv::test::screens {
namespace {

TEST(PictureInfo, SizeTextRoundsOneDecimalAndCarries) {
  Properties skin;
  ASSERT_TRUE(load_default_skin(skin, {480, 800}));
  // 2047 is not "1.10", 102399 (99.99) carries into the whole part, and
  // five gigabytes are past 32 bits.
  std::u16string texts;
  for (const uint64_t bytes : {uint64_t{1023}, uint64_t{5000}, uint64_t{2047}, uint64_t{150000},
                               uint64_t{102399}, uint64_t{2621440}, uint64_t{5} << 30})
    texts += size_text(bytes, skin.language()) + u", ";
  EXPECT_EQ(texts, u"1023 bytes, 4.9 KB, 2.0 KB, 146 KB, 100 KB, 2.5 MB, 5120 MB, ");
}

// The screen open on a large picture with its cache file and a second one.
class ImageScreenTest : public BrowsingTest {
 protected:
  void SetUp() override {
    BrowsingTest::SetUp();
    if (IsSkipped()) return;
    size = {480, 800};
    library = manual_library(device);
    ASSERT_TRUE(load_default_skin(skin, size));
    app.screen.width = size.width;
    app.screen.height = size.height;
    screen = std::make_unique<ImageScreen>(skin, *library, app, PictureViewer::Worker::manual);
    big = from_utf8(device.put("Art/big.jpg", "large/firstgeneration.jpg"));
    ASSERT_EQ(make_cache_file(big, u"%my_documents%/"), CacheBuildResult::built);
    const std::string other =
        device.put("Art/other.jpg", "exif-ianare/orientation/landscape_1.jpg");
    screen->open({big, from_utf8(other)}, 0, u"%my_documents%/");
    rig.render(*screen, size);
  }

  // The controls as the user sees them: the bars shown or hidden, the
  // slide show's check box ticked or not.
  bool controls_shown() { return screen->find_required(u"bar_bottom").visible(); }
  bool slide_show_checked() {
    return screen->find_required(u"chkSlideShow").find_required(u"ptr_state_1").visible();
  }
  void frames(double seconds) {
    for (double t = 0; t < seconds - 1e-9; t += 0.02) {
      rig.tick(*screen, 0.02);
      while (screen->viewer().create_tile()) {
      }
    }
  }

  std::unique_ptr<ImageScreen> screen;
  std::u16string big;
};

TEST_F(ImageScreenTest, ATapTogglesTheControlsADoubleTapZoomsIn) {
  frames(0.1);
  EXPECT_TRUE(controls_shown());
  frames(4.1);
  EXPECT_FALSE(controls_shown());

  BigPictureElement& picture = screen->viewer().element(PictureViewer::current);
  const double start = picture.zoom();
  rig.tap(*screen, {240, 400});
  frames(0.2);
  EXPECT_FALSE(controls_shown());  // still waiting for a second tap
  frames(0.2);
  EXPECT_EQ((std::pair{controls_shown(), picture.zoom()}), (std::pair{true, start}));

  rig.tap(*screen, {300, 500});
  frames(0.1);
  rig.tap(*screen, {300, 500});
  EXPECT_EQ(picture.target_zoom(), std::floor(start) + 1);
  frames(1);
  // A double tap does not toggle the controls.
  EXPECT_EQ((std::pair{controls_shown(), picture.zoom()}),
            (std::pair{true, std::floor(start) + 1}));
}

// Mended: a failed delete once dropped the picture from the screen as if
// it had gone.
TEST_F(ImageScreenTest, ADeleteThatFailsKeepsThePictureAndSaysWhy) {
  frames(0.1);
  // The file went behind the program's back: neither trash nor delete works.
  std::filesystem::remove(to_utf8(big));
  std::u16string caption;
  std::vector<MenuItem> items;
  screen->fill(0, u"DeleteYes", caption, items);
  EXPECT_EQ((std::pair{screen->viewer().count(), screen->viewer().picture(PictureViewer::current)}),
            (std::pair{size_t{2}, big}));
  EXPECT_TRUE(screen->find_required(u"btnProperties").visible());
  EXPECT_EQ(rig.host().stack, std::vector<ScreenRoot*>{screen.get()});
}

TEST_F(ImageScreenTest, TheSlideShowKeepsTheScreenOnUntilTheScreenIsLeft) {
  // Whether the slide show is ticked and the screen saver allowed.
  const auto state = [&] { return std::pair{slide_show_checked(), app.screen_saver_allowed}; };
  rig.tap(*screen, centre_of(screen->find_required(u"chkSlideShow")));
  EXPECT_EQ(state(), (std::pair{true, false}));
  frames(3.2);  // the first slide
  EXPECT_EQ(state(), (std::pair{true, false}));
  screen->leave();
  EXPECT_EQ(state(), (std::pair{false, true}));
}

}  // namespace
}  // namespace lv::test::screens
