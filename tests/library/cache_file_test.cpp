#include "library/cache_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/file_util.h"
#include "base/log_capture.h"
#include "library/cache_build.h"
#include "library/cache_test_support.h"
#include "library/level_reducer.h"
#include "library/libjpeg_codec.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "skin/render_surface.h"
#include "skin/surface.h"

namespace lv {
namespace {

using namespace lv::test;
namespace fs = std::filesystem;

Bytes slice(const Bytes& b, size_t offset, size_t size) {
  if (offset + size > b.size()) return {};
  return Bytes(b.begin() + offset, b.begin() + offset + size);
}

class CacheFileTest : public DriveTest {
 protected:
  std::vector<std::string> cache_folder_entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(m_drive + "!lumiviewcache"))
      names.push_back(e.path().filename().string());
    return names;
  }
};

// ---- names, level counts, sizes ----

TEST_F(CacheFileTest, NamesAreTheFileSizeAndCreationTimeDigits) {
  std::tm created{};
  created.tm_mon = 2;  // March
  created.tm_mday = 5;
  created.tm_hour = 14;
  created.tm_min = 7;
  created.tm_sec = 9;
  created.tm_year = 99;  // takes no part
  EXPECT_EQ(cache_name_for(1234567, created, u"/media/card/"),
            u"/media/card/!lumiviewcache/1234567351479");
  EXPECT_EQ(cache_name_for(1234567, created, u"/media/card"),
            u"/media/card/!lumiviewcache/1234567351479");
  // The size is unsigned: files of 2 GB and more get no '-', and the
  // names of smaller ones stay what they always were.
  EXPECT_EQ(cache_name_for(0x7FFFFFFFull, created, u"/d/"), u"/d/!lumiviewcache/2147483647351479");
  EXPECT_EQ(cache_name_for(0xFFFFFFFEull, created, u"/d/"), u"/d/!lumiviewcache/4294967294351479");
  EXPECT_EQ(cache_name_for(0x1'0000'0010ull, created, u"/d/"),
            u"/d/!lumiviewcache/4294967312351479");
  // A drive that names no folder has no cache files at all.
  EXPECT_EQ(cache_name_for(1234567, created, u""), u"");
  EXPECT_EQ(cache_name_for(1234567, created, u"relative/"), u"");

  const std::string path = put("a.jpg", Bytes(1000, 7));
  EXPECT_EQ(cache_name(from_utf8(path), drive()),
            cache_name_for(1000, file_info(from_utf8(path)).creation, drive()));
  EXPECT_EQ(cache_name(from_utf8(m_drive + "pics/none.jpg"), drive()), u"");
  EXPECT_EQ(cache_name(from_utf8(m_drive + "pics"), drive()), u"");
}

TEST(LevelCount, HalvesUntilTheLongerSideIsAtMost256AndNoSideBecomesZero) {
  const std::pair<int, int> table[] = {{256, 0},  {257, 1},  {512, 1},  {513, 2},
                                       {1024, 2}, {1025, 3}, {4097, 5}, {65500, 8}};
  for (auto [side, levels] : table) {
    EXPECT_EQ(level_count(side, 1), levels) << side;
    EXPECT_EQ(level_count(1, side), levels) << side;
  }
  EXPECT_EQ(level_count(0, 0), 0);
  const LevelSize panorama{10000, 40};
  ASSERT_EQ(level_count(panorama.width, panorama.height), 6);
  const LevelSize expected[] = {{10000, 40}, {5000, 20}, {2500, 10}, {1250, 5},
                                {625, 2},    {312, 1},   {156, 1}};
  for (int i = 0; i <= 6; ++i) EXPECT_EQ(level_size(panorama, i), expected[i]) << i;
  EXPECT_EQ(reduced_size({1, 1}), (LevelSize{1, 1}));
  EXPECT_EQ(reduced_size({7, 3}), (LevelSize{3, 1}));
}

// ---- the 2 x 2 reduction ----

