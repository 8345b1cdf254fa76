#include "app/base/file_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>

#include "base/log_capture.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/text.h"
#include "support/test_env.h"

namespace lv {
namespace {

using test::make_temp_dir;
using test::read_file;
using test::write_file;

std::u16string u16(const std::string& text) {
  return from_utf8(text);
}

std::vector<std::string> folder_entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string pattern_bytes(size_t n) {
  std::string bytes(n, '\0');
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

TEST(FileInfo, MissingPathDoesNotExist) {
  const std::string path = make_temp_dir() + "/missing.jpg";
  const FileInfo info = file_info(u16(path));
  EXPECT_FALSE(info.exists());
  EXPECT_FALSE(info.is_directory());
  EXPECT_EQ(info.attributes, kInvalidAttributes);
  EXPECT_EQ(info.size, 0u);
  EXPECT_EQ(info.error, ENOENT);
  EXPECT_EQ(info.path, u16(path));
}

TEST(FileInfo, FilesAndFoldersWithTheirAttributesSizeAndTimes) {
  const std::string folder = make_temp_dir();
  const std::string file = folder + "/IMG_0001.JPG";
  write_file(file, std::string(12345, 'x'));
  const time_t when = 1'300'000'000;  // 2011-03-13
  const timespec times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);

  // Either separator, as the handheld's paths use backslashes.
  std::string backslashed = file;
  std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
  const FileInfo info = file_info(u16(backslashed));
  ASSERT_TRUE(info.exists());
  EXPECT_FALSE(info.is_directory());
  EXPECT_EQ(info.attributes, 0x80u);
  EXPECT_EQ(info.size, 12345u);
  EXPECT_EQ(info.error, 0);
  std::tm expected{};
  localtime_r(&when, &expected);
  EXPECT_EQ(info.last_write.tm_year, expected.tm_year);
  EXPECT_EQ(info.last_write.tm_yday, expected.tm_yday);
  EXPECT_EQ(info.last_write.tm_hour, expected.tm_hour);
  EXPECT_EQ(info.last_write.tm_min, expected.tm_min);
  // Birth time where the file system keeps it (it is "now", not the mtime).
  EXPECT_GE(info.creation.tm_year, expected.tm_year);

  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  EXPECT_EQ(file_info(u16(file)).attributes, 0x01u);

  const FileInfo dir = file_info(u16(folder));
  EXPECT_TRUE(dir.is_directory());
  EXPECT_EQ(dir.attributes & kAttributeDirectory, kAttributeDirectory);
}

TEST(DeleteFile, RemovesFilesAndEmptyFoldersAndRecordsErrors) {
  const std::string folder = make_temp_dir();
  write_file(folder + "/a.jpg", "a");
  ASSERT_EQ(::mkdir((folder + "/empty").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((folder + "/full").c_str(), 0755), 0);
  write_file(folder + "/full/b.jpg", "b");
  ASSERT_EQ(::symlink((folder + "/full").c_str(), (folder + "/link").c_str()), 0);

  FileInfo file = file_info(u16(folder + "/a.jpg"));
  EXPECT_TRUE(delete_file(file));
  EXPECT_EQ(file.error, 0);
  EXPECT_FALSE(file_info(u16(folder + "/a.jpg")).exists());

  EXPECT_TRUE(delete_file(u16(folder + "/empty")));

  FileInfo full = file_info(u16(folder + "/full"));
  EXPECT_FALSE(delete_file(full));
  EXPECT_EQ(full.error, ENOTEMPTY);
  EXPECT_TRUE(file_info(u16(folder + "/full/b.jpg")).exists());

  // A link to a folder goes, the folder stays.
  FileInfo link = file_info(u16(folder + "/link"));
  EXPECT_TRUE(link.is_directory());
  EXPECT_TRUE(delete_file(link));
  EXPECT_TRUE(file_info(u16(folder + "/full/b.jpg")).exists());

  FileInfo missing = file_info(u16(folder + "/a.jpg"));
  EXPECT_FALSE(delete_file(missing));
  EXPECT_EQ(missing.error, ENOENT);
  EXPECT_EQ(folder_entries(folder), (std::vector<std::string>{"full"}));
}

std::vector<std::u16string> log_lines() {
  std::vector<std::u16string> lines;
  const std::u16string text = test::read_log_text();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(u'\n', start);
    if (end == std::u16string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

TEST(CreateDirectory, MakesEveryLevelTopDownAndLogsEach) {
  const std::string base = make_temp_dir();
  test::start_fresh_log();
  create_directory(u16(base + "/a/b/"));
  test::set_log_switch(0);
  log();

  EXPECT_TRUE(file_info(u16(base + "/a/b")).is_directory());
  const std::vector<std::u16string> lines = log_lines();
  // One line per ancestor from the root down; only the new levels report 1.
  std::vector<std::u16string> expected;
  std::u16string prefix;
  for (const auto& part : std::filesystem::path(base + "/a/b")) {
    if (part == "/") continue;
    prefix += u"/" + u16(part.string());
    expected.push_back(u"CreateDirectoryW {" + prefix + u"} result=0");
  }
  expected[expected.size() - 2].back() = u'1';
  expected[expected.size() - 1].back() = u'1';
  EXPECT_EQ(lines, expected);

  test::start_fresh_log();
  create_directory(u16(base + "/a"));
  test::set_log_switch(0);
  log();
  EXPECT_EQ(log_lines().back(), u"CreateDirectoryW {" + u16(base) + u"/a} result=0");
}

TEST(VolumeSize, KnownForAFolderZeroForAMissingOne) {
  const std::string folder = make_temp_dir();
  EXPECT_GT(volume_size(u16(folder)), 1'000'000u);
  EXPECT_EQ(volume_size(u16(folder + "/missing/deeper")), 0u);
}

void wait_for_children() {
  for (int i = 0; i < 2000 && platform::reap_children() > 0; ++i) platform::sleep_ms(5);
}

TEST(RunProgram, StartsWithAnArgumentVectorAndLogsTheCall) {
  const std::string folder = make_temp_dir();
  // Shell syntax in an argument stays part of the file name.
  const std::string target = folder + "/copy; touch injected";
  write_file(folder + "/source", "payload");
  test::start_fresh_log();
  ASSERT_TRUE(run_program(u"cp", {u16(folder + "/source"), u16(target)}));
  wait_for_children();
  test::set_log_switch(0);
  log();
  EXPECT_EQ(read_file(target), "payload");
  EXPECT_EQ(folder_entries(folder), (std::vector<std::string>{"copy; touch injected", "source"}));
  EXPECT_EQ(log_lines(), (std::vector<std::u16string>{u"execute_file(cp} {" + u16(folder) +
                                                      u"/source " + u16(target) + u")"}));

  EXPECT_FALSE(run_program(u16(folder + "/no-such-program"), {}));
}

TEST(FileStream, ModesCreateTruncateAppendAndKeep) {
  const std::string folder = make_temp_dir();
  const std::u16string path = u16(folder + "/f.bin");

  EXPECT_FALSE(FileStream(path, OpenMode::read).is_open());
  EXPECT_FALSE(file_info(path).exists());
  {
    FileStream out(path, OpenMode::write);
    ASSERT_TRUE(out.is_open());
    EXPECT_TRUE(out.write("abcdef", 6));
  }
  {
    FileStream out(path, OpenMode::write);
    EXPECT_TRUE(out.write("xyz", 3));
  }
  EXPECT_EQ(read_file(folder + "/f.bin"), "xyz");
  {
    FileStream out(path, OpenMode::append);
    ASSERT_TRUE(out.is_open());
    EXPECT_EQ(out.tell(), 3);
    EXPECT_TRUE(out.write("123", 3));
  }
  EXPECT_EQ(read_file(folder + "/f.bin"), "xyz123");
  {
    FileStream both(path, OpenMode::read_write);
    ASSERT_TRUE(both.is_open());
    EXPECT_EQ(both.size(), 6);
    EXPECT_TRUE(both.seek(2));
    EXPECT_TRUE(both.write("Z", 1));
    EXPECT_TRUE(both.seek(0));
    char buffer[16] = {};
    EXPECT_EQ(both.read(buffer, sizeof buffer), 6);
    EXPECT_EQ(std::string(buffer, 6), "xyZ123");
    EXPECT_EQ(both.read(buffer, sizeof buffer), 0);
    EXPECT_FALSE(both.seek(-1));
  }
  {
    FileStream in(path, OpenMode::read);
    char buffer[4];
    EXPECT_TRUE(in.read_exact(buffer, 4));
    EXPECT_FALSE(in.read_exact(buffer, 4));
    EXPECT_FALSE(in.write("q", 1));
    FileStream moved(std::move(in));
    EXPECT_FALSE(in.is_open());
    EXPECT_TRUE(moved.is_open());
    EXPECT_EQ(moved.tell(), 6);
  }
  // Opening a missing file for writing in a missing folder fails cleanly.
  EXPECT_FALSE(FileStream(u16(folder + "/none/f.bin"), OpenMode::append).is_open());
}

TEST(FileStream, AppendToSomethingThatCannotBePositionedYieldsAClosedStream) {
  const std::string fifo = make_temp_dir() + "/pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Without a reader, opening for writing fails at once instead of blocking.
  EXPECT_FALSE(FileStream(u16(fifo), OpenMode::write).is_open());

  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  FileStream plain(u16(fifo), OpenMode::write);
  EXPECT_TRUE(plain.is_open());  // a pipe opens for plain writing...
  FileStream appended(u16(fifo), OpenMode::append);
  EXPECT_FALSE(appended.is_open());  // ...but cannot be positioned at its end
  ::close(reader);
}

TEST(ReadWholeFile, ReadsExactlyAndRefusesWhatItCannotTake) {
  const std::string folder = make_temp_dir();
  const std::string bytes = pattern_bytes(70000);
  write_file(folder + "/big", bytes);
  std::string out;
  ASSERT_TRUE(read_whole_file(u16(folder + "/big"), out));
  EXPECT_EQ(out, bytes);

  out = "untouched";
  EXPECT_FALSE(read_whole_file(u16(folder + "/big"), out, 69999));
  EXPECT_FALSE(read_whole_file(u16(folder + "/missing"), out));
  EXPECT_FALSE(read_whole_file(u16(folder), out));
  EXPECT_EQ(out, "untouched");

  write_file(folder + "/empty", "");
  EXPECT_TRUE(read_whole_file(u16(folder + "/empty"), out));
  EXPECT_EQ(out, "");
}

TEST(WriteFileAtomic, ReplacesWholeOrNotAtAll) {
  const std::string folder = make_temp_dir();
  const std::string path = folder + "/folders.ini";
  ASSERT_TRUE(write_file_atomic(u16(path), "first"));
  ASSERT_TRUE(write_file_atomic(u16(path), "second version"));
  EXPECT_EQ(read_file(path), "second version");
  EXPECT_EQ(folder_entries(folder), (std::vector<std::string>{"folders.ini"}));

  // A folder in the way: the rename fails, the temporary file goes.
  ASSERT_EQ(::mkdir((folder + "/taken").c_str(), 0755), 0);
  EXPECT_FALSE(write_file_atomic(u16(folder + "/taken"), "data"));
  EXPECT_EQ(folder_entries(folder), (std::vector<std::string>{"folders.ini", "taken"}));
  EXPECT_FALSE(write_file_atomic(u16(folder + "/missing/x.ini"), "data"));
}

// Runs in a child process: exits 0 when the write was refused.
[[noreturn]] void write_under_size_limit(const std::string& path, rlim_t limit_bytes,
                                         size_t write_bytes) {
  ::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{limit_bytes, limit_bytes};
  ::setrlimit(RLIMIT_FSIZE, &limit);
  const bool written = write_file_atomic(u16(path), pattern_bytes(write_bytes));
  std::_Exit(written ? 1 : 0);
}

TEST(WriteFileAtomic, FailedWriteLeavesTheOldFileAndNoTemporary) {
  const std::string folder = make_temp_dir();
  const std::string path = folder + "/settings.reg";
  write_file(path, "good old content");
  // A file-size limit makes the write fail half way, like a full card.
  EXPECT_EXIT(write_under_size_limit(path, 1000, 5000), testing::ExitedWithCode(0), "");
  EXPECT_EQ(read_file(path), "good old content");
  EXPECT_EQ(folder_entries(folder), (std::vector<std::string>{"settings.reg"}));
}

TEST(BufferedIo, WritesAndReadsAcrossTheBufferBoundary) {
  const std::string folder = make_temp_dir();
  const std::u16string path = u16(folder + "/data");
  const std::string bytes = pattern_bytes(3 * 4096 + 100);
  {
    FileStream out(path, OpenMode::write);
    BufferedWriter writer(out);
    size_t at = 0;
    for (size_t piece : {4095u, 1u, 1u, 5000u, 3u}) {
      EXPECT_TRUE(writer.write(bytes.data() + at, piece));
      at += piece;
    }
    while (at < bytes.size()) EXPECT_TRUE(writer.put(static_cast<unsigned char>(bytes[at++])));
    EXPECT_EQ(writer.position(), bytes.size());
    EXPECT_FALSE(writer.failed());
  }  // the destructor writes the rest
  ASSERT_EQ(read_file(folder + "/data"), bytes);

  FileStream in(path, OpenMode::read);
  BufferedReader reader(in);
  std::string got(4095, '\0');
  ASSERT_EQ(reader.read(got.data(), 4095), 4095u);
  EXPECT_EQ(got, bytes.substr(0, 4095));
  EXPECT_EQ(reader.get(), static_cast<unsigned char>(bytes[4095]));
  EXPECT_EQ(reader.get(), static_cast<unsigned char>(bytes[4096]));
  EXPECT_EQ(reader.position(), 4097u);
  got.assign(5000, '\0');
  ASSERT_EQ(reader.read(got.data(), 5000), 5000u);
  EXPECT_EQ(got, bytes.substr(4097, 5000));
  ASSERT_TRUE(reader.skip(3000));
  EXPECT_EQ(reader.get(), static_cast<unsigned char>(bytes[12097]));
  got.assign(500, '\0');
  EXPECT_EQ(reader.read(got.data(), 500), bytes.size() - 12098);
  EXPECT_EQ(got.substr(0, bytes.size() - 12098), bytes.substr(12098));
  EXPECT_EQ(reader.get(), -1);
  EXPECT_FALSE(reader.skip(1));
  EXPECT_EQ(reader.position(), bytes.size());
  EXPECT_FALSE(reader.failed());
}

TEST(BufferedIo, SkipPastTheEndAndLostWritesAreReported) {
  const std::string folder = make_temp_dir();
  write_file(folder + "/short", pattern_bytes(10000));
  FileStream in(u16(folder + "/short"), OpenMode::read);
  BufferedReader reader(in);
  EXPECT_EQ(reader.get(), static_cast<unsigned char>(pattern_bytes(1)[0]));
  EXPECT_FALSE(reader.skip(20000));
  EXPECT_EQ(reader.position(), 10000u);
  EXPECT_EQ(reader.get(), -1);

  // A stream opened for reading takes no writes.
  FileStream read_only(u16(folder + "/short"), OpenMode::read);
  BufferedWriter writer(read_only);
  writer.write("abc", 3);
  EXPECT_FALSE(writer.flush());
  EXPECT_TRUE(writer.failed());
  EXPECT_EQ(read_file(folder + "/short"), pattern_bytes(10000));
}

}  // namespace
}  // namespace lv
