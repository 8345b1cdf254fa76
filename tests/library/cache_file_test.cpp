#include "library/cache_file.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>

#include "base/file_util.h"
#include "library/cache_location.h"
#include "library/cache_test_support.h"
#include "library/level_reducer.h"
#include "library/libjpeg_codec.h"

namespace lv {
namespace {

using namespace lv::test;
namespace fs = std::filesystem;

class CacheFileTest : public DriveTest {
 protected:
  size_t cache_folder_entries() const {
    const auto entries = fs::directory_iterator(m_drive + "!lumiviewcache");
    return static_cast<size_t>(std::distance(fs::begin(entries), fs::end(entries)));
  }
};

// ---- names, level counts, sizes ----

TEST_F(CacheFileTest, NamesAreSizeAndTimeDigitsInTheDrivesCacheFolderOrTheUsersWhenItCannotTakeIt) {
  std::tm created{};  // 5 March, 14:07:09; the year takes no part
  std::tie(created.tm_mon, created.tm_mday, created.tm_hour, created.tm_min, created.tm_sec,
           created.tm_year) = std::tuple{2, 5, 14, 7, 9, 99};
  EXPECT_EQ(cache_name_for(1234567, created, u"/media/card"),
            u"/media/card/!lumiviewcache/1234567351479");
  // The size is unsigned: files of 2 GB and more get no '-'.
  EXPECT_EQ(cache_name_for(0x1'0000'0010ull, created, u"/d/"),
            u"/d/!lumiviewcache/4294967312351479");
  // A drive that names no folder has no cache files at all.
  EXPECT_EQ(cache_name_for(1234567, created, u"relative/"), u"");
  const std::string path = put("a.jpg", Bytes(1000, 7));
  EXPECT_EQ(cache_name(from_utf8(path), drive()),
            cache_name_for(1000, file_info(from_utf8(path)).creation, drive()));
  EXPECT_EQ(cache_name(from_utf8(m_drive + "pics/none.jpg"), drive()), u"");
  // The cache folder is at the drive's root; one that cannot be made there (a
  // file in its place, which no user can turn into a folder) moves to the
  // user's cache folder, named by the whole drive path with '/' and '%'
  // escaped so that drives never share one.
  EXPECT_EQ(cache_folder(drive()), drive() + u"!lumiviewcache");
  EXPECT_EQ(cache_folder(u"/no/such/card/"), u"/no/such/card/!lumiviewcache");
  write_bytes(m_drive + "!lumiviewcache", Bytes(3, 1));
  EXPECT_EQ(cache_folder(drive()), fallback_cache_folder(drive()));
  EXPECT_EQ(fallback_cache_folder(u"/a%2Fb/"),
            from_utf8(std::getenv("XDG_CACHE_HOME")) + u"/lumiview/%2Fa%252Fb/!lumiviewcache");
  // Very long drive paths still give a name the file system takes, and
  // stay apart.
  const std::u16string one = fallback_cache_folder(from_utf8("/a/" + std::string(400, 'x')));
  EXPECT_NE(one, fallback_cache_folder(from_utf8("/b/" + std::string(400, 'x'))));
  EXPECT_LE(fs::path(to_utf8(one)).parent_path().filename().string().size(), 200u);
}

TEST(Levels, CountSizesAndTheReducerRowsHalvingLikeThePlainReduction) {
  for (auto [side, levels] : {std::pair{256, 0}, {257, 1}, {512, 1}, {513, 2}, {4097, 5}})
    EXPECT_EQ(std::pair(level_count(side, 1), level_count(1, side)), std::pair(levels, levels));
  EXPECT_EQ(level_count(0, 0), 0);
  ASSERT_EQ(level_count(10000, 40), 6);
  const LevelSize panorama[] = {{10000, 40}, {5000, 20}, {2500, 10}, {1250, 5},
                                {625, 2},    {312, 1},   {156, 1}};
  for (int i = 0; i <= 6; ++i) EXPECT_EQ(level_size(panorama[0], i), panorama[i]) << i;
  EXPECT_EQ(reduced_size({1, 1}), (LevelSize{1, 1}));
  // The 2 x 2 reduction against the plain one: rounded means, an odd last
  // column or row dropped, a side of one averaged with itself. Widths around
  // the reducer's chunks of sixteen pixel pairs; RGB and RGBX rows straight
  // into the reducer, as a decoder writes them.
  for (int bytes : {3, 4})
    for (auto [width, height] : {std::pair{1, 5}, {4, 1}, {5, 3}, {33, 2}, {34, 5}, {67, 4}}) {
      SCOPED_TRACE(testing::Message() << bytes << " bytes, " << width << " x " << height);
      const RgbPicture picture{width, height, 0, make_pixels(width, height, 3, Content::noise)};
      const RgbPicture expected = reduce_reference(picture);
      Bytes got;
      const auto keep_row = [&](const uint8_t* row) {
        for (int x = 0; x < expected.width; ++x)
          got.insert(got.end(), row + x * bytes, row + x * bytes + 3);
        return true;
      };
      LevelReducer reducer({width, height}, keep_row, bytes);
      for (int y = 0, room; y < height; y += room) {
        ASSERT_GE(room = reducer.rows_room(), 1);
        for (int i = 0; i < room * width; ++i)
          std::memcpy(reducer.rows_buffer() + i / width * reducer.row_pitch() + i % width * bytes,
                      pixel_at(picture, i % width, y + i / width), 3);
        ASSERT_TRUE(reducer.push_rows(room));
      }
      ASSERT_TRUE(reducer.finish());
      EXPECT_EQ(got, expected.rgb);
    }
}

// ---- the header ----

TEST(CacheHeader, ReadsBackWhatItWroteAndRefusesEveryBrokenLayout) {
  const CacheHeader h{2, 6, {{54, 34, 0, 0}, {88, 17, 105, 100}, {205, 0, 205, 50}}, 255, 45};
  const Bytes good = h.encode();  // its bytes are the layouts' test
  CacheHeader back;
  ASSERT_TRUE(parse_cache_header(good.data(), good.size(), 300, back));
  EXPECT_EQ(back.encode(), good);
  EXPECT_FALSE(parse_cache_header(good.data(), 5, 300, back));

  // Each fault: a 32-bit value written at a place, and the file's size.
  for (auto [what, at, value, file_size] :
       std::initializer_list<std::tuple<const char*, size_t, uint32_t, uint64_t>>{
           {"another format", 0, 18, 300},
           {"file ends before the thumbnail's end", 0, 19, 299},
           {"index of a partial entry", 10, 33, 300},
           {"level 1 image not after its index", 22, 104, 300},
           {"an empty level image", 42, 0, 300},
           {"thumbnail out of place", 46, 256, 300},
           {"image size that wraps", 26, 0xFFFFFF9Bu, 300}}) {
    Bytes bytes = good;
    put32(bytes, at, value);
    std::string problem;
    EXPECT_FALSE(parse_cache_header(bytes.data(), bytes.size(), file_size, back, &problem) ||
                 problem.empty())
        << what;
  }
}

// ---- the layouts of the edge cases, byte by byte ----

// Every block held against an independent computation: the indexes against
// the own decoder's scan, each level against libjpeg's encode of the reduced
// previous level, the thumbnail against the encode of its window.
TEST_F(CacheFileTest, LayoutsOfTheEdgeCasesByteByByte) {
  EncodeOptions gray, restarts;
  gray.components = 1;
  restarts.restart_rows = restarts.luma_v = 1;
  const struct {
    const char* what;
    int width, height;
    EncodeOptions options;
    std::vector<LevelSize> sizes;  // of levels 1 ... L
    int thumb_scale;               // the decode of the smallest level
    int x0, y0;                    // the thumbnail window in that decode
  } cases[] = {
      // 150 / 2 = 75 > 64: decoded at half size, 100 x 75, centred.
      {"200 x 150", 200, 150, {}, {}, 2, 18, 5},
      // 120 / 2 = 60 is not above 64: the 160 x 120 level at full scale.
      {"640 x 480", 640, 480, {}, {{320, 240}, {160, 120}}, 1, 48, 28},
      {"a portrait keeps its top", 480, 640, {}, {{240, 320}, {120, 160}}, 1, 28, 0},
      {"a square keeps its centre", 300, 300, {}, {{150, 150}}, 2, 5, 5},
      {"in the middle of black", 50, 40, {}, {}, 1, -7, -12},
      {"grayscale becomes RGB", 600, 300, gray, {{300, 150}, {150, 75}}, 1, 43, 5},
      {"restarts, 4:2:2", 600, 300, restarts, {{300, 150}, {150, 75}}, 1, 43, 5},
  };
  for (const auto& e : cases) {
    SCOPED_TRACE(e.what);
    const Bytes picture = encode_picture(e.width, e.height, e.options);
    const Bytes cache = read_bytes(cache_of(built(std::string(e.what) + ".jpg", picture)));
    const int levels = static_cast<int>(e.sizes.size());
    ASSERT_GE(cache.size(), 22u + 16u * levels);
    EXPECT_EQ(slice(cache, 0, 6), (Bytes{19, 0, 0, 0, uint8_t(levels), 1}));
    uint32_t at = 22 + 16 * levels;
    EXPECT_EQ(get32(cache, 6), at);
    EXPECT_EQ(slice(cache, at, get32(cache, 10)), scan_index(picture));
    at += get32(cache, 10);
    Bytes previous = picture;
    for (int i = 1; i <= levels; ++i) {
      SCOPED_TRACE(i);
      const size_t record = 16 * i - 2;
      const uint32_t index_size = get32(cache, record + 4), image_size = get32(cache, record + 12);
      EXPECT_EQ(std::pair(get32(cache, record), get32(cache, record + 8)),
                std::pair(at, at + index_size));
      const Bytes image = slice(cache, at + index_size, image_size);
      const RgbPicture reduced = reduce_reference(decode_reference(previous));
      EXPECT_EQ((LevelSize{reduced.width, reduced.height}), e.sizes[i - 1]);
      EXPECT_EQ(image, encode_reference(reduced, 75));
      EXPECT_EQ(slice(cache, at, index_size), scan_index(image));
      at += index_size + image_size;
      previous = image;
    }
    EXPECT_EQ(get32(cache, 14 + 16 * levels), at);
    EXPECT_EQ(at + get32(cache, 18 + 16 * levels), cache.size());
    const RgbPicture window =
        window_reference(decode_reference(previous, e.thumb_scale), e.x0, e.y0);
    EXPECT_EQ(slice(cache, at, cache.size() - at), encode_reference(window, 95));
  }
}

TEST_F(CacheFileTest, PicturesTheOwnDecoderRefusesGetLevelsThroughLibjpeg) {
  LV_REQUIRE_TESTDATA();
  // Progressive, 650 x 470: two levels, made from libjpeg's decode.
  const Bytes picture = read_bytes(testdata_path("jpeg/jpeg-decoder/reftest/progressive3.jpg"));
  const Bytes cache = read_bytes(cache_of(built("prog.jpg", picture)));
  ASSERT_EQ(cache[4], 2);
  EXPECT_EQ(get32(cache, 10), 0u);  // level 0 has no index
  const Bytes level1 = slice(cache, get32(cache, 22), get32(cache, 26));
  EXPECT_EQ(level1, encode_reference(reduce_reference(decode_reference(picture)), 75));
  EXPECT_EQ(get32(cache, 18), scan_index(level1).size());
}

// ---- failures, stops, the temporary file ----

TEST_F(CacheFileTest, AFailedBuildLeavesExactlyTheEmptyMarkerAndNothingIsMadeWithoutADrive) {
  Bytes cut = encode_picture(300, 200);
  cut.resize(150);  // inside the header
  for (const auto& [name, bytes] : {std::pair{"junk.jpg", Bytes(5000, 0x42)}, {"cut.jpg", cut}}) {
    const std::string path = put(name, bytes);
    EXPECT_EQ(build(path), CacheBuildResult::failed);
    EXPECT_TRUE(fs::exists(cache_of(path)) && fs::file_size(cache_of(path)) == 0 &&
                !load_thumbnail(from_utf8(path), drive()))
        << name;
  }
  EXPECT_EQ(cache_folder_entries(), 2u);  // no temporary files left

  // A good file whose picture can no longer be decoded becomes the marker.
  const std::string path = built("p.jpg", encode_picture(300, 200));
  const std::string cache = cache_of(path);
  write_bytes(path, Bytes(fs::file_size(path), 0x11));
  ASSERT_EQ(cache_of(path), cache);
  EXPECT_TRUE(build(path) == CacheBuildResult::failed && fs::file_size(cache) == 0);

  // Nothing is made for a drive that is not there: a card pulled while its
  // pictures were queued (its mount point is gone) ...
  const std::string queued = put("q.jpg", encode_picture(300, 200));
  EXPECT_EQ(make_cache_file(from_utf8(queued), from_utf8(m_drive + "media/card/")),
            CacheBuildResult::failed);
  EXPECT_FALSE(fs::exists(m_drive + "media"));
  // ... or a drive path lost from the folder list: nothing in the working folder.
  const fs::path working = fs::current_path();
  fs::current_path(m_drive + "pics");
  const CacheBuildResult result = make_cache_file(from_utf8(queued), u"");
  const bool made_here = fs::exists("!lumiviewcache");
  fs::current_path(working);
  EXPECT_TRUE(result == CacheBuildResult::failed && !made_here);
}

// Runs the builds in a child process (so that no earlier test's peak hides
// theirs) and answers how far they raised its peak memory, in MB; -1 when
// a build did not answer as expected.
int build_peak_megabytes(const std::function<bool()>& builds) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    long pages = 0, resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    const bool ok = statm && std::fscanf(statm, "%ld %ld", &pages, &resident) == 2 && builds();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const long long peak = usage.ru_maxrss * 1024LL - resident * ::sysconf(_SC_PAGESIZE);
    std::_Exit(ok ? static_cast<int>(std::clamp(peak >> 20, 0LL, 250LL)) : 255);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status) == 255 ? -1 : WEXITSTATUS(status);
}

