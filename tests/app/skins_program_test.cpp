// The shipped skins and languages through the real program, headless with
// scripted input: every screen (splash, album with its filter field, main
// menu, about box, folder, image, its options and the properties) comes up
// in each skin without a missing node and looks different in the other;
// choosing the other skin from the main menu re-skins the album, folder and
// image screens, which were made before the change; choosing German shows
// German texts; and both choices hold at the next start.
//
// Positions are the 480 x 800 screens of both skins: three albums, so the
// lower half of the album and folder screens is empty page, and a picture
// of 480 x 360 across the middle of the image screen.
//
// With LUMIVIEW_DOCS_SCREENSHOTS set to a folder, the album and image
// screens of both skins are copied there (screenshot-skin-default.png,
// screenshot-skin-daylight.png, screenshot-image-daylight.png).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/program_run.h"
#include "skin/geometry.h"

namespace lv {
namespace {

using test::find_line;
using test::ProgramRun;
using test::Shot;

// Empty page of the album and folder screens, and the viewer's ground
// beside the small picture.
constexpr Point kEmptyPage{240, 600};
constexpr Point kBesidePicture{20, 200};
const uint16_t kDefaultPage = test::rgb565_hex(0x10161e);
const uint16_t kDefaultViewer = test::rgb565_hex(0x000000);
const uint16_t kDaylightPage = test::rgb565_hex(0xffffff);
const uint16_t kDaylightViewer = test::rgb565_hex(0xefefef);

constexpr char kPicture[] = "jpeg/exif-ianare/Canon_PowerShot_S40.jpg";  // 480 x 360

// Trip with the picture, and two more albums.
bool add_albums(ProgramRun& run) {
  return run.add_picture(kPicture, "Trip") &&
         run.add_picture("jpeg/exif-pillow/hopper.jpg", "Holiday") &&
         run.add_picture("jpeg/go/video-005.gray.jpeg", "Winter");
}

int32_t differing_pixels(const Shot& a, const Shot& b) {
  if (a.width != b.width || a.height != b.height) return a.width * a.height;
  int32_t count = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) count += a.pixels[i] != b.pixels[i];
  return count;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

void copy_for_docs(const ProgramRun& run, const std::string& shot, const std::string& name) {
  const char* folder = std::getenv("LUMIVIEW_DOCS_SCREENSHOTS");
  if (!folder || !*folder) return;
  std::filesystem::copy_file(run.path(shot), std::filesystem::path(folder) / name,
                             std::filesystem::copy_options::overwrite_existing);
}

// Every screen in turn, through the ids and texts both skins share.
const char* const kEveryScreen =
    "screenshot splash.png\n"
    "wait 700\n"
    "idle 300 5000\n"
    "screenshot empty.png\n"
    "tapid btnSearch\n"
    "idle 800 30000\n"
    "screenshot album.png\n"
    "tapid editFilter\n"
    "type ri\n"
    "idle 300 3000\n"
    "screenshot filter.png\n"
    "tapid clear\n"
    "key Enter\n"
    "idle 300 3000\n"
    "tapid btnMenu\n"
    "idle 300 3000\n"
    "screenshot menu.png\n"
    "tapid About\n"
    "idle 300 3000\n"
    "screenshot about.png\n"
    "key Backspace\n"
    "idle 300 3000\n"
    "taptext Trip\n"
    "idle 1000 30000\n"
    "screenshot folder.png\n"
    "tapid button0\n"
    "idle 500 10000\n"
    "screenshot image.png\n"
    "tapid btnMenu\n"
    "idle 300 3000\n"
    "screenshot options.png\n"
    "tapid Properties\n"
    "idle 300 3000\n"
    "screenshot properties.png\n";

const char* const kScreens[] = {"splash.png",  "empty.png",     "album.png",  "filter.png",
                                "menu.png",    "about.png",     "folder.png", "image.png",
                                "options.png", "properties.png"};

TEST(SkinsProgram, EveryScreenComesUpInBothSkinsAndLooksDifferentInEach) {
  LV_REQUIRE_TESTDATA();
  ProgramRun runs[2];
  const char* const skins[2] = {"default", "daylight"};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(skins[i]);
    ProgramRun& run = runs[i];
    ASSERT_TRUE(add_albums(run));
    run.set_settings(std::string("\"Skin\"=\"") + skins[i] + "\"\n");
    // A missing node or element ends the program with "NoSkins"; a control
    // the script cannot find ends it with 1.
    ASSERT_EQ(run.run(kEveryScreen), 0) << run.error_output();
    EXPECT_EQ(run.error_output(), "");
    const auto lines = run.log_lines();
    EXPECT_EQ(find_line(lines, "skin fault", 0, false), lines.size()) << joined(lines);
    EXPECT_LT(find_line(lines, "image open 0", 0, false), lines.size()) << joined(lines);
    EXPECT_LT(find_line(lines, "album filter ri 1 of 3", 0, false), lines.size()) << joined(lines);
  }

