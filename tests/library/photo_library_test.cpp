#include "library/photo_library.h"

#include <gtest/gtest.h>

#include "library/cache_file.h"
#include "library/cache_location.h"
#include "library/folder_list.h"
#include "library/library_test_support.h"
#include "skin/render_surface.h"

namespace lv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace test::library;
using Paths = std::vector<std::u16string>;
using Add = PhotoLibrary::AddResult;

// The library without a worker: the test takes the worker's steps itself,
// so every order is exact. Cache files are made by a recording builder
// (which answers built) or by the real one.
class PhotoLibraryTest : public testing::Test {
 protected:
  std::unique_ptr<PhotoLibrary> make(bool real_builder = false) {
    PhotoLibrary::Options options;
    options.folder_list_path = u(device.folders_file());
    options.worker = PhotoLibrary::Worker::manual;
    if (!real_builder)
      options.builder = [this](std::u16string_view picture, std::u16string_view drive,
                               const StopRequest&) {
        built.emplace_back(picture);
        EXPECT_EQ(drive, this->drive());
        if (during_build) during_build(std::u16string(picture));
        return CacheBuildResult::built;
      };
    auto library = std::make_unique<PhotoLibrary>(options);
    library->add_listener(&listener);
    return library;
  }
  std::u16string put(const std::string& relative) {
    return u(device.put(device.card(0), relative));
  }
  Paths put_all(const std::string& folder, int count) {
    Paths pictures;
    for (int i = 0; i < count; ++i) pictures.push_back(put(folder + std::to_string(i) + ".jpg"));
    return pictures;
  }
  std::u16string drive() const { return device.card_drive(0); }
  void add(PhotoLibrary& library, const Paths& pictures) {
    for (const auto& picture : pictures) library.add_picture(picture, drive());
  }
  // Delivers what is pending and forgets it.
  void drain(PhotoLibrary& library) {
    library.poll();
    listener.events.clear();
  }
  // Makes `count` cache files (all when -1), polling after each when asked.
  void build(PhotoLibrary& library, int count = -1, bool poll = false) {
    while (count-- != 0 && library.create_cache())
      if (poll) library.poll();
  }

  Device device{1};
  RecordingListener listener;
  Paths built;
  std::function<void(const std::u16string&)> during_build;
};

TEST_F(PhotoLibraryTest, LoadsTheSavedListAndReportsItAtTheFirstPoll) {
  const std::vector<FolderRecord> saved = {
      {u"/media/c/", u"/media/c/A/", u"/media/c/A/IMG_1.JPG", 4},
      {u"%my_documents%/", u"%my_documents%/", u"%my_documents%/x.jpg", 1},
  };
  ASSERT_TRUE(write_folder_list(u(device.folders_file()), saved));
  auto library = make();
  EXPECT_EQ(PhotoLibrary::instance(), library.get());
  EXPECT_TRUE(library->folders() == saved && library->get_folder(1) == saved[1]);
  EXPECT_FALSE(library->get_folder(2) || library->get_folder(-1));
  EXPECT_EQ(std::pair(library->search_folder_num(u"/media/c/A/img_1.jpg"),
                      library->search_folder_num(u"%my_documents%/x.jpg")),
            std::pair(-1, 1));
  EXPECT_TRUE(listener.events.empty());  // nothing is delivered outside a poll
  EXPECT_EQ(library->poll(), 1);
  EXPECT_EQ(listener.count(LibraryEvent::folders_changed), 1);
  EXPECT_EQ(library->poll(), 0);
  library.reset();
  EXPECT_EQ(PhotoLibrary::instance(), nullptr);
}

