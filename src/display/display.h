#pragma once

// The display: a 16-bit RGB565 frame buffer that the program locks, fills
// and presents itself. Two kinds stand behind one interface: the SDL
// display (a streaming texture on the window's renderer) and the headless
// display (memory only; LUMIVIEW_DISPLAY=offscreen), which needs no X
// server. Both keep the frame's pixels between frames, so a frame that
// redraws only what changed is complete, and a screenshot can be taken.

#include <cstdint>
#include <memory>

#include "skin/geometry.h"

namespace lv {

namespace platform {
class Window;
}

class Surface;

// In: the size and orientation asked for. Out (on success): what the display
// really has; `initialised` is set to 1 on first use.
struct DisplayParameters {
  int32_t width = 0;
  int32_t height = 0;
  int32_t orientation = 0;
  uint32_t initialised = 0;
};

class Display {
 public:
  // Closing a display is destroying it: it releases what it acquired.
  virtual ~Display();
  Display(const Display&) = delete;
  Display& operator=(const Display&) = delete;

  // True when the frame buffer may be written now. A second begin without an
  // end answers false.
  bool begin_draw();
  // The locked frame buffer, between begin_draw and end_draw; null otherwise.
  Surface* frame_buffer();
  // Presents what was drawn. Without a begin_draw it does nothing.
  void end_draw(uint32_t flags);

  // The pixels of the last frame (all zero before the first).
  const Surface& contents() const { return *m_pixels; }
  Size size() const;
  int32_t orientation() const { return m_orientation; }
  uint64_t frames_presented() const { return m_frames; }

 protected:
  Display(std::unique_ptr<Surface> pixels, int32_t orientation);
  // Shows the finished frame; false when the system refused.
  virtual bool present(const Surface& pixels) = 0;

 private:
  std::unique_ptr<Surface> m_pixels;
  int32_t m_orientation;
  bool m_drawing = false;
  uint64_t m_frames = 0;
};

// Quarter turns of the screen: on this system the window is the screen, so
// 1 for a landscape window (wider than high), else 0.
int32_t query_orientation(const platform::Window& window);

// The display of the window: headless for a headless window, else the SDL
// display. None when it cannot be made (no renderer, no texture, a window of
// no size).
std::unique_ptr<Display> open_display(platform::Window& window, DisplayParameters& parameters);

}  // namespace lv
