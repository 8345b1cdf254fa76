#include "library/picture_tile_source.h"

#include <new>
#include <vector>

#include "library/libjpeg_codec.h"
#include "skin/render_surface.h"

namespace lv {

namespace {

constexpr int kMaxReduction = 3;  // libjpeg scales down to 1/8 at most

}  // namespace

struct PictureTileSource::Impl {
  std::u16string picture;
  PictureGeometry geometry;
  bool ready = false;
  std::string problem;

  int prepared = -1;  // the viewer level whose pixels are held
  int failed = -1;    // a viewer level that could not be decoded
  int width = 0;
  int height = 0;
  std::vector<uint16_t> pixels;

  bool prepare(int level);
};

bool PictureTileSource::Impl::prepare(int level) {
  if (level == prepared) return true;
  if (level == failed) return false;
  const int reduction = geometry.levels - level;
  if (reduction > kMaxReduction) {
    problem = "the picture cannot be reduced that far";
    return false;
  }
  pixels = {};
  prepared = -1;
  JpegDecoder decoder;
  JpegDecodeOptions options;
  options.scale_denominator = 1 << reduction;
  if (!decoder.open(picture) || !decoder.start(options)) {
    problem = "cannot decode the picture: " + decoder.error();
    failed = level;
    return false;
  }
  width = decoder.output_width();
  height = decoder.output_height();
  try {
    pixels.resize(static_cast<size_t>(width) * height);
  } catch (const std::bad_alloc&) {
    problem = "not enough memory for the picture";
    failed = level;
    return false;
  }
  if (!decoder.read_rgb565(pixels.data(), static_cast<size_t>(width) * 2) || !decoder.finish()) {
    problem = "cannot decode the picture: " + decoder.error();
    pixels = {};
    failed = level;
    return false;
  }
  prepared = level;
  return true;
}

PictureTileSource::PictureTileSource(std::u16string_view picture)
    : m_impl(std::make_unique<Impl>()) {
  Impl& d = *m_impl;
  d.picture = picture;
  d.ready = read_picture_geometry(picture, d.geometry, d.problem);
}

PictureTileSource::~PictureTileSource() = default;

std::unique_ptr<RenderSurface> PictureTileSource::make_tile(int column, int row, int level) {
  Impl& d = *m_impl;
  if (!d.ready || level < 0 || level > d.geometry.levels || !d.prepare(level)) return nullptr;
  return cut_tile(d.pixels.data(), d.width, d.height, static_cast<size_t>(d.width) * 2,
                  d.geometry.orientation, column, row);
}

Size PictureTileSource::full_size() const {
  return m_impl->geometry.shown;
}
int PictureTileSource::top_level() const {
  return m_impl->geometry.levels;
}
bool PictureTileSource::ready() const {
  return m_impl->ready;
}
Point PictureTileSource::edge_offsets() const {
  return m_impl->geometry.edge_offsets;
}
int PictureTileSource::direction() const {
  return m_impl->geometry.direction;
}
std::array<uint32_t, 4> PictureTileSource::level_sizes() const {
  return {static_cast<uint32_t>(m_impl->geometry.file_size), 0, 0, 0};
}
bool PictureTileSource::extract_level(std::u16string_view, int) {
  return false;
}
int PictureTileSource::orientation() const {
  return m_impl->geometry.orientation;
}
const std::string& PictureTileSource::problem() const {
  return m_impl->problem;
}

std::unique_ptr<TileSource> make_picture_tile_source(std::u16string_view picture) {
  return std::make_unique<PictureTileSource>(picture);
}

}  // namespace lv
