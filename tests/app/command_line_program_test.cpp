// The command line through the real program, headless: the first start's
// path that cannot be opened is told and leaves the album screen; later
// starts hand their paths to the running one and end with 0, a folder
// opening the folder screen and a picture the image screen.
//
// Positions are those of the shipped default skin at 480 x 800.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/program_run.h"
#include "skin/geometry.h"

namespace lv {
namespace {

namespace fs = std::filesystem;
using test::bright_pixels;
using test::find_line;
using test::joined;
using test::ProgramRun;
using test::Shot;

// The album's warning, shown while it knows no folder.
const Rect kWarningText{20, 450, 460, 495};

bool wait_for_file(const std::string& path) {
  for (int i = 0; i < 3000 && !fs::exists(path); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return fs::exists(path);
}

TEST(CommandLineProgram, LaterStartsHandTheirPathToTheRunningOneAndEndWithZero) {
  LV_REQUIRE_TESTDATA();
  ProgramRun run;
  ASSERT_TRUE(run.add_picture("jpeg/exif-pillow/hopper.jpg", "Trip", "a b.jpg"));
  const std::string trip = fs::canonical(run.pictures()).string() + "/Trip";
  const ProgramRun::Child first = run.start(
      "wait 700\nidle 300 5000\nscreenshot album.png\nwait 30000\n", {"/nowhere/x.jpg"}, "first");
  // Screenshots are written whole under a temporary name, then renamed.
  ASSERT_TRUE(wait_for_file(run.path("album.png"))) << joined(run.log_lines());
  EXPECT_NE(ProgramRun::error_output(first).find(
                "Lumiview: There is no such picture or folder:\n/nowhere/x.jpg"),
            std::string::npos)
      << ProgramRun::error_output(first);

  // Both write the one log: a handed-over start adds its lines and leaves
  // the running one's in place.
  EXPECT_EQ(ProgramRun::wait(run.start("", {}, "empty"), 30), 0);
  EXPECT_EQ(ProgramRun::wait(run.start("", {trip}, "folder"), 30), 0);
  ASSERT_TRUE(test::wait_for_log_line(run, "folder open " + trip + "/", false));
  EXPECT_EQ(ProgramRun::wait(run.start("", {trip + "/a b.jpg"}, "picture"), 30), 0);
  ASSERT_TRUE(test::wait_for_log_line(run, "image open 0", false)) << joined(run.log_lines());

  kill(first.pid, SIGTERM);
  EXPECT_EQ(ProgramRun::wait(first, 30), 0);
  const auto lines = run.log_lines();
  const size_t running = find_line(lines, "WinMain 14");
  const size_t handed = find_line(lines, "Application::EnumProc window found 2");
  EXPECT_LT(running, handed) << joined(lines);
  EXPECT_EQ(find_line(lines, "WindMain 1", handed), lines.size()) << joined(lines);
  // The blank in the name made it through the hand-over quoted; the empty
  // command line was handed on to no one.
  const size_t opened =
      find_line(lines, "Application::open_command_line \"" + trip + "/a b.jpg\"", running, false);
  EXPECT_LT(opened, lines.size()) << joined(lines);
  for (const std::string& line : lines) {
    if (!line.starts_with("Application::open_command_line")) continue;
    EXPECT_TRUE(line.ends_with(".jpg") || line.ends_with(".jpg\"") || line.ends_with("/Trip"))
        << line;
  }
  EXPECT_LT(find_line(lines, "album command line picture " + trip + "/a b.jpg", opened, false),
            lines.size());

  // Before any hand-over the bad path left the album screen current.
  EXPECT_GT(bright_pixels(run.shot("album.png"), kWarningText), 100);
}

}  // namespace
}  // namespace lv
