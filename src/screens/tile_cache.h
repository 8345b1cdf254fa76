#pragma once

// The tiles the picture viewer has made, shared by its three pictures and
// kept within a fixed budget of pixel memory. A tile is known by the picture
// it was made for (a key that changes whenever a viewer slot takes another
// picture or turns it), its level and its place in that level's grid. The
// least recently used tiles go first when a new one would exceed the
// budget; tiles used in the current or the previous frame are never
// dropped, so a view larger than the budget costs memory, not a reload loop.
// User-interface thread only.

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>

namespace lv {

class Surface;

// 24 MB: 192 tiles of 256 x 256 RGB565, about three screens of 1080 x 1920.
inline constexpr size_t kDefaultTileBudget = size_t{24} << 20;

struct TileKey {
  uint64_t picture = 0;
  int32_t level = 0;
  int32_t column = 0;
  int32_t row = 0;
  bool operator==(const TileKey&) const = default;
};

struct TileKeyHash {
  size_t operator()(const TileKey& key) const;
};

class TileCache {
 public:
  explicit TileCache(size_t budget_bytes = kDefaultTileBudget);
  ~TileCache();
  TileCache(const TileCache&) = delete;
  TileCache& operator=(const TileCache&) = delete;

  // Adds or replaces a tile; may drop the least recently used others.
  void put(const TileKey& key, std::shared_ptr<const Surface> tile);
  // The tile, marked as used in this frame; null when it is not here.
  const Surface* use(const TileKey& key);
  // Whether the tile is here, without marking it.
  bool contains(const TileKey& key) const;
  // Forgets every tile of the picture.
  void drop_picture(uint64_t picture);
  void clear();
  // Starts a new frame: tiles not used since the previous one may go.
  void next_frame();

  size_t size() const { return m_entries.size(); }
  size_t bytes() const { return m_bytes; }
  size_t budget() const { return m_budget; }

 private:
  struct Entry {
    TileKey key;
    std::shared_ptr<const Surface> tile;
    size_t bytes = 0;
    uint64_t frame = 0;
  };
  using List = std::list<Entry>;

  void erase(List::iterator it);
  void trim();

  size_t m_budget;
  size_t m_bytes = 0;
  uint64_t m_frame = 2;
  List m_entries;  // most recently used first
  std::unordered_map<TileKey, List::iterator, TileKeyHash> m_index;
};

}  // namespace lv
