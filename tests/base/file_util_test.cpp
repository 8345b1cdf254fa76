#include "base/file_util.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "base/log_capture.h"

namespace lv {
namespace {

using test::read_file;

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
  EXPECT_EQ(std::tuple(info.attributes, info.size, std::mktime(&info.last_write)),
            std::tuple(0x80u, 12345u, 1'300'000'000));  // local time
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  EXPECT_EQ(file_info(from_utf8(file)).attributes, 0x01u);
  EXPECT_EQ(volume_size(m_d + u"/missing/deeper"), 0u);

  std::filesystem::create_directories(m_dir + "/full/keep");
  ASSERT_EQ(::symlink((m_dir + "/full").c_str(), (m_dir + "/link").c_str()), 0);
  EXPECT_TRUE(delete_file(from_utf8(file)));
  FileInfo full = file_info(m_d + u"/full");
  EXPECT_FALSE(delete_file(full));
  EXPECT_EQ(full.error, ENOTEMPTY);
  FileInfo link = file_info(m_d + u"/link");  // the link goes, the folder stays
  EXPECT_TRUE(link.is_directory() && delete_file(link));
  FileInfo missing = file_info(from_utf8(file));
  EXPECT_FALSE(missing.exists() || delete_file(missing));
  EXPECT_EQ(missing.error, ENOENT);
  EXPECT_EQ(folder_entries(m_dir), (std::vector<std::string>{"full"}));
}

TEST_F(FileUtilTest, CreateDirectoryMakesEveryLevelTopDownAndLogsEach) {
  test::start_fresh_log();
  create_directory(m_d + u"/a/b/");
  create_directory(m_d + u"/a");  // exists: every level answers 0
  test::set_log_switch(0);
  log();
  EXPECT_TRUE(file_info(m_d + u"/a/b").is_directory());
  // One line per level from the root down; only the new levels report 1.
  const std::u16string text = test::read_log_text(), line = u"CreateDirectoryW {" + m_d;
  EXPECT_TRUE(text.starts_with(u"CreateDirectoryW {/") && !text.starts_with(line));
  EXPECT_TRUE(text.ends_with(line + u"} result=0\n" + line + u"/a} result=1\n" + line +
                             u"/a/b} result=1\n" + text.substr(0, text.find(line)) + line +
                             u"} result=0\n" + line + u"/a} result=0\n"))
      << to_utf8(text);
}

TEST_F(FileUtilTest, StreamModesCreateTruncateAppendReadAndNeverBlock) {
  const std::u16string path = m_d + u"/f.bin";
  EXPECT_FALSE(FileStream(path, OpenMode::read).is_open());  // and does not create it
  EXPECT_TRUE(FileStream(path, OpenMode::write).write("abcdef", 6));
  EXPECT_TRUE(FileStream(path, OpenMode::write).write("xyz", 3));  // truncates
  FileStream append(path, OpenMode::append);
  EXPECT_EQ(append.tell(), 3);
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
  EXPECT_EQ(read_file(m_dir + "/folders.ini"), "good old content");
  EXPECT_FALSE(write_file_atomic(m_d + u"/missing/x.ini", "data"));
  EXPECT_EQ(folder_entries(m_dir), std::vector<std::string>{"folders.ini"});
}

TEST_F(FileUtilTest, BufferedIoAcrossTheBufferBoundary) {
  const std::string bytes = pattern_bytes(3 * 4096 + 100);
  {
    FileStream out(m_d + u"/data", OpenMode::write);
    BufferedWriter writer(out);
    EXPECT_TRUE(writer.write(bytes.data(), 4095) && writer.put(bytes[4095]) &&
                writer.write(bytes.data() + 4096, bytes.size() - 4096));
  }  // the destructor writes the rest
  ASSERT_EQ(read_file(m_dir + "/data"), bytes);

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
  BufferedWriter writer(in);  // a stream opened for reading takes no writes
  EXPECT_FALSE(writer.write("abc", 3) && writer.flush());
  EXPECT_TRUE(writer.failed());
}

}  // namespace
}  // namespace lv
