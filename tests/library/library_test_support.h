#pragma once

// Helpers of the photo library tests: a device made in a temporary folder
// (storage cards and a pictures folder, named to the library through
// LUMIVIEW_CARDS and LUMIVIEW_PICTURES), small JPEG pictures that each have
// a size of their own (cache files are named after size and creation time,
// and pictures made in one second must not share one), and waiting for the
// worker with a generous limit instead of sleeping for a fixed time.

#include <gtest/gtest.h>

#include <filesystem>
#include <future>

#include "jpeg/jpeg_test_support.h"
#include "library/library_event.h"
#include "platform/text.h"
#include "support/scoped_env.h"
#include "support/test_env.h"

namespace lv::test::library {

namespace fs = std::filesystem;

inline std::u16string u(const std::string& text) {
  return from_utf8(text);
}

// A valid JPEG of width x height whose file size is unique to `serial`
// (below 60000): a comment segment of `serial` bytes after SOI.
inline std::string small_jpeg(int serial, int width = 24, int height = 16) {
  const Bytes jpeg = encode_picture(width, height);
  const int comment = serial % 60000;
  std::string out = "\xFF\xD8\xFF\xFE";
  out += static_cast<char>((comment + 2) >> 8);
  out += static_cast<char>((comment + 2) & 0xFF);
  out.append(static_cast<size_t>(comment), 'c');
  return out.append(jpeg.begin() + 2, jpeg.end());
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
  // Writes a unique small JPEG at base + "/" + relative; answers its path.
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
  std::string m_root, m_pictures;
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
  // The field of every event with the flag.
  template <typename T>
  std::vector<T> of(LibraryEvent::Flag flag, T LibraryEvent::*field) const {
    std::vector<T> values;
    for (const LibraryEvent& e : events)
      if (e.has(flag)) values.push_back(e.*field);
    return values;
  }
  int count(LibraryEvent::Flag flag) const { return int(of(flag, &LibraryEvent::flags).size()); }
  auto completed() const { return of(LibraryEvent::picture_complete, &LibraryEvent::picture); }
  auto fractions() const { return of(LibraryEvent::progress, &LibraryEvent::fraction); }
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
  explicit Watchdog(const char* what)
      : m_thread([this, what] {
          if (m_finished.wait_for(std::chrono::seconds(240)) == std::future_status::ready) return;
          std::fprintf(stderr, "watchdog: %s hung\n", what);
          std::abort();
        }) {}
  ~Watchdog() {
    m_done.set_value();
    m_thread.join();
  }

 private:
  std::promise<void> m_done;
  std::future<void> m_finished = m_done.get_future();
  std::thread m_thread;
};

}  // namespace lv::test::library
