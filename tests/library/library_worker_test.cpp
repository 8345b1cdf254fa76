// The photo library with its worker thread: the worker and the
// user-interface thread at once. These tests also run under ThreadSanitizer;
// each would hang on a lost wake-up, which the watchdog turns into a failure.

#include <gtest/gtest.h>

#include <future>
#include <random>

#include "base/settings.h"
#include "library/cache_file.h"
#include "library/folder_list.h"
#include "library/library_test_support.h"
#include "library/photo_library.h"

namespace lv {
namespace {

namespace fs = std::filesystem;
using namespace test::library;
using Builder = PhotoLibrary::CacheBuilder;

class PhotoLibraryWorkerTest : public testing::Test {
 protected:
  PhotoLibrary::Options options(Builder builder = {}) {
    PhotoLibrary::Options o;
    o.folder_list_path = u(device.folders_file());
    o.builder = std::move(builder);
    return o;
  }
  // Polls until the library is idle and `searches` searches have ended in
  // all; then once more, for what the worker posted before going idle.
  bool settle(PhotoLibrary& library, int searches = 0) {
    const bool settled = wait_until(
        [&] {
          return library.status().idle() &&
                 listener.count(LibraryEvent::search_complete) >= searches;
        },
        [&] { library.poll(); });
    library.poll();
    return settled;
  }
  // A builder that makes nothing, counting its calls.
  Builder counting() {
    return [this](std::u16string_view, std::u16string_view, const StopRequest&) {
      ++builds;
      return CacheBuildResult::built;
    };
  }
  void folders(int count) {
    for (int f = 0; f < count; ++f) device.put(device.card(0), "F" + std::to_string(f) + "/p.jpg");
  }

