// The real program, started in a device of its own with the headless display
// and scripted input: what a person sees from the splash to the album
// screen, a search filling the rows with thumbnails, the skin and language
// menus, and the faults that must end the program cleanly. (A second start
// is in command_line_program_test.cpp.)
//
// Positions and colours are those of the shipped default skin at 480 x 800:
// the album's header (52 pixels, the progress bar just below it), its rows
// (76 pixels from y 58, the thumbnail at the left) and the main menu rising
// from the bottom with rows 44 pixels apart.
//
// With LUMIVIEW_DOCS_SCREENSHOTS set to a folder, the screenshots of the
// splash, the album and the main menu are also copied there
// (screenshot-splash.png, screenshot-album.png, screenshot-menu.png).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>

#include "app/program_run.h"
#include "skinc/skin_compiler.h"

namespace lv {
namespace {

using test::find_line;
using test::ProgramRun;
using test::Shot;

const uint16_t kSplashBackground = test::rgb565_hex(0x10161e);
const uint16_t kProgressTrack = test::rgb565_hex(0x1c2733);
const uint16_t kProgressLine = test::rgb565_hex(0x4f9be0);
constexpr int32_t kProgressRow = 53;
const Rect kSplashTitle{150, 736, 330, 776};
const Rect kWarningText{20, 450, 460, 495};
const Rect kHeaderTitle{8, 8, 140, 44};
// The thumbnails of the first two rows, inside their rounded frames.
const Rect kThumbnails[] = {{20, 73, 68, 121}, {20, 149, 68, 197}};

int32_t bright_pixels(const Shot& shot, const Rect& area) {
  int32_t count = 0;
  for (int32_t y = area.top; y < area.bottom; ++y)
    for (int32_t x = area.left; x < area.right; ++x) {
      const uint16_t p = shot.at(x, y);
      if (rgb565::red(p) >= 16 && rgb565::green(p) >= 32 && rgb565::blue(p) >= 16) ++count;
    }
  return count;
}

size_t distinct_colours(const Shot& shot, const Rect& area) {
  std::set<uint16_t> colours;
  for (int32_t y = area.top; y < area.bottom; ++y)
    for (int32_t x = area.left; x < area.right; ++x) colours.insert(shot.at(x, y));
  return colours.size();
}

int32_t differing_pixels(const Shot& a, const Shot& b, const Rect& area) {
  int32_t count = 0;
  for (int32_t y = area.top; y < area.bottom; ++y)
    for (int32_t x = area.left; x < area.right; ++x) count += a.at(x, y) != b.at(x, y);
  return count;
}

// The longest run of one of the colours along a row.
int32_t longest_run(const Shot& shot, int32_t y, std::initializer_list<uint16_t> colours) {
  int32_t best = 0;
  int32_t run = 0;
  for (int32_t x = 0; x < shot.width; ++x) {
    const uint16_t p = shot.at(x, y);
    run = std::find(colours.begin(), colours.end(), p) != colours.end() ? run + 1 : 0;
    best = std::max(best, run);
  }
  return best;
}

void copy_for_docs(const ProgramRun& run, const std::string& shot, const std::string& name) {
  const char* folder = std::getenv("LUMIVIEW_DOCS_SCREENSHOTS");
  if (!folder || !*folder) return;
  std::filesystem::copy_file(run.path(shot), std::filesystem::path(folder) / name,
                             std::filesystem::copy_options::overwrite_existing);
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// Compiles the default skin's source, changed by `edit`, into a skin folder.
bool compile_variant(ProgramRun& run, const std::string& name, const std::string& skin_folder,
                     void (*edit)(std::string&)) {
  const std::filesystem::path source = run.path("source-" + name);
  std::filesystem::copy(test::source_path("skins/default"), source,
                        std::filesystem::copy_options::recursive);
  std::string json = test::read_file((source / "skin.json").string());
  edit(json);
  test::write_file((source / "skin.json").string(), json);
  skinc::CompiledSkin compiled;
  std::string error;
  const bool ok = skinc::compile_skin(source / "skin.json", name, compiled, error) &&
                  skinc::write_compiled_skin(compiled, skin_folder, error);
  EXPECT_TRUE(ok) << error;
  return ok;
}

void replace_all(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

TEST(Program, SplashThenAlbumThenASearchShowsProgressAndThumbnails) {
  LV_REQUIRE_TESTDATA();
  ProgramRun run;
  ASSERT_TRUE(run.add_picture("jpeg/exif-ianare/Canon_40D.jpg", "Holiday"));
  ASSERT_TRUE(run.add_picture("jpeg/exif-pillow/hopper.jpg", "Holiday"));
  // Large enough that its cache file takes a while: the progress bar shows.
  ASSERT_TRUE(run.add_picture("jpeg/large/Kleiber_by_Lukas_Baubkus.jpg", "Wallpaper"));
  std::string script =
      "screenshot splash.png\n"
      "wait 700\n"
      "idle 300 5000\n"
      "screenshot empty.png\n"
      "key SOFT_LEFT\n";
  constexpr int kProgressShots = 25;
  for (int i = 0; i < kProgressShots; ++i)
    script += "wait 60\nscreenshot progress" + std::to_string(i) + ".png\n";
  script += "idle 800 30000\nscreenshot album.png\n";
  ASSERT_EQ(run.run(script), 0) << run.error_output();

  const auto lines = run.log_lines();
  size_t at = 0;
  for (const char* step :
       {"WinMain 0", "WindMain 1", " GameBase 5", "WinMain 2", "WinMain 3", "WinMain 4",
        "WinMain 5", "WinMain 6", "WinMain 7", "WinMain 9", "WinMain 10", "WinMain 11",
        "WinMain 12", "WinMain 13", "WinMain 14", "WinMain 8", "Application::~Application()"}) {
    at = find_line(lines, step, at);
    ASSERT_LT(at, lines.size()) << "no \"" << step << "\" in order in:\n" << joined(lines);
  }
  // The splash was seen for its minimum time before the album was made.
  EXPECT_GE(test::tick_of(lines[find_line(lines, "WinMain 9")]) -
                test::tick_of(lines[find_line(lines, "WinMain 6")]),
            500u);

  const Shot splash = run.shot("splash.png");
  ASSERT_EQ(splash.width, 480);
  EXPECT_EQ(splash.at(5, 5), kSplashBackground);
  EXPECT_GT(bright_pixels(splash, kSplashTitle), 20);
  EXPECT_EQ(bright_pixels(splash, kWarningText), 0);
  const Shot empty = run.shot("empty.png");
  EXPECT_GT(bright_pixels(empty, kWarningText), 100) << "the album's warning is not shown";

  int progress_seen = 0;
  for (int i = 0; i < kProgressShots; ++i) {
    const Shot shot = run.shot("progress" + std::to_string(i) + ".png");
    ASSERT_FALSE(shot.empty());
    if (longest_run(shot, kProgressRow, {kProgressTrack, kProgressLine}) >= 400) ++progress_seen;
  }
  EXPECT_GT(progress_seen, 0) << "no screenshot shows the progress bar";

  const Shot album = run.shot("album.png");
  ASSERT_FALSE(album.empty());
  EXPECT_LT(longest_run(album, kProgressRow, {kProgressTrack, kProgressLine}), 400)
      << "the progress bar stays after the last thumbnail";
  // The "loading" and "bad" art are a few flat colours (about ten).
  for (const Rect& thumbnail : kThumbnails)
    EXPECT_GT(distinct_colours(album, thumbnail), 60u)
        << "the row at y " << thumbnail.top << " shows art, not its thumbnail";
  EXPECT_EQ(bright_pixels(album, kWarningText), 0);
  EXPECT_FALSE(test::read_file(run.path("home/.state/lumiview/folders.ini")).empty());

  copy_for_docs(run, "splash.png", "screenshot-splash.png");
  copy_for_docs(run, "album.png", "screenshot-album.png");
}

TEST(Program, SkinAndLanguageChosenFromTheMenuAreShownAndRemembered) {
  ProgramRun run;
  const std::string program = run.make_program_folder(
      {"english.lng", "russian.lng", "skins/bin/default.skin", "skins/bin/default",
       "skins/bin/default.load.bmp", "skins/bin/default.bad.bmp"});
  ASSERT_TRUE(compile_variant(run, "ocean", program + "/skins/bin",
                              [](std::string& json) { replace_all(json, "#10161e", "#5a1830"); }));
  const std::string script =
      "wait 700\n"
      "idle 300 5000\n"
      "screenshot album.png\n"
      "key SOFT_RIGHT\n"
      "idle 200 3000\n"
      "screenshot menu.png\n"
      // Language, Skin, Cancel under the four buttons: Skin.
      "tap 240 717\n"
      "idle 200 3000\n"
      // default, ocean, Cancel: ocean.
      "tap 240 717\n"
      "idle 200 3000\n"
      "screenshot ocean.png\n"
      "key SOFT_RIGHT\n"
      "idle 200 3000\n"
      "tap 240 673\n"
      "idle 200 3000\n"
      // english, russian, Cancel: russian.
      "tap 240 717\n"
      "idle 200 3000\n"
      "screenshot russian.png\n";
  ASSERT_EQ(run.run(script), 0) << run.error_output();

  const std::string settings = test::read_file(run.settings_path());
  EXPECT_NE(settings.find("\"Skin\"=\"ocean\""), std::string::npos) << settings;
  EXPECT_NE(settings.find("\"Language\"=\"russian\""), std::string::npos) << settings;

  const Shot album = run.shot("album.png");
  const Shot menu = run.shot("menu.png");
  const Shot ocean = run.shot("ocean.png");
  const Shot russian = run.shot("russian.png");
  ASSERT_FALSE(album.empty() || menu.empty() || ocean.empty() || russian.empty());
  const uint16_t old_background = album.at(240, 300);
  EXPECT_EQ(old_background, kSplashBackground);
  // The menu dims the album and covers its lower part.
  EXPECT_NE(menu.at(240, 300), old_background);
  EXPECT_NE(menu.at(240, 717), album.at(240, 717));
  EXPECT_EQ(ocean.at(240, 300), test::rgb565_hex(0x5a1830));
  // The header's title is the same text in the same skin until the language
  // changes it.
  EXPECT_EQ(differing_pixels(album, ocean, kHeaderTitle), 0);
  EXPECT_GT(differing_pixels(ocean, russian, kHeaderTitle), 30);
  copy_for_docs(run, "menu.png", "screenshot-menu.png");

  // The next start shows the remembered skin and language at once.
  ASSERT_EQ(run.run("wait 700\nidle 300 5000\nscreenshot again.png\n"), 0) << run.error_output();
  const Shot again = run.shot("again.png");
  ASSERT_FALSE(again.empty());
  EXPECT_EQ(again.at(240, 300), test::rgb565_hex(0x5a1830));
  EXPECT_EQ(differing_pixels(again, russian, kHeaderTitle), 0);
}

TEST(Program, ScriptedTapsFindElementsByIdAndTextAndAMissingOneEndsTheRun) {
  LV_REQUIRE_TESTDATA();
  ProgramRun run;
  ASSERT_TRUE(run.add_picture("jpeg/exif-pillow/hopper.jpg", "Holiday"));
  ASSERT_EQ(run.run("wait 700\n"
                    "idle 300 5000\n"
                    "tapid btnSearch\n"
                    "idle 800 30000\n"
                    "taptext Holiday\n"
                    "idle 300 5000\n"),
            0)
      << run.error_output();
  auto lines = run.log_lines();
  const size_t search = find_line(lines, "album search", 0, false);
  ASSERT_LT(search, lines.size()) << joined(lines);
  EXPECT_LT(find_line(lines, "folder open ", search, false), lines.size()) << joined(lines);

  ASSERT_EQ(run.run("wait 700\n"
                    "idle 300 5000\n"
                    "tapid btnNowhere\n"
                    "tapid btnSearch\n"),
            1);
  EXPECT_NE(run.error_output().find(
                "lumiview: script line 3: no visible element with the id \"btnNowhere\""),
            std::string::npos)
      << run.error_output();
  lines = run.log_lines();
  EXPECT_LT(find_line(lines, "Script line 3: no visible element", 0, false), lines.size());
  EXPECT_EQ(find_line(lines, "album search", 0, false), lines.size()) << "played on after it";
  EXPECT_LT(find_line(lines, "Application::~Application()"), lines.size());

  // A script that cannot be read says so in the exit status too.
  EXPECT_EQ(run.run("tapid\n"), 1);
}

TEST(Program, SkinFaultsEndWithTheNoSkinsMessageAndExitCodeZero) {
  ProgramRun run;
  const std::string program = run.make_program_folder({"english.lng"});
  // The album screen's row node is missing: the fault comes up on the
  // splash's loader thread.
  ASSERT_TRUE(compile_variant(run, "default", program + "/skins/bin", [](std::string& json) {
    replace_all(json, "\"AlbumElement\":", "\"AlbumElementGone\":");
  }));
  ASSERT_EQ(run.run("wait 3000\n"), 0) << run.error_output();
  EXPECT_NE(run.error_output().find("No skins found, please reinstall"), std::string::npos)
      << run.error_output();
  auto lines = run.log_lines();
  EXPECT_LT(find_line(lines, "WinMain 9"), lines.size());
  EXPECT_LT(find_line(lines, "WinMain skin fault: ", 0, false), lines.size()) << joined(lines);
  EXPECT_EQ(find_line(lines, "WinMain 11"), lines.size());
  EXPECT_LT(find_line(lines, "Application::~Application()"), lines.size());

  // No skin at all.
  std::filesystem::remove_all(program + "/skins/bin");
  ASSERT_EQ(run.run(""), 0) << run.error_output();
  EXPECT_NE(run.error_output().find("No skins found"), std::string::npos);
  lines = run.log_lines();
  EXPECT_EQ(find_line(lines, "WinMain 2"), lines.size());
  EXPECT_LT(find_line(lines, "Application::~Application()"), lines.size());
}

TEST(Program, ClosedWhileThumbnailsAreMadeItStopsTheWorkerAndEnds) {
  LV_REQUIRE_TESTDATA();
  ProgramRun run;
  // Far more pictures than the worker can make before the close; hard links
  // of one copy keep the tree small.
  constexpr int kPictures = 60;
  ASSERT_TRUE(
      run.add_picture("jpeg/large/Kleiber_by_Lukas_Baubkus.jpg", "Wallpaper", "kleiber0.jpg"));
  const std::filesystem::path folder = std::filesystem::path(run.pictures()) / "Wallpaper";
  for (int i = 1; i < kPictures; ++i) {
    std::error_code error;
    std::filesystem::create_hard_link(folder / "kleiber0.jpg",
                                      folder / ("kleiber" + std::to_string(i) + ".jpg"), error);
    if (error)
      std::filesystem::copy_file(folder / "kleiber0.jpg",
                                 folder / ("kleiber" + std::to_string(i) + ".jpg"));
  }
  ASSERT_EQ(run.run("wait 700\nidle 300 5000\nkey SOFT_LEFT\nwait 500\nclose\n"), 0)
      << run.error_output();
  const auto lines = run.log_lines();
  int begun = 0, finished = 0;
  for (const std::string& line : lines) {
    begun += line.starts_with("Time for create cache begin");
    finished += line.starts_with("Time for create cache end");
  }
  EXPECT_GT(begun, 0) << joined(lines);
  EXPECT_LT(finished, kPictures) << "the worker made the whole queue before the program ended";
  EXPECT_LT(find_line(lines, "Application::~Application()"), lines.size());
}

}  // namespace
}  // namespace lv