TEST(LevelReducer, RefusesRowsBeyondTheInputTheRoomOrAnEarlyFinish) {
  const uint8_t row[16] = {};
  LevelReducer early({2, 2}, [](const uint8_t*) { return true; });
  EXPECT_TRUE(early.push(row));
  EXPECT_FALSE(early.finish());  // a row is missing
  LevelReducer full({2, 2}, [](const uint8_t*) { return true; });
  EXPECT_TRUE(full.push(row) && full.push(row));
  EXPECT_FALSE(full.push(row));
  LevelReducer refused({2, 2}, [](const uint8_t*) { return false; });
  EXPECT_TRUE(refused.push(row));
  EXPECT_FALSE(refused.push(row));

  LevelReducer rows(
      {4, 3}, [](const uint8_t*) { return true; }, 4);
  EXPECT_EQ(rows.row_pitch(), 16u);
  EXPECT_EQ(rows.rows_room(), 2);
  EXPECT_TRUE(rows.push_rows(1));
  EXPECT_EQ(rows.rows_room(), 1);
  EXPECT_FALSE(rows.push_rows(2));  // one row of room only
  EXPECT_EQ(rows.rows_room(), 0);   // and the reducer has failed for good
  EXPECT_FALSE(rows.finish());
  LevelReducer last(
      {4, 3}, [](const uint8_t*) { return true; }, 4);
  EXPECT_TRUE(last.push_rows(2));
  EXPECT_EQ(last.rows_room(), 1);  // the odd last row
  EXPECT_FALSE(last.push_rows(0));
}

// Against the plain reduction: rounded means, an odd last column or row
// dropped, a side of one averaged with itself. Widths around the reducer's
// chunks of sixteen pixel pairs; rows straight into the reducer, as a
// decoder writes them.
TEST(LevelReducer, RgbAndRgbxRowsHalveLikeThePlainReduction) {
  for (int bytes : {3, 4})
    for (auto [width, height] : {std::pair{1, 5}, {4, 1}, {5, 3}, {33, 2}, {34, 5}, {67, 4}}) {
      SCOPED_TRACE(std::to_string(bytes) + " bytes, " + std::to_string(width) + " x " +
                   std::to_string(height));
      const RgbPicture picture{width, height, 0, make_pixels(width, height, 3, Content::noise)};
      Bytes got;
      LevelReducer reducer(
          {width, height},
          [&](const uint8_t* row) {
            for (int x = 0; x < reducer.output_size().width; ++x)
              got.insert(got.end(), row + x * bytes, row + x * bytes + 3);
            return true;
          },
          bytes);
      for (int y = 0; y < height;) {
        const int room = reducer.rows_room();
        ASSERT_GE(room, 1);
        for (int i = 0; i < room; ++i)
          for (int x = 0; x < width; ++x)
            std::memcpy(reducer.rows_buffer() + i * reducer.row_pitch() + x * bytes,
                        pixel_at(picture, x, y + i), 3);
        ASSERT_TRUE(reducer.push_rows(room));
        y += room;
      }
      ASSERT_TRUE(reducer.finish());
      EXPECT_EQ(got, reduce_reference(picture).rgb);
    }
}

// ---- the header ----

CacheHeader sample_header() {
  CacheHeader h;
  h.levels = 2;
  h.orientation = 6;
  h.records = {{54, 34, 0, 0}, {88, 17, 105, 100}, {205, 0, 205, 50}};
  h.thumbnail_offset = 255;
  h.thumbnail_size = 45;
  return h;
}

TEST(CacheHeader, EncodesEveryFieldLittleEndianInItsPlace) {
  const Bytes bytes = sample_header().encode();
  const Bytes expected = {19,  0, 0, 0, 2,  6,                                    // format, L, EXIF
                          54,  0, 0, 0, 34, 0, 0, 0,                              // level 0 index
                          88,  0, 0, 0, 17, 0, 0, 0, 105, 0, 0, 0, 100, 0, 0, 0,  // level 1
                          205, 0, 0, 0, 0,  0, 0, 0, 205, 0, 0, 0, 50,  0, 0, 0,  // level 2
                          255, 0, 0, 0, 45, 0, 0, 0};                             // thumbnail
  EXPECT_EQ(bytes, expected);
  CacheHeader back;
  ASSERT_TRUE(parse_cache_header(bytes.data(), bytes.size(), 300, back));
  EXPECT_EQ(back.levels, 2);
  EXPECT_EQ(back.orientation, 6);
  EXPECT_EQ(back.records, sample_header().records);
  EXPECT_EQ(back.thumbnail_offset, 255u);
  EXPECT_EQ(back.thumbnail_size, 45u);
}

