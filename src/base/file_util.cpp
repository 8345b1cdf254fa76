#include "base/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>

#include "base/log.h"
#include "base/settings.h"
#include "platform/process.h"
#include "platform/text.h"

namespace lv {

namespace {

constexpr uint32_t kAttributeReadOnly = 0x01u;
constexpr uint32_t kAttributeHidden = 0x02u;
constexpr uint32_t kAttributeNormal = 0x80u;

std::string system_path(std::u16string_view path) {
  return to_utf8(expand_path(path));
}

std::tm local_time(int64_t seconds) {
  std::tm result{};
  const time_t t = static_cast<time_t>(seconds);
  localtime_r(&t, &result);
  return result;
}

bool is_hidden_name(std::u16string_view path) {
  while (!path.empty() && path.back() == u'/') path.remove_suffix(1);
  const size_t slash = path.find_last_of(u'/');
  const std::u16string_view name =
      slash == std::u16string_view::npos ? path : path.substr(slash + 1);
  return name.size() > 1 && name[0] == u'.' && name != u"..";
}

// Opens without blocking (a FIFO planted where a file is expected must not
// hang the program), then makes the descriptor blocking again.
int open_file(const std::string& path, int flags) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  int current = ::fcntl(fd, F_GETFL);
  if (current >= 0) ::fcntl(fd, F_SETFL, current & ~O_NONBLOCK);
  return fd;
}

void create_directory_expanded(std::u16string_view path) {
  while (path.size() > 1 && path.back() == u'/') path.remove_suffix(1);
  if (path.empty()) return;
  const size_t slash = path.find_last_of(u'/');
  if (slash != std::u16string_view::npos && slash > 0)
    create_directory_expanded(path.substr(0, slash));
  const bool made = ::mkdir(to_utf8(path).c_str(), 0777) == 0;
  log() << u"CreateDirectoryW {" << path << u"} result=" << (made ? 1 : 0) << u"\n";
}

}  // namespace

FileInfo file_info(std::u16string_view path) {
  FileInfo info;
  info.path = std::u16string(path);
  const std::string name = system_path(path);
  struct statx st {};
  if (::statx(AT_FDCWD, name.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &st) != 0) {
    info.error = errno;
    return info;
  }
  const bool directory = S_ISDIR(st.stx_mode);
  uint32_t attributes = directory ? kAttributeDirectory : 0;
  if ((st.stx_mode & S_IWUSR) == 0) attributes |= kAttributeReadOnly;
  if (is_hidden_name(expand_path(path))) attributes |= kAttributeHidden;
  if (attributes == 0) attributes = kAttributeNormal;
  info.attributes = attributes;
  info.size = directory ? 0 : st.stx_size;
  const bool has_birth = (st.stx_mask & STATX_BTIME) != 0 && st.stx_btime.tv_sec != 0;
  info.creation = local_time(has_birth ? st.stx_btime.tv_sec : st.stx_mtime.tv_sec);
  info.last_write = local_time(st.stx_mtime.tv_sec);
  return info;
}

bool delete_file(FileInfo& info) {
  const std::string name = system_path(info.path);
  struct stat st {};
  // A symbolic link is removed itself, even when it points to a folder.
  const bool directory = ::lstat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  const int result = directory ? ::rmdir(name.c_str()) : ::unlink(name.c_str());
  info.error = result == 0 ? 0 : errno;
  return result == 0;
}

bool delete_file(std::u16string_view path) {
  FileInfo info;
  info.path = std::u16string(path);
  return delete_file(info);
}

void create_directory(std::u16string_view path) {
  create_directory_expanded(expand_path(path));
}

uint64_t volume_size(std::u16string_view path) {
  struct statvfs st {};
  if (::statvfs(system_path(path).c_str(), &st) != 0) return 0;
  return static_cast<uint64_t>(st.f_blocks) * st.f_frsize;
}

bool run_program(std::u16string_view program, const std::vector<std::u16string>& args) {
  std::u16string joined;
  std::vector<std::string> arguments;
  for (const std::u16string& arg : args) {
    if (!joined.empty()) joined += u' ';
    joined += arg;
    arguments.push_back(to_utf8(arg));
  }
  log() << u"execute_file(" << program << u"} {" << joined << u")\n";
  return platform::spawn_process(system_path(program), arguments);
}

FileStream::FileStream(FileStream&& other) noexcept : m_fd(other.m_fd) {
  other.m_fd = -1;
}

FileStream& FileStream::operator=(FileStream&& other) noexcept {
  if (this != &other) {
    close();
    m_fd = other.m_fd;
    other.m_fd = -1;
  }
  return *this;
}

bool FileStream::open(std::u16string_view path, OpenMode mode) {
  close();
  const std::string name = system_path(path);
  switch (mode) {
    case OpenMode::read:
      m_fd = open_file(name, O_RDONLY);
      break;
    case OpenMode::write:
      m_fd = open_file(name, O_WRONLY | O_CREAT | O_TRUNC);
      break;
    case OpenMode::append:
      m_fd = open_file(name, O_WRONLY | O_CREAT);
      if (m_fd >= 0 && ::lseek(m_fd, 0, SEEK_END) < 0) close();
      break;
    default:
      m_fd = open_file(name, O_RDWR | O_CREAT);
      break;
  }
  return is_open();
}

