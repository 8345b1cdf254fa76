// The "bigpicture" element on its own: the level pyramid, the zoom
// animation, fling, drag damping and the edge spring, the wanted list and
// drawing with stand-ins, on a test clock. And the thumbnail art: scaled
// into the size, cut by the frame with keyed accumulate, or marked opaque
// all over without a frame.

#include "screens/big_picture.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "screens/thumbnail_art.h"
#include "screens/tile_cache.h"
#include "skin/rgb565.h"
#include "skin/surface.h"
#include "widgets/widget_test_support.h"

namespace lv::test {
namespace {

struct Asked {
  int level, column, row;
  bool operator==(const Asked&) const = default;
};

class RecordingListener final : public TileListener, public ViewListener {
 public:
  void tile_wanted(BigPictureElement&, int level, int column, int row) override {
    asked.push_back({level, column, row});
  }
  void view_moved(BigPictureElement&, PointD) override {}
  void interaction(BigPictureElement&, const PointerEvent&, bool tap) override { releases += !tap; }
  std::vector<Asked> asked;
  int releases = 0;
};

std::shared_ptr<const Surface> solid(uint16_t pixel, int side = 256) {
  auto s = Surface::create(side, side);
  s->fill(pixel);
  return std::shared_ptr<const Surface>(std::move(s));
}

class BigPictureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!NodeTypeRegistry::instance().contains(u"bigpicture")) {
      static BigPictureType type;
    }
    ASSERT_TRUE(skin.load_nodes(R"({"Main": {"children": [
      {"string": {"type": "bigpicture", "id": "pic"}, "color": {"empty_color": "#203040"}}]}})"));
    screen = std::make_unique<TestScreen>(skin, u"Main", Size{480, 800});
    screen->layout();
    pic = &screen->find<BigPictureElement>(u"pic");
    pic->set_tile_cache(&cache);
    pic->set_tile_listener(&listener);
    pic->set_view_listener(&listener);
  }
  void TearDown() override {
    pic->set_tile_listener(nullptr);
    pic->set_view_listener(nullptr);
  }
  // A picture of this size (number 7) at the zoom and centre.
  void show(Size size, double zoom, PointD centre) {
    pic->describe(PictureDescription{.size = size}, 7);
    pic->set_zoom(zoom);
    pic->set_centre(centre);
  }
  void ticks(int count, double seconds) {
    for (int i = 0; i < count; ++i) screen->tick(seconds);
  }

  TestSkin skin;
  std::unique_ptr<TestScreen> screen;
  BigPictureElement* pic = nullptr;
  TileCache cache;
  RecordingListener listener;
};

// The zoom moves two levels a second, faster further from the level in
// use, and lands on its target exactly; the level follows once it is there.
TEST_F(BigPictureTest, ZoomReachesItsTargetExactlyAndTheLevelWaitsForIt) {
  show({4096, 4096}, 2, {2048, 2048});  // T = 4
  pic->zoom_to(3);
  ticks(4, 0.1);
  EXPECT_NEAR(pic->zoom(), 2.8, 1e-9);
  EXPECT_EQ(pic->level_in_use(), 2);
  screen->tick(0.1);
  EXPECT_EQ((std::pair{pic->zoom(), pic->level_in_use()}), (std::pair{3.0, 3}));
  pic->zoom_to(1.5);
  screen->tick(0.1);
  EXPECT_NEAR(pic->zoom(), 2.6, 1e-9);
  ticks(3, 0.1);
  EXPECT_EQ((std::pair{pic->zoom(), pic->level_in_use()}), (std::pair{1.5, 2}));  // rounded up

  // Anchored zoom keeps the picture point under the anchor, 100 px right
  // of the view's middle.
  pic->set_zoom(3);
  pic->set_centre({2048, 2048});
  pic->zoom_to(4, Point{340, 400});
  ticks(10, 0.1);
  EXPECT_NEAR(pic->centre().x, 2048 + 200 - 100, 1e-6);
  EXPECT_NEAR(pic->centre().y, 2048, 1e-6);

  // A pinch zooms at once about the fingers; the level waits for its end.
  pic->set_zoom(2);
  pic->set_centre({2048, 2048});
  pic->zoom_at(3, {340, 400}, false);
  EXPECT_NEAR(pic->centre().x, 2048 + 100 / 0.25 - 100 / 0.5, 1e-6);
  EXPECT_EQ(pic->level_in_use(), 2);
  pic->zoom_at(3, {340, 400}, true);
  EXPECT_EQ(pic->level_in_use(), 3);
}

