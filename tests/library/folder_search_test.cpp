#include "library/folder_search.h"

#include <gtest/gtest.h>

#include "library/cache_build.h"
#include "library/cache_file.h"
#include "library/library_state.h"
#include "library/library_test_support.h"
#include "platform/text.h"

namespace lv {
namespace {

namespace fs = std::filesystem;
using namespace test::library;

std::vector<std::u16string> queued_pictures(const LibraryState& state) {
  std::vector<std::u16string> pictures;
  for (const auto& [folder, entry] : state.queue.entries())
    for (const auto& item : entry.items) pictures.push_back(item.picture);
  return pictures;
}

class FolderSearchTest : public testing::Test {
 protected:
  SearchSummary search(StopRequest stop = {}) {
    return FolderSearch(state, std::move(stop)).search();
  }
  std::string cache_dir(int card) const { return device.card(card) + "/!lumiviewcache"; }
  std::vector<std::string> cache_entries(int card) const {
    std::vector<std::string> names;
    if (!fs::exists(cache_dir(card))) return names;
    for (const auto& e : fs::directory_iterator(cache_dir(card)))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::string summary_of(const SearchSummary& s) {
    return std::string(s.complete ? "complete" : "stopped") + ", " + std::to_string(s.drives) +
           " drives, " + std::to_string(s.pictures) + " pictures, " + std::to_string(s.cached) +
           " cached, " + std::to_string(s.queued) + " queued, " + std::to_string(s.deleted) +
           " deleted";
  }
  std::string cache_of(const std::string& picture, int card) const {
    return to_utf8(cache_name(u(picture), device.card_drive(card)));
  }

  Device device{2};
  LibraryState state;
};

TEST_F(FolderSearchTest, FoldersComeInWalkOrderCardsFirstWithTheirKeyPicturesAndSizes) {
  // A *.jpeg is found after every *.jpg of the drive, so it is no key
  // picture even when its name sorts first; Windows, Program Files and the
  // cache folder are left out.
  for (const char* name :
       {"root.jpg", "DCIM/100CANON/IMG_2.JPG", "DCIM/100CANON/IMG_1.jpg", "Mixed/a.jpeg",
        "Mixed/b.jpg", "Windows wallpapers/w.jpg", "Program Files/Viewer/p.jpg",
        "Trip/Windows/t.jpg", "Only skipped/Windows/s.jpg", "!lumiviewcache/sent.jpg"})
    device.put(device.card(0), name);
  test::write_file(device.card(0) + "/Mixed/notes.txt", "text");
  device.put(device.card(1), "Z/z.jpg");
  for (const char* name : {"m.jpg", "Holiday/h2.jpeg", "Holiday/h1.jpg"})
    device.put(device.pictures(), name);

  EXPECT_EQ(summary_of(search()), "complete, 3 drives, 9 pictures, 0 cached, 9 queued, 1 deleted");

  const std::u16string d0 = device.card_drive(0), d1 = device.card_drive(1);
  const std::u16string docs_drive = u"%my_documents%/";
  const std::vector<FolderRecord> expected = {
      {d0, d0, d0 + u"root.jpg", 1},
      {d0, d0 + u"DCIM/100CANON/", d0 + u"DCIM/100CANON/IMG_1.jpg", 2},
      {d0, d0 + u"Mixed/", d0 + u"Mixed/b.jpg", 2},
      {d1, d1 + u"Z/", d1 + u"Z/z.jpg", 1},
      {docs_drive, docs_drive, docs_drive + u"m.jpg", 1},
      {docs_drive, docs_drive + u"Holiday/", docs_drive + u"Holiday/h1.jpg", 2},
  };
  EXPECT_EQ(state.folders, expected);

  // Queued by folder path, each folder's pictures in the order found.
  EXPECT_EQ(
      queued_pictures(state),
      (std::vector<std::u16string>{docs_drive + u"m.jpg", docs_drive + u"Holiday/h1.jpg",
                                   docs_drive + u"Holiday/h2.jpeg", d0 + u"root.jpg",
                                   d0 + u"DCIM/100CANON/IMG_1.jpg", d0 + u"DCIM/100CANON/IMG_2.JPG",
                                   d0 + u"Mixed/b.jpg", d0 + u"Mixed/a.jpeg", d1 + u"Z/z.jpg"}));
  EXPECT_TRUE(state.queue.entries().at(d0 + u"DCIM/100CANON/").drive == d0 &&
              state.queue.entries().at(docs_drive).drive == docs_drive);
  EXPECT_EQ(std::pair(state.progress.maximum(), state.progress.value()), std::pair(9, 0));
}

TEST_F(FolderSearchTest, CacheFilesOfPicturesStayAndEmptyStaleAndStrayEntriesGo) {
  const std::string c0 = device.card(0), kept = device.put(c0, "A/kept.jpg"),
                    damaged = device.put(c0, "A/damaged.jpg"),
                    marked = device.put(c0, "A/marked.jpg"), cut = device.put(c0, "A/cut.jpg"),
                    crashed = device.put(c0, "A/crashed.jpg");
  for (const std::string& p : {kept, cut})
    ASSERT_EQ(make_cache_file(u(p), device.card_drive(0)), CacheBuildResult::built);
  const std::string kept_cache = test::read_file(cache_of(kept, 0));
  // Not format 19 (no header is read by the search: the screens find it
  // out when they read it and have it made again); the empty marker of a
  // failed build; a file shorter than any header; what a build killed
  // during its write leaves beside the name; a file of no picture; an empty
  // folder, and one that is not.
  test::write_file(cache_of(damaged, 0), std::string("\x12\0\0\0", 4) + kept_cache.substr(4));
  test::write_file(cache_of(marked, 0), "");
  test::write_file(cache_of(cut, 0), kept_cache.substr(0, 21));
  test::write_file(cache_of(crashed, 0) + ".tmp-4242-0-17", kept_cache.substr(0, 100));
  test::write_file(cache_dir(0) + "/123456789", kept_cache);
  fs::create_directory(cache_dir(0) + "/leftover");
  fs::create_directories(cache_dir(0) + "/full/x");

  EXPECT_EQ(summary_of(search()), "complete, 3 drives, 5 pictures, 2 cached, 3 queued, 5 deleted");
  std::vector<std::string> left = {fs::path(cache_of(kept, 0)).filename(),
                                   fs::path(cache_of(damaged, 0)).filename(), "full"};
  std::sort(left.begin(), left.end());
  EXPECT_EQ(cache_entries(0), left);
  EXPECT_EQ(test::read_file(cache_of(kept, 0)), kept_cache);
  EXPECT_EQ(queued_pictures(state), (std::vector<std::u16string>{u(crashed), u(cut), u(marked)}));
  EXPECT_EQ(state.folders,
            (std::vector<FolderRecord>{{u(c0 + "/"), u(c0 + "/A/"), u(c0 + "/A/crashed.jpg"), 5}}));
}

TEST_F(FolderSearchTest, AStoppedSearchKeepsEveryCacheFileAndRemovesNothing) {
  const std::string c0 = device.card(0);
  const std::string cached = device.put(c0, "A/cached.jpg");
  for (int i = 0; i < 20; ++i) device.put(c0, "B/" + std::to_string(i) + ".jpg");
  ASSERT_EQ(make_cache_file(u(cached), device.card_drive(0)), CacheBuildResult::built);
  test::write_file(cache_dir(0) + "/stale", "x");
  const std::vector<std::string> before = cache_entries(0);

  // Stop after a few checks: two for the cards, 27 for the walk of card 0,
  // one once the walk is done (its pictures are then named), then while
  // they are counted.
  for (int stop_at : {3, 20, 29, 31}) {
    int calls = 0;
    const SearchSummary summary = search([&] { return ++calls > stop_at; });
    EXPECT_TRUE(!summary.complete && summary.pictures < 21 && cache_entries(0) == before)
        << stop_at;
  }
  EXPECT_EQ(summary_of(search()),
            "complete, 3 drives, 21 pictures, 1 cached, 20 queued, 1 deleted");
}

TEST_F(FolderSearchTest, PicturesAndFoldersThatVanishDuringTheSearchAreNotCounted) {
  const std::string c0 = device.card(0);
  for (const char* name : {"A/a.jpg", "B/0.jpg", "B/1.jpg", "B/2.jpg", "C/c.jpg", "D/d.jpg"})
    device.put(c0, name);
  // A file in the cache folder makes the search look at every picture.
  fs::create_directories(cache_dir(0));
  test::write_file(cache_dir(0) + "/stale", "x");
  // The stop request is asked once per entry of the walk: !lumiviewcache,
  // its file, A, A/a.jpg, C (B, gone by then, cannot be entered and is not
  // reported), C/c.jpg, D, D/d.jpg, then once the walk is done, before the
  // last folder's pictures are named. Folder B goes after the card's folder
  // has been listed, D/d.jpg after the walk found it.
  int calls = 0;
  FolderSearch search(state, [&] {
    ++calls;
    if (calls == 4) fs::remove_all(c0 + "/B");
    if (calls == 9) fs::remove(c0 + "/D/d.jpg");
    return false;
  });
  EXPECT_TRUE(search.check_drive(device.card_drive(0)));
  EXPECT_FALSE(fs::exists(c0 + "/B") || fs::exists(c0 + "/D/d.jpg"));
  const std::u16string d0 = device.card_drive(0);
  EXPECT_EQ(state.folders, (std::vector<FolderRecord>{{d0, d0 + u"A/", d0 + u"A/a.jpg", 1},
                                                      {d0, d0 + u"C/", d0 + u"C/c.jpg", 1}}));
  EXPECT_EQ(queued_pictures(state),
            (std::vector<std::u16string>{d0 + u"A/a.jpg", d0 + u"C/c.jpg"}));
  EXPECT_EQ(search.summary().deleted, 1);  // the stale file
}

// Enough pictures (1024 a thread) that several threads look at them: the result is the
// one a single thread gives, and a stop still ends the search.
TEST_F(FolderSearchTest, ALargeCardIsLookedAtByHelpersWithTheSameResult) {
  std::vector<std::string> paths, cached;  // 20 folders of 56
  for (int i = 0; i < 20 * 56; ++i)
    paths.push_back(device.put(device.card(0), "F" + std::to_string(100 + i / 56) + "/" +
                                                   std::to_string(1000 + i % 56) + ".jpg"));
  for (size_t i = 0; i < paths.size(); i += 97) {
    ASSERT_EQ(make_cache_file(u(paths[i]), device.card_drive(0)), CacheBuildResult::built);
    cached.push_back(paths[i]);
  }
  fs::remove(paths[700]);

  // The stop is asked for each card, each entry of the walk (2 + 13 + 20 +
  // 1120 calls, the cache folder's files among them), once the walk is done
  // and the pictures named, then before each folder is counted: the stop
  // comes half way through the counting.
  int calls = 0;
  LibraryState scratch;
  EXPECT_FALSE(FolderSearch(scratch, [&] { return ++calls > 1166; }).search().complete);
  EXPECT_EQ(cache_entries(0).size(), cached.size());

  // Every 97th of the 1120 pictures is cached: 12, and one is gone.
  EXPECT_EQ(summary_of(search()),
            "complete, 3 drives, 1119 pictures, 12 cached, 1107 queued, 0 deleted");
  ASSERT_EQ(state.folders.size(), 20u);
  for (size_t f = 0; f < 20; ++f)
    EXPECT_TRUE(state.folders[f].size == (f == 700 / 56 ? 55 : 56) &&
                state.folders[f].key_picture == u(paths[f * 56]))
        << f;
  const std::vector<std::u16string> queued = queued_pictures(state);
  cached.push_back(paths[700]);  // gone
  for (const std::string& p : cached)
    EXPECT_EQ(std::count(queued.begin(), queued.end(), u(p)), 0) << p;
}

}  // namespace
}  // namespace lv
