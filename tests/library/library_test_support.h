#pragma once

// Helpers of the photo library tests: a device made in a temporary folder
// (storage cards and a pictures folder, named to the library through
// LUMIVIEW_CARDS and LUMIVIEW_PICTURES), small JPEG pictures that each have
// a size of their own (cache files are named after size and creation time,
// and pictures made in one second must not share one), and waiting for the
// worker with a generous limit instead of sleeping for a fixed time.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "library/libjpeg_codec.h"
#include "library/library_event.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "support/scoped_env.h"
#include "support/test_env.h"

namespace lv::test::library {

namespace fs = std::filesystem;

// A valid baseline JPEG of width x height whose file size is unique to
// `serial` (below 60000): the same pixels, and a comment segment of
// `serial` bytes after SOI.
inline std::string small_jpeg(int serial, int width = 24, int height = 16) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = static_cast<uint8_t>(x * 255 / width);
      p[1] = static_cast<uint8_t>(y * 255 / height);
      p[2] = static_cast<uint8_t>((x + y) * 8);
    }
  std::vector<uint8_t> jpeg;
  if (!encode_jpeg(rgb.data(), width, height, static_cast<size_t>(width) * 3, 75, jpeg) ||
      jpeg.size() < 2)
    return {};
  const int comment = serial % 60000;
  std::string out(reinterpret_cast<const char*>(jpeg.data()), 2);
  out += '\xFF';
  out += '\xFE';
  out += static_cast<char>((comment + 2) >> 8);
  out += static_cast<char>((comment + 2) & 0xFF);
  out.append(static_cast<size_t>(comment), 'c');
  out.append(reinterpret_cast<const char*>(jpeg.data()) + 2, jpeg.size() - 2);
  return out;
}

// Cards and a pictures folder under one temporary root.
class Device {
 public:
  explicit Device(int cards = 1) : m_root(make_temp_dir("device")) {
    m_pictures = m_root + "/home/Pictures";
    fs::create_directories(m_pictures);
    for (int i = 0; i < cards; ++i) {
      m_cards.push_back(m_root + "/media/card" + std::to_string(i));
      fs::create_directories(m_cards.back());
    }
    m_env.set("LUMIVIEW_PICTURES", m_pictures);
    set_cards(m_cards);
  }

  void set_cards(const std::vector<std::string>& cards) {
    std::string list;
    for (const std::string& card : cards) list += (list.empty() ? "" : ":") + card;
    m_env.set("LUMIVIEW_CARDS", list);
  }

  const std::string& root() const { return m_root; }
  const std::string& card(int i) const { return m_cards.at(i); }
  std::u16string card_drive(int i) const { return from_utf8(card(i) + "/"); }
  const std::string& pictures() const { return m_pictures; }

  // Writes a picture (a unique small JPEG) at base + "/" + relative and
  // answers its full path.
  std::string put(const std::string& base, const std::string& relative, int width = 24,
                  int height = 16) {
    const std::string path = base + "/" + relative;
    fs::create_directories(fs::path(path).parent_path());
    write_file(path, small_jpeg(++m_serial, width, height));
    return path;
  }
  std::string folders_file() const { return m_root + "/state/folders.ini"; }

 private:
  ScopedEnv m_env;
  std::string m_root;
  std::string m_pictures;
  std::vector<std::string> m_cards;
  int m_serial = 0;
};

// Keeps every event it hears.
class RecordingListener : public LibraryListener {
 public:
  void on_event(const LibraryEvent& event) override {
    events.push_back(event);
    if (then) then(event);
  }
  int count(LibraryEvent::Flag flag) const {
    int n = 0;
    for (const LibraryEvent& e : events) n += e.has(flag) ? 1 : 0;
    return n;
  }
  std::vector<std::u16string> completed() const {
    std::vector<std::u16string> paths;
    for (const LibraryEvent& e : events)
      if (e.has(LibraryEvent::picture_complete)) paths.push_back(e.picture);
    return paths;
  }
  std::vector<double> fractions() const {
    std::vector<double> values;
    for (const LibraryEvent& e : events)
      if (e.has(LibraryEvent::progress)) values.push_back(e.fraction);
    return values;
  }
  std::vector<LibraryEvent> events;
  std::function<void(const LibraryEvent&)> then;
};

// Calls `step` (a poll, say) until `done` holds; false when that takes
// longer than the limit, which only a hung worker does.
inline bool wait_until(const std::function<bool()>& done, const std::function<void()>& step = {},
                       std::chrono::seconds limit = std::chrono::seconds(120)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (step) step();
    if (done()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Ends the test process with a message when a step hangs (a lost wake-up
// would otherwise wait forever).
class Watchdog {
 public:
  explicit Watchdog(const char* what, std::chrono::seconds limit = std::chrono::seconds(240))
      : m_thread([this, what, limit] {
          std::unique_lock lock(m_mutex);
          if (!m_done_cv.wait_for(lock, limit, [this] { return m_done; })) {
            std::fprintf(stderr, "watchdog: %s hung\n", what);
            std::fflush(stderr);
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(m_mutex);
      m_done = true;
    }
    m_done_cv.notify_all();
    m_thread.join();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_done_cv;
  bool m_done = false;
  std::thread m_thread;
};

// A gate a fake cache builder waits at, opened by the test.
class Gate {
 public:
  void open() {
    {
      std::lock_guard lock(m_mutex);
      m_open = true;
    }
    m_cv.notify_all();
  }
  // Waits until opened or until `give_up` holds (checked every millisecond).
  void pass(const std::function<bool()>& give_up = {}) {
    std::unique_lock lock(m_mutex);
    while (!m_open && !(give_up && give_up())) m_cv.wait_for(lock, std::chrono::milliseconds(1));
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_open = false;
};

}  // namespace lv::test::library
