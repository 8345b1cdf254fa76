#include "library/tile_source.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>

#include "library/cache_build.h"
#include "library/cache_file.h"
#include "library/cache_test_support.h"
#include "library/cache_tile_source.h"
#include "library/jpeg_decoder.h"
#include "library/jpeg_state.h"
#include "library/libjpeg_codec.h"
#include "library/picture_tile_source.h"
#include "platform/text.h"
#include "skin/render_surface.h"
#include "skin/surface.h"

namespace lv {
namespace {

using test::cache::Bytes;
using test::cache::get32;
using test::cache::Image565;
using test::cache::read_bytes;
using test::cache::turn_reference;
using test::cache::write_bytes;
namespace own = test::own_jpeg;
namespace fs = std::filesystem;

Bytes make_picture(int width, int height, own::EncodeOptions options,
                   own::Content content = own::Content::photo) {
  return own::encode(own::make_pixels(width, height, options.components, content, width + height),
                     width, height, options);
}

// A level stream decoded whole by the own decoder, in RGB565.
Image565 own_whole(const Bytes& jpeg) {
  jpeg::Decoder d;
  Image565 image;
  if (!d.open(jpeg::ByteSource(jpeg.data(), jpeg.size()))) {
    ADD_FAILURE() << "own decoder: " << d.error();
    return image;
  }
  image.width = d.info().width;
  image.height = d.info().height;
  image.pixels.resize(static_cast<size_t>(image.width) * image.height);
  EXPECT_TRUE(d.decode_to(jpeg::PixelFormat::rgb565,
                          reinterpret_cast<uint8_t*>(image.pixels.data()),
                          static_cast<size_t>(image.width) * 2));
  return image;
}

// libjpeg's decode at a scale, in RGB565.
Image565 libjpeg_whole(const Bytes& jpeg, int scale) {
  RgbImage rgb;
  JpegDecodeOptions options;
  options.scale_denominator = scale;
  EXPECT_TRUE(decode_jpeg(jpeg.data(), jpeg.size(), options, rgb));
  return test::cache::to565(test::cache::Rgb{rgb.width, rgb.height, rgb.pixels});
}

// The shown tile (column, row) of an unturned level image: the tile grid is
// turned like the picture, the stored tile cut to the top left of 256 x 256
// black and the whole square turned.
Image565 expected_tile(const Image565& level, int orientation, int column, int row) {
  const int columns = (level.width + 255) / 256, rows = (level.height + 255) / 256;
  Image565 grid{columns, rows, {}};
  for (int i = 0; i < columns * rows; ++i) grid.pixels.push_back(static_cast<uint16_t>(i));
  const Image565 shown_grid = turn_reference(grid, orientation);
  const int id = shown_grid.at(column, row);
  const int left = (id % columns) * 256, top = (id / columns) * 256;
  Image565 square{256, 256, std::vector<uint16_t>(256 * 256, 0)};
  for (int y = 0; y < 256 && top + y < level.height; ++y)
    for (int x = 0; x < 256 && left + x < level.width; ++x)
      square.pixels[y * 256 + x] = level.at(left + x, top + y);
  return turn_reference(square, orientation);
}

std::vector<uint16_t> pixels_of(const RenderSurface& tile) {
  const Surface& s = *tile.surface();
  std::vector<uint16_t> out;
  for (uint32_t y = 0; y < s.height(); ++y)
    for (uint32_t x = 0; x < s.width(); ++x) out.push_back(s.pixel(x, y));
  return out;
}

// The level streams of a cache file: the picture, then each level's image.
std::vector<Bytes> level_streams(const Bytes& picture, const Bytes& cache) {
  std::vector<Bytes> streams{picture};
  for (int i = 1; i <= cache[4]; ++i) {
    const size_t record = 14 + 16 * (i - 1);
    const uint32_t offset = get32(cache, record + 8), size = get32(cache, record + 12);
    streams.emplace_back(cache.begin() + offset, cache.begin() + offset + size);
  }
  return streams;
}

bool have_tool(const char* name) {
  const std::string command = std::string("command -v ") + name + " > /dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// Runs a libjpeg-turbo program over a picture and answers its output.
Bytes run_tool(const std::string& command_line, const Bytes& input) {
  const std::string in = test::make_temp_dir("tool") + "/in.jpg";
  const std::string out = in + ".out";
  write_bytes(in, input);
  const std::string command = command_line + " -outfile '" + out + "' '" + in + "'";
  if (std::system(command.c_str()) != 0) return {};
  return read_bytes(out);
}

class TileSourceTest : public testing::Test {
 protected:
  void SetUp() override {
    m_drive = test::make_temp_dir("drive") + "/";
    fs::create_directories(m_drive + "pics");
  }
  std::string put(const std::string& name, const Bytes& jpeg) {
    const std::string path = m_drive + "pics/" + name;
    write_bytes(path, jpeg);
    return path;
  }
  std::u16string drive() const { return from_utf8(m_drive); }
  std::string cache_of(const std::string& picture) const {
    return to_utf8(cache_name(from_utf8(picture), drive()));
  }
  std::string build(const std::string& name, const Bytes& jpeg) {
    const std::string path = put(name, jpeg);
    EXPECT_EQ(make_cache_file(from_utf8(path), drive()), CacheBuildResult::built) << name;
    return path;
  }

  // Every tile of every level through the cache source equals the same tile
  // cut from that level decoded whole; tiles outside the grid are none.
  // The orientation is written into the picture unless it carries its own.
  void check_every_tile(const std::string& label, const Bytes& picture, int orientation,
                        bool has_exif = false) {
    SCOPED_TRACE(label + " orientation " + std::to_string(orientation));
    const Bytes jpeg = orientation == 1 || has_exif
                           ? picture
                           : test::cache::with_orientation(picture, orientation);
    const std::string path = build(label + std::to_string(orientation) + ".jpg", jpeg);
    CacheTileSource source(from_utf8(path), drive());
    ASSERT_TRUE(source.ready()) << source.problem();
    EXPECT_EQ(source.orientation(), orientation);
    const std::vector<Bytes> streams = level_streams(jpeg, read_bytes(cache_of(path)));
    const int levels = source.top_level();
    ASSERT_EQ(static_cast<int>(streams.size()), levels + 1);
    for (int level = levels; level >= 0; --level) {
      const int cache_level = levels - level;
      EXPECT_GT(source.index_entries(cache_level), 0u) << "cache level " << cache_level;
      const Image565 whole = own_whole(streams[cache_level]);
      const bool swaps = orientation > 4;
      const int columns = ((swaps ? whole.height : whole.width) + 255) / 256;
      const int rows = ((swaps ? whole.width : whole.height) + 255) / 256;
      if (level == levels) {
        const Size shown = source.full_size();
        EXPECT_EQ(shown.width, swaps ? whole.height : whole.width);
        EXPECT_EQ(shown.height, swaps ? whole.width : whole.height);
      }
      for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
          auto tile = source.make_tile(c, r, level);
          ASSERT_TRUE(tile) << "level " << level << " tile " << c << "," << r << ": "
                            << source.problem();
          ASSERT_EQ(tile->size(), (Size{256, 256}));
          EXPECT_EQ(pixels_of(*tile), expected_tile(whole, orientation, c, r).pixels)
              << "level " << level << " tile " << c << "," << r;
        }
      EXPECT_FALSE(source.make_tile(columns, 0, level));
      EXPECT_FALSE(source.make_tile(0, rows, level));
      EXPECT_FALSE(source.make_tile(-1, 0, level));
    }
    EXPECT_FALSE(source.make_tile(0, 0, levels + 1));
    EXPECT_FALSE(source.make_tile(0, 0, -1));
  }

  std::string m_drive;
};

// ---- orientation mapping and geometry ----

TEST(StoredTile, FollowsTheTurnOfTheTileGrid) {
  const int columns = 3, rows = 2;
  Image565 grid{columns, rows, {}};
  for (int i = 0; i < columns * rows; ++i) grid.pixels.push_back(static_cast<uint16_t>(i));
  for (int o = 1; o <= 8; ++o) {
    const Image565 shown = turn_reference(grid, o);
    for (int r = 0; r < shown.height; ++r)
      for (int c = 0; c < shown.width; ++c) {
        const TilePosition p = stored_tile(o, c, r, columns, rows);
        EXPECT_EQ(p.column + p.row * columns, shown.at(c, r)) << o << ": " << c << "," << r;
      }
  }
  // Turned clockwise, the top left shows the first column of the last row.
  EXPECT_EQ(stored_tile(6, 0, 0, columns, rows), (TilePosition{0, rows - 1}));
}

TEST(PictureGeometry, ShownSizeEdgeOffsetsAndDirection) {
  PictureGeometry g = picture_geometry(1000, 300, 1, 5000);
  EXPECT_EQ(g.shown, (Size{1000, 300}));
  EXPECT_EQ(g.edge_offsets, (Point{0, 0}));
  EXPECT_EQ(g.direction, 1);
  EXPECT_EQ(g.levels, 2);
  // Mirrored: 1000 - 1024; 300 - 512 for the flipped rows.
  g = picture_geometry(1000, 300, 2, 5000);
  EXPECT_EQ(g.edge_offsets, (Point{-24, 0}));
  EXPECT_EQ(g.direction, 1);
  g = picture_geometry(1000, 300, 3, 5000);
  EXPECT_EQ(g.edge_offsets, (Point{-24, -212}));
  EXPECT_EQ(g.direction, -1);
  g = picture_geometry(1000, 300, 4, 5000);
  EXPECT_EQ(g.edge_offsets, (Point{0, -212}));
  EXPECT_EQ(g.direction, -1);
  // Turned: the shown width is the stored height.
  g = picture_geometry(1000, 300, 6, 5000);
  EXPECT_EQ(g.shown, (Size{300, 1000}));
  EXPECT_EQ(g.edge_offsets, (Point{-212, 0}));
  EXPECT_EQ(g.direction, 1);
  g = picture_geometry(1000, 300, 7, 5000);
  EXPECT_EQ(g.edge_offsets, (Point{-212, -24}));
  EXPECT_EQ(g.direction, -1);
  g = picture_geometry(1000, 300, 8, 5000);
  EXPECT_EQ(g.edge_offsets, (Point{0, -24}));
  g = picture_geometry(1000, 300, 5, 5000);
  EXPECT_EQ(g.edge_offsets, (Point{0, 0}));
  EXPECT_EQ(g.direction, 1);
  // Whole tiles need no offset; an orientation outside 1 ... 8 counts as 1.
  g = picture_geometry(1024, 512, 3, 5000);
  EXPECT_EQ(g.edge_offsets, (Point{0, 0}));
  g = picture_geometry(100, 60, 0, 5000);
  EXPECT_EQ(g.orientation, 1);
  EXPECT_EQ(g.shown, (Size{100, 60}));
}

// ---- the cache source, bit for bit ----

TEST_F(TileSourceTest, EveryTileOfEveryLevelIn420WithEachOrientation) {
  own::EncodeOptions options;  // 4:2:0, no restarts
  const Bytes picture = make_picture(777, 555, options);
  for (int o = 1; o <= 8; ++o) check_every_tile("p420", picture, o);
}

TEST_F(TileSourceTest, EveryTileWithOtherSamplingsRestartsAndOddSizes) {
  own::EncodeOptions s422;
  s422.luma_h = 2;
  s422.luma_v = 1;
  s422.restart_interval = 7;
  own::EncodeOptions s444;
  s444.luma_h = s444.luma_v = 1;
  s444.restart_rows = 1;
  own::EncodeOptions s440;
  s440.luma_h = 1;
  s440.luma_v = 2;
  s440.restart_interval = 1;
  own::EncodeOptions gray;
  gray.components = 1;
  own::EncodeOptions gray_restarts = gray;
  gray_restarts.restart_rows = 1;
  check_every_tile("p422", make_picture(601, 529, s422), 1);
  check_every_tile("p444", make_picture(530, 300, s444), 6);
  check_every_tile("p440", make_picture(513, 257, s440), 3);
  check_every_tile("gray", make_picture(700, 513, gray), 1);
  check_every_tile("grayr", make_picture(257, 1030, gray_restarts), 8);
  check_every_tile("tiny", make_picture(17, 9, own::EncodeOptions{}), 5);
}

TEST_F(TileSourceTest, EveryTileOfDataDenseInFFBytes) {
  own::EncodeOptions dense;
  dense.ff_dense_codes = true;
  own::EncodeOptions dense_restarts = dense;
  dense_restarts.restart_rows = 1;
  const Bytes noise = make_picture(640, 400, dense, own::Content::noise);
  const Bytes flat = make_picture(530, 410, dense_restarts, own::Content::flat);
  // The point of these pictures: most data bytes are stuffed FF 00 pairs.
  EXPECT_GT(own::stuffed_ff_count(flat, 600), flat.size() / 8);
  check_every_tile("noise", noise, 1);
  check_every_tile("flat", flat, 7);
}

TEST_F(TileSourceTest, EveryTileOfVariantsMadeByJpegtran) {
  LV_REQUIRE_TESTDATA();
  if (!have_tool("jpegtran")) GTEST_SKIP() << "jpegtran (libjpeg-turbo-progs) is not installed";
  const Bytes photo =
      read_bytes(test::testdata_path("jpeg/exif-ianare/orientation/landscape_3.jpg"));
  const Bytes restarts = run_tool("jpegtran -copy all -restart 1", photo);
  const Bytes every_mcu = run_tool("jpegtran -copy all -restart 1B", photo);
  const Bytes gray = run_tool("jpegtran -copy all -grayscale -restart 2", photo);
  ASSERT_FALSE(restarts.empty());
  ASSERT_FALSE(every_mcu.empty());
  ASSERT_FALSE(gray.empty());
  // The EXIF orientation (3) comes along with -copy all.
  check_every_tile("trestarts", restarts, 3, true);
  check_every_tile("tmcu", every_mcu, 3, true);
  check_every_tile("tgray", gray, 3, true);
}

// ---- levels the own decoder cannot index ----

TEST_F(TileSourceTest, AProgressivePictureIsCutFromAWholeDecodeAtItsTopLevel) {
  if (!have_tool("jpegtran")) GTEST_SKIP() << "jpegtran (libjpeg-turbo-progs) is not installed";
  const Bytes baseline = make_picture(700, 450, own::EncodeOptions{});
  const Bytes progressive =
      test::cache::with_orientation(run_tool("jpegtran -progressive", baseline), 6);
  ASSERT_FALSE(progressive.empty());
  const std::string path = build("prog.jpg", progressive);
  CacheTileSource source(from_utf8(path), drive());
  ASSERT_TRUE(source.ready()) << source.problem();
  ASSERT_EQ(source.top_level(), 2);
  EXPECT_EQ(source.index_entries(0), 0u);
  EXPECT_GT(source.index_entries(1), 0u);
  const Image565 whole = libjpeg_whole(progressive, 1);
  EXPECT_EQ(source.full_size(), (Size{450, 700}));
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 2; ++c) {
      auto tile = source.make_tile(c, r, 2);
      ASSERT_TRUE(tile) << c << "," << r;
      EXPECT_EQ(pixels_of(*tile), expected_tile(whole, 6, c, r).pixels) << c << "," << r;
    }
  EXPECT_FALSE(source.make_tile(2, 0, 2));
  // The picture source cuts the same tiles from the same decode.
  PictureTileSource direct(from_utf8(path));
  ASSERT_TRUE(direct.ready());
  auto a = source.make_tile(1, 2, 2), b = direct.make_tile(1, 2, 2);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(pixels_of(*a), pixels_of(*b));
}

// ---- the picture source ----

TEST_F(TileSourceTest, PictureSourceDecodesEachLevelAtItsScale) {
  const Bytes picture = test::cache::with_orientation(make_picture(900, 600, {}), 8);
  const std::string path = put("p.jpg", picture);
  PictureTileSource source(from_utf8(path));
  ASSERT_TRUE(source.ready()) << source.problem();
  EXPECT_EQ(source.top_level(), 2);
  EXPECT_EQ(source.full_size(), (Size{600, 900}));
  EXPECT_EQ(source.orientation(), 8);
  EXPECT_EQ(source.direction(), -1);
  EXPECT_EQ(source.edge_offsets(), (Point{0, 900 - 1024}));
  EXPECT_EQ(source.level_sizes(),
            (std::array<uint32_t, 4>{static_cast<uint32_t>(picture.size()), 0, 0, 0}));
  EXPECT_FALSE(source.extract_level(from_utf8(m_drive + "out.jpg"), 1));
  for (int level = 0; level <= 2; ++level) {
    const Image565 whole = libjpeg_whole(picture, 1 << (2 - level));
    const int columns = (whole.height + 255) / 256, rows = (whole.width + 255) / 256;
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < columns; ++c) {
        auto tile = source.make_tile(c, r, level);
        ASSERT_TRUE(tile) << level << ": " << c << "," << r;
        EXPECT_EQ(pixels_of(*tile), expected_tile(whole, 8, c, r).pixels)
            << level << ": " << c << "," << r;
      }
    EXPECT_FALSE(source.make_tile(columns, 0, level));
  }
  EXPECT_FALSE(source.make_tile(0, 0, 3));
}

