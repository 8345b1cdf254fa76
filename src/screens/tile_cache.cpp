#include "screens/tile_cache.h"

#include "skin/surface.h"

namespace lv {

size_t TileKeyHash::operator()(const TileKey& key) const {
  uint64_t h = key.picture * 0x9E3779B97F4A7C15ull;
  h ^= (static_cast<uint64_t>(static_cast<uint32_t>(key.column)) << 32 |
        static_cast<uint32_t>(key.row)) +
       0x632BE59BD9B4E019ull + (h << 6) + (h >> 2);
  h ^= static_cast<uint64_t>(static_cast<uint32_t>(key.level)) * 0xC2B2AE3D27D4EB4Full;
  return static_cast<size_t>(h ^ (h >> 29));
}

TileCache::TileCache(size_t budget_bytes) : m_budget(budget_bytes) {}

TileCache::~TileCache() = default;

void TileCache::put(const TileKey& key, std::shared_ptr<const Surface> tile) {
  if (!tile) return;
  if (const auto found = m_index.find(key); found != m_index.end()) erase(found->second);
  Entry entry;
  entry.key = key;
  entry.bytes = size_t{tile->pitch()} * tile->height();
  entry.tile = std::move(tile);
  entry.frame = m_frame;
  m_bytes += entry.bytes;
  m_entries.push_front(std::move(entry));
  m_index.emplace(key, m_entries.begin());
  trim();
}

const Surface* TileCache::use(const TileKey& key) {
  const auto found = m_index.find(key);
  if (found == m_index.end()) return nullptr;
  const List::iterator it = found->second;
  it->frame = m_frame;
  if (it != m_entries.begin()) m_entries.splice(m_entries.begin(), m_entries, it);
  return it->tile.get();
}

bool TileCache::contains(const TileKey& key) const {
  return m_index.count(key) != 0;
}

void TileCache::drop_picture(uint64_t picture) {
  for (auto it = m_entries.begin(); it != m_entries.end();) {
    const auto next = std::next(it);
    if (it->key.picture == picture) erase(it);
    it = next;
  }
}

void TileCache::clear() {
  m_index.clear();
  m_entries.clear();
  m_bytes = 0;
}

void TileCache::next_frame() {
  ++m_frame;
  trim();
}

void TileCache::erase(List::iterator it) {
  m_bytes -= it->bytes;
  m_index.erase(it->key);
  m_entries.erase(it);
}

void TileCache::trim() {
  // The list is in order of use, so the tail holds the oldest frames: once
  // it reaches a tile of this frame or the last, everything left is in use.
  while (m_bytes > m_budget && !m_entries.empty() && m_entries.back().frame + 1 < m_frame)
    erase(std::prev(m_entries.end()));
}

}  // namespace lv
