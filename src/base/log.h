#pragma once

// One process-wide logger, switched by the settings value Log and consulted
// on every access. Lines are composed by streaming pieces; callers end them
// with "\n" themselves.

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace lv {

class Logger {
 public:
  virtual ~Logger() = default;
  virtual void write(const char16_t* begin, const char16_t* end) = 0;
  virtual void flush() = 0;

  Logger& operator<<(std::u16string_view text) {
    write(text.data(), text.data() + text.size());
    return *this;
  }
  Logger& operator<<(const char16_t* text) { return *this << std::u16string_view(text); }
  Logger& operator<<(const std::u16string& text) { return *this << std::u16string_view(text); }
  // UTF-8 text (file names from the system, exception messages).
  Logger& operator<<(std::string_view text);
  Logger& operator<<(const char* text) { return *this << std::string_view(text); }
  Logger& operator<<(const std::string& text) { return *this << std::string_view(text); }
  Logger& operator<<(long long value);
  Logger& operator<<(unsigned long long value);
  Logger& operator<<(double value);
  template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char> &&
             !std::is_same_v<T, char16_t>)
  Logger& operator<<(T value) {
    if constexpr (std::is_signed_v<T>)
      return *this << static_cast<long long>(value);
    else
      return *this << static_cast<unsigned long long>(value);
  }
  Logger& operator<<(bool value) { return *this << static_cast<long long>(value ? 1 : 0); }
  Logger& operator<<(const void* pointer);
};

// The current logger (a null logger while logging is off). Never returns a
// logger that another thread may destroy: retired loggers stay alive.
Logger& log();

// Writes "Gluck: " + what + " @ " + where + "\n", flushes, and ends the process.
[[noreturn]] void fatal_stop(std::u16string_view what, std::u16string_view where);

// Exit status of a fatal stop: a broken invariant is not a success.
inline constexpr int kFatalExitCode = 70;

class Stopwatch {
 public:
  Stopwatch() { start(); }
  void start();
  double elapsed() const;  // seconds since start
  double lap();            // seconds since start, and restart
 private:
  double m_start_ms = 0;
};

}  // namespace lv
