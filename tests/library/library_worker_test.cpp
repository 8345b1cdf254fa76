// The photo library with its worker thread: the worker and the
// user-interface thread at once. These tests also run under ThreadSanitizer.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <future>
#include <mutex>
#include <random>

#include "base/settings.h"
#include "library/cache_file.h"
#include "library/folder_list.h"
#include "library/library_test_support.h"
#include "library/photo_library.h"
#include "platform/text.h"

namespace lv {
namespace {

namespace fs = std::filesystem;
using test::library::Device;
using test::library::RecordingListener;
using test::library::wait_until;
using test::library::Watchdog;

std::u16string u(const std::string& text) {
  return from_utf8(text);
}

class PhotoLibraryWorkerTest : public testing::Test {
 protected:
  PhotoLibrary::Options options(PhotoLibrary::CacheBuilder builder = {}) {
    PhotoLibrary::Options o;
    o.folder_list_path = u(device.folders_file());
    o.builder = std::move(builder);
    return o;
  }
  // Polls until the library is idle and the listener has heard `searches`
  // search_complete events in all; then once more, for what the worker
  // posted between the last poll and its going idle.
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
  PhotoLibrary::CacheBuilder counting() {
    return [this](std::u16string_view, std::u16string_view, const StopRequest&) {
      ++builds;
      return CacheBuildResult::built;
    };
  }

