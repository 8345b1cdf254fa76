#pragma once

// The shared bitmap resource and the Picture values that point into it. A
// bitmap is loaded once per skin and shared, through a thread-safe reference
// count, by every Picture read from the skin; it lives as long as any of them,
// even after the skin that loaded it is replaced.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "skin/geometry.h"

namespace lv {

class Canvas;
class RenderSurface;
class RowBlitter;
class Surface;
class BitmapRef;

class Bitmap {
 public:
  // A bitmap owning the surface; a null surface makes a 0 x 0 bitmap. The
  // path is empty for bitmaps made in memory.
  static BitmapRef create(std::u16string path, std::unique_ptr<Surface> surface);
  // The process-wide 0 x 0 bitmap that every empty picture shares.
  static const BitmapRef& empty();

  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;

  Size size() const;
  const std::u16string& path() const { return m_path; }
  const Surface* surface() const { return m_surface.get(); }
  Surface* surface() { return m_surface.get(); }

  // Draws the region p0..p3 (scaled units, see draw_picture_region) into the
  // rectangle (position, size): margins kept, inner part repeated.
  void draw_region(Canvas& target, Point position, Size size, Point p0, Point p1, Point p2,
                   Point p3, int32_t scale, const RowBlitter& blitter) const;

  // In place, for every Picture sharing this bitmap: each pixel other than
  // the transparent key keeps only its red channel and its opacity bit.
  void convert_to_red();

  int32_t use_count() const { return m_refs.load(std::memory_order_acquire); }

 private:
  friend class BitmapRef;
  Bitmap(std::u16string path, std::unique_ptr<Surface> surface);
  ~Bitmap();
  void add_ref() const { m_refs.fetch_add(1, std::memory_order_relaxed); }
  void release() const;

  mutable std::atomic<int32_t> m_refs{0};
  std::u16string m_path;
  std::unique_ptr<Surface> m_surface;
};

// A counted reference to a Bitmap; copies share it, the last one frees it.
class BitmapRef {
 public:
  BitmapRef() = default;
  BitmapRef(const BitmapRef& other) : m_bitmap(other.m_bitmap) {
    if (m_bitmap) m_bitmap->add_ref();
  }
  BitmapRef(BitmapRef&& other) noexcept : m_bitmap(other.m_bitmap) { other.m_bitmap = nullptr; }
  BitmapRef& operator=(BitmapRef other) noexcept {
    std::swap(m_bitmap, other.m_bitmap);
    return *this;
  }
  ~BitmapRef() {
    if (m_bitmap) m_bitmap->release();
  }

  Bitmap* get() const { return m_bitmap; }
  Bitmap* operator->() const { return m_bitmap; }
  Bitmap& operator*() const { return *m_bitmap; }
  explicit operator bool() const { return m_bitmap != nullptr; }
  friend bool operator==(const BitmapRef& a, const BitmapRef& b) {
    return a.m_bitmap == b.m_bitmap;
  }

 private:
  friend class Bitmap;
  explicit BitmapRef(Bitmap* bitmap) : m_bitmap(bitmap) {
    if (m_bitmap) m_bitmap->add_ref();
  }
  Bitmap* m_bitmap = nullptr;
};

// A region of a shared bitmap as a skin describes it: p0 the top-left
// corner, p3 the bottom-right corner (exclusive), p1 and p2 the corners of
// the inner part that is repeated to fill a larger area. Points are in
// scaled units: bitmap pixels times 2^scale. The flag is carried from the
// skin and not used in drawing.
struct Picture {
  Point p0, p1, p2, p3;
  BitmapRef bitmap = Bitmap::empty();
  int32_t scale = 0;
  uint8_t flag = 0;

  // The bitmap's size in its own pixels; 0 x 0 for the empty picture.
  Size bitmap_size() const;
  bool empty() const;

  void draw(Canvas& target, Point position, Size size, const RowBlitter& blitter) const;
};

// Loads "<path>.bmp" (path macros expanded) as a picture covering the whole
// bitmap: p0 = p1 = (0, 0), p2 = p3 = (width, height), scale 0, flag 0. A
// file that is missing, unreadable or not a 16-bit bitmap gives the empty
// picture and logs "load_565 <path> is not 16bit bitmap".
Picture load_picture(std::u16string_view path);

// A picture sharing the process-wide 0 x 0 bitmap.
const Picture& empty_picture();

// A picture of a surface made in memory (a thumbnail, a decoded photograph),
// covering all of it; a null surface gives the empty picture.
Picture picture_from_surface(std::unique_ptr<Surface> surface);
// The same with the render surface's own surface, which it gives up.
Picture picture_from_surface(RenderSurface& surface);

}  // namespace lv
