#pragma once

// What the photo library tells the screens, and the interface through which
// they hear it. Events are delivered on the user-interface thread only, by
// PhotoLibrary::poll, so listeners need no locks of their own.

#include <cstdint>
#include <string>

namespace lv {

struct LibraryEvent {
  enum Flag : uint8_t {
    folders_changed = 1 << 0,
    search_complete = 1 << 1,
    cache_complete = 1 << 2,
    progress = 1 << 3,
    picture_complete = 1 << 4,
    folder_size_changed = 1 << 5,  // sent by the image screen
    pictures_changed = 1 << 6,     // sent by the image screen
  };

  uint8_t flags = 0;
  std::u16string picture;      // picture_complete
  std::u16string second_path;  // folder_size_changed: a picture of the folder concerned
  int32_t count = 0;           // folder_size_changed: the folder's new size
  double fraction = 0;         // progress: pictures finished / pictures queued

  bool has(Flag flag) const { return (flags & flag) != 0; }
  static LibraryEvent with(Flag flag) {
    LibraryEvent event;
    event.flags = flag;
    return event;
  }
};

// Screens register themselves with the library (add_listener) when made and
// remove themselves when destroyed. A listener may call back into the
// library, and may add or remove listeners, from on_event.
class LibraryListener {
 public:
  virtual ~LibraryListener() = default;
  virtual void on_event(const LibraryEvent& event) {}
};

}  // namespace lv
