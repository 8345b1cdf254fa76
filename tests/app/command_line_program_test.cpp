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

#include "app/program_run.h"

namespace lv {
namespace {

namespace fs = std::filesystem;
using test::ProgramRun;

constexpr size_t npos = std::string::npos;

TEST(CommandLineProgram, LaterStartsHandTheirPathToTheRunningOneAndEndWithZero) {
  LV_REQUIRE_TESTDATA();
  ProgramRun run;
  ASSERT_TRUE(run.add_picture("jpeg/exif-pillow/hopper.jpg", "Trip", "a b.jpg"));
  const std::string trip = fs::canonical(run.pictures()).string() + "/Trip";
  const ProgramRun::Child first = run.start(
      "wait 700\nidle 300 5000\nscreenshot album.png\nwait 30000\n", {"/nowhere/x.jpg"}, "first");
  // Screenshots are written whole under a temporary name, then renamed.
  for (int i = 0; i < 3000 && !fs::exists(run.path("album.png")); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(fs::exists(run.path("album.png"))) << run.log();
  EXPECT_NE(
      run.error_output(first).find("Lumiview: There is no such picture or folder:\n/nowhere/x.jpg"),
      npos)
      << run.error_output(first);

  // Both write the one log: a handed-over start adds its lines and leaves
  // the running one's in place.
  EXPECT_EQ(ProgramRun::wait(run.start("", {}, "empty"), 30), 0);
  EXPECT_EQ(ProgramRun::wait(run.start("", {trip}, "folder"), 30), 0);
  ASSERT_TRUE(test::wait_for_log(run, "folder open " + trip + "/"));
  EXPECT_EQ(ProgramRun::wait(run.start("", {trip + "/a b.jpg"}, "picture"), 30), 0);
  ASSERT_TRUE(test::wait_for_log(run, "image open 0")) << run.log();

  kill(first.pid, SIGTERM);
  EXPECT_EQ(ProgramRun::wait(first, 30), 0);
  const std::string log = run.log();
  const size_t running = test::find_line(log, "WinMain 14");
  const size_t handed = test::find_line(log, "Application::EnumProc window found 2");
  ASSERT_LT(running, handed) << log;
  EXPECT_EQ(test::find_line(log, "WindMain 1", handed), npos) << log;
  // The blank in the name made it through the hand-over quoted; the empty
  // command line was handed on to no one.
  const std::string opened = "Application::open_command_line";
  EXPECT_NE(log.find(opened + " \"" + trip + "/a b.jpg\"", running), npos) << log;
  for (size_t at = log.find(opened); at != npos; at = log.find(opened, at + 1)) {
    const std::string line = log.substr(at, log.find('\n', at) - at);
    EXPECT_TRUE(line.ends_with(".jpg") || line.ends_with(".jpg\"") || line.ends_with("/Trip"))
        << line;
  }
  EXPECT_NE(log.find("album command line picture " + trip + "/a b.jpg", running), npos);
}

}  // namespace
}  // namespace lv
