#include "base/log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <mutex>
#include <string>

#include "base/settings.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace lv {

namespace {

class NullLogger final : public Logger {
 public:
  void write(const char16_t*, const char16_t*) override {}
  void flush() override {}
};

bool write_all(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The log lives in the shared temporary folder, so the file is opened
// without following a planted symbolic link, without blocking on a planted
// FIFO, and only truncated once it is known to be our own plain file. The
// process that truncates holds a lock on it for as long as it writes: a
// second start (which hands its command line over and ends) appends its
// lines instead of wiping the log of the instance that keeps running.
// Every write appends, so the two never overwrite each other.
int open_log_file(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                  0600);
  if (fd < 0) return -1;
  struct stat st {};
  bool ours =
      ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == ::geteuid();
  const bool alone = ours && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  if (!ours || (alone && ::ftruncate(fd, 0) != 0)) {
    ::close(fd);
    return -1;
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  if (::fstat(fd, &st) == 0 && st.st_size == 0) {
    static const char kByteOrderMark[2] = {'\xFF', '\xFE'};
    write_all(fd, kByteOrderMark, sizeof kByteOrderMark);
  }
  return fd;
}

std::string log_file_path() {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = tmp && *tmp ? tmp : "/tmp";
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
  return folder + "/" + to_utf8(expand_path(u"%app_name%.txt"));
}

// One file logger for the whole process. Switching logging off closes its
// file and switching it on again reopens (and truncates) it, so a thread that
// still holds a reference from before a switch writes either nowhere or into
// the current file, never through a destroyed object.
class FileLogger final : public Logger {
 public:
  void write(const char16_t* begin, const char16_t* end) override {
    if (end <= begin) return;
    std::string bytes;
    bytes.resize(static_cast<size_t>(end - begin) * 2);
    size_t i = 0;
    for (const char16_t* p = begin; p != end; ++p) {
      bytes[i++] = static_cast<char>(*p & 0xFF);
      bytes[i++] = static_cast<char>(*p >> 8);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fd >= 0) write_all(m_fd, bytes.data(), bytes.size());
  }

  void flush() override {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fd >= 0) ::fdatasync(m_fd);
  }

  void reopen(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    close_locked();
    m_fd = open_log_file(path);
  }

  void close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    close_locked();
  }

 private:
  void close_locked() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
  }

  std::mutex m_mutex;
  int m_fd = -1;
};

struct LoggerSlot {
  NullLogger null_logger;
  FileLogger file_logger;
  std::mutex replace_mutex;
  std::atomic<Logger*> current{nullptr};  // empty until the first access
};

// Never destroyed: threads may still log while static destructors run.
LoggerSlot& slot() {
  static LoggerSlot* instance = new LoggerSlot;
  return *instance;
}

// Set while this thread reads the switch, so that the settings store may
// itself log without recursing into the switch check.
thread_local bool t_reading_switch = false;

bool switch_is_on() {
  struct Guard {
    Guard() { t_reading_switch = true; }
    ~Guard() { t_reading_switch = false; }
  } guard;
  uint32_t value = 0;
  return get_number(kKaruKey, u"Log", value) && value != 0;
}

Logger& write_ascii(Logger& logger, const char* begin, const char* end) {
  char16_t wide[64];
  size_t n = 0;
  for (const char* p = begin; p != end && n < std::size(wide); ++p)
    wide[n++] = static_cast<unsigned char>(*p);
  logger.write(wide, wide + n);
  return logger;
}

}  // namespace

Logger& log() {
  LoggerSlot& s = slot();
  if (t_reading_switch) {
    Logger* current = s.current.load(std::memory_order_acquire);
    return current ? *current : s.null_logger;
  }
  const bool on = switch_is_on();
  Logger* wanted = on ? static_cast<Logger*>(&s.file_logger) : &s.null_logger;
  if (s.current.load(std::memory_order_acquire) == wanted) return *wanted;

  // Read again under the lock: a thread that read the switch just before it
  // changed must not undo the change another thread has already made.
  std::lock_guard<std::mutex> lock(s.replace_mutex);
  const bool still_on = switch_is_on();
  wanted = still_on ? static_cast<Logger*>(&s.file_logger) : &s.null_logger;
  if (s.current.load(std::memory_order_acquire) == wanted) return *wanted;
  if (still_on)
    s.file_logger.reopen(log_file_path());
  else
    s.file_logger.close();
  s.current.store(wanted, std::memory_order_release);
  return *wanted;
}

Logger& Logger::operator<<(std::string_view text) {
  const std::u16string wide = from_utf8(text);
  write(wide.data(), wide.data() + wide.size());
  return *this;
}

Logger& Logger::operator<<(long long value) {
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return write_ascii(*this, buffer, result.ptr);
}

Logger& Logger::operator<<(unsigned long long value) {
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return write_ascii(*this, buffer, result.ptr);
}

// As a default-formatted C++ stream prints it: %g with six significant digits.
Logger& Logger::operator<<(double value) {
  char buffer[48];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
  return write_ascii(*this, buffer, result.ptr);
}

Logger& Logger::operator<<(const void* pointer) {
  char buffer[32] = {'0', 'x'};
  auto result =
      std::to_chars(buffer + 2, buffer + sizeof buffer, reinterpret_cast<uintptr_t>(pointer), 16);
  return write_ascii(*this, buffer, result.ptr);
}

void fatal_stop(std::u16string_view what, std::u16string_view where) {
  Logger& logger = log();
  logger << u"Gluck: " << what << u" @ " << where << u"\n";
  logger.flush();
  // With logging off (the default) the reason would otherwise be lost.
  const std::string line = "Gluck: " + to_utf8(what) + " @ " + to_utf8(where) + "\n";
  write_all(STDERR_FILENO, line.data(), line.size());
  ::_exit(kFatalExitCode);
}

void Stopwatch::start() {
  m_start_ms = platform::tick_count();
}

// Ticks wrap after 49.7 days; the difference of two ticks stays right.
double Stopwatch::elapsed() const {
  const uint32_t now = platform::tick_count();
  return static_cast<uint32_t>(now - static_cast<uint32_t>(m_start_ms)) * 0.001;
}

double Stopwatch::lap() {
  const uint32_t now = platform::tick_count();
  const double seconds = static_cast<uint32_t>(now - static_cast<uint32_t>(m_start_ms)) * 0.001;
  m_start_ms = now;
  return seconds;
}

}  // namespace lv
