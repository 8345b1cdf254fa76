#pragma once

// The library's progress counters and the news waiting for the next poll.
// Not locked: the library guards it with its progress lock.

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "library/library_event.h"

namespace lv {

class LibraryProgress {
 public:
  // A search starts a new round: the pictures still queued from before are
  // its first, and nothing is finished yet.
  void start_round(int still_queued);
  void picture_queued() { ++m_maximum; }
  void pictures_queued(int count) { m_maximum += count; }
  // A queued picture that will not be made after all.
  void picture_withdrawn();
  // `counted`: the picture was still queued (not withdrawn meanwhile).
  void picture_finished(std::u16string_view picture, bool counted);
  void search_finished() { m_search_complete = true; }
  // An event to deliver as it is at the next poll.
  void post(LibraryEvent event) { m_posted.push_back(std::move(event)); }

  // The events of one poll, in order: the posted ones, search_complete, one
  // picture_complete per picture finished since the last poll, then
  // progress when the value moved and cache_complete when it reached (or,
  // after withdrawals, passed) the maximum, which ends the round.
  std::vector<LibraryEvent> take_events();

  int value() const { return m_value; }
  int maximum() const { return m_maximum; }

 private:
  int m_maximum = 0;
  int m_value = 0;
  int m_last_reported = 0;
  bool m_search_complete = false;
  std::deque<std::u16string> m_finished;
  std::deque<LibraryEvent> m_posted;
};

}  // namespace lv