void FileStream::close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

long long FileStream::read(void* buffer, size_t bytes) {
  if (m_fd < 0) return -1;
  char* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < bytes) {
    ssize_t n = ::read(m_fd, out + done, bytes - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return done > 0 ? static_cast<long long>(done) : -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<long long>(done);
}

bool FileStream::read_exact(void* buffer, size_t bytes) {
  return read(buffer, bytes) == static_cast<long long>(bytes);
}

bool FileStream::write(const void* buffer, size_t bytes) {
  if (m_fd < 0) return false;
  const char* in = static_cast<const char*>(buffer);
  while (bytes > 0) {
    ssize_t n = ::write(m_fd, in, bytes);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    in += n;
    bytes -= static_cast<size_t>(n);
  }
  return true;
}

bool FileStream::seek(int64_t offset) {
  return m_fd >= 0 && offset >= 0 && ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) == offset;
}

int64_t FileStream::tell() const {
  return m_fd >= 0 ? ::lseek(m_fd, 0, SEEK_CUR) : -1;
}

int64_t FileStream::size() const {
  struct stat st {};
  if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size;
}

bool FileStream::flush_to_disk() {
  return m_fd >= 0 && ::fsync(m_fd) == 0;
}

bool read_whole_file(std::u16string_view path, std::string& out, size_t max_bytes) {
  FileStream stream(path, OpenMode::read);
  if (!stream.is_open()) return false;
  struct stat st {};
  if (::fstat(stream.fd(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  if (S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) > max_bytes) return false;

  std::string bytes;
  if (S_ISREG(st.st_mode)) bytes.reserve(static_cast<size_t>(st.st_size));
  char chunk[16384];
  for (;;) {
    long long n = stream.read(chunk, sizeof chunk);
    if (n < 0) return false;
    if (n == 0) break;
    // The file may grow while it is read, or not be a plain file at all.
    if (bytes.size() + static_cast<size_t>(n) > max_bytes) return false;
    bytes.append(chunk, static_cast<size_t>(n));
    if (static_cast<size_t>(n) < sizeof chunk) break;
  }
  out.swap(bytes);
  return true;
}

bool write_file_atomic(std::u16string_view path, std::string_view bytes, Durability durability) {
  return platform::write_file_atomically(system_path(path), bytes, durability);
}

size_t BufferedReader::read(void* out, size_t n) {
  unsigned char* dest = static_cast<unsigned char*>(out);
  size_t done = 0;
  while (done < n) {
    if (m_begin == m_end) {
      // Large requests go straight to the stream instead of through the buffer.
      if (n - done >= kBufferSize) {
        long long got = m_stream.read(dest + done, n - done);
        if (got < 0) m_failed = true;
        if (got > 0) done += static_cast<size_t>(got);
        break;
      }
      if (!fill()) break;
    }
    const size_t take = std::min(n - done, m_end - m_begin);
    std::memcpy(dest + done, m_buffer + m_begin, take);
    m_begin += take;
    done += take;
  }
  m_position += done;
  return done;
}

int BufferedReader::get() {
  if (m_begin == m_end && !fill()) return -1;
  ++m_position;
  return m_buffer[m_begin++];
}

bool BufferedReader::skip(uint64_t n) {
  const size_t buffered = m_end - m_begin;
  if (n <= buffered) {
    m_begin += static_cast<size_t>(n);
    m_position += n;
    return true;
  }
  uint64_t rest = n - buffered;
  m_position += buffered;
  m_begin = m_end = 0;

  // A plain file is skipped by seeking, as far as it reaches.
  const int64_t here = m_stream.tell();
  const int64_t size = m_stream.size();
  if (here >= 0 && size >= here) {
    const uint64_t available = static_cast<uint64_t>(size - here);
    const uint64_t step = std::min(rest, available);
    if (m_stream.seek(here + static_cast<int64_t>(step))) {
      m_position += step;
      return step == rest;
    }
  }
  while (rest > 0) {
    if (!fill()) return false;
    const size_t take = static_cast<size_t>(std::min<uint64_t>(rest, m_end - m_begin));
    m_begin += take;
    m_position += take;
    rest -= take;
  }
  return true;
}

bool BufferedReader::fill() {
  m_begin = m_end = 0;
  long long got = m_stream.read(m_buffer, kBufferSize);
  if (got < 0) {
    m_failed = true;
    return false;
  }
  m_end = static_cast<size_t>(got);
  return m_end > 0;
}

bool BufferedWriter::write(const void* data, size_t n) {
  const unsigned char* src = static_cast<const unsigned char*>(data);
  m_position += n;
  if (m_used + n <= kBufferSize) {
    std::memcpy(m_buffer + m_used, src, n);
    m_used += n;
    return !m_failed;
  }
  if (!flush()) return false;
  if (n >= kBufferSize) {
    if (!m_stream.write(src, n)) m_failed = true;
    return !m_failed;
  }
  std::memcpy(m_buffer, src, n);
  m_used = n;
  return true;
}

bool BufferedWriter::flush() {
  if (m_used > 0) {
    if (!m_stream.write(m_buffer, m_used)) m_failed = true;
    m_used = 0;
  }
  return !m_failed;
}

}  // namespace lv