  for (const char* name : kScreens) {
    SCOPED_TRACE(name);
    const Shot in_default = runs[0].shot(name);
    const Shot in_daylight = runs[1].shot(name);
    ASSERT_FALSE(in_default.empty() || in_daylight.empty());
    ASSERT_EQ(in_default.width, 480);
    ASSERT_EQ(in_daylight.width, 480);
    // Not a recolouring of a few elements: most of the screen changes.
    EXPECT_GT(differing_pixels(in_default, in_daylight), in_default.width * in_default.height / 2);
  }
  EXPECT_EQ(runs[0].shot("album.png").at(kEmptyPage.x, kEmptyPage.y), kDefaultPage);
  EXPECT_EQ(runs[1].shot("album.png").at(kEmptyPage.x, kEmptyPage.y), kDaylightPage);
  EXPECT_EQ(runs[1].shot("image.png").at(kBesidePicture.x, kBesidePicture.y), kDaylightViewer);

  copy_for_docs(runs[0], "album.png", "screenshot-skin-default.png");
  copy_for_docs(runs[1], "album.png", "screenshot-skin-daylight.png");
  copy_for_docs(runs[1], "image.png", "screenshot-image-daylight.png");
}

TEST(SkinsProgram, ChoosingDaylightReskinsEveryScreenGermanShowsGermanAndBothAreRemembered) {
  LV_REQUIRE_TESTDATA();
  ProgramRun run;
  ASSERT_TRUE(add_albums(run));
  // The folder and image screens are made and left before the change; they
  // are shown again after it. The German texts are found by what they say.
  const std::string script =
      "wait 700\n"
      "idle 300 5000\n"
      "tapid btnSearch\n"
      "idle 800 30000\n"
      "taptext Trip\n"
      "idle 1000 30000\n"
      "screenshot folder-before.png\n"
      "tapid button0\n"
      "idle 500 10000\n"
      "screenshot image-before.png\n"
      "key Backspace\n"
      "idle 300 5000\n"
      "key Backspace\n"
      "idle 300 5000\n"
      "screenshot album-before.png\n"
      "tapid btnMenu\n"
      "idle 300 3000\n"
      "tapid Skin\n"
      "idle 300 3000\n"
      "tapid Skin#daylight\n"
      "idle 300 3000\n"
      "screenshot album-after.png\n"
      "taptext Trip\n"
      "idle 1000 30000\n"
      "screenshot folder-after.png\n"
      "tapid button0\n"
      "idle 500 10000\n"
      "screenshot image-after.png\n"
      "key Backspace\n"
      "idle 300 5000\n"
      "key Backspace\n"
      "idle 300 5000\n"
      "tapid btnMenu\n"
      "idle 300 3000\n"
      "tapid Language\n"
      "idle 300 3000\n"
      "tapid Language#german\n"
      "idle 300 3000\n"
      "screenshot german.png\n"
      "taptext Alben\n"
      "tapid btnMenu\n"
      "idle 300 3000\n"
      "taptext Sprache\n"
      "idle 300 3000\n"
      "taptext Abbrechen\n"
      "idle 300 3000\n";
  ASSERT_EQ(run.run(script), 0) << run.error_output();

  const std::string settings = test::read_file(run.settings_path());
  EXPECT_NE(settings.find("\"Skin\"=\"daylight\""), std::string::npos) << settings;
  EXPECT_NE(settings.find("\"Language\"=\"german\""), std::string::npos) << settings;

  struct Probe {
    const char* screen;
    Point at;
    uint16_t before;
    uint16_t after;
  };
  for (const Probe& p : {Probe{"album", kEmptyPage, kDefaultPage, kDaylightPage},
                         Probe{"folder", kEmptyPage, kDefaultPage, kDaylightPage},
                         Probe{"image", kBesidePicture, kDefaultViewer, kDaylightViewer}}) {
    SCOPED_TRACE(p.screen);
    const Shot before = run.shot(std::string(p.screen) + "-before.png");
    const Shot after = run.shot(std::string(p.screen) + "-after.png");
    ASSERT_FALSE(before.empty() || after.empty());
    EXPECT_EQ(before.at(p.at.x, p.at.y), p.before);
    EXPECT_EQ(after.at(p.at.x, p.at.y), p.after);
    EXPECT_GT(differing_pixels(before, after), before.width * before.height / 2);
  }
  const Shot german = run.shot("german.png");
  ASSERT_FALSE(german.empty());
  EXPECT_GT(differing_pixels(german, run.shot("album-after.png")), 0) << "the texts did not change";

  // The next start comes up in both at once.
  ASSERT_EQ(run.run("wait 700\nidle 300 5000\nscreenshot again.png\ntaptext Alben\n"), 0)
      << run.error_output();
  const Shot again = run.shot("again.png");
  ASSERT_FALSE(again.empty());
  EXPECT_EQ(again.at(kEmptyPage.x, kEmptyPage.y), kDaylightPage);
  EXPECT_LT(differing_pixels(again, german), again.width * again.height / 200);
}

}  // namespace
}  // namespace lv
