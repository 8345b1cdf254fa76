#include "base/log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <thread>

#include "base/log_capture.h"
#include "support/scoped_env.h"

namespace lv {
namespace {

using test::log_file;
using test::read_file;
using test::set_log_switch;
using test::utf16le_file;

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

void log_off_and_remove() {
  set_log_switch(0);
  log();
  std::remove(log_file().c_str());
}

class LogTest : public testing::Test {
 protected:
  void SetUp() override { log_off_and_remove(); }
  void TearDown() override { log_off_and_remove(); }
};

// Another process (the user's editor) writes the settings file while the
// program logs; the switch is read on every access.
TEST_F(LogTest, SwitchOnOffOnCreatesStopsAndRestartsTheFile) {
  log() << u"nobody reads this\n";
  EXPECT_FALSE(exists(log_file()));

  set_log_switch(1);
  log() << "gr\xC3\xBC\xC3\x9F " << u"\u20AC" << 42 << u"\n";
  const std::string first = utf16le_file(u"gr\u00FC\u00DF \u20AC42\n");
  EXPECT_EQ(first.substr(0, 8), std::string("\xFF\xFEg\0r\0\xFC\0", 8));  // FF FE, then LE
  EXPECT_EQ(read_file(log_file()), first);

  set_log_switch(0);
  log() << u"while off\n";
  log().flush();
  EXPECT_EQ(read_file(log_file()), first);  // stops growing while off

  set_log_switch(0x100);  // any non-zero value is on; the file begins again
  log() << u"second\n";
  EXPECT_EQ(read_file(log_file()), utf16le_file(u"second\n"));
  set_log_switch(1);  // on to on: the file goes on
  log() << u"third\n";
  EXPECT_EQ(read_file(log_file()), utf16le_file(u"second\nthird\n"));

  std::remove(test::registry_file().c_str());  // no settings file: off
  log() << u"gone\n";
  EXPECT_EQ(read_file(log_file()), utf16le_file(u"second\nthird\n"));
}

// A second start logs its hand-over before it ends; the running instance's
// log must survive it, and the two write without overwriting each other.
TEST_F(LogTest, ASecondWriterAppendsInsteadOfWipingTheRunningOnesLog) {
  set_log_switch(1);
  log() << u"running\n";
  // The other process: its own open file, which cannot take the lock.
  int other = ::open(log_file().c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(other, 0);
  EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
  const std::string theirs = utf16le_file(u"x").substr(2);
  ASSERT_EQ(::write(other, theirs.data(), theirs.size()), static_cast<ssize_t>(theirs.size()));
  log() << u"on\n";
  EXPECT_EQ(read_file(log_file()), utf16le_file(u"running\nxon\n"));
  ::close(other);

  // Now this process is the second one: a holder of the lock keeps its lines.
  set_log_switch(0);
  log();
  int holder = ::open(log_file().c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  set_log_switch(1);
  log() << u"handed over\n";
  EXPECT_EQ(read_file(log_file()), utf16le_file(u"running\nxon\nhanded over\n"));
  ::close(holder);

  // Alone again, a fresh start begins the file anew.
  set_log_switch(0);
  log();
  set_log_switch(1);
  log() << u"fresh\n";
  EXPECT_EQ(read_file(log_file()), utf16le_file(u"fresh\n"));
}

TEST_F(LogTest, LinkAtTheLogPathIsNeitherFollowedNorTruncated) {
  for (bool symbolic : {true, false}) {
    log_off_and_remove();
    const std::string other = test::make_temp_dir("victim") + "/precious.txt";
    test::write_file(other, "precious");
    ASSERT_EQ(symbolic ? ::symlink(other.c_str(), log_file().c_str())
                       : ::link(other.c_str(), log_file().c_str()),
              0);
    set_log_switch(1);
    log() << u"must not land in the other file\n";
    log().flush();
    EXPECT_EQ(read_file(other), "precious") << symbolic;
  }
}

TEST_F(LogTest, UnwritableFolderLosesLinesSilently) {
  // A plain file where the folder should be: unwritable even for root.
  const std::string blocker = test::make_temp_dir("tmp") + "/not-a-folder";
  test::write_file(blocker, "keep");
  {
    test::ScopedEnv env;
    env.set("TMPDIR", blocker + "/missing");
    set_log_switch(1);
    log() << u"lost\n";
    log().flush();
    set_log_switch(0);
    log();
  }
  EXPECT_EQ(read_file(blocker), "keep");
  // Once the folder is usable again, logging resumes.
  set_log_switch(1);
  log() << u"back\n";
  EXPECT_EQ(read_file(log_file()), utf16le_file(u"back\n"));
}

TEST_F(LogTest, FatalStopLogsTheReasonAndExitsWithFailure) {
  EXPECT_NE(kFatalExitCode, 0);
  set_log_switch(1);
  log() << u"before\n";
  EXPECT_EXIT(fatal_stop(u"instance != 0", u"Application::Application"),
              testing::ExitedWithCode(kFatalExitCode),
              "Gluck: instance != 0 @ Application::Application");
  EXPECT_EQ(read_file(log_file()),
            utf16le_file(u"before\nGluck: instance != 0 @ Application::Application\n"));
}

TEST_F(LogTest, ThreadsLogWhileTheSwitchFlips) {
  std::atomic<bool> flipping{true};
  std::vector<std::thread> writers;
  for (char16_t t = u'0'; t < u'4'; ++t) {
    writers.emplace_back([t, &flipping] {
      while (flipping.load()) log() << std::u16string{u't', t, u'-'} + u"busy\n";
      for (int n = 0; n < 200; ++n) log() << std::u16string{u't', t, u'-'} + u"final\n";
    });
  }
  for (int flip = 0; flip < 60; ++flip) set_log_switch(flip % 2);
  set_log_switch(1);
  log();
  flipping = false;
  for (std::thread& writer : writers) writer.join();

  ASSERT_EQ(read_file(log_file()).size() % 2, 0u);
  // Pieces from different threads interleave, but none is torn.
  std::map<std::u16string, int> final_lines;
  for (const std::u16string& line : test::read_log_lines()) {
    ASSERT_TRUE(line.size() > 2 && line[0] == u't' && line[2] == u'-') << to_utf8(line);
    ASSERT_TRUE(line.substr(2) == u"-busy" || line.substr(2) == u"-final") << to_utf8(line);
    if (line.ends_with(u"-final")) ++final_lines[line];
  }
  EXPECT_EQ(final_lines,
            (std::map<std::u16string, int>{
                {u"t0-final", 200}, {u"t1-final", 200}, {u"t2-final", 200}, {u"t3-final", 200}}));
}

}  // namespace
}  // namespace lv