TEST_F(CacheFileTest, AHugeFileIsReadOnlyAsFarAsItsPictureReaches) {
  // Sparse: nothing but zeros named like a picture, and a picture with
  // three gigabytes of zeros after it (sizes of their own: files of one
  // size made in one second share a name).
  const std::string junk = put("x.jpg", Bytes(1, 0));
  const std::string padded = put("padded.jpg", encode_picture(640, 480));
  ASSERT_EQ(::truncate(junk.c_str(), (3LL << 30) + 1), 0);
  ASSERT_EQ(::truncate(padded.c_str(), 3LL << 30), 0);
  std::string problem;
  const int peak = build_peak_megabytes([&] {
    return make_cache_file(from_utf8(junk), drive(), {}, &problem) == CacheBuildResult::failed &&
           problem == "the picture is not a JPEG file" && build(padded) == CacheBuildResult::built;
  });
  ASSERT_GE(peak, 0) << "a build did not answer as expected";
  EXPECT_LT(peak, 100);
  // The junk has its marker; the picture its cache file, named after the
  // whole file's size without a sign.
  EXPECT_TRUE(fs::file_size(cache_of(junk)) == 0 && cache_file_valid(from_utf8(cache_of(padded))));
  EXPECT_EQ(fs::path(cache_of(padded)).filename().string().substr(0, 10), "3221225472");
}

