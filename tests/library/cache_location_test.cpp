#include "library/cache_location.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "library/cache_file.h"
#include "library/library_test_support.h"
#include "platform/text.h"

namespace lv {
namespace {

namespace fs = std::filesystem;

std::string cache_home() {
  return std::getenv("XDG_CACHE_HOME");
}

TEST(CacheLocation, AWritableDriveKeepsItsCacheAtItsRoot) {
  const std::string drive = test::make_temp_dir("card") + "/";
  EXPECT_EQ(drive_cache_folder(from_utf8(drive)), from_utf8(drive + "!lumiviewcache"));
  fs::create_directory(drive + "!lumiviewcache");
  EXPECT_EQ(cache_folder(from_utf8(drive)), from_utf8(drive + "!lumiviewcache"));
  // A drive that is not there at all keeps its own name: nothing better exists.
  EXPECT_EQ(cache_folder(u"/no/such/card/"), u"/no/such/card/!lumiviewcache");
  EXPECT_EQ(card_cache_folder(u"/d"), u"/d/!lumiviewcache");
}

TEST(CacheLocation, FallbackNamesAreMadeFromTheWholeExpandedDrivePath) {
  EXPECT_EQ(fallback_cache_folder(u"/media/my card/"),
            from_utf8(cache_home()) + u"/lumiview/%2Fmedia%2Fmy card/!lumiviewcache");
  // '%' is escaped too, so that different drives never share a folder.
  EXPECT_EQ(fallback_cache_folder(u"/a%2Fb"),
            from_utf8(cache_home()) + u"/lumiview/%2Fa%252Fb/!lumiviewcache");
  EXPECT_EQ(fallback_cache_folder(u"/media/card"), fallback_cache_folder(u"/media/card/"));

  test::ScopedEnv env;
  env.set("LUMIVIEW_PICTURES", "/home/ann/Pictures");
  EXPECT_EQ(fallback_cache_folder(u"%my_documents%/"),
            from_utf8(cache_home()) + u"/lumiview/%2Fhome%2Fann%2FPictures/!lumiviewcache");

  // Very long drive paths still give a file name the file system takes,
  // and two of them that differ only early on stay apart.
  const std::string deep(400, 'x');
  const std::u16string one = fallback_cache_folder(from_utf8("/a/" + deep));
  const std::u16string two = fallback_cache_folder(from_utf8("/b/" + deep));
  EXPECT_NE(one, two);
  const std::string name = fs::path(to_utf8(one)).parent_path().filename().string();
  EXPECT_LE(name.size(), 200u);
}

// A drive whose root cannot be written: here a root that holds a file
// named like the cache folder, which no user can turn into a folder.
TEST(CacheLocation, ADriveThatCannotTakeItsCacheFolderUsesTheUsersCacheFolder) {
  const std::string drive = test::make_temp_dir("readonly") + "/";
  test::write_file(drive + "!lumiviewcache", "not a folder");
  const std::u16string expected = fallback_cache_folder(from_utf8(drive));
  EXPECT_EQ(cache_folder(from_utf8(drive)), expected);
}

TEST(CacheLocation, AReadOnlyRootUsesTheUsersCacheFolder) {
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser may write any folder";
  const std::string drive = test::make_temp_dir("readonly");
  ASSERT_EQ(::chmod(drive.c_str(), 0555), 0);
  EXPECT_EQ(cache_folder(from_utf8(drive + "/")), fallback_cache_folder(from_utf8(drive)));
  ::chmod(drive.c_str(), 0755);
  EXPECT_EQ(cache_folder(from_utf8(drive + "/")), from_utf8(drive + "/!lumiviewcache"));
}

}  // namespace
}  // namespace lv