  Watchdog watchdog{"a worker test"};
  Device device{2};
  RecordingListener listener;
  std::atomic<int> builds{0};
};

TEST_F(PhotoLibraryWorkerTest, ASearchAskedForDuringASearchFollowsIt) {
  folders(150);
  PhotoLibrary library(options(counting()));
  library.add_listener(&listener);
  int searches = 0, overlapped = 0;
  for (int attempt = 0; attempt < 20 && overlapped < 2; ++attempt) {
    library.need_search();
    ++searches;
    // Caught inside the search (one that ended first is not counted).
    if (wait_until([&] { return library.status().searching; }, {}, std::chrono::seconds(5))) {
      library.need_search();  // returns at once, the search goes on
      ++searches, ++overlapped;
    }
    ASSERT_TRUE(settle(library, searches)) << "search " << searches << " never came";
    EXPECT_EQ(listener.count(LibraryEvent::search_complete), searches);
  }
  EXPECT_TRUE(overlapped > 0 && library.get_folders_size() == 150 && builds >= 150);
}

// Each request comes the moment the worker is done with the one before,
// which is when it checks for more work and goes to sleep.
TEST_F(PhotoLibraryWorkerTest, NoWakeUpIsLostBetweenTheWorkersCheckAndItsSleep) {
  PhotoLibrary library(options(counting()));
  library.add_listener(&listener);
  for (int i = 0; i < 80; ++i) {
    const std::u16string picture = u(device.put(device.card(0), "A/" + std::to_string(i) + ".jpg"));
    listener.events.clear();
    ASSERT_EQ(library.add_picture(picture, device.card_drive(0)), PhotoLibrary::AddResult::queued);
    ASSERT_TRUE(wait_until([&] { return listener.completed() == std::vector{picture}; },
                           [&] { library.poll(); }))
        << "picture " << i << " was never made";
    ASSERT_TRUE(settle(library));
    if (i % 3 == 0) {
      library.need_search();
      ASSERT_TRUE(settle(library, 1)) << "search after picture " << i << " never came";
    }
  }
}

// Straight to sleep; a search; a build; or both, caught while searching.
TEST_F(PhotoLibraryWorkerTest, DestructionNeverWaitsForever) {
  folders(40);
  for (int round = 0; round < 100; ++round) {
    PhotoLibrary library(options());
    if (round % 2 == 1) library.need_search();
    if (round % 4 >= 2) library.add_picture(u(device.card(0) + "/F0/p.jpg"), device.card_drive(0));
    if (round % 4 == 3)
      wait_until([&] { return library.status().searching || library.status().idle(); });
  }
  EXPECT_EQ(PhotoLibrary::instance(), nullptr);
}

TEST_F(PhotoLibraryWorkerTest, DestroyingTheLibraryEndsARunningBuildAtItsNextScanLine) {
  const std::string picture = device.card(0) + "/big.jpg";  // still building when stopped
  test::write_bytes(picture, test::encode_picture(1600, 1200));
  std::atomic<bool> started{false};
  std::atomic<int> stops{0}, result{-1};
  {
    PhotoLibrary library(options([&](auto p, auto d, const StopRequest& stop) {
      started = true;
      result = static_cast<int>(make_cache_file(p, d, [&] { return stop() && ++stops; }));
      return static_cast<CacheBuildResult>(result.load());
    }));
    library.add_picture(u(picture), device.card_drive(0));
    ASSERT_TRUE(wait_until([&] { return started.load(); }));
  }
  EXPECT_EQ(result, static_cast<int>(CacheBuildResult::stopped));
  EXPECT_TRUE(stops == 1 || stops == 2) << stops.load();  // the first scan line after the request
  const std::string folder = device.card(0) + "/!lumiviewcache";
  EXPECT_TRUE(!fs::exists(folder) || fs::is_empty(folder));  // nothing left behind
}

TEST_F(PhotoLibraryWorkerTest, ABuildThatThrowsMarksItsPictureBadAndTheWorkerGoesOn) {
  const std::u16string huge = u(device.put(device.card(0), "A/huge.jpg"));
  const std::u16string next = u(device.put(device.card(0), "A/next.jpg"));
  PhotoLibrary library(options([&](auto p, auto d, const StopRequest& stop) {
    ++builds;
    if (p == huge) throw std::bad_alloc();
    return make_cache_file(p, d, stop);
  }));
  library.add_listener(&listener);
  library.add_picture(huge, device.card_drive(0));
  library.add_picture(next, device.card_drive(0));
  ASSERT_TRUE(settle(library));
  EXPECT_TRUE(builds == 2 && library.picture_failed(huge) &&
              cache_valid(next, device.card_drive(0)));
  EXPECT_EQ(listener.completed(), (std::vector{huge, next}));
}

// The search's save goes through at once; every later one waits at the
// gate, which a setter writing on its caller's thread would never pass.
TEST_F(PhotoLibraryWorkerTest, TheSettersLeaveTheWritingOfTheListToAThreadOfTheLibrary) {
  const std::string a = device.put(device.card(0), "A/a.jpg");
  device.put(device.card(0), "B/b.jpg");
  std::promise<void> gate;
  const std::shared_future<void> opened = gate.get_future().share();
  std::atomic<int> writes{0};
  std::atomic<bool> on_this_thread{false};
  std::vector<FolderRecord> last;
  PhotoLibrary::Options o = options();
  o.list_writer = [&, caller = std::this_thread::get_id()](
                      const std::u16string& path, const std::vector<FolderRecord>& records) {
    if (std::this_thread::get_id() == caller) on_this_thread = true;
    if (++writes > 1) opened.wait();
    last = records;
    return write_folder_list(path, records);
  };
  {
    PhotoLibrary library(o);
    library.add_listener(&listener);
    library.need_search();
    ASSERT_TRUE(settle(library, 1));
    ASSERT_EQ(writes, 1);
    library.set_folder_size(u(a), 0);
    EXPECT_EQ(library.get_folders_size(), 1);
    ASSERT_TRUE(wait_until([&] { return writes == 2; }));
    gate.set_value();
  }
  // The save asked for last is written before the library is gone; none on this thread.
  EXPECT_FALSE(on_this_thread);
  EXPECT_TRUE(last.size() == 1 &&
              test::read_file(device.folders_file()) == encode_folder_list(last));
}

TEST_F(PhotoLibraryWorkerTest, AStoppedSearchNeverReplacesTheSavedList) {
  folders(200);
  PhotoLibrary::Options o = options();
  o.folder_list_path = u(device.root() + "/full.ini");
  o.worker = PhotoLibrary::Worker::manual;
  ASSERT_TRUE(PhotoLibrary(o).search());
  const std::string full = test::read_file(device.root() + "/full.ini");
  int cut_short = 0;
  for (int round = 0; round < 4; ++round) {
    ASSERT_TRUE(
        write_folder_list(u(device.folders_file()), {{u"/o/", u"/o/A/", u"/o/A/a.jpg", 3}}));
    const std::string before = test::read_file(device.folders_file());
    {
      PhotoLibrary library(options(counting()));
      library.need_search();
      wait_until([&] { return library.status().searching; }, {}, std::chrono::seconds(5));
    }
    const std::string after = test::read_file(device.folders_file());
    EXPECT_TRUE(after == before || after == full) << "round " << round;
    cut_short += after == before;
  }
  EXPECT_GT(cut_short, 0);
}

// The worker searching and building while the user-interface thread uses
// every operation of the library as fast as it can.
TEST_F(PhotoLibraryWorkerTest, TheWorkerAndTheUserInterfaceHammeringAtOnce) {
  std::vector<std::u16string> pictures, drives;
  for (int i = 0; i < 24; ++i) {
    const std::string name = "F" + std::to_string(i / 4 % 3) + "/" + std::to_string(i % 4) + ".jpg";
    pictures.push_back(u(device.put(device.card(i / 12), name, 48 + 8 * (i % 4), 40)));
    drives.push_back(device.card_drive(i / 12));
  }
  const std::u16string broken = u(device.card(1) + "/F0/broken.jpg");
  test::write_file(to_utf8(broken), "no picture");
  // Found by the searches only; its drive is the pictures folder.
  const std::u16string saved = u(device.put(device.pictures(), "Saved/y.jpg", 40, 90));

  PhotoLibrary library(options());
  library.add_listener(&listener);
  std::mt19937 random(4);
  int searches = 0;
  size_t n = 0;
  const std::function<void(int)> actions[] = {
      [&](int step) {
        if (step % 200 == 0) library.need_search(), ++searches;
      },
      [&](int) { library.add_picture(pictures[n], drives[n]); },
      [&](int) { library.withdraw_picture(pictures[n]); },
      [&](int) { library.set_current_folder(folder_of(pictures[n])); },
      [&](int) {
        const auto r = library.get_folder(int(random() % (library.get_folders_size() + 2)) - 1);
        EXPECT_TRUE(!r || (r->size > 0 && r->key_picture.starts_with(r->folder)));
      },
      [&](int) { library.search_folder_num(pictures[n]); },
      [&](int step) {
        if (step % 300 == 0) library.set_folder_size(pictures[n], step % 600 ? 9 : 0);
      },
      [&](int) { library.status(); },
      [&](int) { library.poll(); },
  };
  for (int step = 0; step < 3000; ++step) {
    n = random() % pictures.size();
    actions[std::min<size_t>(random() % 10, 8)](step);
  }
  // Whatever happened on the way, one more search puts everything right.
  library.need_search();
  ASSERT_TRUE(settle(library, searches + 1));
  // Card 1's F0 holds the broken file too; the pictures folder comes last.
  std::vector<int> sizes;
  for (const FolderRecord& record : library.folders()) sizes.push_back(record.size);
  EXPECT_EQ(sizes, (std::vector{4, 4, 4, 5, 4, 4, 1}));
  for (size_t i = 0; i < pictures.size(); ++i)
    EXPECT_TRUE(cache_valid(pictures[i], drives[i])) << to_utf8(pictures[i]);
  EXPECT_TRUE(cache_valid(saved, u"%my_documents%/") && library.picture_failed(broken) &&
              library.status().progress_maximum == 0);
  EXPECT_EQ(test::read_file(device.folders_file()), encode_folder_list(library.folders()));
}

}  // namespace
}  // namespace lv