TEST_F(PhotoLibraryTest, SettersChangeTheRecordSaveAndReportAtTheNextPoll) {
  const std::u16string a = put("A/a.jpg"), b1 = put("B/b1.jpg"), b2 = put("B/b2.jpg");
  const std::u16string c = put("C/c.jpg");
  auto library = make();
  library->search();
  drain(*library);
  // A picture of no listed folder (below) changes nothing and saves nothing.
  library->set_key_picture(b1, b2);
  library->set_folder_size(c, 7);
  EXPECT_TRUE(listener.events.empty());
  EXPECT_EQ(library->get_folder(1)->key_picture, b2);
  library->set_folder_size(b2, 0);  // a size of 0 takes the folder out of the list
  EXPECT_EQ(library->folders(), (std::vector<FolderRecord>{{drive(), drive() + u"A/", a, 1},
                                                           {drive(), drive() + u"C/", c, 7}}));
  EXPECT_EQ(test::read_file(device.folders_file()), encode_folder_list(library->folders()));
  fs::remove(device.folders_file());
  library->set_folder_size(u"/elsewhere/x.jpg", 3);
  library->set_key_picture(u"/elsewhere/x.jpg", u"/elsewhere/y.jpg");
  EXPECT_FALSE(fs::exists(device.folders_file()));
  EXPECT_EQ(library->poll(), 3);
  EXPECT_EQ(listener.count(LibraryEvent::folders_changed), 3);
}

TEST_F(PhotoLibraryTest, TheFolderAskedForLastComesNextAfterTheCurrentPicture) {
  const Paths a = put_all("A/", 3), b = put_all("B/", 2);
  const std::u16string c = put("C/0.jpg");
  auto library = make();
  add(*library, {c, a[0], a[1], a[2]});
  EXPECT_EQ(library->add_picture(a[0], drive()), Add::already_queued);
  EXPECT_EQ(library->status().progress_maximum, 4);
  during_build = [&](const std::u16string& picture) {
    if (picture == a[0]) add(*library, b);
  };
  build(*library);
  // Once B is done the current folder has no entry: the smallest folder next.
  EXPECT_EQ(built, (Paths{a[0], b[0], b[1], a[1], a[2], c}));
  EXPECT_TRUE(library->status().idle());
}

TEST_F(PhotoLibraryTest, EveryPictureIsReportedAndARoundEndsWithOneCacheComplete) {
  const Paths pictures = put_all("A/", 4);
  auto library = make();
  drain(*library);
  add(*library, pictures);
  build(*library, 1, true);
  build(*library, 2);  // two finished between polls: both are reported
  library->poll();
  EXPECT_EQ(listener.count(LibraryEvent::cache_complete), 0);
  build(*library, 1, true);
  EXPECT_EQ(listener.completed(), pictures);
  EXPECT_EQ(listener.fractions(), (std::vector{0.25, 0.75}));  // none at 100 %
  EXPECT_EQ(listener.count(LibraryEvent::cache_complete), 1);
  EXPECT_EQ(library->poll(), 0);
  EXPECT_EQ(library->status().progress_maximum, 0);
  // The next round reports its own progress from the start.
  add(*library, put_all("B/", 2));
  build(*library, 2, true);
  EXPECT_EQ(listener.fractions(), (std::vector{0.25, 0.75, 0.5}));
  EXPECT_EQ(listener.count(LibraryEvent::cache_complete), 2);
}

TEST_F(PhotoLibraryTest, ASearchStartsANewRoundThatCountsEachPictureOnce) {
  const Paths pictures = put_all("A/", 6);
  auto library = make(true);
  add(*library, {pictures[0], pictures[1], pictures[2]});
  library->create_cache();
  // Two pictures are still queued and found again: six pictures, one built.
  ASSERT_TRUE(library->search());
  const PhotoLibrary::Status status = library->status();
  EXPECT_EQ(std::tuple(status.queued, status.progress_maximum, status.progress_value),
            std::tuple(5, 5, 0));
  drain(*library);
  build(*library, -1, true);
  library->poll();
  EXPECT_EQ(listener.fractions(), (std::vector{0.2, 0.4, 0.6, 0.8}));
  EXPECT_EQ(listener.count(LibraryEvent::cache_complete), 1);
  for (const auto& p : pictures) EXPECT_TRUE(cache_valid(p, drive()));
}

