#include "library/tile_source.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "jpeg/jpeg_decoder.h"
#include "jpeg/jpeg_state.h"
#include "library/cache_test_support.h"
#include "library/cache_tile_source.h"
#include "library/libjpeg_codec.h"
#include "library/picture_tile_source.h"

namespace lv {
namespace {

using namespace lv::test;
namespace fs = std::filesystem;

Bytes make_picture(int width, int height, EncodeOptions options = {},
                   Content content = Content::photo) {
  return encode_picture(width, height, options, content, unsigned(width + height));
}

// A level stream decoded whole by the own decoder, or by libjpeg at a
// scale, in RGB565.
Image565 own_whole(const Bytes& jpeg) {
  RgbPicture rgb;
  EXPECT_TRUE(own_decode(jpeg, rgb));
  return to565(rgb);
}
Image565 libjpeg_whole(const Bytes& jpeg, int scale) {
  return to565(decode_reference(jpeg, scale));
}

// The shown tile (column, row) of an unturned level image: the tile grid is
// turned like the picture, the stored tile cut to the top left of 256 x 256
// black and the whole square turned.
std::vector<uint16_t> expected_tile(const Image565& level, int orientation, int column, int row) {
  const int columns = (level.width + 255) / 256, rows = (level.height + 255) / 256;
  Image565 grid{columns, rows, {}};
  for (int i = 0; i < columns * rows; ++i) grid.pixels.push_back(static_cast<uint16_t>(i));
  const int id = turn_reference(grid, orientation).at(column, row);
  const int left = (id % columns) * 256, top = (id / columns) * 256;
  Image565 square{256, 256, std::vector<uint16_t>(256 * 256, 0)};
  for (int y = 0; y < 256 && top + y < level.height; ++y)
    for (int x = 0; x < 256 && left + x < level.width; ++x)
      square.pixels[y * 256 + x] = level.at(left + x, top + y);
  return turn_reference(square, orientation).pixels;
}

// Every tile of the level equals the tile cut from `whole`; the ones just
// outside the grid are none.
template <typename Source>
void expect_level(Source& source, int level, const Image565& whole, int orientation) {
  const bool swaps = orientation > 4;
  const int columns = ((swaps ? whole.height : whole.width) + 255) / 256;
  const int rows = ((swaps ? whole.width : whole.height) + 255) / 256;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c)
      ASSERT_EQ(tile_pixels(source.make_tile(c, r, level)), expected_tile(whole, orientation, c, r))
          << "level " << level << " tile " << c << "," << r << ": " << source.problem();
  EXPECT_FALSE(source.make_tile(columns, 0, level) || source.make_tile(0, rows, level) ||
               source.make_tile(-1, 0, level));
}

Bytes jpegtran_progressive(const Bytes& input) {
  const std::string in = make_temp_dir("tool") + "/in.jpg", out = in + ".out";
  write_bytes(in, input);
  const std::string command = "jpegtran -progressive -outfile '" + out + "' '" + in + "'";
  return std::system(command.c_str()) == 0 ? read_bytes(out) : Bytes{};
}

class TileSourceTest : public DriveTest {
 protected:
  // Every tile of every level through the cache source equals the same tile
  // cut from that level decoded whole. The orientation is written into the
  // picture.
  void check_every_tile(const std::string& label, const Bytes& picture, int orientation) {
    SCOPED_TRACE(label + " orientation " + std::to_string(orientation));
    const Bytes jpeg = orientation == 1 ? picture : with_orientation(picture, orientation);
    const std::string path = built(label + ".jpg", jpeg);
    CacheTileSource source(from_utf8(path), drive());
    ASSERT_TRUE(source.ready()) << source.problem();
    EXPECT_EQ(source.orientation(), orientation);
    const std::vector<Bytes> streams = level_streams(jpeg, read_bytes(cache_of(path)));
    const int levels = source.top_level();
    ASSERT_EQ(static_cast<int>(streams.size()), levels + 1);
    for (int level = levels; level >= 0; --level) {
      EXPECT_GT(source.index_entries(levels - level), 0u) << "cache level " << levels - level;
      const Image565 whole = own_whole(streams[levels - level]);
      const Size shown =
          orientation > 4 ? Size{whole.height, whole.width} : Size{whole.width, whole.height};
      EXPECT_TRUE(level < levels || source.full_size() == shown);
      expect_level(source, level, whole, orientation);
    }
    EXPECT_FALSE(source.make_tile(0, 0, levels + 1) || source.make_tile(0, 0, -1));
  }
};

// ---- orientation mapping and geometry ----

TEST(PictureGeometry, StoredTilesFollowTheTurnOfTheGridShownSizeEdgeOffsetsAndDirection) {
  const Image565 grid{3, 2, {0, 1, 2, 3, 4, 5}};
  for (int o = 1; o <= 8; ++o) {
    const Image565 shown = turn_reference(grid, o);
    for (int r = 0; r < shown.height; ++r)
      for (int c = 0; c < shown.width; ++c) {
        const TilePosition p = stored_tile(o, c, r, 3, 2);
        EXPECT_EQ(p.column + p.row * 3, shown.at(c, r)) << o << ": " << c << "," << r;
      }
  }
  // Mirrored: 1000 - 1024 = -24; 300 - 512 = -212 for the flipped rows.
  for (auto [orientation, offsets, direction] :
       std::initializer_list<std::tuple<int, Point, int>>{{1, {0, 0}, 1},
                                                          {2, {-24, 0}, 1},
                                                          {3, {-24, -212}, -1},
                                                          {4, {0, -212}, -1},
                                                          {5, {0, 0}, 1},
                                                          {6, {-212, 0}, 1},
                                                          {7, {-212, -24}, -1},
                                                          {8, {0, -24}, -1}}) {
    const PictureGeometry g = picture_geometry(1000, 300, orientation, 5000);
    const Size shown = orientation > 4 ? Size{300, 1000} : Size{1000, 300};
    EXPECT_TRUE(g.shown == shown && g.edge_offsets == offsets && g.direction == direction &&
                g.levels == 2)
        << orientation;
  }
  // Whole tiles need no offset; an orientation outside 1 ... 8 counts as 1.
  EXPECT_EQ(picture_geometry(1024, 512, 3, 5000).edge_offsets, (Point{0, 0}));
  const PictureGeometry odd = picture_geometry(100, 60, 0, 5000);
  EXPECT_TRUE(odd.orientation == 1 && odd.shown == (Size{100, 60}));
}

// ---- the cache source, bit for bit ----

// Each sampling with an orientation of its own (the turns themselves are
// held against the tile grid above).
TEST_F(TileSourceTest, EveryTileOfEveryLevelWithEachSamplingRestartsOddSizesAndDenseFFData) {
  EncodeOptions s420, s422, s444, s440, gray, dense;
  s422.luma_v = 1;
  s422.restart_interval = 7;
  s444.luma_h = s444.luma_v = s444.restart_rows = 1;
  s440.luma_h = s440.restart_interval = 1;
  gray.components = gray.restart_rows = 1;
  dense.ff_dense_codes = true;
  dense.restart_rows = 1;
  check_every_tile("p420", make_picture(600, 300, s420), 2);
  check_every_tile("p422", make_picture(601, 529, s422), 1);
  check_every_tile("p444", make_picture(530, 300, s444), 6);
  check_every_tile("p440", make_picture(513, 257, s440), 3);
  check_every_tile("grayr", make_picture(257, 700, gray), 8);
  check_every_tile("tiny", make_picture(17, 9), 5);
  check_every_tile("tall", make_picture(40, 300), 4);
  const Bytes flat = make_picture(530, 410, dense, Content::flat);
  EXPECT_GT(stuffed_ff_count(flat, 600), flat.size() / 8);
  check_every_tile("flat", flat, 7);
}

// ---- levels the own decoder cannot index, and the picture source ----

TEST_F(TileSourceTest, AProgressivePictureIsCutFromAWholeDecodeAtItsTopLevel) {
  if (std::system("command -v jpegtran > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "jpegtran (libjpeg-turbo-progs) is not installed";
  const Bytes progressive = with_orientation(jpegtran_progressive(make_picture(700, 450)), 6);
  const std::string path = built("prog.jpg", progressive);
  CacheTileSource source(from_utf8(path), drive());
  ASSERT_TRUE(source.ready()) << source.problem();
  ASSERT_EQ(source.top_level(), 2);
  EXPECT_TRUE(source.index_entries(0) == 0 && source.index_entries(1) > 0 &&
              source.full_size() == (Size{450, 700}));
  expect_level(source, 2, libjpeg_whole(progressive, 1), 6);
}

TEST_F(TileSourceTest, PictureSourceDecodesEachLevelAtItsScale) {
  const Bytes picture = with_orientation(make_picture(900, 600), 8);
  PictureTileSource source(from_utf8(put("p.jpg", picture)));
  ASSERT_TRUE(source.ready()) << source.problem();
  EXPECT_TRUE(source.top_level() == 2 && source.full_size() == (Size{600, 900}));
  EXPECT_EQ(source.level_sizes(),
            (std::array<uint32_t, 4>{static_cast<uint32_t>(picture.size()), 0, 0, 0}));
  EXPECT_FALSE(source.extract_level(from_utf8(m_drive + "out.jpg"), 1) ||
               source.make_tile(0, 0, 3));
  for (int level = 0; level <= 2; ++level)
    expect_level(source, level, libjpeg_whole(picture, 1 << (2 - level)), 8);
}

TEST_F(TileSourceTest, BothSourcesReachDownToAReductionOfEight) {
  // 2048 x 1536: three levels; level 0 is the picture at 1/8.
  EncodeOptions options;
  options.quality = 30;
  const Bytes picture = make_picture(2048, 1536, options, Content::flat);
  const std::string path = built("big.jpg", picture);
  PictureTileSource direct(from_utf8(path));
  ASSERT_EQ(direct.top_level(), 3);
  EXPECT_EQ(tile_pixels(direct.make_tile(0, 0, 0)),
            expected_tile(libjpeg_whole(picture, 8), 1, 0, 0));
  // Through the cache, level 0 is cache level 3 (256 x 192), a single tile,
  // and level 3 reads the picture band by band.
  CacheTileSource cached(from_utf8(path), drive());
  ASSERT_TRUE(cached.ready()) << cached.problem();
  const std::vector<Bytes> streams = level_streams(picture, read_bytes(cache_of(path)));
  ASSERT_EQ(streams.size(), 4u);
  const Image565 smallest = own_whole(streams[3]);
  EXPECT_EQ((Size{smallest.width, smallest.height}), (Size{256, 192}));
  expect_level(cached, 0, smallest, 1);
  EXPECT_EQ(tile_pixels(cached.make_tile(7, 5, 3)), expected_tile(own_whole(picture), 1, 7, 5));
  // Each level's stream can be copied out whole.
  for (int i = 0; i <= 3; ++i) {
    ASSERT_TRUE(cached.level_sizes()[i] == streams[i].size() &&
                cached.extract_level(from_utf8(m_drive + "level.jpg"), i))
        << i;
    EXPECT_EQ(read_bytes(m_drive + "level.jpg"), streams[i]) << i;
  }

  // Four levels are beyond libjpeg's scaling at level 0.
  PictureTileSource too_far(
      from_utf8(put("long.jpg", make_picture(4100, 16, options, Content::flat))));
  ASSERT_EQ(too_far.top_level(), 5);
  EXPECT_FALSE(too_far.make_tile(0, 0, 0) || too_far.make_tile(0, 0, 1));
  EXPECT_TRUE(too_far.make_tile(0, 0, 2));
}

// ---- the cache file is checked before it is trusted ----

struct CacheParts {
  CacheHeader header;
  std::vector<Bytes> indexes, images;  // per level; level 0 has no image
  Bytes thumbnail;

  static CacheParts of(const Bytes& file) {
    CacheParts p;
    EXPECT_TRUE(parse_cache_header(file.data(), file.size(), file.size(), p.header));
    for (const CacheLevelRecord& r : p.header.records) {
      p.indexes.push_back(slice(file, r.index_offset, r.index_size));
      p.images.push_back(slice(file, r.image_offset, r.image_size));
    }
    p.thumbnail = slice(file, p.header.thumbnail_offset, p.header.thumbnail_size);
    return p;
  }
  // The file again, with every offset following the parts' sizes.
  Bytes file() const {
    CacheHeader h = header;
    Bytes body;
    const auto append = [&](const Bytes& part, uint32_t& offset, uint32_t& size) {
      offset = static_cast<uint32_t>(h.size() + body.size());
      size = static_cast<uint32_t>(part.size());
      body.insert(body.end(), part.begin(), part.end());
    };
    for (size_t i = 0; i < h.records.size(); ++i) {
      append(indexes[i], h.records[i].index_offset, h.records[i].index_size);
      if (i > 0) append(images[i], h.records[i].image_offset, h.records[i].image_size);
    }
    append(thumbnail, h.thumbnail_offset, h.thumbnail_size);
    Bytes out = h.encode();
    out.insert(out.end(), body.begin(), body.end());
    return out;
  }
  // Changes entry `e` of level `level`'s index.
  void change_entry(int level, size_t e, const std::function<void(jpeg::StateEntry&)>& change) {
    uint8_t* at = indexes[level].data() + e * jpeg::StateEntry::kSize;
    jpeg::StateEntry entry = jpeg::StateEntry::decode(at);
    change(entry);
    entry.encode(at);
  }
};

TEST_F(TileSourceTest, ACacheFileThatDoesNotFitItsPictureOrABrokenPictureMakesTheSourceNotReady) {
  EncodeOptions options;
  options.restart_interval = 5;
  const Bytes picture = make_picture(700, 500, options);
  const std::string path = built("p.jpg", picture);
  const std::string cache = cache_of(path);
  const Bytes good = read_bytes(cache);
  const CacheParts parts = CacheParts::of(good);
  ASSERT_EQ(parts.header.levels, 2);
  ASSERT_EQ(parts.file(), good);
  // Another picture's cache file with one level fewer.
  const Bytes other = read_bytes(cache_of(built("small.jpg", make_picture(500, 300))));
  const CacheParts small = CacheParts::of(other);
  const uint32_t too_far = static_cast<uint32_t>(picture.size() + 1);
  const std::vector<std::pair<const char*, std::function<void(CacheParts&)>>> changes = {
      {"an index one entry short", [](auto& p) { p.indexes[0].resize(p.indexes[0].size() - 17); }},
      {"resume points that go back",
       [](auto& p) { std::swap_ranges(&p.indexes[0][51], &p.indexes[0][68], &p.indexes[0][68]); }},
      {"a first entry outside the stream",
       [&](auto& p) { p.change_entry(0, 0, [&](auto& e) { e.bytes_left = too_far; }); }},
      {"8 bits", [](auto& p) { p.change_entry(0, 5, [](auto& e) { e.bits = 8; }); }},
      {"a restart count beyond the interval",
       [](auto& p) { p.change_entry(0, 2, [](auto& e) { e.mcus_left = 6; }); }},
      {"a level image of another size",
       [&](auto& p) {
         std::tie(p.images[1], p.indexes[1]) = std::tie(small.images[1], small.indexes[1]);
       }},
  };
  auto expect_refused = [&](const Bytes& file, const char* what) {
    write_bytes(cache, file);
    CacheTileSource source(from_utf8(path), drive());
    EXPECT_FALSE(source.ready() || source.problem().empty() || source.make_tile(0, 0, 2)) << what;
  };
  for (const auto& [what, change] : changes) {
    CacheParts p = parts;
    change(p);
    expect_refused(p.file(), what);
  }
  // (A header that does not fit its file is the header's own test.)
  expect_refused(other, "another picture's level count");
  expect_refused({}, "empty");
  write_bytes(cache, good);
  EXPECT_TRUE(CacheTileSource(from_utf8(path), drive()).ready());
  // Nor is either source of a missing or broken picture.
  for (const std::string& broken :
       {put("junk.jpg", Bytes(3000, 0x5A)), m_drive + "pics/none.jpg"}) {
    PictureTileSource direct(from_utf8(broken));
    CacheTileSource cached(from_utf8(broken), drive());
    EXPECT_FALSE(direct.ready() || direct.make_tile(0, 0, 0) || cached.ready() ||
                 cached.make_tile(0, 0, 0) || cached.extract_level(from_utf8(broken + ".x"), 1));
  }
  // A good picture whose cache file was never made.
  EXPECT_FALSE(
      CacheTileSource(from_utf8(put("fresh.jpg", make_picture(300, 200))), drive()).ready());
}

// Every picture of the shared test data, broken ones included, goes through
// the cache build, thumbnail loading and both tile sources without a crash
// or a hang (run it under the sanitizers to catch reads outside a buffer).
// The 1,837 fuzz inputs of zune/fuzz are sampled (every fourth) unless
// `all_fuzz` (LUMIVIEW_ALL_FUZZ_INPUTS) is set.
std::vector<std::string> pictures_under(const std::string& folder, bool all_fuzz) {
  std::vector<std::string> sample;
  size_t fuzz = 0;
  for (const std::string& path : test::files_under(folder)) {
    const std::string extension = fs::path(path).extension().string();
    const bool picture = !path.ends_with("README") && !path.ends_with("MANIFEST.txt") &&
                         extension != ".png" && extension != ".md" && extension != ".list";
    if (picture && (path.find("/fuzz/") == std::string::npos || all_fuzz || fuzz++ % 4 == 0))
      sample.push_back(path);
  }
  return sample;
}

// The corners of a level and one tile past them.
void ask_tiles(TileSource& source, int level) {
  const Size shown = source.full_size();
  const int scale = 1 << std::min(30, source.top_level() - level);
  const int columns = std::max(1, (shown.width / scale + 255) / 256);
  const int rows = std::max(1, (shown.height / scale + 255) / 256);
  for (auto [c, r] : {std::pair{0, 0}, {columns - 1, rows - 1}, {columns - 1, 0}, {columns, rows}})
    source.make_tile(c, r, level);
}

// Built, the picture has a valid cache file, a 64 x 64 thumbnail and a
// ready tile source; failed, exactly the empty marker and none of them.
void exercise(const std::string& picture, const std::u16string& drive) {
  SCOPED_TRACE(picture);
  const std::u16string path = from_utf8(picture);
  const CacheBuildResult result = make_cache_file(path, drive);
  ASSERT_NE(result, CacheBuildResult::stopped);
  const fs::path cache_path(to_utf8(cache_name(path, drive)));
  const bool built = result == CacheBuildResult::built;
  ASSERT_TRUE(fs::exists(cache_path) && (built || fs::file_size(cache_path) == 0));
  EXPECT_EQ(cache_valid(path, drive), built);
  const auto thumbnail = load_thumbnail(path, drive);
  EXPECT_EQ(thumbnail ? thumbnail->size() : Size{}, built ? (Size{64, 64}) : Size{});
  CacheTileSource cached(path, drive);
  EXPECT_EQ(cached.ready(), built) << cached.problem();
  for (int level = 0; built && level <= cached.top_level(); ++level) ask_tiles(cached, level);
  PictureTileSource direct(path);
  // Whole decodes of the largest pictures at full size take long under
  // the sanitizers; their reduced levels cover the same code.
  const Size shown = direct.full_size();
  const bool large = int64_t{shown.width} * shown.height > (4 << 20);
  const int top = direct.ready() ? direct.top_level() : -1;
  for (int level = std::max(0, top - 3); level <= top - (large ? 1 : 0); ++level)
    ask_tiles(direct, level);
  fs::remove(cache_path);
}

class CacheRobustness : public testing::TestWithParam<const char*> {};

TEST_P(CacheRobustness, EveryPictureOfTheFolder) {
  LV_REQUIRE_TESTDATA();
  const std::string folder = test::testdata_path(std::string("jpeg/") + GetParam());
  const std::vector<std::string> pictures =
      pictures_under(folder, std::getenv("LUMIVIEW_ALL_FUZZ_INPUTS") != nullptr);
  ASSERT_FALSE(pictures.empty()) << folder;
  const std::u16string drive = from_utf8(test::make_temp_dir("drive") + "/");
  for (const std::string& picture : pictures) exercise(picture, drive);
}

INSTANTIATE_TEST_SUITE_P(Folders, CacheRobustness,
                         testing::Values("exif-ianare", "exif-pillow", "exiv2-poc", "go",
                                         "jpeg-decoder", "large", "libjpeg-turbo", "zune"),
                         test::folder_test_name);

}  // namespace
}  // namespace lv
