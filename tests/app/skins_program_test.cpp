// The shipped skins and languages through the real program, headless with
// scripted input: every screen (splash, album with its filter field, main
// menu, about box, folder, image, its options and the properties) comes up
// in each skin without a missing node and looks different in the other;
// choosing daylight from the main menu re-skins the screens made before the
// change; choosing German shows German texts; and both hold at the next
// start.
//
// Positions are the 480 x 800 screens of both skins: three albums, so the
// lower half of the album screen is empty page.
//
// With LUMIVIEW_DOCS_SCREENSHOTS set to a folder, the album and image
// screens of both skins, the main menu and the filter being edited are
// copied there (screenshot-skin-default.png, screenshot-skin-daylight.png,
// screenshot-image-daylight.png, screenshot-menu.png,
// screenshot-album-filter.png).

#include <gtest/gtest.h>

#include <string>

#include "app/program_run.h"

namespace lv {
namespace {

using test::ProgramRun;
using test::Shot;

constexpr size_t npos = std::string::npos;

int32_t differing_pixels(const Shot& a, const Shot& b) {
  if (a.width != b.width || a.height != b.height) return a.width * a.height;
  int32_t count = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) count += a.pixels[i] != b.pixels[i];
  return count;
}

// Every screen from the album's, through the ids and texts both skins
// share, each screenshot named after the skin; back on the album at the end.
std::string every_screen(const std::string& skin) {
  std::string script =
      "screenshot *-album.png\ntapid editFilter\ntype ri\nidle 300 3000\nscreenshot *-filter.png\n"
      "tapid clear\nkey Enter\nidle 300 3000\ntapid btnMenu\nidle 300 3000\n"
      "screenshot *-menu.png\ntapid About\nidle 300 3000\nscreenshot *-about.png\n"
      "key Backspace\nidle 300 3000\ntaptext Trip\nidle 1000 30000\nscreenshot *-folder.png\n"
      "tapid button0\nidle 500 10000\nscreenshot *-image.png\ntapid btnMenu\nidle 300 3000\n"
      "screenshot *-options.png\ntapid Properties\nidle 300 3000\nscreenshot *-properties.png\n"
      "key Backspace\nidle 300 5000\nkey Backspace\nidle 300 5000\nkey Backspace\nidle 300 5000\n";
  for (size_t star; (star = script.find('*')) != npos;) script.replace(star, 1, skin);
  return script;
}

// The folder and image screens are made in the default skin and shown again
// after the change. The German texts are found by what they say.
TEST(SkinsProgram, EveryScreenInBothSkinsTheChoiceReskinsThemAndSkinAndLanguageAreRemembered) {
  LV_REQUIRE_TESTDATA();
  ProgramRun run;
  ASSERT_TRUE(run.add_picture("jpeg/exif-ianare/Canon_PowerShot_S40.jpg", "Trip") &&
              run.add_picture("jpeg/exif-pillow/hopper.jpg", "Holiday") &&
              run.add_picture("jpeg/go/video-005.gray.jpeg", "Winter"));
  const std::string script =
      "screenshot default-splash.png\nwait 700\nidle 300 5000\ntapid btnSearch\n"
      "idle 800 30000\n" +
      every_screen("default") +
      "tapid btnMenu\nidle 300 3000\ntapid Skin\nidle 300 3000\ntapid Skin#daylight\n"
      "idle 300 3000\n" +
      every_screen("daylight") +
      "tapid btnMenu\nidle 300 3000\ntapid Language\nidle 300 3000\n"
      "tapid Language#german\nidle 300 3000\nscreenshot german.png\ntaptext Alben\n"
      "tapid btnMenu\nidle 300 3000\ntaptext Sprache\nidle 300 3000\ntaptext Abbrechen\n"
      "idle 300 3000\n";
  // A missing node or element ends the program with "NoSkins"; a control
  // the script cannot find ends it with 1.
  ASSERT_EQ(run.run(script), 0) << run.error_output();
  EXPECT_EQ(run.error_output(), "");
  const std::string log = run.log();
  EXPECT_TRUE(log.find("skin fault") == npos && log.find("album filter ri 1 of 3") != npos) << log;
  const std::string settings = test::read_file(run.settings_path());
  EXPECT_TRUE(settings.find("\"Skin\"=\"daylight\"") != npos &&
              settings.find("\"Language\"=\"german\"") != npos)
      << settings;

  auto shot = [&](const std::string& skin, const char* screen) {
    return run.shot(skin + "-" + screen + ".png");
  };
  for (const char* name :
       {"album", "filter", "menu", "about", "folder", "image", "options", "properties"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(shot("default", name).width, 480);
    // Not a recolouring of a few elements: most of the screen changes.
    EXPECT_GT(differing_pixels(shot("default", name), shot("daylight", name)), 480 * 800 / 2);
  }
  const Shot german = run.shot("german.png");
  EXPECT_GT(differing_pixels(german, run.shot("daylight-album.png")), 0) << "the same texts";
  test::copy_for_docs(run, {{"default-album.png", "screenshot-skin-default.png"},
                            {"daylight-album.png", "screenshot-skin-daylight.png"},
                            {"daylight-image.png", "screenshot-image-daylight.png"},
                            {"default-menu.png", "screenshot-menu.png"},
                            {"default-filter.png", "screenshot-album-filter.png"}});

  // The next start comes up in both at once, from its splash on.
  ASSERT_EQ(run.run("screenshot daylight-splash.png\nwait 700\nidle 300 5000\n"
                    "screenshot again.png\ntaptext Alben\n"),
            0)
      << run.error_output();
  const Shot again = run.shot("again.png");
  EXPECT_TRUE(!again.empty() && again.at(240, 600) == test::rgb565_hex(0xffffff));
  EXPECT_LT(differing_pixels(again, german), 480 * 800 / 200);
  EXPECT_GT(differing_pixels(run.shot("default-splash.png"), run.shot("daylight-splash.png")),
            480 * 800 / 2);
}

}  // namespace
}  // namespace lv
