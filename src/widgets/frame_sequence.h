#pragma once

// "multinode": shows exactly one child at a time, the current frame, and
// steps through them: on the timer when "movie" is set (each frame for its
// own "delay", else the sequence's, in seconds), or when the current frame's
// button is clicked. A movie steps at most one frame per tick and only
// while it is visible; the time beyond a frame's delay counts towards the
// next. Without a listener a click on the current frame shows the next one.

#include <cstdint>
#include <string>
#include <vector>

#include "widgets/button.h"
#include "widgets/element.h"

namespace lv {

class FrameSequenceElement;

enum class FrameChange : bool { timer = false, click = true };

class FrameSequenceListener {
 public:
  virtual void clicked(FrameSequenceElement& sequence, const ClickInfo& info) = 0;
  virtual void frame_changed(FrameSequenceElement& sequence, FrameChange cause) {}
  virtual void dragged(FrameSequenceElement& sequence, DragInfo& info) {}

 protected:
  ~FrameSequenceListener() = default;
};

class FrameSequenceElement : public Element, private ButtonListener {
 public:
  // A frame's delay that means "the sequence's delay".
  static constexpr double kDefaultDelay = -1.0;

  void load(const Properties& properties, const SkinNode* node) override;
  std::unique_ptr<Element> remove_child(Element& child, size_t index) override;
  void insert_child(std::unique_ptr<Element> child, size_t index, const Properties* properties,
                    const SkinNode* node, std::u16string_view type_name) override;
  void on_timer(double seconds) override;

  void set_listener(FrameSequenceListener* listener) { m_listener = listener; }
  FrameSequenceListener* listener() const { return m_listener; }

  size_t frame_count() const { return m_frames.size(); }
  size_t current() const { return m_current; }
  // Shows the frame at index (one past the last is ignored) and tells the
  // listener.
  void set_current(size_t index, FrameChange cause);
  // The next frame, after the last the first.
  void advance(FrameChange cause);

  // Seconds per frame: the frame's own, or the sequence's.
  double frame_delay(size_t index) const;
  double default_delay() const { return m_default_delay; }
  void set_movie(bool movie, double default_delay);
  ButtonElement* frame_button(size_t index) const;

 private:
  struct Frame {
    ButtonElement* button = nullptr;
    double delay = kDefaultDelay;
  };

  void show_current();
  void clicked(ButtonElement& button, const ClickInfo& info) override;
  void dragged(ButtonElement& button, DragInfo& info) override;

  FrameSequenceListener* m_listener = nullptr;
  std::vector<Frame> m_frames;  // one per child, in child order
  size_t m_current = 0;
  double m_default_delay = 1.0;
  bool m_movie = false;
  std::u16string m_text;
  double m_elapsed = 0.0;
};

}  // namespace lv