TEST_F(TileSourceTest, ThePictureSourceReachesDownToAReductionOfEight) {
  // 2048 x 1536: three levels; level 0 is the picture at 1/8.
  own::EncodeOptions options;
  options.quality = 30;
  const Bytes picture = make_picture(2048, 1536, options, own::Content::flat);
  const std::string path = build("big.jpg", picture);
  PictureTileSource direct(from_utf8(path));
  ASSERT_EQ(direct.top_level(), 3);
  auto tile = direct.make_tile(0, 0, 0);
  ASSERT_TRUE(tile);
  EXPECT_EQ(pixels_of(*tile), expected_tile(libjpeg_whole(picture, 8), 1, 0, 0).pixels);

  // Through the cache, level 0 is cache level 3 (256 x 192), a single tile,
  // and level 3 reads the picture band by band.
  CacheTileSource cached(from_utf8(path), drive());
  ASSERT_TRUE(cached.ready()) << cached.problem();
  const std::vector<Bytes> streams = level_streams(picture, read_bytes(cache_of(path)));
  ASSERT_EQ(streams.size(), 4u);
  const Image565 smallest = own_whole(streams[3]);
  EXPECT_EQ(smallest.width, 256);
  EXPECT_EQ(smallest.height, 192);
  tile = cached.make_tile(0, 0, 0);
  ASSERT_TRUE(tile);
  EXPECT_EQ(pixels_of(*tile), expected_tile(smallest, 1, 0, 0).pixels);
  EXPECT_FALSE(cached.make_tile(1, 0, 0));
  EXPECT_FALSE(cached.make_tile(0, 1, 0));
  tile = cached.make_tile(7, 5, 3);
  ASSERT_TRUE(tile);
  EXPECT_EQ(pixels_of(*tile), expected_tile(own_whole(picture), 1, 7, 5).pixels);

  // Four levels are beyond libjpeg's scaling at level 0.
  const Bytes long_picture = make_picture(4100, 16, options, own::Content::flat);
  PictureTileSource too_far(from_utf8(put("long.jpg", long_picture)));
  ASSERT_TRUE(too_far.ready());
  ASSERT_EQ(too_far.top_level(), 5);
  EXPECT_FALSE(too_far.make_tile(0, 0, 0));
  EXPECT_FALSE(too_far.make_tile(0, 0, 1));
  EXPECT_TRUE(too_far.make_tile(0, 0, 2));
}

