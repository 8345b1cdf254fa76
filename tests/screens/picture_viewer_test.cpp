// The picture viewer over real pictures: the eight EXIF orientations and
// landscape against libjpeg's decode, the placeholders, the request queue
// and the worker thread.

#include "screens/picture_viewer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/file_util.h"
#include "base/log_capture.h"
#include "library/cache_build.h"
#include "library/cache_file.h"
#include "library/exif.h"
#include "platform/text.h"
#include "skin/rgb565.h"
#include "skin/surface.h"
#include "support/picture_reference.h"
#include "support/test_env.h"
#include "widgets/screen_root.h"
#include "widgets/widget_test_support.h"

namespace lv::test {
namespace {

namespace fs = std::filesystem;

constexpr TestSkin::Rgba kLoadArt{0, 255, 0, 255};
constexpr TestSkin::Rgba kBadArt{255, 0, 0, 255};
constexpr Size kSize{480, 800};

std::string orientation(int o) {
  return "jpeg/exif-ianare/orientation/landscape_" + std::to_string(o) + ".jpg";
}

Image turned_clockwise(const Image& in) {
  Image out{in.height, in.width, std::vector<uint16_t>(in.pixels.size())};
  exif_transform_rgb565(6, in.pixels.data(), in.width, in.height, size_t(in.width) * 2,
                        out.pixels.data(), size_t(out.width) * 2);
  return out;
}

// The picture area and three viewer elements; the viewer is given the area
// once the skin's layout is done.
class ViewerRig final : public ScreenRoot {
 public:
  explicit ViewerRig(PictureViewer::Worker worker = PictureViewer::Worker::manual) {
    if (!NodeTypeRegistry::instance().contains(u"bigpicture")) {
      static BigPictureType type;
    }
    skin.art_filled("load", 64, 64, kLoadArt);
    skin.art_filled("bad", 64, 64, kBadArt);
    std::string children = R"({"string": {"type": "node", "id": "size_image"}})";
    for (const char* id : {"left", "center", "right"})
      children += R"(, {"string": {"type": "bigpicture", "id": ")" + std::string(id) + "\"}}";
    EXPECT_TRUE(skin.load_nodes(R"({"Viewer": {"children": [)" + children + "]}}"));
    build(skin.properties(), u"Viewer");
    PictureViewer::Options options{.placeholder_folder = from_utf8(skin.folder() + "/../bin/"),
                                   .skin_name = u"test",
                                   .worker = worker};
    const auto element = [&](std::u16string_view id) -> BigPictureElement& {
      return dynamic_cast<BigPictureElement&>(find_required(id));
    };
    viewer = std::make_unique<PictureViewer>(element(u"left"), element(u"center"),
                                             element(u"right"), options);
    layout(kSize);
    fs::create_directories(pictures_dir);
  }
  void layout_children_y() override {
    ScreenRoot::layout_children_y();
    if (viewer) viewer->set_view(find_required(u"size_image").rect());
  }

  BigPictureElement& slot(PictureViewer::Role which = PictureViewer::current) {
    return viewer->element(which);
  }
  // Copies a shared picture onto the drive; with a cache file unless told.
  std::string put(const std::string& name, const std::string& testdata, bool cache = true) {
    const std::string path = pictures_dir + "/" + name;
    fs::copy_file(testdata_path(testdata), path, fs::copy_options::overwrite_existing);
    if (cache) build_cache(path);
    return path;
  }
  void build_cache(const std::string& path) {
    EXPECT_EQ(make_cache_file(from_utf8(path), from_utf8(drive), StopRequest{}),
              CacheBuildResult::built);
  }
  void open(const std::vector<std::string>& paths, size_t index) {
    std::vector<std::u16string> list;
    for (const std::string& p : paths) list.push_back(from_utf8(p));
    viewer->open(list, index, from_utf8(drive));
  }
  void frame(double seconds = 0.01) {
    on_timer(seconds);
    viewer->update(seconds);
  }
  // Frames until the worker has nothing left to make.
  void settle() {
    for (int i = 0; i < 40; ++i) {
      frame();
      bool made = false;
      while (viewer->create_tile()) made = true;
      if (!made && viewer->finished() == 0 && i > 2) break;
    }
    frame();
  }
  const Surface& render() {
    layout(kSize);
    m_surface.recreate(kSize.width, kSize.height);
    m_surface.surface()->fill(0);
    draw_element(m_surface, {0, 0});
    return *m_surface.surface();
  }
  // Mean error (the sum of three 8-bit channels) of the rendering against
  // a reference image under the current picture's view, over blocks of
  // 8 x 8 screen pixels: sampling a little to one side is no error, a
  // misplaced or mirrored tile is.
  double error_against(const Image& reference) {
    const Surface& shown = render();
    BigPictureElement& e = slot();
    const Rect area = e.view_area();
    const Size size = e.description().size;
    const double mid_x = (area.left + area.right) / 2.0, mid_y = (area.top + area.bottom) / 2.0;
    double total = 0;
    int blocks = 0;
    for (int by = area.top; by + 8 <= area.bottom; by += 8)
      for (int bx = area.left; bx + 8 <= area.right; bx += 8) {
        int difference[3] = {0, 0, 0};
        bool inside = true;
        for (int i = 0; i < 64 && inside; ++i) {
          // The reference pixel under the screen pixel.
          const int x = bx + i % 8, y = by + i / 8;
          const int rx =
              int((e.centre().x + (x + 0.5 - mid_x) / e.scale()) * reference.width / size.width);
          const int ry =
              int((e.centre().y + (y + 0.5 - mid_y) / e.scale()) * reference.height / size.height);
          inside = rx >= 0 && ry >= 0 && rx < reference.width && ry < reference.height;
          const uint16_t a = shown.pixel(x, y), b = inside ? reference.at(rx, ry) : 0;
          difference[0] += rgb565::red8(a) - rgb565::red8(b);
          difference[1] += rgb565::green8(a) - rgb565::green8(b);
          difference[2] += rgb565::blue8(a) - rgb565::blue8(b);
        }
        if (!inside) continue;
        for (const int d : difference) total += std::abs(d) / 64.0;
        ++blocks;
      }
    return blocks ? total / blocks : 1e9;
  }
  // Every pixel of the view is the placeholder art (sampled on a coarse grid).
  void expect_all(TestSkin::Rgba art) {
    const Surface& shown = render();
    for (int y = 0; y < kSize.height; y += 37)
      for (int x = 0; x < kSize.width; x += 41)
        ASSERT_EQ(shown.pixel(x, y), opaque_art_pixel({art.r, art.g, art.b})) << x << "," << y;
  }

