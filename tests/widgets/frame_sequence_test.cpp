// Frame sequences: movie stepping on explicit time steps, clicks on the
// current frame's button and the listener; and the decimal numbers their
// delays are written in.

#include <gtest/gtest.h>

#include "widgets/frame_sequence.h"
#include "widgets/skin_values.h"
#include "widgets/text_element.h"
#include "widgets/widget_test_support.h"

namespace lv {
namespace {

using test::TestScreen;
using test::TestSkin;

TEST(Decimal, ReadsOnlyWholeNumbers) {
  // The value read, or 99 (left alone) where the text is no whole number.
  const std::pair<std::u16string_view, double> cases[] = {
      {u"-2", -2.0}, {u"+1.5e1", 15.0}, {u"1E-2", 0.01}, {u".5", 0.5},  {u"2.", 2.0},
      {u"", 99},     {u"1.2.3", 99},    {u"1e", 99},     {u"e5", 99},   {u"1 ", 99},
      {u"+", 99},    {u"-.", 99},       {u"1e400", 99},  {u"0x10", 99}, {u"\uFF11", 99}};
  for (const auto& [text, expected] : cases) {
    double value = 99.0;
    EXPECT_EQ(parse_decimal(text, value), expected != 99) << std::string(text.begin(), text.end());
    EXPECT_DOUBLE_EQ(value, expected);
  }
}

struct Changes : FrameSequenceListener {
  void clicked(FrameSequenceElement&, const ClickInfo&) override { ++clicks; }
  void frame_changed(FrameSequenceElement& sequence, FrameChange cause) override {
    frames.push_back(sequence.current());
    causes.push_back(cause);
  }
  int clicks = 0;
  std::vector<size_t> frames;
  std::vector<FrameChange> causes;
};

// The index of the one visible child.
int shown_frame(const FrameSequenceElement& sequence) {
  int shown = -1;
  for (size_t i = 0; i < sequence.child_count(); ++i)
    if (sequence.child(i).visible()) {
      if (shown >= 0) return -2;  // more than one
      shown = static_cast<int>(i);
    }
  return shown;
}

TEST(Movie, StepsOneFrameAtATimeByEachFramesDelayOnlyWhileShown) {
  TestSkin skin;
  ASSERT_TRUE(skin.load_nodes(R"({"Main": {"children": [
    {"string": {"type": "multinode", "id": "movie", "delay": "0.5"}, "integer": {"movie": 1},
     "children": [{"string": {"type": "node", "id": "f0"}},
       {"string": {"type": "node", "id": "f1", "delay": "2"}},
       {"string": {"type": "node", "id": "f2", "delay": "soon"}}]}]}})"));
  TestScreen screen(skin, u"Main", {50, 50});
  auto& movie = screen.find<FrameSequenceElement>(u"movie");
  Changes changes;
  movie.set_listener(&changes);
  // Frame 2's delay is unreadable: it takes the sequence's. 0.5 s of frame
  // 0, 2 s of frame 1, 0.5 s of frame 2, then frame 0 again.
  std::vector<int> seen;
  for (int tick = 0; tick < 13; ++tick) seen.push_back((screen.tick(0.25), shown_frame(movie)));
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 0, 0}));
  EXPECT_EQ(changes.frames, (std::vector<size_t>{1, 2, 0}));
  EXPECT_EQ(changes.causes, std::vector<FrameChange>(3, FrameChange::timer));

  // One frame per tick, and the rest of the time is kept; a negative step
  // is ignored, and hidden, the movie does not step.
  seen.clear();
  for (double step : {1.75, 0.5, -1.0}) seen.push_back((screen.tick(step), shown_frame(movie)));
  screen.root().set_visible(false);
  screen.tick(5.0);
  seen.push_back(shown_frame(movie));
  screen.root().set_visible(true);
  screen.tick(0.5);
  seen.push_back(shown_frame(movie));
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 2, 2, 0}));
}

TEST(FramePages, ClickOnTheCurrentButtonShowsTheNextFrame) {
  TestSkin skin;
  skin.language("Next=Weiter\n");
  ASSERT_TRUE(skin.load_nodes(R"({"Main": {"children": [
    {"string": {"type": "multinode", "id": "pages", "text": "Next"}, "children": [
      {"string": {"type": "button", "id": "p0"},
       "children": [{"string": {"type": "text", "id": "#text"}}]},
      {"string": {"type": "button", "id": "p1"}},
      {"string": {"type": "node", "id": "plain"}}]}]}})"));
  TestScreen screen(skin, u"Main", {100, 100});
  screen.layout();
  auto& pages = screen.find<FrameSequenceElement>(u"pages");
  EXPECT_EQ(screen.find<TextElement>(u"#text").text(), u"Weiter");
  ASSERT_NE(pages.frame_button(0), nullptr);
  EXPECT_EQ(pages.frame_button(2), nullptr);
  screen.tick(10.0);
  EXPECT_EQ(pages.current(), 0u);
  // No listener: the sequence turns the page itself.
  screen.tap(50, 50);
  EXPECT_EQ(shown_frame(pages), 1);
  // With a listener the listener decides; a click reported by a button
  // that is not the current frame is ignored.
  Changes changes;
  pages.set_listener(&changes);
  screen.tap(50, 50);
  ButtonElement& other = *pages.frame_button(0);
  other.listener()->clicked(other, ClickInfo{});
  EXPECT_EQ(changes.clicks, 1);
  EXPECT_EQ(pages.current(), 1u);
  pages.set_listener(nullptr);
  screen.tap(50, 50);  // frame 2 is no button: the tap reaches nothing
  screen.tap(50, 50);
  EXPECT_EQ(pages.current(), 2u);
}

}  // namespace
}  // namespace lv