TEST_F(TileSourceTest, SourcesOfMissingOrBrokenPicturesAreNotReady) {
  const std::string junk = put("junk.jpg", Bytes(3000, 0x5A));
  for (const std::string& path : {junk, m_drive + "pics/missing.jpg"}) {
    PictureTileSource direct(from_utf8(path));
    EXPECT_FALSE(direct.ready());
    EXPECT_FALSE(direct.make_tile(0, 0, 0));
    CacheTileSource cached(from_utf8(path), drive());
    EXPECT_FALSE(cached.ready());
    EXPECT_FALSE(cached.make_tile(0, 0, 0));
    EXPECT_FALSE(cached.extract_level(from_utf8(m_drive + "x.jpg"), 1));
  }
  // A good picture whose cache file was never made.
  const std::string path = put("p.jpg", make_picture(300, 200, {}));
  CacheTileSource cached(from_utf8(path), drive());
  EXPECT_FALSE(cached.ready());
}

// ---- levels, sizes, extraction ----

TEST_F(TileSourceTest, LevelSizesAndExtractedLevels) {
  const Bytes picture = make_picture(1100, 700, {});
  const std::string path = build("p.jpg", picture);
  const Bytes cache = read_bytes(cache_of(path));
  CacheTileSource source(from_utf8(path), drive());
  ASSERT_TRUE(source.ready()) << source.problem();
  const auto sizes = source.level_sizes();
  EXPECT_EQ(sizes[0], picture.size());
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(sizes[i], get32(cache, 14 + 16 * (i - 1) + 12)) << i;
  const std::vector<Bytes> streams = level_streams(picture, cache);
  for (int i = 0; i <= 3; ++i) {
    const std::string out = m_drive + "level" + std::to_string(i) + ".jpg";
    ASSERT_TRUE(source.extract_level(from_utf8(out), i)) << i;
    EXPECT_EQ(read_bytes(out), streams[i]) << i;
  }
  const std::string none = m_drive + "level4.jpg";
  EXPECT_TRUE(source.extract_level(from_utf8(none), 4));
  EXPECT_FALSE(fs::exists(none));
  EXPECT_FALSE(source.extract_level(from_utf8(none), -1));
}