  TestSkin skin;
  std::unique_ptr<PictureViewer> viewer;
  std::string drive = make_temp_dir("drive") + "/";
  std::string pictures_dir = drive + "Pictures";

 private:
  RenderSurface m_surface;
};

TEST(PictureViewerZoom, StartsFilledWhenLargerBothWaysElseWholeNeverEnlarged) {
  EXPECT_EQ(starting_zoom({480, 800}, {100, 100}, 0), 0);
  EXPECT_EQ(starting_zoom({480, 800}, {300, 700}, 2), 2);
  EXPECT_DOUBLE_EQ(starting_zoom({480, 800}, {8000, 6000}, 5), 5 + std::log2(800.0 / 6000));
  EXPECT_DOUBLE_EQ(starting_zoom({480, 800}, {1000, 500}, 2), 2 + std::log2(480.0 / 1000));
}

// The neighbours are made while a picture is shown, so a step is sharp in
// the next frame; there is no step past either end.
TEST(PictureViewer, SteppingPreparesNeighboursAndStopsAtTheEnds) {
  LV_REQUIRE_TESTDATA();
  ViewerRig rig;
  std::vector<std::string> paths;
  for (int o : {1, 3, 6})
    paths.push_back(rig.put("o" + std::to_string(o) + ".jpg", orientation(o)));
  rig.open(paths, 0);
  rig.settle();
  EXPECT_FALSE(rig.slot(PictureViewer::previous).has_picture());
  EXPECT_FALSE(rig.viewer->set_left());
  EXPECT_TRUE(rig.slot(PictureViewer::next).sharp());
  ASSERT_TRUE(rig.viewer->set_right());
  rig.frame();
  EXPECT_TRUE(rig.slot().sharp());
  EXPECT_EQ(rig.viewer->counter_text(u"of"), u"2 of 3");
  // A slide to the last picture steps once it has come to rest.
  ASSERT_TRUE(rig.viewer->slide_right());
  for (int frames = 0; rig.viewer->index() == 1 && frames < 100; ++frames) rig.frame();
  EXPECT_EQ(rig.viewer->index(), 2u);
  EXPECT_FALSE(rig.viewer->set_right());
  rig.settle();
  EXPECT_LT(rig.error_against(reference(paths[2])), 30);
}

TEST(PictureViewer, EveryOrientationAndLandscapeShowsThePictureUpright) {
  LV_REQUIRE_TESTDATA();
  ViewerRig rig;
  for (int o = 1; o <= 8; ++o) {
    SCOPED_TRACE(o);
    // The even ones through the cache file, the odd ones decoded directly.
    const std::string path = rig.put("o" + std::to_string(o) + ".jpg", orientation(o), o % 2 == 0);
    const Image upright = reference(path);
    rig.open({path}, 0);
    rig.settle();
    EXPECT_EQ(rig.slot().description().size, (Size{600, 450}));
    EXPECT_LT(rig.error_against(upright), 30);
    rig.viewer->set_landscape(true);
    rig.settle();
    EXPECT_EQ(rig.slot().description().size, (Size{450, 600}));
    EXPECT_DOUBLE_EQ(rig.slot().zoom(), 2);  // fits: full size
    EXPECT_LT(rig.error_against(turned_clockwise(upright)), 30);
    rig.viewer->set_landscape(false);
  }
}

TEST(PictureViewer, PlaceholdersForPicturesThatCannotBeShown) {
  LV_REQUIRE_TESTDATA();
  ViewerRig rig;
  // No cache file yet and not decodable: "loading" everywhere. An empty
  // cache file (its build failed) and not decodable: "bad".
  const std::string waiting = rig.pictures_dir + "/waiting.jpg",
                    broken = rig.pictures_dir + "/broken.jpg";
  write_file(waiting, "not a picture at all");
  write_file(broken, "neither is this one, and longer");
  const std::u16string empty_cache = cache_name(from_utf8(broken), from_utf8(rig.drive));
  create_directory(folder_of(empty_cache));
  write_file(to_utf8(empty_cache), "");

  rig.open({waiting, broken}, 0);
  rig.settle();
  rig.expect_all(kLoadArt);
  // Told complete while it is still no picture: the slot is not opened again.
  start_fresh_log();
  rig.viewer->picture_complete(from_utf8(waiting));
  for (const std::u16string& line : read_log_lines())
    EXPECT_EQ(line.find(u"on_document_refresh"), std::u16string::npos);
  rig.viewer->set_right();
  rig.settle();
  rig.expect_all(kBadArt);

  // The waiting picture arrives whole and gets its cache file: when the
  // library says so, its slot opens it again and shows its pixels.
  rig.viewer->set_left();
  rig.put("waiting.jpg", orientation(1));
  rig.viewer->picture_complete(from_utf8(waiting));
  rig.settle();
  EXPECT_LT(rig.error_against(reference(testdata_path(orientation(1)))), 30);
}

// Stale requests: tiles no longer wanted are swept out of the queue.
TEST(PictureViewer, QueueDropsStaleRequestsAndKeepsOneOfEach) {
  LV_REQUIRE_TESTDATA();
  ViewerRig rig;
  start_fresh_log();
  rig.open({rig.put("big.jpg", "jpeg/large/firstgeneration.jpg")}, 0);
  rig.frame();
  // Opened through its cache file, not decoded from the picture.
  for (const std::u16string& line : read_log_lines())
    EXPECT_EQ(line.find(u"PieceCrt"), std::u16string::npos) << to_utf8(line);
  BigPictureElement& e = rig.slot();
  const size_t queued = rig.viewer->queued();
  ASSERT_GT(queued, 4u);
  const std::vector<BigPictureElement::WantedTile> wanted = e.wanted();
  EXPECT_TRUE(wanted.front().stand_in);  // the whole picture, coarse, first

  start_fresh_log();
  rig.viewer->tile_wanted(e, wanted.back().level, wanted.back().column, wanted.back().row);
  EXPECT_EQ(rig.viewer->queued(), queued);
  EXPECT_EQ(read_log_lines().back(), u"clear");

  // Zoomed to full size at a corner, the old level's tiles are no longer
  // wanted: the next request sweeps them out.
  e.set_zoom(e.top_level());
  e.set_centre({0, 0});
  rig.frame();
  for (const BigPictureElement::WantedTile& old : wanted)
    EXPECT_FALSE(e.is_tile_wanted(old.level, old.column, old.row) && !old.stand_in);
  EXPECT_EQ(rig.viewer->queued(), e.wanted().size());
  while (rig.viewer->create_tile()) {
  }
  rig.frame();
  EXPECT_TRUE(e.sharp());
}

// Stale tiles: a tile the worker made for a slot's earlier picture must not
// show in the slot's next one.
TEST(PictureViewer, AWorkerThreadNeverPutsAnOldPictureIntoAReusedSlot) {
  LV_REQUIRE_TESTDATA();
  ViewerRig rig(PictureViewer::Worker::start);
  // The first picture is made directly from a large file (slow), the
  // others from cache files.
  std::vector<std::string> paths{
      rig.put("a.jpg", "jpeg/large/Kleiber_by_Lukas_Baubkus.jpg", false)};
  for (int o : {1, 3, 6, 8})
    paths.push_back(rig.put("o" + std::to_string(o) + ".jpg", orientation(o)));
  rig.open(paths, 1);
  // Step while the worker may still be decoding the first picture.
  for (int i = 0; i < 3; ++i) {
    rig.frame();
    ASSERT_TRUE(rig.viewer->set_right());
  }
  const auto settled = [&] {
    return rig.slot().sharp() && rig.slot(PictureViewer::previous).sharp() &&
           rig.viewer->worker_idle();
  };
  for (int i = 0; i < 2000 && !settled(); ++i) {
    rig.frame();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));  // a real worker thread
  }
  ASSERT_TRUE(settled());
  EXPECT_EQ(rig.viewer->counter_text(u"of"), u"5 of 5");
  EXPECT_LT(rig.error_against(reference(paths[4])), 30);
  ASSERT_TRUE(rig.viewer->set_left());
  rig.frame();
  EXPECT_TRUE(rig.slot().sharp());
  EXPECT_LT(rig.error_against(reference(paths[3])), 30);
}

}  // namespace
}  // namespace lv::test
