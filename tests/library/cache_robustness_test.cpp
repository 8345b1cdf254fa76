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

#include "jpeg/jpeg_test_support.h"
#include "library/cache_build.h"
#include "library/cache_file.h"
#include "library/cache_tile_source.h"
#include "library/picture_tile_source.h"
#include "platform/text.h"
#include "skin/render_surface.h"
#include "support/test_env.h"

namespace lv {
namespace {

namespace fs = std::filesystem;

// The pictures under the folder, in name order; of the fuzz inputs only
// every fourth unless `all_fuzz` holds.
std::vector<std::string> pictures_under(const std::string& folder, bool all_fuzz) {
  std::vector<std::string> sample;
  size_t fuzz = 0;
  for (const std::string& path : test::files_under(folder, true)) {
    const std::string extension = fs::path(path).extension().string();
    if (path.ends_with("README") || path.ends_with("MANIFEST.txt") || extension == ".png" ||
        extension == ".md" || extension == ".list")
      continue;
    if (path.find("/fuzz/") == std::string::npos || all_fuzz || fuzz++ % 4 == 0)
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
  ASSERT_TRUE(fs::exists(cache_path));
  const bool built = result == CacheBuildResult::built;
  if (!built) EXPECT_EQ(fs::file_size(cache_path), 0u);
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