TEST_F(TileSourceTest, RealPicturesShowTheSizeTheirOrientationGives) {
  LV_REQUIRE_TESTDATA();
  for (const std::string kind : {"landscape", "portrait"}) {
    const Size shown = kind == "landscape" ? Size{600, 450} : Size{450, 600};
    for (int o = 1; o <= 8; ++o) {
      const std::string path = test::testdata_path("jpeg/exif-ianare/orientation/" + kind + "_" +
                                                   std::to_string(o) + ".jpg");
      ASSERT_EQ(make_cache_file(from_utf8(path), drive()), CacheBuildResult::built);
      CacheTileSource cached(from_utf8(path), drive());
      ASSERT_TRUE(cached.ready()) << path << ": " << cached.problem();
      EXPECT_EQ(cached.full_size(), shown) << path;
      EXPECT_EQ(cached.orientation(), o) << path;
      PictureTileSource direct(from_utf8(path));
      EXPECT_EQ(direct.full_size(), shown) << path;
      EXPECT_EQ(direct.orientation(), o) << path;
      EXPECT_TRUE(cached.make_tile(0, 0, cached.top_level()));
    }
  }
}

// ---- the cache file is checked before it is trusted ----

struct CacheParts {
  CacheHeader header;
  std::vector<Bytes> indexes;  // per level
  std::vector<Bytes> images;   // per level, level 0 empty
  Bytes thumbnail;

