#pragma once

// Sources of the 256 x 256 tiles that the image viewer shows, already turned
// by the picture's EXIF orientation.
//
// Viewer level l runs from 0 (smallest) to L (the picture itself, L = the
// level count of its cache file); level l shows the picture reduced by
// 2^(L - l), which is cache level L - l. A tile (column, row) is given in
// the grid of the picture as shown; the source maps it through the
// orientation to the stored grid, cuts the rectangle of that tile (the top
// left of the surface, the rest black) and turns the whole surface.
//
// Two sources: the cache source reads the levels of the picture's cache file
// band by band through their decoder-state index; the picture source
// decodes the picture itself at a reduced scale. Construction never fails;
// ready() tells whether tiles can come. One thread at a time.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "skin/geometry.h"

namespace lv {

class RenderSurface;
class Surface;

inline constexpr int kTileSide = 256;

class TileSource {
 public:
  virtual ~TileSource() = default;

  // A new 256 x 256 RGB565 surface, or none (not ready, no such tile or
  // level, a read or decode failure).
  virtual std::unique_ptr<RenderSurface> make_tile(int column, int row, int level) = 0;
  // The picture as shown: width and height exchanged for orientations 5 ... 8.
  virtual Size full_size() const = 0;
  virtual int top_level() const = 0;
  virtual bool ready() const = 0;
  // How the viewer shifts the edge tiles of a mirrored or turned picture.
  virtual Point edge_offsets() const = 0;
  // -1 for orientations 3, 4, 7 and 8, else +1.
  virtual int direction() const = 0;
  // The picture file's size, then the image sizes of cache levels 1 ... 3
  // (0 where there is none).
  virtual std::array<uint32_t, 4> level_sizes() const = 0;
  // Writes the JPEG image of cache level `level` to a new file. True when
  // done, or when the level is above L (nothing to write).
  virtual bool extract_level(std::u16string_view output, int level) = 0;
  virtual int orientation() const = 0;
};

// What both sources know of their picture.
struct PictureGeometry {
  int width = 0;  // as stored
  int height = 0;
  int orientation = 1;
  int levels = 0;  // L
  uint64_t file_size = 0;
  Size shown;
  Point edge_offsets;
  int direction = 1;
};

// The shown size, edge offsets and direction of a picture of this stored
// size and orientation.
PictureGeometry picture_geometry(int width, int height, int orientation, uint64_t file_size);

// The stored tile that appears at (column, row) of the shown grid, for a
// stored grid of `columns` x `rows`.
struct TilePosition {
  int column = 0;
  int row = 0;
  bool operator==(const TilePosition&) const = default;
};
TilePosition stored_tile(int orientation, int column, int row, int columns, int rows);

// Reads what both sources need from the picture file: its EXIF
// orientation, size and JPEG header. False, with a reason, when the picture
// cannot be read.
bool read_picture_geometry(std::u16string_view picture, PictureGeometry& geometry,
                           std::string& problem);

// A 256 x 256 stored tile, turned by the orientation into the render
// surface the viewer gets.
std::unique_ptr<RenderSurface> turn_tile(std::unique_ptr<Surface> stored, int orientation);

// The tile (column, row, of the shown grid) of a stored image of RGB565
// pixels, turned by the orientation. None outside the grid.
std::unique_ptr<RenderSurface> cut_tile(const uint16_t* pixels, int width, int height, size_t pitch,
                                        int orientation, int column, int row);

std::unique_ptr<TileSource> make_cache_tile_source(std::u16string_view picture,
                                                   std::u16string_view drive);
std::unique_ptr<TileSource> make_picture_tile_source(std::u16string_view picture);

}  // namespace lv
