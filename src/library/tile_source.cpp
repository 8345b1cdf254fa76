#include "library/tile_source.h"

#include <cstring>

#include "base/file_util.h"
#include "library/cache_file.h"
#include "library/exif.h"
#include "library/libjpeg_codec.h"
#include "skin/render_surface.h"
#include "skin/surface.h"

namespace lv {

namespace {

int floor_log2(int value) {
  int log = 0;
  while (value >> (log + 1)) ++log;
  return log;
}

// The shown side minus the next power of two above it, for a side that does
// not fill whole tiles.
int edge_offset(int side) {
  if (side <= 0 || side % kTileSide == 0) return 0;
  return static_cast<int>(side - (int64_t{1} << (floor_log2(side) + 1)));
}

}  // namespace

PictureGeometry picture_geometry(int width, int height, int orientation, uint64_t file_size) {
  PictureGeometry g;
  g.width = width;
  g.height = height;
  g.orientation = shown_orientation(orientation);
  g.levels = level_count(width, height);
  g.file_size = file_size;
  g.shown = g.orientation > 4 ? Size{height, width} : Size{width, height};
  const int o = g.orientation;
  if (o == 2 || o == 3 || o == 6 || o == 7) g.edge_offsets.x = edge_offset(g.shown.width);
  if (o == 3 || o == 4 || o == 7 || o == 8) g.edge_offsets.y = edge_offset(g.shown.height);
  g.direction = (o == 3 || o == 4 || o == 7 || o == 8) ? -1 : 1;
  return g;
}

TilePosition stored_tile(int orientation, int column, int row, int columns, int rows) {
  const int c = column, r = row, C = columns, R = rows;
  switch (orientation) {
    case 2:
      return {C - c - 1, r};
    case 3:
      return {C - c - 1, R - r - 1};
    case 4:
      return {c, R - r - 1};
    case 5:
      return {r, c};
    case 6:
      return {r, R - c - 1};
    case 7:
      return {C - r - 1, R - c - 1};
    case 8:
      return {C - r - 1, c};
    default:
      return {c, r};
  }
}

bool read_picture_geometry(std::u16string_view picture, PictureGeometry& geometry,
                           std::string& problem) {
  FileStream file;
  if (!file.open(picture, OpenMode::read)) {
    problem = "cannot open the picture";
    return false;
  }
  const int64_t size = file.size();
  const int orientation = exif_orientation(file);
  JpegHeader header;
  if (size < 0 || !file.seek(0) || !read_jpeg_header(file, header)) {
    problem = "the picture's JPEG header cannot be read";
    return false;
  }
  geometry =
      picture_geometry(header.width, header.height, orientation, static_cast<uint64_t>(size));
  return true;
}

std::unique_ptr<RenderSurface> turn_tile(std::unique_ptr<Surface> stored, int orientation) {
  if (!stored) return nullptr;
  orientation = shown_orientation(orientation);
  if (orientation != 1) {
    auto turned = Surface::create(kTileSide, kTileSide);
    if (!turned) return nullptr;
    exif_transform_rgb565(orientation, stored->row(0), kTileSide, kTileSide, stored->pitch(),
                          turned->row(0), turned->pitch());
    stored = std::move(turned);
  }
  auto tile = std::make_unique<RenderSurface>();
  tile->adopt_surface(std::move(stored));
  return tile;
}

std::unique_ptr<RenderSurface> cut_tile(const uint16_t* pixels, int width, int height, size_t pitch,
                                        int orientation, int column, int row) {
  if (!pixels || width < 1 || height < 1) return nullptr;
  const int columns = (width + kTileSide - 1) / kTileSide;
  const int rows = (height + kTileSide - 1) / kTileSide;
  orientation = shown_orientation(orientation);
  const bool swaps = orientation > 4;
  if (column < 0 || row < 0 || column >= (swaps ? rows : columns) ||
      row >= (swaps ? columns : rows))
    return nullptr;
  const TilePosition at = stored_tile(orientation, column, row, columns, rows);
  const int left = at.column * kTileSide;
  const int top = at.row * kTileSide;
  const int tile_width = std::min(kTileSide, width - left);
  const int tile_height = std::min(kTileSide, height - top);
  auto stored = Surface::create(kTileSide, kTileSide);
  if (!stored) return nullptr;
  const uint8_t* base = reinterpret_cast<const uint8_t*>(pixels);
  for (int y = 0; y < tile_height; ++y) {
    const auto* from = reinterpret_cast<const uint16_t*>(base + (top + y) * pitch) + left;
    std::memcpy(stored->row(y), from, static_cast<size_t>(tile_width) * 2);
  }
  return turn_tile(std::move(stored), orientation);
}

}  // namespace lv