TEST_F(CacheFileTest, AStoppedBuildLeavesNothingAndKeepsAnEarlierFile) {
  // Levels of 550 x 350, 275 x 175 and 137 x 87; the thumbnail is cut from
  // the last at full scale.
  const std::string path = put("p.jpg", encode_picture(1100, 700));
  int lines = 0;
  ASSERT_EQ(build(path, [&] { return ++lines < 0; }), CacheBuildResult::built);
  // Asked before every decoded scan line: three passes with pixels (the
  // last level needs only its index) and the thumbnail's decode.
  EXPECT_EQ(lines, 700 + 350 + 175 + 87);
  const std::string cache = cache_of(path);
  const Bytes good = read_bytes(cache);
  fs::remove(cache);
  for (int at : {0, 1, 699, 700, 1225, 1311}) {
    int asked = 0;
    EXPECT_EQ(build(path, [&] { return asked++ >= at; }), CacheBuildResult::stopped) << at;
    EXPECT_EQ(std::pair(asked, cache_folder_entries()), std::pair(at + 1, size_t{0})) << at;
  }
  write_bytes(cache, good);
  int asked = 0;
  EXPECT_EQ(build(path, [&] { return asked++ >= 500; }), CacheBuildResult::stopped);
  EXPECT_TRUE(read_bytes(cache) == good && cache_folder_entries() == 1);
}