  static CacheParts of(const Bytes& file) {
    CacheParts p;
    EXPECT_TRUE(parse_cache_header(file.data(), file.size(), file.size(), p.header));
    for (const CacheLevelRecord& r : p.header.records) {
      p.indexes.emplace_back(file.begin() + r.index_offset,
                             file.begin() + r.index_offset + r.index_size);
      p.images.emplace_back(file.begin() + r.image_offset,
                            file.begin() + r.image_offset + r.image_size);
    }
    p.thumbnail.assign(file.begin() + p.header.thumbnail_offset,
                       file.begin() + p.header.thumbnail_offset + p.header.thumbnail_size);
    return p;
  }
  // The file again, with every offset following the parts' sizes.
  Bytes file() const {
    CacheHeader h = header;
    uint32_t at = h.size();
    for (size_t i = 0; i < h.records.size(); ++i) {
      h.records[i].index_offset = at;
      h.records[i].index_size = static_cast<uint32_t>(indexes[i].size());
      at += h.records[i].index_size;
      if (i > 0) {
        h.records[i].image_offset = at;
        h.records[i].image_size = static_cast<uint32_t>(images[i].size());
        at += h.records[i].image_size;
      }
    }
    h.thumbnail_offset = at;
    h.thumbnail_size = static_cast<uint32_t>(thumbnail.size());
    Bytes out = h.encode();
    for (size_t i = 0; i < h.records.size(); ++i) {
      out.insert(out.end(), indexes[i].begin(), indexes[i].end());
      out.insert(out.end(), images[i].begin(), images[i].end());
    }
    out.insert(out.end(), thumbnail.begin(), thumbnail.end());
    return out;
  }
};

