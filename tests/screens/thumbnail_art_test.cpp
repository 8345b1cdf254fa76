// The thumbnail art: scaled into the size, cut by the frame with keyed
// accumulate, or marked opaque all over without a frame.

#include "screens/thumbnail_art.h"

#include <gtest/gtest.h>

#include "skin/rgb565.h"
#include "skin/surface.h"

namespace lv {
namespace {

std::unique_ptr<Surface> surface_of(int32_t width, int32_t height,
                                    std::initializer_list<uint16_t> pixels) {
  auto surface = Surface::create(width, height);
  auto it = pixels.begin();
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) surface->set_pixel(uint32_t(x), uint32_t(y), *it++);
  return surface;
}

uint16_t at(const Picture& picture, int32_t x, int32_t y) {
  return picture.bitmap->surface()->pixel(uint32_t(x), uint32_t(y));
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
  EXPECT_EQ(at(art, 0, 0), rgb565::kKey);
  EXPECT_EQ(at(art, 1, 0), kSeeThrough);
  EXPECT_EQ(at(art, 1, 1), 0x1111 | rgb565::kOpaqueBit);
  EXPECT_EQ(at(art, 2, 0), 0xF83F);
  EXPECT_EQ(at(art, 3, 1), 0xF83F);
  EXPECT_EQ(at(art, 0, 2), 0x4444 | rgb565::kOpaqueBit);
  EXPECT_EQ(at(art, 1, 3), 0x4444 | rgb565::kOpaqueBit);
  EXPECT_EQ(at(art, 2, 2), 0x0862);
  EXPECT_EQ(at(art, 3, 3), rgb565::kKey);
}

TEST(ThumbnailArtTest, WithoutAFrameEveryPixelIsOpaque) {
  const auto thumbnail = surface_of(2, 1, {rgb565::kKey, 0x0000});
  const Picture art = thumbnail_art(*thumbnail, {3, 2}, empty_picture());
  ASSERT_EQ(art.bitmap_size(), (Size{3, 2}));
  for (int32_t y = 0; y < 2; ++y) {
    EXPECT_EQ(at(art, 0, y), 0xF83F);
    EXPECT_EQ(at(art, 1, y), 0xF83F) << "3 columns sampled from 2 start with the first twice";
    EXPECT_EQ(at(art, 2, y), rgb565::kOpaqueBit);
  }
  EXPECT_TRUE(thumbnail_art(*thumbnail, {0, 5}, empty_picture()).empty());
  EXPECT_TRUE(thumbnail_art(*thumbnail, {5, -1}, empty_picture()).empty());
}

}  // namespace
}  // namespace lv
