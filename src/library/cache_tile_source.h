#pragma once

// The tile source of a picture with a cache file: every level is read
// through its decoder-state index, one 256-pixel band of one MCU row at a
// time, so a tile costs about the same in a picture of any size. A level
// whose index is empty (the own decoder could not take the picture) is
// decoded whole once and cut, as the picture source does.
//
// The cache file is trusted only after checking it against the picture:
// its level count, every index (whole entries, as many as the level's MCU
// rows and bands, resume points that never go back and stay inside their
// stream, entry 0 at the first byte of the scan) and every level's size.
// Anything off leaves the source not ready.

#include <memory>
#include <string>
#include <string_view>

#include "library/tile_source.h"

namespace lv {

class CacheTileSource : public TileSource {
 public:
  CacheTileSource(std::u16string_view picture, std::u16string_view drive);
  // With the cache file named directly (tools, tests).
  CacheTileSource(std::u16string_view picture, std::u16string_view drive,
                  std::u16string_view cache_path);
  ~CacheTileSource() override;

  std::unique_ptr<RenderSurface> make_tile(int column, int row, int level) override;
  Size full_size() const override;
  int top_level() const override;
  bool ready() const override;
  Point edge_offsets() const override;
  int direction() const override;
  std::array<uint32_t, 4> level_sizes() const override;
  bool extract_level(std::u16string_view output, int level) override;
  int orientation() const override;

  // Why the source is not ready, or why the last tile failed.
  const std::string& problem() const;
  // Entries of a cache level's index (0 when it is decoded whole).
  size_t index_entries(int cache_level) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace lv
