#include "skin/bitmap.h"

#include "base/file_util.h"
#include "base/log.h"
#include "base/path_case.h"
#include "skin/bitmap_file.h"
#include "skin/blit.h"
#include "skin/render_surface.h"
#include "skin/rgb565.h"
#include "skin/surface.h"

namespace lv {

namespace {

// The red channel and the opacity bit.
constexpr uint16_t kRedConversionMask = 0xF820;

Picture whole(BitmapRef bitmap) {
  Picture picture;
  const Size size = bitmap->size();
  picture.p2 = picture.p3 = {size.width, size.height};
  picture.bitmap = std::move(bitmap);
  return picture;
}

}  // namespace

Bitmap::Bitmap(std::u16string path, std::unique_ptr<Surface> surface)
    : m_path(std::move(path)), m_surface(std::move(surface)) {}

Bitmap::~Bitmap() = default;

BitmapRef Bitmap::create(std::u16string path, std::unique_ptr<Surface> surface) {
  return BitmapRef(new Bitmap(std::move(path), std::move(surface)));
}

const BitmapRef& Bitmap::empty() {
  // Never freed: pictures held by other static objects may outlive any
  // order of destruction.
  static const BitmapRef* instance = new BitmapRef(create(std::u16string(), nullptr));
  return *instance;
}

void Bitmap::release() const {
  if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

Size Bitmap::size() const {
  return m_surface ? m_surface->size() : Size{};
}

void Bitmap::draw_region(Canvas& target, Point position, Size size, Point p0, Point p1, Point p2,
                         Point p3, int32_t scale, const RowBlitter& blitter) const {
  if (!m_surface) return;
  PictureView view;
  view.bitmap = m_surface.get();
  view.p0 = p0;
  view.p1 = p1;
  view.p2 = p2;
  view.p3 = p3;
  view.scale = scale;
  draw_picture_region(target, position, size, view, blitter);
}

void Bitmap::convert_to_red() {
  if (!m_surface) return;
  for (uint32_t y = 0; y < m_surface->height(); ++y) {
    uint16_t* row = m_surface->row(y);
    for (uint32_t x = 0; x < m_surface->width(); ++x) {
      if (row[x] != rgb565::kKey) row[x] &= kRedConversionMask;
    }
  }
}

Size Picture::bitmap_size() const {
  return bitmap ? bitmap->size() : Size{};
}

bool Picture::empty() const {
  const Size size = bitmap_size();
  return size.width == 0 || size.height == 0;
}

void Picture::draw(Canvas& target, Point position, Size size, const RowBlitter& blitter) const {
  if (bitmap) bitmap->draw_region(target, position, size, p0, p1, p2, p3, scale, blitter);
}

Picture load_picture(std::u16string_view path) {
  // Found whatever the letter case of the name in the skin and of the file,
  // as skin and language files are.
  std::u16string file(path);
  file += u".bmp";
  FileStream stream(resolve_path_case(file), OpenMode::read);
  std::unique_ptr<Surface> surface = read_bitmap(stream);
  if (!surface) {
    log() << u"load_565 " << path << u" is not 16bit bitmap\n";
    return empty_picture();
  }
  return whole(Bitmap::create(std::u16string(path), std::move(surface)));
}

const Picture& empty_picture() {
  static const Picture* instance = new Picture();
  return *instance;
}

Picture picture_from_surface(std::unique_ptr<Surface> surface) {
  if (!surface) return empty_picture();
  return whole(Bitmap::create(std::u16string(), std::move(surface)));
}

Picture picture_from_surface(RenderSurface& surface) {
  return picture_from_surface(surface.take_surface());
}

}  // namespace lv