// The picture follows the stylus at 1:1; let go while moving it flies on at
// no more than the top speed, slowing to a stop.
TEST_F(BigPictureTest, FlingIsClampedAndSlowsDown) {
  show({4096, 4096}, 4, {2048, 2048});
  screen->press(240, 400);
  for (int x = 140; x >= -460; x -= 100) {
    screen->tick(0.01);
    screen->move(x, 400);
  }
  screen->release(-460, 400);
  EXPECT_EQ(listener.releases, 1);
  EXPECT_NEAR(pic->centre().x, 2048 + 700, 1e-9);
  EXPECT_EQ(pic->fling_speed(), BigPictureElement::kMaxFlingSpeed);
  EXPECT_EQ(pic->fling_direction(), (PointD{1, 0}));
  screen->tick(0.1);
  EXPECT_NEAR(pic->centre().x, 2748 + pic->fling_speed() * 0.1, 1e-9);
  EXPECT_LT(pic->fling_speed(), BigPictureElement::kMaxFlingSpeed);
  ticks(100, 0.1);
  EXPECT_EQ(pic->fling_speed(), 0);
}

// Past the edge a drag moves the picture less than the stylus (the first
// step nothing is in yet); held still and let go, it springs back.
TEST_F(BigPictureTest, DraggedPastTheEdgeItIsDampedThenSpringsBack) {
  show({1024, 1024}, 2, {240, 512});  // left edge on the view's left edge
  screen->press(100, 400);
  for (const int x : {200, 300}) {
    screen->tick(0.01);
    screen->move(x, 400);
  }
  EXPECT_NEAR(pic->overshoot().x, 100 + 100 * (1 - 2 * 100.0 / 480), 1e-9);
  screen->tick(0.4);
  screen->release(300, 400);
  EXPECT_EQ(pic->fling_speed(), 0);
  ticks(51, 0.01);
  EXPECT_EQ((std::pair{pic->overshoot().x, pic->centre().x}), (std::pair{0.0, 240.0}));
}

TEST_F(BigPictureTest, WantedTilesAreAskedOnceWithTheLowestLevelFirst) {
  show({1024, 1024}, 2, {512, 512});  // T = 2, at 1:1 the view sees 2 x 4 tiles
  screen->tick(0.01);
  // Level 0 (one tile) stands in first, then level 2 nearest the middle.
  ASSERT_EQ(listener.asked.size(), 1u + 2 * 4);
  EXPECT_EQ(listener.asked.front(), (Asked{0, 0, 0}));
  EXPECT_TRUE((listener.asked[1] == Asked{2, 1, 1}) || (listener.asked[1] == Asked{2, 1, 2}) ||
              (listener.asked[1] == Asked{2, 2, 1}) || (listener.asked[1] == Asked{2, 2, 2}));
  screen->tick(0.01);
  EXPECT_EQ(listener.asked.size(), 1u + 2 * 4);  // asked once
  EXPECT_TRUE(pic->is_tile_wanted(2, 1, 1));
  EXPECT_FALSE(pic->is_tile_wanted(2, 0, 0));  // off the view

  // The stand-in alone fills the view; a tile of the level in use then
  // shows over it.
  const uint16_t red = 0xF800, green = 0x07E0;
  cache.put({7, 0, 0, 0}, solid(red));
  cache.put({7, 2, 2, 2}, solid(green));
  screen->render(0x0000);
  // Tile (2, 2) covers x 512..767 of the picture: the screen from 240 on.
  for (const auto& [x, y, pixel] :
       {std::tuple{10, 10, red}, {479, 799, red}, {240, 400, green}, {239, 400, red}})
    EXPECT_EQ(screen->pixel(x, y), pixel) << x << "," << y;
  screen->tick(0.01);
  EXPECT_FALSE(pic->is_tile_wanted(0, 0, 0));  // present now
  EXPECT_FALSE(pic->is_tile_wanted(2, 2, 2));

  // Dropped requests are asked for again.
  listener.asked.clear();
  pic->forget_requests();
  screen->tick(0.01);
  EXPECT_EQ(listener.asked.size(), 2u * 4 - 1);
}