TEST(CacheHeader, RefusesEveryBrokenLayout) {
  const Bytes good = sample_header().encode();
  struct Case {
    const char* what;
    std::function<void(Bytes&)> change;
    uint64_t file_size;
  };
  const Case cases[] = {
      {"another format", [](Bytes& b) { b[0] = 18; }, 300},
      {"file ends inside the header", [](Bytes&) {}, 40},
      {"file ends before the thumbnail's end", [](Bytes&) {}, 299},
      {"level 0 index not after the header", [](Bytes& b) { put32(b, 6, 53); }, 300},
      {"index of a partial entry", [](Bytes& b) { put32(b, 10, 33); }, 300},
      {"level 1 index not after level 0's", [](Bytes& b) { put32(b, 14, 89); }, 300},
      {"level 1 image not after its index", [](Bytes& b) { put32(b, 22, 104); }, 300},
      {"level 2 index not after level 1's image", [](Bytes& b) { put32(b, 30, 200); }, 300},
      {"an empty level image", [](Bytes& b) { put32(b, 42, 0); }, 300},
      {"thumbnail out of place", [](Bytes& b) { put32(b, 46, 256); }, 300},
      {"empty thumbnail", [](Bytes& b) { put32(b, 50, 0); }, 300},
      {"thumbnail size beyond the file", [](Bytes& b) { put32(b, 50, 0xFFFFFFF0u); }, 300},
      {"image size that wraps", [](Bytes& b) { put32(b, 26, 0xFFFFFF9Bu); }, 300},
      {"more levels than the header holds", [](Bytes& b) { b[4] = 3; }, 300},
  };
  for (const Case& c : cases) {
    Bytes bytes = good;
    c.change(bytes);
    CacheHeader header;
    std::string problem;
    EXPECT_FALSE(parse_cache_header(bytes.data(), bytes.size(), c.file_size, header, &problem))
        << c.what;
    EXPECT_FALSE(problem.empty()) << c.what;
  }
  CacheHeader header;
  EXPECT_FALSE(parse_cache_header(good.data(), 5, 300, header));
  EXPECT_TRUE(parse_cache_header(good.data(), good.size(), 300, header));
}

// ---- the layouts of the edge cases, byte by byte ----

