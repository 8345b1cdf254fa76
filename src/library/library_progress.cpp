#include "library/library_progress.h"

namespace lv {

void LibraryProgress::start_round(int still_queued) {
  m_maximum = still_queued;
  m_value = 0;
  m_last_reported = 0;
}

void LibraryProgress::picture_withdrawn() {
  if (m_maximum > m_value) --m_maximum;
}

void LibraryProgress::picture_finished(std::u16string_view picture, bool counted) {
  m_finished.emplace_back(picture);
  if (counted) ++m_value;
}

std::vector<LibraryEvent> LibraryProgress::take_events() {
  std::vector<LibraryEvent> events(std::make_move_iterator(m_posted.begin()),
                                   std::make_move_iterator(m_posted.end()));
  m_posted.clear();
  if (m_search_complete) {
    events.push_back(LibraryEvent::with(LibraryEvent::search_complete));
    m_search_complete = false;
  }
  for (std::u16string& picture : m_finished) {
    LibraryEvent event = LibraryEvent::with(LibraryEvent::picture_complete);
    event.picture = std::move(picture);
    events.push_back(std::move(event));
  }
  m_finished.clear();
  if (m_maximum != 0) {
    if (m_value < m_maximum && m_value != m_last_reported) {
      m_last_reported = m_value;
      LibraryEvent event = LibraryEvent::with(LibraryEvent::progress);
      event.fraction = static_cast<double>(m_value) / static_cast<double>(m_maximum);
      events.push_back(std::move(event));
    }
    if (m_value >= m_maximum) {
      events.push_back(LibraryEvent::with(LibraryEvent::cache_complete));
      m_value = 0;
      m_maximum = 0;
      m_last_reported = 0;
    }
  }
  return events;
}

}  // namespace lv
