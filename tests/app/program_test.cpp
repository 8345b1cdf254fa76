// The real program, started in a device of its own with the headless display
// and scripted input: the start from the splash to the album screen and a
// search that fills the rows with thumbnails, a scripted tap that finds
// nothing, and the faults and the close that must end the program cleanly.
// What the album screen shows while it searches is the screens' own test.
// (A second start is in command_line_program_test.cpp, the skin and
// language menus in skins_program_test.cpp.)
//
// Positions and colours are those of the shipped default skin at 480 x 800:
// the album's rows are 76 pixels from y 58, the thumbnail at the left.
//
// With LUMIVIEW_DOCS_SCREENSHOTS set to a folder, the screenshots of the
// splash and the album are also copied there (screenshot-splash.png,
// screenshot-album.png).

#include <gtest/gtest.h>

#include <set>

#include "app/program_run.h"
#include "skinc/skin_compiler.h"

namespace lv {
namespace {

using test::find_line;
using test::ProgramRun;
using test::Shot;

constexpr size_t npos = std::string::npos;

TEST(Program, SplashThenAlbumThenASearchShowsTheThumbnailsAndTheEndIsLogged) {
  LV_REQUIRE_TESTDATA();
  ProgramRun run;
  ASSERT_TRUE(run.add_picture("jpeg/exif-ianare/Canon_40D.jpg", "Holiday") &&
              run.add_picture("jpeg/exif-pillow/hopper.jpg", "Holiday") &&
              run.add_picture("jpeg/large/Kleiber_by_Lukas_Baubkus.jpg", "Wallpaper"));
  // A scripted tap on a missing element ends the run with 1, nothing after
  // it played.
  ASSERT_EQ(run.run("screenshot splash.png\nwait 700\nidle 300 5000\nkey SOFT_LEFT\n"
                    "idle 800 30000\nscreenshot album.png\ntapid btnNowhere\nscreenshot no.png\n"),
            1)
      << run.error_output();
  EXPECT_NE(run.error_output().find(
                "lumiview: script line 7: no visible element with the id \"btnNowhere\""),
            npos)
      << run.error_output();
  EXPECT_FALSE(std::filesystem::exists(run.path("no.png")));

  const std::string log = run.log();
  size_t at = 0;
  for (const char* step :
       {"WinMain 0", "WindMain 1", " GameBase 5", "WinMain 2", "WinMain 3", "WinMain 4",
        "WinMain 5", "WinMain 6", "WinMain 7", "WinMain 9", "WinMain 10", "WinMain 11",
        "WinMain 12", "WinMain 13", "WinMain 14", "WinMain 8", "Application::~Application()"}) {
    at = find_line(log, step, at);
    ASSERT_NE(at, npos) << "no \"" << step << "\" in order in:\n" << log;
  }
  // The splash was seen for its minimum time before the album was made.
  auto tick = [&](const char* line) { return std::stoul(log.substr(find_line(log, line), 12)); };
  EXPECT_GE(tick("WinMain 9") - tick("WinMain 6"), 500u);

  const Shot splash = run.shot("splash.png");
  EXPECT_TRUE(splash.width == 480 && splash.at(5, 5) == test::rgb565_hex(0x10161e));
  // The thumbnails of the first two rows, inside their rounded frames: the
  // "loading" and "bad" art are a few flat colours (about ten).
  const Shot album = run.shot("album.png");
  ASSERT_FALSE(album.empty());
  for (const Rect& thumbnail : {Rect{20, 73, 68, 121}, Rect{20, 149, 68, 197}}) {
    std::set<uint16_t> colours;
    for (int32_t y = thumbnail.top; y < thumbnail.bottom; ++y)
      for (int32_t x = thumbnail.left; x < thumbnail.right; ++x) colours.insert(album.at(x, y));
    EXPECT_GT(colours.size(), 60u) << "the row at y " << thumbnail.top << " shows art";
  }
  EXPECT_FALSE(test::read_file(run.path("home/.state/lumiview/folders.ini")).empty());
  test::copy_for_docs(
      run, {{"splash.png", "screenshot-splash.png"}, {"album.png", "screenshot-album.png"}});
  // The main menu's is written by the skins' test.
}

TEST(Program, SkinFaultsEndWithTheNoSkinsMessageAndExitCodeZero) {
  ProgramRun run;
  const std::string program = run.make_program_folder({"english.lng"});
  // The album screen's row node is missing: the fault comes up on the
  // splash's loader thread.
  const std::filesystem::path source = run.path("source");
  std::filesystem::copy(test::source_path("skins/default"), source,
                        std::filesystem::copy_options::recursive);
  std::string json = test::read_file((source / "skin.json").string());
  const size_t row = json.find("\"AlbumElement\":");
  ASSERT_NE(row, npos);
  json.replace(row, 15, "\"AlbumElementGone\":");
  test::write_file((source / "skin.json").string(), json);
  skinc::CompiledSkin compiled;
  std::string error;
  ASSERT_TRUE(skinc::compile_skin(source / "skin.json", "default", compiled, error) &&
              skinc::write_compiled_skin(compiled, program + "/skins/bin", error))
      << error;

  ASSERT_EQ(run.run("wait 3000\n"), 0) << run.error_output();
  EXPECT_NE(run.error_output().find("No skins found, please reinstall"), npos)
      << run.error_output();
  std::string log = run.log();
  EXPECT_TRUE(find_line(log, "WinMain 9") != npos && find_line(log, "WinMain 11") == npos &&
              log.find("WinMain skin fault: ") != npos &&
              find_line(log, "Application::~Application()") != npos)
      << log;

  // No skin at all.
  std::filesystem::remove_all(program + "/skins/bin");
  ASSERT_EQ(run.run(""), 0) << run.error_output();
  EXPECT_NE(run.error_output().find("No skins found"), npos);
  log = run.log();
  EXPECT_TRUE(find_line(log, "WinMain 2") == npos &&
              find_line(log, "Application::~Application()") != npos);
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
    const auto name = folder / ("kleiber" + std::to_string(i) + ".jpg");
    std::error_code error;
    std::filesystem::create_hard_link(folder / "kleiber0.jpg", name, error);
    if (error) std::filesystem::copy_file(folder / "kleiber0.jpg", name);
  }
  ASSERT_EQ(run.run("wait 700\nidle 300 5000\nkey SOFT_LEFT\nwait 500\nclose\n"), 0)
      << run.error_output();
  const std::string log = run.log();
  int made = 0;
  for (size_t at = 0; (at = log.find("Time for create cache end", at)) != npos; ++at) ++made;
  EXPECT_LT(made, kPictures) << "the worker made the whole queue before the program ended";
  EXPECT_TRUE(log.find("Time for create cache begin") != npos &&
              find_line(log, "Application::~Application()") != npos)
      << log;
}

}  // namespace
}  // namespace lv
