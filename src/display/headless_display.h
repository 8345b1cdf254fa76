#pragma once

// The display of a headless session: the frame stays in memory, where tests
// and screenshots read it.

#include "display/display.h"

namespace lv {

class HeadlessDisplay : public Display {
 public:
  HeadlessDisplay(std::unique_ptr<Surface> pixels, int32_t orientation);

 protected:
  bool present(const Surface&) override { return true; }
};

}  // namespace lv