// Every block held against an independent computation: the indexes against
// the own decoder's scan, each level against libjpeg's encode of the reduced
// previous level, the thumbnail against the encode of its window.
TEST_F(CacheFileTest, LayoutsOfTheEdgeCasesByteByByte) {
  EncodeOptions gray, restarts;
  gray.components = 1;
  restarts.restart_rows = 1;
  restarts.luma_v = 1;
  struct Case {
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
  for (const Case& e : cases) {
    SCOPED_TRACE(e.what);
    const Bytes picture = encode_picture(e.width, e.height, e.options);
    const Bytes cache = read_bytes(cache_of(built(std::string(e.what) + ".jpg", picture)));
    const int levels = static_cast<int>(e.sizes.size());
    ASSERT_GE(cache.size(), 22u + 16u * levels);
    EXPECT_EQ(get32(cache, 0), 19u);
    EXPECT_EQ(cache[4], levels);
    EXPECT_EQ(cache[5], 1);
    uint32_t at = 22 + 16 * levels;
    EXPECT_EQ(get32(cache, 6), at);
    EXPECT_EQ(slice(cache, at, get32(cache, 10)), scan_index(picture));
    at += get32(cache, 10);
    Bytes previous = picture;
    for (int i = 1; i <= levels; ++i) {
      const size_t record = 14 + 16 * (i - 1);
      EXPECT_EQ(get32(cache, record), at) << "level " << i;
      const uint32_t index_size = get32(cache, record + 4);
      EXPECT_EQ(get32(cache, record + 8), at + index_size) << "level " << i;
      const Bytes image = slice(cache, at + index_size, get32(cache, record + 12));
      ASSERT_FALSE(image.empty()) << "level " << i;
      const RgbPicture reduced = reduce_reference(decode_reference(previous));
      EXPECT_EQ(reduced.width, e.sizes[i - 1].width);
      EXPECT_EQ(reduced.height, e.sizes[i - 1].height);
      EXPECT_EQ(image, encode_reference(reduced, 75)) << "level " << i;
      EXPECT_EQ(slice(cache, at, index_size), scan_index(image)) << "level " << i;
      at += index_size + get32(cache, record + 12);
      previous = image;
    }
    const size_t thumb_record = 14 + 16 * levels;
    EXPECT_EQ(get32(cache, thumb_record), at);
    const uint32_t thumb_size = get32(cache, thumb_record + 4);
    EXPECT_EQ(at + thumb_size, cache.size());
    const RgbPicture window =
        window_reference(decode_reference(previous, e.thumb_scale), e.x0, e.y0);
    EXPECT_EQ(slice(cache, at, thumb_size), encode_reference(window, 95));
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
  EXPECT_GT(get32(cache, 18), 0u);

  // Four components are converted, not misread as three.
  const Bytes cmyk = read_bytes(cache_of(built(
      "cmyk.jpg", read_bytes(testdata_path("jpeg/jpeg-decoder/reftest/mozilla/jpg-cmyk-2.jpg")))));
  EXPECT_EQ(get32(cmyk, 10), 0u);
  JpegHeader thumb;
  const Bytes thumb_bytes = slice(cmyk, get32(cmyk, 14), get32(cmyk, 18));
  ASSERT_TRUE(read_jpeg_header(thumb_bytes.data(), thumb_bytes.size(), thumb));
  EXPECT_EQ(thumb.components, 3);
  EXPECT_EQ(thumb.width, 64);
}

// ---- failures, stops, the temporary file ----

TEST_F(CacheFileTest, AFailedBuildLeavesExactlyTheEmptyMarkerAndLogsItsEnd) {
  Bytes cut = encode_picture(300, 200);
  cut.resize(150);  // inside the header
  test::start_fresh_log();
  for (const auto& [name, bytes] : {std::pair{"junk.jpg", Bytes(5000, 0x42)}, {"cut.jpg", cut}}) {
    const std::string path = put(name, bytes);
    std::string problem;
    EXPECT_EQ(make_cache_file(from_utf8(path), drive(), {}, &problem), CacheBuildResult::failed);
    EXPECT_FALSE(problem.empty());
    const std::string cache = cache_of(path);
    ASSERT_TRUE(fs::exists(cache)) << name;
    EXPECT_EQ(fs::file_size(cache), 0u) << name;
    EXPECT_FALSE(cache_file_valid(from_utf8(cache)));
    EXPECT_FALSE(load_thumbnail(from_utf8(path), drive()));
  }
  const std::u16string text = test::read_log_text();
  test::set_log_switch(0);
  EXPECT_NE(text.find(u"Time for create cache begin "), std::u16string::npos);
  EXPECT_NE(text.find(u"Time for create cache end "), std::u16string::npos);
  EXPECT_EQ(cache_folder_entries().size(), 2u);  // no temporary files left

  // A good file whose picture can no longer be decoded becomes the marker.
  const std::string path = built("p.jpg", encode_picture(300, 200));
  const std::string cache = cache_of(path);
  write_bytes(path, Bytes(fs::file_size(path), 0x11));
  ASSERT_EQ(cache_of(path), cache);
  EXPECT_EQ(build(path), CacheBuildResult::failed);
  EXPECT_EQ(fs::file_size(cache), 0u);
}

// Runs the builds in a child process and answers how far they raised its
// peak memory above what it had at the start, in bytes (-1 when a build did
// not answer as expected). A child of its own, so that no earlier test's
// peak hides the builds'.
long long build_peak_bytes(const std::function<bool()>& builds) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    long pages = 0, resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    const bool read = statm && std::fscanf(statm, "%ld %ld", &pages, &resident) == 2;
    if (statm) std::fclose(statm);
    const bool ok = read && builds();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const long long peak = usage.ru_maxrss * 1024LL - resident * ::sysconf(_SC_PAGESIZE);
    // In MB, as the exit status.
    std::_Exit(ok ? static_cast<int>(std::clamp(peak >> 20, 0LL, 250LL)) : 255);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status) == 255 ? -1 : static_cast<long long>(WEXITSTATUS(status)) << 20;
}

