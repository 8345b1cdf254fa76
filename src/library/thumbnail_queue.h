#pragma once

// The pictures that still need a cache file, by folder. Not locked: the
// library guards it with its m_map_mutex.

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace lv {

class ThumbnailQueue {
 public:
  struct Item {
    int32_t number = 0;  // the entry's item count when the item was appended
    std::u16string picture;
  };
  struct Entry {
    std::u16string drive;
    std::deque<Item> items;
  };
  struct Job {
    std::u16string picture;
    std::u16string drive;
  };

  // Appends the picture to the entry of its folder, making the entry with
  // this drive when there is none. False, changing nothing, when the
  // picture is queued already.
  bool add(std::u16string_view picture, std::u16string_view drive);
  // The same for pictures that all lie in `folder`; answers how many were
  // added.
  int add_all(const std::u16string& folder, std::u16string_view drive,
              const std::vector<const std::u16string*>& pictures);
  bool contains(std::u16string_view picture) const;
  bool has_entry(std::u16string_view folder) const;

  // The first picture of the current folder's entry when it has one, else
  // of the first entry (smallest folder path), leaving out the pictures in
  // `busy` (those other builders are making). Entries without items are
  // dropped on the way. None when no picture is left.
  std::optional<Job> next(std::u16string_view current_folder,
                          const std::unordered_set<std::u16string>& busy = {});

  // Removes the first item with this path from its folder's entry, and the
  // entry when that leaves it without items. False when it is not queued.
  bool remove(std::u16string_view picture);

  bool empty() const { return m_map.empty(); }
  int picture_count() const { return static_cast<int>(m_pictures.size()); }
  const std::map<std::u16string, Entry, std::less<>>& entries() const { return m_map; }

 private:
  // Ordered by plain code-unit comparison of the folder paths.
  std::map<std::u16string, Entry, std::less<>> m_map;
  // Every queued path once, so that a search over a large card can tell in
  // constant time whether a picture is queued already.
  std::unordered_set<std::u16string> m_pictures;
};

}  // namespace lv