jpeg::StateEntry entry_at(const Bytes& index, size_t e) {
  return jpeg::StateEntry::decode(index.data() + e * jpeg::StateEntry::kSize);
}
void set_entry(Bytes& index, size_t e, const jpeg::StateEntry& entry) {
  entry.encode(index.data() + e * jpeg::StateEntry::kSize);
}

TEST_F(TileSourceTest, ACacheFileThatDoesNotFitItsPictureMakesTheSourceNotReady) {
  own::EncodeOptions options;
  options.restart_interval = 5;
  const Bytes picture = make_picture(700, 500, options);
  const std::string path = build("p.jpg", picture);
  const std::string cache = cache_of(path);
  const Bytes good = read_bytes(cache);
  const CacheParts parts = CacheParts::of(good);
  ASSERT_EQ(parts.header.levels, 2);
  ASSERT_EQ(parts.file(), good);
  // Another picture's cache file with one level fewer.
  const Bytes other = read_bytes(cache_of(build("small.jpg", make_picture(500, 300, {}))));

  using Change = std::function<void(CacheParts&)>;
  const std::vector<std::pair<const char*, Change>> changes = {
      {"an index one entry short",
       [](CacheParts& p) { p.indexes[0].resize(p.indexes[0].size() - 17); }},
      {"an index one entry long",
       [](CacheParts& p) {
         p.indexes[1].insert(p.indexes[1].end(), p.indexes[1].end() - 17, p.indexes[1].end());
       }},
      {"resume points that go back",
       [](CacheParts& p) {
         const auto a = entry_at(p.indexes[0], 3), b = entry_at(p.indexes[0], 4);
         set_entry(p.indexes[0], 3, b);
         set_entry(p.indexes[0], 4, a);
       }},
      {"a first entry outside the stream",
       [&](CacheParts& p) {
         auto e = entry_at(p.indexes[0], 0);
         e.bytes_left = static_cast<uint32_t>(picture.size() + 1);
         set_entry(p.indexes[0], 0, e);
       }},
      {"a first entry inside the header",
       [](CacheParts& p) {
         auto e = entry_at(p.indexes[1], 0);
         e.bytes_left += 3;
         set_entry(p.indexes[1], 0, e);
       }},
      {"a first entry with bits",
       [](CacheParts& p) {
         auto e = entry_at(p.indexes[2], 0);
         e.bits = 3;
         set_entry(p.indexes[2], 0, e);
       }},
      {"too many bits",
       [](CacheParts& p) {
         auto e = entry_at(p.indexes[0], 5);
         e.bits = 12;
         set_entry(p.indexes[0], 5, e);
       }},
      {"a pending marker",
       [](CacheParts& p) {
         auto e = entry_at(p.indexes[0], 5);
         e.marker = 0xD3;
         set_entry(p.indexes[0], 5, e);
       }},
      {"a restart count beyond the interval",
       [](CacheParts& p) {
         auto e = entry_at(p.indexes[0], 2);
         e.mcus_left = 6;
         set_entry(p.indexes[0], 2, e);
       }},
      {"a restart number beyond 7",
       [](CacheParts& p) {
         auto e = entry_at(p.indexes[0], 2);
         e.next_restart = 8;
         set_entry(p.indexes[0], 2, e);
       }},
      {"a level image of another size",
       [&](CacheParts& p) {
         const CacheParts o = CacheParts::of(other);
         p.images[1] = o.images[1];
         p.indexes[1] = o.indexes[1];
       }},
  };
  for (const auto& [what, change] : changes) {
    CacheParts p = parts;
    change(p);
    write_bytes(cache, p.file());
    CacheTileSource source(from_utf8(path), drive());
    EXPECT_FALSE(source.ready()) << what;
    EXPECT_FALSE(source.problem().empty()) << what;
    EXPECT_FALSE(source.make_tile(0, 0, 2)) << what;
  }
  const std::vector<std::pair<const char*, std::function<void(Bytes&)>>> raw = {
      {"another picture's level count", [&](Bytes& b) { b = other; }},
      {"truncated", [](Bytes& b) { b.resize(b.size() / 2); }},
      {"empty", [](Bytes& b) { b.clear(); }},
      {"thumbnail beyond the end", [](Bytes& b) { test::cache::put32(b, 14 + 32 + 4, 1u << 31); }},
      {"index offset beyond the end", [](Bytes& b) { test::cache::put32(b, 6, 1u << 30); }},
  };
  for (const auto& [what, change] : raw) {
    Bytes b = good;
    change(b);
    write_bytes(cache, b);
    CacheTileSource source(from_utf8(path), drive());
    EXPECT_FALSE(source.ready()) << what;
    EXPECT_FALSE(source.make_tile(0, 0, 2)) << what;
  }
  write_bytes(cache, good);
  EXPECT_TRUE(CacheTileSource(from_utf8(path), drive()).ready());
}

TEST_F(TileSourceTest, EntriesDamagedWithinTheirBoundsNeverBreakTheDecoder) {
  own::EncodeOptions options;
  options.restart_rows = 2;
  const Bytes picture = make_picture(600, 300, options);
  const std::string path = build("p.jpg", picture);
  const std::string cache = cache_of(path);
  const CacheParts parts = CacheParts::of(read_bytes(cache));
  std::mt19937 rng(7);
  int ready = 0;
  for (int round = 0; round < 60; ++round) {
    CacheParts p = parts;
    Bytes& index = p.indexes[round % 3];
    for (int flips = 0; flips < 3; ++flips) index[rng() % index.size()] ^= 1u << (rng() % 8);
    write_bytes(cache, p.file());
    CacheTileSource source(from_utf8(path), drive());
    if (!source.ready()) continue;
    ++ready;
    for (int level = 0; level <= source.top_level(); ++level)
      for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c) source.make_tile(c, r, level);
  }
  // Flipped DC predictors and low bits pass the checks; the decode copes.
  EXPECT_GT(ready, 0);
}

}  // namespace
}  // namespace lv