// ---- thumbnails and orientation ----

TEST_F(CacheFileTest, ThumbnailIsTurnedByItsOrientationAndOthersCountAsOne) {
  const Bytes base = encode_picture(300, 220);
  const std::string plain = built("plain.jpg", base);
  auto upright = load_thumbnail(from_utf8(plain), drive());
  ASSERT_TRUE(upright && upright->size() == (Size{64, 64}));
  const Image565 stored = pixels_of(*upright->surface());
  for (int o : {2, 5, 6}) {
    const std::string path = built("o" + std::to_string(o) + ".jpg", with_orientation(base, o));
    EXPECT_EQ(read_bytes(cache_of(path))[5], o);
    EXPECT_EQ(tile_pixels(load_thumbnail(from_utf8(path), drive())),
              turn_reference(stored, o).pixels)
        << "orientation " << o;
  }
  Bytes bytes = read_bytes(cache_of(plain));
  for (uint8_t o : {0, 9}) {
    bytes[5] = o;
    write_bytes(cache_of(plain), bytes);
    EXPECT_EQ(tile_pixels(load_thumbnail_file(from_utf8(cache_of(plain)))), stored.pixels) << +o;
  }
}

TEST_F(CacheFileTest, DamagedCacheFilesGiveNoThumbnail) {
  const std::string path = built("p.jpg", encode_picture(700, 500));
  const std::string cache = cache_of(path);
  const Bytes good = read_bytes(cache);
  const size_t thumb_record = 14 + 16 * good[4];
  const uint32_t thumb_offset = get32(good, thumb_record);
  const Bytes small_thumb = encode_reference({32, 32, 0, Bytes(32 * 32 * 3, 0)}, 95);
  Bytes truncated = slice(good, 0, good.size() - 10), small = slice(good, 0, thumb_offset);
  small.insert(small.end(), small_thumb.begin(), small_thumb.end());
  put32(small, thumb_record + 4, static_cast<uint32_t>(small_thumb.size()));
  Bytes zeros = good;  // a thumbnail that is no JPEG
  std::fill(zeros.begin() + thumb_offset, zeros.end(), 0);
  for (const Bytes& damaged : {truncated, small, zeros}) {
    write_bytes(cache, damaged);
    EXPECT_FALSE(load_thumbnail_file(from_utf8(cache))) << damaged.size();
  }
}

}  // namespace
}  // namespace lv