  Device device{2};
  RecordingListener listener;
  std::atomic<int> builds{0};
};

TEST_F(PhotoLibraryWorkerTest, ASearchAskedForDuringASearchFollowsIt) {
  Watchdog watchdog("two searches");
  for (int f = 0; f < 150; ++f) device.put(device.card(0), "F" + std::to_string(f) + "/p.jpg");
  PhotoLibrary library(options(counting()));
  library.add_listener(&listener);
  int searches = 0, overlapped = 0;
  for (int attempt = 0; attempt < 20 && overlapped < 2; ++attempt) {
    library.need_search();
    ++searches;
    // Catch the worker inside the search; a search that ended first is
    // simply not counted as overlapped.
    if (wait_until([&] { return library.status().searching; }, {}, std::chrono::seconds(5))) {
      library.need_search();  // returns at once, the search goes on
      ++searches;
      ++overlapped;
    }
    ASSERT_TRUE(settle(library, searches)) << "search " << searches << " never came";
    EXPECT_EQ(listener.count(LibraryEvent::search_complete), searches);
  }
  EXPECT_GT(overlapped, 0);
  EXPECT_EQ(library.get_folders_size(), 150);
  EXPECT_GE(builds.load(), 150);
}

TEST_F(PhotoLibraryWorkerTest, NoWakeUpIsLostBetweenTheWorkersCheckAndItsSleep) {
  Watchdog watchdog("wake-ups");
  std::vector<std::u16string> pictures;
  for (int i = 0; i < 80; ++i)
    pictures.push_back(u(device.put(device.card(0), "A/" + std::to_string(i) + ".jpg")));
  PhotoLibrary library(options(counting()));
  library.add_listener(&listener);
  // Each request comes the moment the worker is done with the one before,
  // which is when it checks for more work and goes to sleep.
  for (size_t i = 0; i < pictures.size(); ++i) {
    const size_t heard = listener.events.size();
    ASSERT_EQ(library.add_picture(pictures[i], device.card_drive(0)),
              PhotoLibrary::AddResult::queued);
    const auto made = [&] {
      for (size_t e = heard; e < listener.events.size(); ++e)
        if (listener.events[e].picture == pictures[i]) return true;
      return false;
    };
    ASSERT_TRUE(wait_until(
        made, [&] { library.poll(); }, std::chrono::seconds(60)))
        << "picture " << i << " was never made";
    ASSERT_TRUE(settle(library));
    if (i % 3 == 0) {
      const int searches = listener.count(LibraryEvent::search_complete) + 1;
      library.need_search();
      ASSERT_TRUE(settle(library, searches)) << "search after picture " << i << " never came";
    }
  }
}

TEST_F(PhotoLibraryWorkerTest, DestructionNeverWaitsForever) {
  Watchdog watchdog("destruction");
  for (int i = 0; i < 40; ++i) device.put(device.card(0), "A/" + std::to_string(i) + ".jpg");
  const std::u16string one = u(device.card(0) + "/A/0.jpg");
  for (int round = 0; round < 100; ++round) {
    PhotoLibrary library(options());
    // Straight to sleep; a search; a build; or both, caught while searching.
    if (round % 4 == 1 || round % 4 == 3) library.need_search();
    if (round % 4 >= 2) library.add_picture(one, device.card_drive(0));
    if (round % 4 == 3)
      wait_until([&] { return library.status().searching || library.status().idle(); });
  }
  EXPECT_EQ(PhotoLibrary::instance(), nullptr);
}

TEST_F(PhotoLibraryWorkerTest, DestroyingTheLibraryEndsARunningBuildAtItsNextScanLine) {
  Watchdog watchdog("a stopped build");
  // Large enough that the build is still going when the stop comes.
  const std::string picture = device.card(0) + "/big.jpg";
  test::write_bytes(picture, test::encode_picture(1600, 1200));

  std::atomic<bool> started{false};
  std::atomic<int> stop_answers_true{0};
  std::atomic<int> result{-1};
  {
    PhotoLibrary library(
        options([&](std::u16string_view p, std::u16string_view d, const StopRequest& stop) {
          started = true;
          const CacheBuildResult r = make_cache_file(p, d, [&] {
            const bool yes = stop();
            if (yes) ++stop_answers_true;
            return yes;
          });
          result = static_cast<int>(r);
          return r;
        }));
    library.add_picture(u(picture), device.card_drive(0));
    ASSERT_TRUE(wait_until([&] { return started.load(); }));
  }
  EXPECT_EQ(result.load(), static_cast<int>(CacheBuildResult::stopped));
  // It ended at the first scan line after the request.
  EXPECT_GE(stop_answers_true.load(), 1);
  EXPECT_LE(stop_answers_true.load(), 2);
  // Nothing is left behind.
  const std::string folder = device.card(0) + "/!lumiviewcache";
  EXPECT_TRUE(!fs::exists(folder) || fs::is_empty(folder));
}

TEST_F(PhotoLibraryWorkerTest, ABuildThatThrowsMarksItsPictureBadAndTheWorkerGoesOn) {
  Watchdog watchdog("a throwing build");
  const std::u16string huge = u(device.put(device.card(0), "A/huge.jpg"));
  const std::u16string next = u(device.put(device.card(0), "A/next.jpg"));
  PhotoLibrary library(
      options([&](std::u16string_view p, std::u16string_view d, const StopRequest& stop) {
        ++builds;
        if (p == huge) throw std::bad_alloc();
        return make_cache_file(p, d, stop);
      }));
  library.add_listener(&listener);
  library.add_picture(huge, device.card_drive(0));
  library.add_picture(next, device.card_drive(0));
  ASSERT_TRUE(settle(library));
  EXPECT_EQ(builds.load(), 2);
  EXPECT_TRUE(library.picture_failed(huge));
  EXPECT_TRUE(cache_valid(next, device.card_drive(0)));
  EXPECT_EQ(listener.completed(), (std::vector<std::u16string>{huge, next}));
  library.remove_listener(&listener);
}

TEST_F(PhotoLibraryWorkerTest, TheSettersLeaveTheWritingOfTheListToAThreadOfTheLibrary) {
  Watchdog watchdog("a list save");
  const std::string a = device.put(device.card(0), "A/a.jpg");
  device.put(device.card(0), "B/b.jpg");
  // The search's save goes through at once; every later one waits at the
  // gate, which a setter writing on its caller's thread would never pass.
  std::promise<void> gate;
  const std::shared_future<void> opened = gate.get_future().share();
  std::mutex mutex;
  std::vector<std::thread::id> writers;
  std::vector<std::vector<FolderRecord>> written;
  PhotoLibrary::Options o = options();
  o.list_writer = [&](const std::u16string& path, const std::vector<FolderRecord>& records) {
    std::unique_lock lock(mutex);
    writers.push_back(std::this_thread::get_id());
    if (writers.size() > 1) {  // waits at the gate without holding the lock
      lock.unlock();
      opened.wait();
      lock.lock();
    }
    written.push_back(records);
    return write_folder_list(path, records);
  };
  auto writes = [&] {
    std::lock_guard lock(mutex);
    return writers.size();
  };
  {
    PhotoLibrary library(o);
    library.add_listener(&listener);
    library.need_search();
    ASSERT_TRUE(settle(library, 1));
    ASSERT_EQ(writes(), 1u);

    library.set_folder_size(u(a), 0);
    EXPECT_EQ(library.get_folders_size(), 1);
    ASSERT_TRUE(wait_until([&] { return writes() == 2; }));
    gate.set_value();
    library.remove_listener(&listener);
  }
  // The save asked for last is written before the library is gone, and
  // none on this thread.
  std::lock_guard lock(mutex);
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written.back().size(), 1u);
  for (const std::thread::id id : writers) EXPECT_NE(id, std::this_thread::get_id());
  std::vector<FolderRecord> saved;
  ASSERT_TRUE(read_folder_list(u(device.folders_file()), saved));
  EXPECT_EQ(saved, written.back());
}

TEST_F(PhotoLibraryWorkerTest, AStoppedSearchNeverReplacesTheSavedList) {
  Watchdog watchdog("stopped searches");
  for (int f = 0; f < 200; ++f) device.put(device.card(0), "F" + std::to_string(f) + "/p.jpg");
  const std::vector<FolderRecord> old = {{u"/old/", u"/old/A/", u"/old/A/a.jpg", 3}};
  std::string full;
  {
    PhotoLibrary::Options o = options();
    o.folder_list_path = u(device.root() + "/full.ini");
    o.worker = PhotoLibrary::Worker::manual;
    PhotoLibrary library(o);
    ASSERT_TRUE(library.search());
    full = test::read_file(device.root() + "/full.ini");
  }
  int cut_short = 0;
  for (int round = 0; round < 4; ++round) {
    ASSERT_TRUE(write_folder_list(u(device.folders_file()), old));
    const std::string before = test::read_file(device.folders_file());
    {
      PhotoLibrary library(options(counting()));
      library.need_search();
      wait_until([&] { return library.status().searching; }, {}, std::chrono::seconds(5));
    }
    const std::string after = test::read_file(device.folders_file());
    EXPECT_TRUE(after == before || after == full) << "round " << round;
    cut_short += after == before ? 1 : 0;
  }
  EXPECT_GT(cut_short, 0);
}

// The worker searching and building while the user-interface thread uses
// every operation of the library as fast as it can.
TEST_F(PhotoLibraryWorkerTest, TheWorkerAndTheUserInterfaceHammeringAtOnce) {
  Watchdog watchdog("hammering");
  std::vector<std::u16string> pictures, drives;
  for (int card = 0; card < 2; ++card)
    for (int f = 0; f < 3; ++f)
      for (int i = 0; i < 4; ++i) {
        pictures.push_back(u(device.put(device.card(card),
                                        "F" + std::to_string(f) + "/" + std::to_string(i) + ".jpg",
                                        48 + 8 * i, 40)));
        drives.push_back(device.card_drive(card));
      }
  const std::u16string broken = u(device.card(1) + "/F0/broken.jpg");
  test::write_file(to_utf8(broken), "no picture");
  // Found by the searches only; its drive is the pictures folder.
  const std::u16string saved = u(device.put(device.pictures(), "Saved/y.jpg", 40, 90));

  PhotoLibrary library(options());
  library.add_listener(&listener);
  std::mt19937 random(4);
  int searches = 0;
  for (int step = 0; step < 3000; ++step) {
    const size_t n = random() % pictures.size();
    const unsigned what = random() % 10;
    if (what == 0 && step % 200 == 0) {
      library.need_search();
      ++searches;
    }
    if (what == 1) library.add_picture(pictures[n], drives[n]);
    if (what == 2) library.withdraw_picture(pictures[n]);
    if (what == 3) library.set_current_folder(folder_of(pictures[n]));
    if (what == 4) {
      const auto record =
          library.get_folder(static_cast<int>(random() % (library.get_folders_size() + 2)) - 1);
      if (record) {
        EXPECT_GT(record->size, 0);
        EXPECT_TRUE(record->key_picture.starts_with(record->folder));
      }
    }
    if (what == 5) library.search_folder_num(pictures[n]);
    if (what == 6 && step % 300 == 0) library.set_folder_size(pictures[n], step % 600 ? 9 : 0);
    if (what == 7) library.status();
    if (what >= 8) library.poll();
  }
  // Whatever happened on the way, one more search puts everything right.
  library.need_search();
  ASSERT_TRUE(settle(library, searches + 1));
  // Card 1's F0 holds the broken file too; the pictures folder comes last.
  std::vector<int> sizes;
  for (const FolderRecord& record : library.folders()) sizes.push_back(record.size);
  EXPECT_EQ(sizes, (std::vector<int>{4, 4, 4, 5, 4, 4, 1}));
  for (size_t i = 0; i < pictures.size(); ++i)
    EXPECT_TRUE(cache_valid(pictures[i], drives[i])) << to_utf8(pictures[i]);
  EXPECT_TRUE(cache_valid(saved, u"%my_documents%/"));
  EXPECT_TRUE(library.picture_failed(broken));
  EXPECT_EQ(test::read_file(device.folders_file()), encode_folder_list(library.folders()));
  EXPECT_EQ(library.status().progress_maximum, 0);
}

}  // namespace
}  // namespace lv
