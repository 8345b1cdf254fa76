#include "library/thumbnail_queue.h"

#include <algorithm>

#include "base/settings.h"

namespace lv {

bool ThumbnailQueue::add(std::u16string_view picture, std::u16string_view drive) {
  const std::u16string path(picture);
  return add_all(folder_of(picture), drive, {&path}) == 1;
}

int ThumbnailQueue::add_all(const std::u16string& folder, std::u16string_view drive,
                            const std::vector<const std::u16string*>& pictures) {
  Entry* entry = nullptr;
  int added = 0;
  for (const std::u16string* picture : pictures) {
    if (!m_pictures.insert(*picture).second) continue;
    if (!entry) {
      auto found = m_map.find(folder);
      if (found == m_map.end())
        found = m_map.emplace(folder, Entry{std::u16string(drive), {}}).first;
      entry = &found->second;
    }
    entry->items.push_back(Item{static_cast<int32_t>(entry->items.size()), *picture});
    ++added;
  }
  return added;
}

bool ThumbnailQueue::contains(std::u16string_view picture) const {
  return m_pictures.contains(std::u16string(picture));
}

bool ThumbnailQueue::has_entry(std::u16string_view folder) const {
  return m_map.find(folder) != m_map.end();
}

std::optional<ThumbnailQueue::Job> ThumbnailQueue::next(
    std::u16string_view current_folder, const std::unordered_set<std::u16string>& busy) {
  auto first_free = [&](const Entry& entry) -> const Item* {
    for (const Item& item : entry.items)
      if (!busy.contains(item.picture)) return &item;
    return nullptr;
  };
  const auto current = current_folder.empty() ? m_map.end() : m_map.find(current_folder);
  if (current != m_map.end()) {
    if (current->second.items.empty())
      m_map.erase(current);
    else if (const Item* item = first_free(current->second))
      return Job{item->picture, current->second.drive};
  }
  for (auto it = m_map.begin(); it != m_map.end();) {
    if (it->second.items.empty()) {
      it = m_map.erase(it);
      continue;
    }
    if (const Item* item = first_free(it->second)) return Job{item->picture, it->second.drive};
    ++it;
  }
  return std::nullopt;
}

bool ThumbnailQueue::remove(std::u16string_view picture) {
  const auto found = m_map.find(folder_of(picture));
  if (found == m_map.end()) return false;
  auto& items = found->second.items;
  const auto item =
      std::find_if(items.begin(), items.end(), [&](const Item& i) { return i.picture == picture; });
  if (item == items.end()) return false;
  m_pictures.erase(item->picture);
  items.erase(item);
  if (items.empty()) m_map.erase(found);
  return true;
}

}  // namespace lv
