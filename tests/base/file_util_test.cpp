// File information, streams, atomic and buffered writes, and the log file.

#include "base/file_util.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <thread>

#include "base/log_capture.h"
#include "support/scoped_env.h"

namespace lv {
namespace {

size_t entry_count(const std::string& folder) {
  return std::distance(std::filesystem::directory_iterator(folder), {});
}

std::string pattern_bytes(size_t n) {
  std::string bytes(n, '\0');
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

class FileUtilTest : public testing::Test {
 protected:
  std::string m_dir = test::make_temp_dir("files");
  std::u16string m_d = from_utf8(m_dir);
};

TEST_F(FileUtilTest, FileInfoAndDeleteFile) {
  const std::string file = m_dir + "/IMG_0001.JPG";
  test::write_file(file, std::string(12345, 'x'));
  const timespec times[2] = {{1'300'000'000, 0}, {1'300'000'000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  FileInfo info = file_info(m_d + u"\\IMG_0001.JPG");  // either separator
  EXPECT_EQ(std::pair(info.size, std::mktime(&info.last_write)),
            std::pair(uint64_t{12345}, time_t{1'300'000'000}));  // local time

  create_directory(m_d + u"/full/keep/");  // every level
  ASSERT_EQ(::symlink((m_dir + "/full").c_str(), (m_dir + "/link").c_str()), 0);
  EXPECT_TRUE(delete_file(from_utf8(file)));
  FileInfo full = file_info(m_d + u"/full");
  EXPECT_TRUE(!delete_file(full) && full.error == ENOTEMPTY) << full.error;
  FileInfo link = file_info(m_d + u"/link");  // the link goes, the folder stays
  EXPECT_TRUE(link.is_directory() && delete_file(link));
  FileInfo missing = file_info(from_utf8(file));
  EXPECT_TRUE(!missing.exists() && !delete_file(missing) && missing.error == ENOENT);
  EXPECT_EQ(entry_count(m_dir), 1u);  // "full"
}

TEST_F(FileUtilTest, StreamModesCreateTruncateAppendReadAndNeverBlock) {
  const std::u16string path = m_d + u"/f.bin";
  EXPECT_FALSE(FileStream(path, OpenMode::read).is_open());  // and does not create it
  EXPECT_TRUE(FileStream(path, OpenMode::write).write("abcdef", 6));
  EXPECT_TRUE(FileStream(path, OpenMode::write).write("xyz", 3));  // truncates
  FileStream append(path, OpenMode::append);
  EXPECT_TRUE(append.write("123", 3));
  FileStream in(path, OpenMode::read);
  char buffer[8] = {};
  EXPECT_TRUE(in.seek(1) && in.read_exact(buffer, 5));
  EXPECT_EQ(std::string(buffer), "yz123");
  EXPECT_FALSE(in.read_exact(buffer, 1) || in.write("q", 1));
  EXPECT_FALSE(FileStream(m_d + u"/none/f.bin", OpenMode::append).is_open());

  // A FIFO without a reader fails to open for writing instead of blocking;
  // with one, it cannot be appended to: it has no end to go to.
  const std::string fifo = m_dir + "/pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(FileStream(from_utf8(fifo), OpenMode::write).is_open());
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  EXPECT_TRUE(FileStream(from_utf8(fifo), OpenMode::write).is_open());
  EXPECT_FALSE(FileStream(from_utf8(fifo), OpenMode::append).is_open());
  ::close(reader);
}

// Runs in a child process: exits 0 when the write was refused.
[[noreturn]] void write_under_size_limit(const std::u16string& path, rlim_t limit_bytes) {
  ::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{limit_bytes, limit_bytes};
  ::setrlimit(RLIMIT_FSIZE, &limit);
  std::_Exit(write_file_atomic(path, pattern_bytes(5 * limit_bytes)) ? 1 : 0);
}

TEST_F(FileUtilTest, WriteFileAtomicNeverLeavesAHalfWrittenFileOrATemporary) {
  ASSERT_TRUE(write_file_atomic(m_d + u"/folders.ini", "first"));
  ASSERT_TRUE(write_file_atomic(m_d + u"/folders.ini", "good old content"));
  // A file-size limit makes the write fail half way, like a full card.
  EXPECT_EXIT(write_under_size_limit(m_d + u"/folders.ini", 1000), testing::ExitedWithCode(0), "");
  EXPECT_EQ(test::read_file(m_dir + "/folders.ini"), "good old content");
  EXPECT_FALSE(write_file_atomic(m_d + u"/missing/x.ini", "data"));
  EXPECT_EQ(entry_count(m_dir), 1u);  // no temporary beside the file
}

TEST_F(FileUtilTest, BufferedReadsAcrossTheBufferBoundary) {
  const std::string bytes = pattern_bytes(3 * 4096 + 100);
  test::write_file(m_dir + "/data", bytes);
  FileStream in(m_d + u"/data", OpenMode::read);
  BufferedReader reader(in);
  std::string got(bytes.size(), '\0');
  ASSERT_EQ(reader.read(got.data(), 4095), 4095u);
  got[4095] = static_cast<char>(reader.get());
  ASSERT_TRUE(reader.read_exact(&got[4096], 5000) && reader.skip(3000));
  EXPECT_EQ(reader.read(&got[12096], 500), 292u);  // only what is left
  EXPECT_EQ(got, bytes.substr(0, 9096) + std::string(3000, '\0') + bytes.substr(12096));
  EXPECT_EQ(reader.get(), -1);
  EXPECT_FALSE(reader.skip(1) || reader.failed());
}

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
  std::map<std::u16string, int> lines;
  for (const std::u16string& line : test::read_log_lines()) ++lines[line];
  for (const char16_t* busy : {u"t0-busy", u"t1-busy", u"t2-busy", u"t3-busy"}) lines.erase(busy);
  EXPECT_EQ(lines,
            (std::map<std::u16string, int>{
                {u"t0-final", 200}, {u"t1-final", 200}, {u"t2-final", 200}, {u"t3-final", 200}}));
}

}  // namespace
}  // namespace lv