TEST_F(PhotoLibraryTest, APictureThatCannotBeMadeIsBadUntilItChangesOrTheNextSearch) {
  const std::u16string broken = u(device.card(0) + "/A/broken.jpg");
  const std::u16string gone = put("A/gone.jpg"), good = put("A/good.jpg");
  test::write_file(to_utf8(broken), "not a picture");
  auto library = make(true);
  drain(*library);
  ASSERT_TRUE(library->search());
  fs::remove(to_utf8(gone));  // the card lost it before its turn
  build(*library);
  EXPECT_TRUE(library->picture_failed(broken) && library->picture_failed(gone) &&
              !library->picture_failed(good) && cache_valid(good, drive()));
  // A screen that finds no valid cache file asks again: it is told, and
  // nothing is queued.
  EXPECT_EQ(library->add_picture(broken, drive()), Add::failed);
  EXPECT_EQ(library->status().queued, 0);
  library->poll();
  EXPECT_EQ(std::pair(listener.completed().size(), listener.count(LibraryEvent::cache_complete)),
            std::pair(size_t{3}, 1));
  // A file that comes back is new.
  test::write_file(to_utf8(gone), small_jpeg(4712));
  EXPECT_EQ(library->add_picture(gone, drive()), Add::queued);
  // Mended (copied again from a good source): another size and time.
  test::write_file(to_utf8(broken), small_jpeg(4711));
  fs::last_write_time(to_utf8(broken), fs::last_write_time(to_utf8(broken)) + 2s);
  EXPECT_FALSE(library->picture_failed(broken));
  EXPECT_EQ(library->add_picture(broken, drive()), Add::queued);
  test::write_file(to_utf8(broken), "broken again");
  build(*library);
  ASSERT_TRUE(library->picture_failed(broken));
  // The next search deletes the empty marker and tries again.
  ASSERT_TRUE(library->search());
  EXPECT_FALSE(library->picture_failed(broken));
  EXPECT_EQ(std::pair(library->status().queued, library->last_search().pictures), std::pair(1, 3));
  // A record whose drive was lost from the folder list queues nothing.
  EXPECT_EQ(library->add_picture(u(device.card(0) + "/A/q.jpg"), u""), Add::failed);
}

TEST_F(PhotoLibraryTest, ListenersMayLeaveWhileEventsAreDelivered) {
  auto library = make();
  RecordingListener second, third;
  library->add_listener(&second);
  library->add_listener(&third);
  listener.then = [&](const LibraryEvent&) { library->remove_listener(&second); };
  third.then = [&](const LibraryEvent&) { library->remove_listener(&third); };
  library->post_event(LibraryEvent::with(LibraryEvent::folder_size_changed));
  EXPECT_EQ(library->poll(), 2);
  // Third removed itself after the first.
  EXPECT_TRUE(second.events.empty() && third.events.size() == 1 && listener.events.size() == 2);
}

TEST_F(PhotoLibraryTest, AReadOnlyCardGetsItsThumbnailsOnceAndKeepsThem) {
  test::write_file(device.card(0) + "/!lumiviewcache", "in the way");
  const std::u16string a = put("A/a.jpg"), b = put("A/b.jpg");
  auto library = make(true);
  ASSERT_TRUE(library->search());
  EXPECT_EQ(library->last_search().queued, 2);
  build(*library);
  EXPECT_TRUE(!library->picture_failed(a) && cache_valid(a, drive()));
  EXPECT_TRUE(cache_name(b, drive()).starts_with(fallback_cache_folder(drive())) &&
              load_thumbnail(b, drive()));
  ASSERT_TRUE(library->search());
  EXPECT_EQ(std::pair(library->last_search().queued, library->last_search().cached),
            std::pair(0, 2));
  EXPECT_EQ(test::read_file(device.card(0) + "/!lumiviewcache"), "in the way");
}

}  // namespace
}  // namespace lv
