#include "app/base/log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <thread>
#include <vector>

#include "base/log_capture.h"
#include "platform/clock.h"
#include "support/test_env.h"

namespace lv {
namespace {

using test::kByteOrderMark;
using test::log_file;
using test::read_file;
using test::set_log_switch;
using test::utf16le;

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

class LogTest : public testing::Test {
 protected:
  void SetUp() override {
    set_log_switch(0);
    log();
    std::remove(log_file().c_str());
  }
  void TearDown() override {
    set_log_switch(0);
    log();
  }
};

TEST_F(LogTest, SwitchIsReadFromTheSettingsFileOnEveryLine) {
  log() << u"nobody reads this\n";
  EXPECT_FALSE(exists(log_file()));

  set_log_switch(1);
  log() << u"first " << 42 << u"\n";
  EXPECT_EQ(read_file(log_file()), kByteOrderMark + utf16le(u"first 42\n"));

  set_log_switch(0);
  log() << u"while off\n";
  log().flush();
  EXPECT_EQ(read_file(log_file()), kByteOrderMark + utf16le(u"first 42\n"));

  set_log_switch(1);
  log() << u"second\n";
  EXPECT_EQ(read_file(log_file()), kByteOrderMark + utf16le(u"second\n"));

  // Any non-zero value switches logging on.
  set_log_switch(0x100);
  log() << u"third\n";
  EXPECT_EQ(read_file(log_file()), kByteOrderMark + utf16le(u"second\nthird\n"));
}

TEST_F(LogTest, MissingSettingsFileMeansOff) {
  set_log_switch(1);
  log() << u"on\n";
  std::remove(test::registry_file().c_str());
  log() << u"gone\n";
  EXPECT_EQ(read_file(log_file()), kByteOrderMark + utf16le(u"on\n"));
}

TEST_F(LogTest, LineBytesAreLittleEndianUtf16) {
  set_log_switch(1);
  log() << "gr\xC3\xBC\xC3\x9F " << u"\u20AC" << u"\n";
  EXPECT_EQ(read_file(log_file()), std::string("\xFF\xFE"
                                               "g\0r\0\xFC\0\xDF\0 \0\xAC\x20\n\0",
                                               16));
}

// A logger that records each piece it is handed.
class PieceLogger : public Logger {
 public:
  void write(const char16_t* begin, const char16_t* end) override {
    pieces.emplace_back(begin, end);
  }
  void flush() override {}
  std::vector<std::u16string> pieces;
};

TEST(LoggerStreaming, EachPieceIsOneWriteInItsUsualForm) {
  PieceLogger logger;
  const std::u16string wide = u"wide";
  const std::string narrow = "caf\xC3\xA9";
  logger << u"literal" << wide << narrow << "text" << -12 << 4000000000u
         << std::numeric_limits<unsigned long long>::max() << std::numeric_limits<long long>::min()
         << static_cast<short>(-3) << static_cast<unsigned char>(200) << true;
  EXPECT_EQ(logger.pieces,
            (std::vector<std::u16string>{u"literal", u"wide", u"caf\u00E9", u"text", u"-12",
                                         u"4000000000", u"18446744073709551615",
                                         u"-9223372036854775808", u"-3", u"200", u"1"}));
}

TEST(LoggerStreaming, DoublesPrintAsAStreamWouldByDefault) {
  for (double value : {0.1, 2.0, 1e-5, 123456789.0, -0.0, 0.000123456789, 1.5e300, 3.14159265}) {
    PieceLogger logger;
    logger << value;
    std::ostringstream expected;
    expected << value;
    ASSERT_EQ(logger.pieces.size(), 1u);
    EXPECT_EQ(to_utf8(logger.pieces[0]), expected.str()) << value;
  }
}

TEST(LoggerStreaming, PointersPrintInHex) {
  PieceLogger logger;
  logger << reinterpret_cast<const void*>(0xBEEF) << static_cast<const void*>(nullptr);
  EXPECT_EQ(logger.pieces, (std::vector<std::u16string>{u"0xbeef", u"0x0"}));
}

TEST_F(LogTest, SymbolicLinkAtTheLogPathIsNotFollowed) {
  const std::string other = test::make_temp_dir("victim") + "/precious.txt";
  test::write_file(other, "precious");
  ASSERT_EQ(::symlink(other.c_str(), log_file().c_str()), 0);

  set_log_switch(1);
  log() << u"must not land in the other file\n";
  log().flush();
  EXPECT_EQ(read_file(other), "precious");
  struct stat st {};
  ASSERT_EQ(::lstat(log_file().c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST_F(LogTest, HardLinkAtTheLogPathIsNotTruncated) {
  const std::string other = test::make_temp_dir("victim") + "/precious.txt";
  test::write_file(other, "precious");
  ASSERT_EQ(::link(other.c_str(), log_file().c_str()), 0);

  set_log_switch(1);
  log() << u"must not land in the other file\n";
  EXPECT_EQ(read_file(other), "precious");
}

class ScopedTmpdir {
 public:
  explicit ScopedTmpdir(const std::string& value) : m_old(std::getenv("TMPDIR")) {
    setenv("TMPDIR", value.c_str(), 1);
  }
  ~ScopedTmpdir() { setenv("TMPDIR", m_old.c_str(), 1); }

 private:
  std::string m_old;
};

TEST_F(LogTest, UnwritableFolderLosesLinesSilently) {
  // A plain file where the folder should be: unwritable even for root.
  const std::string blocker = test::make_temp_dir("tmp") + "/not-a-folder";
  test::write_file(blocker, "keep");
  {
    ScopedTmpdir tmpdir(blocker);
    set_log_switch(1);
    log() << u"lost " << 1 << u"\n";
    log().flush();
    set_log_switch(0);
    log();
  }
  {
    ScopedTmpdir tmpdir(blocker + "/missing/folder");
    set_log_switch(1);
    log() << u"lost " << 2 << u"\n";
    log().flush();
    set_log_switch(0);
    log();
  }
  EXPECT_EQ(read_file(blocker), "keep");

  // Once the folder is usable again, logging resumes.
  set_log_switch(1);
  log() << u"back\n";
  EXPECT_EQ(read_file(log_file()), kByteOrderMark + utf16le(u"back\n"));
}

TEST_F(LogTest, FatalStopLogsTheReasonAndExitsWithFailure) {
  set_log_switch(1);
  log() << u"before\n";
  EXPECT_EXIT(fatal_stop(u"instance != 0", u"Application::Application"),
              testing::ExitedWithCode(kFatalExitCode),
              "Gluck: instance != 0 @ Application::Application");
  EXPECT_EQ(read_file(log_file()),
            kByteOrderMark + utf16le(u"before\nGluck: instance != 0 @ Application::Application\n"));
  EXPECT_NE(kFatalExitCode, 0);
}

TEST_F(LogTest, FatalStopWithLoggingOffStillEndsTheProcess) {
  EXPECT_EXIT(fatal_stop(u"Clip is in effect, cannot resize", u"RenderSurface::recreate"),
              testing::ExitedWithCode(kFatalExitCode), "Clip is in effect");
  EXPECT_FALSE(exists(log_file()));
}

TEST_F(LogTest, ThreadsLogWhileTheSwitchFlips) {
  constexpr int kThreads = 4;
  constexpr int kFinalLines = 200;
  std::atomic<bool> flipping{true};
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([t, &flipping] {
      const std::u16string tag = u"t" + std::u16string(1, static_cast<char16_t>(u'0' + t));
      int n = 0;
      while (flipping.load()) log() << tag + u" busy\n";
      for (n = 0; n < kFinalLines; ++n) log() << tag + u" final\n";
    });
  }
  for (int flip = 0; flip < 60; ++flip) set_log_switch(flip % 2);
  set_log_switch(1);
  log();
  flipping = false;
  for (std::thread& writer : writers) writer.join();

  const std::string bytes = read_file(log_file());
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), kByteOrderMark);
  ASSERT_EQ(bytes.size() % 2, 0u);
  // Pieces from different threads interleave, but none is torn.
  const std::u16string text = test::read_log_text();
  int final_lines[kThreads] = {};
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find(u'\n', start);
    ASSERT_NE(end, std::u16string::npos);
    const std::u16string line = text.substr(start, end - start);
    ASSERT_EQ(line.size() >= 3 && line[0] == u't', true) << to_utf8(line);
    const int t = line[1] - u'0';
    ASSERT_TRUE(t >= 0 && t < kThreads) << to_utf8(line);
    const std::u16string rest = line.substr(2);
    ASSERT_TRUE(rest == u" busy" || rest == u" final") << to_utf8(line);
    if (rest == u" final") ++final_lines[t];
    start = end + 1;
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(final_lines[t], kFinalLines) << t;
}

TEST(Stopwatch, MeasuresSecondsOfInjectedTicks) {
  uint32_t now = 1000;
  platform::set_tick_source([&now] { return now; });
  Stopwatch watch;
  now = 3500;
  EXPECT_DOUBLE_EQ(watch.elapsed(), 2.5);
  EXPECT_DOUBLE_EQ(watch.elapsed(), 2.5);  // elapsed does not restart
  now = 3750;
  EXPECT_DOUBLE_EQ(watch.lap(), 2.75);
  now = 4000;
  EXPECT_DOUBLE_EQ(watch.elapsed(), 0.25);

  // Across the 49.7-day wrap of the tick counter.
  now = 0xFFFFFF00u;
  watch.start();
  now = 0x100u;
  EXPECT_DOUBLE_EQ(watch.elapsed(), 0.512);
  platform::set_tick_source({});
}

}  // namespace
}  // namespace lv