TEST_F(CacheFileTest, AHugeFileIsReadOnlyAsFarAsItsPictureReaches) {
  constexpr off_t kThreeGigabytes = 3LL << 30;
  // Sparse: nothing but zeros, named like a picture; and a picture with
  // three gigabytes of zeros after it.
  const std::string junk = put("x.jpg", Bytes(1, 0));
  const std::string padded = put("padded.jpg", encode_picture(640, 480));
  // (Sizes of their own: files of one size made in one second share a name.)
  ASSERT_EQ(::truncate(junk.c_str(), kThreeGigabytes + 1), 0);
  ASSERT_EQ(::truncate(padded.c_str(), kThreeGigabytes), 0);

  std::string junk_problem;
  const long long peak = build_peak_bytes([&] {
    return make_cache_file(from_utf8(junk), drive(), {}, &junk_problem) ==
               CacheBuildResult::failed &&
           build(padded) == CacheBuildResult::built;
  });
  ASSERT_GE(peak, 0) << "a build did not answer as expected";
  EXPECT_LT(peak, 100LL << 20);
  // The junk has its marker; the picture its cache file, named after the
  // whole file's size without a sign.
  EXPECT_EQ(fs::file_size(cache_of(junk)), 0u);
  EXPECT_TRUE(cache_file_valid(from_utf8(cache_of(padded))));
  EXPECT_EQ(fs::path(cache_of(padded)).filename().string().substr(0, 10), "3221225472");
  std::string problem;
  EXPECT_EQ(make_cache_file(from_utf8(junk), drive(), {}, &problem), CacheBuildResult::failed);
  EXPECT_EQ(problem, "the picture is not a JPEG file");
}

TEST_F(CacheFileTest, NothingIsMadeForADriveThatIsNotThereOrNamesNoFolder) {
  const std::string path = put("p.jpg", encode_picture(300, 200));
  // A card pulled while its pictures were queued: its mount point is gone.
  const std::string mount = m_drive + "media/card";
  EXPECT_EQ(make_cache_file(from_utf8(path), from_utf8(mount + "/")), CacheBuildResult::failed);
  EXPECT_FALSE(fs::exists(m_drive + "media"));

  // A drive path lost from the folder list: nothing in the working folder.
  const fs::path working = fs::current_path();
  fs::current_path(m_drive + "pics");
  const CacheBuildResult result = make_cache_file(from_utf8(path), u"");
  const bool made_here = fs::exists("!lumiviewcache");
  fs::current_path(working);
  EXPECT_EQ(result, CacheBuildResult::failed);
  EXPECT_FALSE(made_here);
  EXPECT_EQ(cache_name(from_utf8(path), u""), u"");
}

TEST_F(CacheFileTest, AStoppedBuildLeavesNothingAndKeepsAnEarlierFile) {
  // Levels of 550 x 350, 275 x 175 and 137 x 87; the thumbnail is cut from
  // the last at full scale.
  const std::string path = put("p.jpg", encode_picture(1100, 700));
  int lines = 0;
  ASSERT_EQ(build(path,
                  [&] {
                    ++lines;
                    return false;
                  }),
            CacheBuildResult::built);
  const std::string cache = cache_of(path);
  const Bytes good = read_bytes(cache);
  // Asked before every decoded scan line: three passes with pixels (the
  // last level needs only its index) and the thumbnail's decode.
  EXPECT_EQ(lines, 700 + 350 + 175 + 87);
  fs::remove(cache);
  for (int at : {0, 1, 699, 700, 1225, 1311}) {
    int asked = 0;
    EXPECT_EQ(build(path, [&] { return asked++ >= at; }), CacheBuildResult::stopped) << at;
    EXPECT_EQ(asked, at + 1) << at;
    EXPECT_TRUE(cache_folder_entries().empty()) << at;
  }
  write_bytes(cache, good);
  int asked = 0;
  EXPECT_EQ(build(path, [&] { return asked++ >= 500; }), CacheBuildResult::stopped);
  EXPECT_EQ(read_bytes(cache), good);
  EXPECT_EQ(cache_folder_entries().size(), 1u);
}

