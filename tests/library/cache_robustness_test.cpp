// Every picture of the shared test data, broken ones included, goes through
// the cache build, thumbnail loading and both tile sources without a crash
// or a hang (run it under the sanitizers to catch reads outside a buffer);
// a failed build leaves exactly the empty marker file.
//
// The 1,837 fuzz inputs of zune/fuzz are sampled (every fourth) unless
// LUMIVIEW_ALL_FUZZ_INPUTS is set.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "library/cache_build.h"
#include "library/cache_file.h"
#include "library/cache_tile_source.h"
#include "jpeg/jpeg_test_support.h"
#include "library/picture_tile_source.h"
#include "platform/text.h"
#include "skin/render_surface.h"
#include "support/test_env.h"

namespace lv {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> pictures_under(const std::string& folder, size_t sample_every) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    const std::string extension = entry.path().extension().string();
    if (name == "README" || name == "MANIFEST.txt" || extension == ".png" || extension == ".md" ||
        extension == ".list")
      continue;
    files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  if (sample_every <= 1) return files;
  std::vector<std::string> sample;
  for (size_t i = 0; i < files.size(); i += sample_every) sample.push_back(files[i]);
  return sample;
}

struct Tally {
  int built = 0;
  int failed = 0;
  int tiles = 0;
};

// The corners of a level and one tile past them.
void ask_tiles(TileSource& source, int level, Tally& tally) {
  const Size shown = source.full_size();
  const int scale = 1 << std::min(30, source.top_level() - level);
  const int columns = std::max(1, (shown.width / scale + 255) / 256);
  const int rows = std::max(1, (shown.height / scale + 255) / 256);
  for (auto [c, r] : {std::pair{0, 0}, {columns - 1, rows - 1}, {columns - 1, 0}, {columns, rows}})
    if (source.make_tile(c, r, level)) ++tally.tiles;
}

void exercise(const std::string& picture, const std::u16string& drive, Tally& tally) {
  SCOPED_TRACE(picture);
  const std::u16string path = from_utf8(picture);
  const CacheBuildResult result = make_cache_file(path, drive);
  ASSERT_NE(result, CacheBuildResult::stopped);
  const std::u16string cache = cache_name(path, drive);
  ASSERT_FALSE(cache.empty());
  const fs::path cache_path(to_utf8(cache));
  ASSERT_TRUE(fs::exists(cache_path));
  if (result == CacheBuildResult::failed) {
    ++tally.failed;
    EXPECT_EQ(fs::file_size(cache_path), 0u);
    EXPECT_FALSE(cache_valid(path, drive));
    EXPECT_FALSE(load_thumbnail(path, drive));
    EXPECT_FALSE(CacheTileSource(path, drive).ready());
  } else {
    ++tally.built;
    EXPECT_TRUE(cache_valid(path, drive));
    auto thumbnail = load_thumbnail(path, drive);
    EXPECT_TRUE(thumbnail);
    if (thumbnail) {
      EXPECT_EQ(thumbnail->size(), (Size{64, 64}));
    }
    CacheTileSource cached(path, drive);
    EXPECT_TRUE(cached.ready()) << cached.problem();
    for (int level = 0; level <= cached.top_level(); ++level) ask_tiles(cached, level, tally);
  }
  PictureTileSource direct(path);
  if (direct.ready()) {
    const int top = direct.top_level();
    // Whole decodes of the largest pictures at full size take long under
    // the sanitizers; their reduced levels cover the same code.
    const Size shown = direct.full_size();
    const bool large = int64_t{shown.width} * shown.height > (4 << 20);
    for (int level = std::max(0, top - 3); level <= top - (large ? 1 : 0); ++level)
      ask_tiles(direct, level, tally);
  }
  std::error_code ignored;
  fs::remove(cache_path, ignored);
}

class CacheRobustness : public testing::TestWithParam<const char*> {};

TEST_P(CacheRobustness, EveryPictureOfTheFolder) {
  LV_REQUIRE_TESTDATA();
  const std::string folder = test::testdata_path(std::string("jpeg/") + GetParam());
  const bool sample =
      std::string(GetParam()) == "zune/fuzz" && !std::getenv("LUMIVIEW_ALL_FUZZ_INPUTS");
  const std::vector<std::string> pictures = pictures_under(folder, sample ? 4 : 1);
  ASSERT_FALSE(pictures.empty()) << folder;
  const std::u16string drive = from_utf8(test::make_temp_dir("drive") + "/");
  Tally tally;
  for (const std::string& picture : pictures) exercise(picture, drive, tally);
  std::printf("%s: %zu pictures, %d built, %d failed, %d tiles\n", GetParam(), pictures.size(),
              tally.built, tally.failed, tally.tiles);
  EXPECT_EQ(tally.built + tally.failed, static_cast<int>(pictures.size()));
}

INSTANTIATE_TEST_SUITE_P(Folders, CacheRobustness,
                         testing::Values("exif-ianare", "exif-pillow", "exiv2-poc", "go",
                                         "jpeg-decoder", "large", "libjpeg-turbo", "zune/fuzz"),
                         test::folder_test_name);

// The zune folder without its fuzz inputs.
TEST(CacheRobustnessZune, EveryPictureOutsideTheFuzzFolder) {
  LV_REQUIRE_TESTDATA();
  const std::u16string drive = from_utf8(test::make_temp_dir("drive") + "/");
  Tally tally;
  int count = 0;
  for (const auto& entry : fs::directory_iterator(test::testdata_path("jpeg/zune"))) {
    if (!entry.is_regular_file()) continue;
    exercise(entry.path().string(), drive, tally);
    ++count;
  }
  std::printf("zune: %d pictures, %d built, %d failed, %d tiles\n", count, tally.built,
              tally.failed, tally.tiles);
  EXPECT_GT(count, 10);
}

}  // namespace
}  // namespace lv