// --- The thumbnail art ---------------------------------------------------------------

std::unique_ptr<Surface> surface_of(int32_t width, int32_t height,
                                    std::initializer_list<uint16_t> pixels) {
  auto surface = Surface::create(width, height);
  auto it = pixels.begin();
  for (int32_t i = 0; i < width * height; ++i) surface->set_pixel(i % width, i / width, *it++);
  return surface;
}

// The art's pixels row by row.
std::vector<uint16_t> pixels_of(const Picture& art) {
  std::vector<uint16_t> pixels;
  const Surface& s = *art.bitmap->surface();
  for (uint32_t i = 0; i < s.width() * s.height(); ++i)
    pixels.push_back(s.pixel(i % s.width(), i / s.width()));
  return pixels;
}

TEST(ThumbnailArtTest, ScalesAndCutsByTheFrame) {
  // A photograph pixel may hold the key's value; once shown it must not
  // read as transparent.
  const auto thumbnail = surface_of(2, 2, {0x1111, rgb565::kKey, 0x4444, 0x0842});
  constexpr uint16_t kOpaque = 0xFFFF;
  constexpr uint16_t kSeeThrough = 0x1002;  // bit 5 clear: replaces the photograph
  const Picture frame = picture_from_surface(surface_of(
      4, 4,
      {rgb565::kKey, kSeeThrough, kOpaque, kOpaque, kOpaque, kOpaque, kOpaque, kOpaque,  //
       kOpaque, kOpaque, kOpaque, kOpaque, kOpaque, kOpaque, kOpaque, rgb565::kKey}));

  const Picture art = thumbnail_art(*thumbnail, {4, 4}, frame);
  ASSERT_EQ(art.bitmap_size(), (Size{4, 4}));
  EXPECT_EQ(art.p3, (Point{4, 4}));
  // The photograph doubled, marked opaque (the key pixel becomes 0xF83F),
  // where the frame is opaque; the frame's own pixels elsewhere.
  constexpr uint16_t a = 0x1111 | rgb565::kOpaqueBit, c = 0x4444 | rgb565::kOpaqueBit;
  EXPECT_EQ(pixels_of(art), (std::vector<uint16_t>{rgb565::kKey, kSeeThrough, 0xF83F, 0xF83F,  //
                                                   a, a, 0xF83F, 0xF83F,                       //
                                                   c, c, 0x0862, 0x0862,                       //
                                                   c, c, 0x0862, rgb565::kKey}));
}

TEST(ThumbnailArtTest, WithoutAFrameEveryPixelIsOpaque) {
  const auto thumbnail = surface_of(2, 1, {rgb565::kKey, 0x0000});
  // Three columns sampled from two start with the first twice.
  const Picture art = thumbnail_art(*thumbnail, {3, 2}, empty_picture());
  ASSERT_EQ(art.bitmap_size(), (Size{3, 2}));
  EXPECT_EQ(pixels_of(art), (std::vector<uint16_t>{0xF83F, 0xF83F, rgb565::kOpaqueBit, 0xF83F,
                                                   0xF83F, rgb565::kOpaqueBit}));
  EXPECT_TRUE(thumbnail_art(*thumbnail, {0, 5}, empty_picture()).empty());
  EXPECT_TRUE(thumbnail_art(*thumbnail, {5, -1}, empty_picture()).empty());
}

}  // namespace
}  // namespace lv::test
