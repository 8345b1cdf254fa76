#pragma once

// The tile source of a picture without a usable cache file: each level is
// the whole picture decoded once at scale 1/2^(L - level), which libjpeg
// can do down to 1/8; levels further down have no tiles.

#include <memory>
#include <string>
#include <string_view>

#include "library/tile_source.h"

namespace lv {

class PictureTileSource : public TileSource {
 public:
  explicit PictureTileSource(std::u16string_view picture);
  ~PictureTileSource() override;

  std::unique_ptr<RenderSurface> make_tile(int column, int row, int level) override;
  Size full_size() const override;
  int top_level() const override;
  bool ready() const override;
  Point edge_offsets() const override;
  int direction() const override;
  std::array<uint32_t, 4> level_sizes() const override;
  bool extract_level(std::u16string_view output, int level) override;
  int orientation() const override;

  const std::string& problem() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace lv
