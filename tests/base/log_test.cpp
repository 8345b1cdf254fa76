#include "base/log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <map>
#include <thread>

#include "base/log_capture.h"
#include "support/scoped_env.h"

namespace lv {
namespace {

using test::log_file;
using test::read_log_text;

// Flips the switch in the settings file, as another process (the user's
// editor) would while the program logs; the logger notices on its next use.
void switch_log(uint32_t value) {
  test::set_log_switch(value);
  log();
}

// Logs a piece and answers the log's text.
std::u16string log_and_read(std::u16string_view piece) {
  log() << piece;
  return read_log_text();
}

class LogTest : public testing::Test {
 protected:
  void SetUp() override {
    switch_log(0);
    std::remove(log_file().c_str());
  }
};

TEST_F(LogTest, SwitchOnOffOnCreatesStopsAndRestartsTheFile) {
  log() << u"nobody reads this\n";
  EXPECT_NE(::access(log_file().c_str(), F_OK), 0);
  switch_log(1);
  log() << "gr\xC3\xBC\xC3\x9F " << u"\u20AC" << 42;
  EXPECT_EQ(test::read_file(log_file()), test::utf16le_file(u"gr\u00FC\u00DF \u20AC42"));
  switch_log(0);  // stops growing while off
  EXPECT_EQ(log_and_read(u"\nwhile off\n"), u"gr\u00FC\u00DF \u20AC42");
  switch_log(0x100);  // any non-zero value is on; the file begins again
  log() << u"second\n";
  switch_log(1);  // on to on: the file goes on
  EXPECT_EQ(log_and_read(u"third\n"), u"second\nthird\n");
  std::remove(test::registry_file().c_str());  // no settings file: off
  EXPECT_EQ(log_and_read(u"gone\n"), u"second\nthird\n");
}

// A second start logs its hand-over before it ends; the running instance's
// log must survive it, and the two write without overwriting each other.
TEST_F(LogTest, ASecondWriterAppendsInsteadOfWipingTheRunningOnesLog) {
  switch_log(1);
  log() << u"running\n";
  // The other process: its own open file, which cannot take the lock.
  int other = ::open(log_file().c_str(), O_WRONLY | O_APPEND);
  EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
  ASSERT_EQ(::write(other, "x\0", 2), 2);
  EXPECT_EQ(log_and_read(u"on\n"), u"running\nxon\n");
  ::close(other);
  // Now this process is the second one: a holder of the lock keeps its lines.
  switch_log(0);
  int holder = ::open(log_file().c_str(), O_WRONLY | O_APPEND);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  switch_log(1);
  EXPECT_EQ(log_and_read(u"handed over\n"), u"running\nxon\nhanded over\n");
  ::close(holder);
}

TEST_F(LogTest, LinkAtTheLogPathIsNeitherFollowedNorTruncated) {
  for (auto make_link : {::symlink, ::link}) {
    SetUp();
    const std::string other = test::make_temp_dir("victim") + "/precious.txt";
    test::write_file(other, "precious");
    ASSERT_EQ(make_link(other.c_str(), log_file().c_str()), 0);
    switch_log(1);
    log() << u"must not land in the other file\n";
    log().flush();
    EXPECT_EQ(test::read_file(other), "precious");
  }
}

TEST_F(LogTest, UnwritableFolderLosesLinesSilentlyUntilItIsUsableAgain) {
  // A plain file where the folder should be: unwritable even for root.
  const std::string blocker = test::make_temp_dir("tmp") + "/not-a-folder";
  test::write_file(blocker, "keep");
  {
    test::ScopedEnv env;
    env.set("TMPDIR", blocker + "/missing");
    switch_log(1);
    log() << u"lost\n";
    switch_log(0);
  }
  EXPECT_EQ(test::read_file(blocker), "keep");
  switch_log(1);
  EXPECT_EQ(log_and_read(u"back\n"), u"back\n");
}

TEST_F(LogTest, FatalStopLogsTheReasonAndExitsWithFailure) {
  switch_log(1);
  log() << u"before\n";
  EXPECT_EXIT(fatal_stop(u"instance != 0", u"Application::Application"),
              testing::ExitedWithCode(kFatalExitCode),
              "Gluck: instance != 0 @ Application::Application");
  EXPECT_EQ(read_log_text(), u"before\nGluck: instance != 0 @ Application::Application\n");
}

TEST_F(LogTest, ThreadsLogWhileTheSwitchFlipsAndNoPieceIsTorn) {
  std::atomic<bool> flipping{true};
  std::vector<std::thread> writers;
  for (char16_t t = u'0'; t < u'4'; ++t)
    writers.emplace_back([t, &flipping] {
      while (flipping.load()) log() << std::u16string{u't', t} + u"-busy\n";
      for (int n = 0; n < 200; ++n) log() << std::u16string{u't', t} + u"-final\n";
    });
  for (int flip = 0; flip < 60; ++flip) test::set_log_switch(flip % 2);
  switch_log(1);
  flipping = false;
  for (std::thread& writer : writers) writer.join();

  // Pieces from different threads interleave, but none is torn.
  ASSERT_EQ(test::read_file(log_file()).size() % 2, 0u);
  std::map<std::u16string, int> lines;
  for (const std::u16string& line : test::read_log_lines()) ++lines[line];
  for (const char16_t* busy : {u"t0-busy", u"t1-busy", u"t2-busy", u"t3-busy"}) lines.erase(busy);
  EXPECT_EQ(lines,
            (std::map<std::u16string, int>{
                {u"t0-final", 200}, {u"t1-final", 200}, {u"t2-final", 200}, {u"t3-final", 200}}));
}

}  // namespace
}  // namespace lv
