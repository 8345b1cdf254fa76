#include "display/headless_display.h"

#include "skin/surface.h"

namespace lv {

HeadlessDisplay::HeadlessDisplay(std::unique_ptr<Surface> pixels, int32_t orientation)
    : Display(std::move(pixels), orientation) {}

}  // namespace lv
