// The real program, started in a device of its own with the headless display
// and scripted input: what a person sees from the splash to the album
// screen, a search filling the rows with thumbnails, and the faults that
// must end the program cleanly. (A second start is in
// command_line_program_test.cpp, the skin and language menus in
// skins_program_test.cpp.)
//
// Positions and colours are those of the shipped default skin at 480 x 800:
// the album's header (52 pixels, the progress bar just below it) and its
// rows (76 pixels from y 58, the thumbnail at the left).
//
// With LUMIVIEW_DOCS_SCREENSHOTS set to a folder, the screenshots of the
// splash and the album are also copied there (screenshot-splash.png,
// screenshot-album.png).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>

#include "app/program_run.h"
#include "skinc/skin_compiler.h"

namespace lv {
namespace {

using test::bright_pixels;
using test::copy_for_docs;
using test::find_line;
using test::joined;
using test::ProgramRun;
using test::Shot;

const uint16_t kSplashBackground = test::rgb565_hex(0x10161e);
const uint16_t kProgressTrack = test::rgb565_hex(0x1c2733);
const uint16_t kProgressLine = test::rgb565_hex(0x4f9be0);
constexpr int32_t kProgressRow = 53;
const Rect kSplashTitle{150, 736, 330, 776};
const Rect kWarningText{20, 450, 460, 495};
// The thumbnails of the first two rows, inside their rounded frames.
const Rect kThumbnails[] = {{20, 73, 68, 121}, {20, 149, 68, 197}};

size_t distinct_colours(const Shot& shot, const Rect& area) {
  std::set<uint16_t> colours;
  for (int32_t y = area.top; y < area.bottom; ++y)
    for (int32_t x = area.left; x < area.right; ++x) colours.insert(shot.at(x, y));
  return colours.size();
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
  // The main menu's is written by the skins' test.
}

// Taps on elements by id and text run in every scripted test; a missing one
// ends the run with 1, nothing after it played.
TEST(Program, AScriptedTapOnAMissingElementEndsTheRunWithOne) {
  ProgramRun run;
  ASSERT_EQ(run.run("wait 700\n"
                    "idle 300 5000\n"
                    "tapid btnNowhere\n"
                    "tapid btnSearch\n"),
            1);
  EXPECT_NE(run.error_output().find(
                "lumiview: script line 3: no visible element with the id \"btnNowhere\""),
            std::string::npos)
      << run.error_output();
  const auto lines = run.log_lines();
  EXPECT_EQ(find_line(lines, "album search", 0, false), lines.size()) << "played on after it";
  EXPECT_LT(find_line(lines, "Application::~Application()"), lines.size());
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