TEST_F(CacheFileTest, TheFolderIsMadeAndEveryStepIsLogged) {
  const std::string path = put("p.jpg", encode_picture(640, 480));
  platform::set_tick_source([] { return 5000u; });
  test::start_fresh_log();
  ASSERT_EQ(build(path), CacheBuildResult::built);
  const std::u16string text = test::read_log_text();
  test::set_log_switch(0);
  platform::set_tick_source({});
  const std::u16string folder = from_utf8(m_drive + "!lumiviewcache");
  const std::u16string expected =
      u"Time for create cache begin 0.000000\n"
      u"create cache time 0 0.000000\n"
      u"create cache time 1 0.000000\n"
      u"create cache time 2 0.000000\n"
      u"Time for create cache end 0.000000\n";
  ASSERT_GE(text.size(), expected.size());
  EXPECT_EQ(text.substr(text.size() - expected.size()), expected);
  EXPECT_NE(text.find(u"CreateDirectoryW {" + folder + u"} result=1\n"), std::u16string::npos);
}

// ---- thumbnails and orientation ----

TEST_F(CacheFileTest, ThumbnailIsTurnedByItsOrientationAndOthersCountAsOne) {
  const Bytes base = encode_picture(300, 220);
  const std::string plain = built("plain.jpg", base);
  auto upright = load_thumbnail(from_utf8(plain), drive());
  ASSERT_TRUE(upright);
  ASSERT_EQ(upright->size(), (Size{64, 64}));
  const Image565 stored = pixels_of(*upright->surface());
  for (int o : {2, 5, 6}) {
    const std::string path = built("o" + std::to_string(o) + ".jpg", with_orientation(base, o));
    EXPECT_EQ(read_bytes(cache_of(path))[5], o);
    auto thumbnail = load_thumbnail(from_utf8(path), drive());
    ASSERT_TRUE(thumbnail) << o;
    EXPECT_EQ(pixels_of(*thumbnail->surface()).pixels, turn_reference(stored, o).pixels)
        << "orientation " << o;
  }
  const std::string cache = cache_of(plain);
  Bytes bytes = read_bytes(cache);
  for (uint8_t o : {0, 9}) {
    bytes[5] = o;
    write_bytes(cache, bytes);
    auto thumbnail = load_thumbnail_file(from_utf8(cache));
    ASSERT_TRUE(thumbnail) << int{o};
    EXPECT_EQ(pixels_of(*thumbnail->surface()).pixels, stored.pixels);
  }
}

TEST_F(CacheFileTest, DamagedCacheFilesGiveNoThumbnail) {
  const std::string path = built("p.jpg", encode_picture(700, 500));
  const std::string cache = cache_of(path);
  const Bytes good = read_bytes(cache);
  const size_t thumb_record = 14 + 16 * good[4];
  const uint32_t thumb_offset = get32(good, thumb_record);
  ASSERT_LT(thumb_offset, good.size());
  const Bytes small_thumb = encode_reference({32, 32, 0, Bytes(32 * 32 * 3, 0)}, 95);
  const std::vector<std::pair<const char*, std::function<void(Bytes&)>>> damages = {
      {"truncated in the thumbnail", [&](Bytes& b) { b.resize(b.size() - 10); }},
      {"empty", [](Bytes& b) { b.clear(); }},
      {"thumbnail of 32 x 32",
       [&](Bytes& b) {
         b.resize(thumb_offset);
         b.insert(b.end(), small_thumb.begin(), small_thumb.end());
         put32(b, thumb_record + 4, static_cast<uint32_t>(small_thumb.size()));
       }},
      {"thumbnail not a JPEG", [&](Bytes& b) { std::fill(b.begin() + thumb_offset, b.end(), 0); }},
  };
  for (const auto& [what, damage] : damages) {
    Bytes bytes = good;
    damage(bytes);
    write_bytes(cache, bytes);
    EXPECT_FALSE(load_thumbnail_file(from_utf8(cache))) << what;
  }
  fs::remove(cache);
  EXPECT_FALSE(load_thumbnail(from_utf8(path), drive()));
  EXPECT_FALSE(cache_valid(from_utf8(path), drive()));
}

}  // namespace
}  // namespace lv
