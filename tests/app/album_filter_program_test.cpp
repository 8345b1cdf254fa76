// The album's filter field in the real program, driven as a person would:
// a tap on the field, typing, Backspace, and cutting and pasting through the
// clipboard with Ctrl. Positions are the default skin's at 480 x 800: rows
// 76 pixels apart from y 58, the filter field in the bar at the bottom.
//
// With LUMIVIEW_DOCS_SCREENSHOTS set to a folder, the filtered screen with
// the field being edited is copied there (screenshot-album-filter.png).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <utility>

#include "app/program_run.h"
#include "skin/geometry.h"

namespace lv {
namespace {

using test::ProgramRun;
using test::Shot;

constexpr int32_t kRows = 4;
// A row's thumbnail and its name, inside row `index`.
Rect thumbnail(int32_t index) {
  return {20, 73 + 76 * index, 68, 121 + 76 * index};
}
Rect name(int32_t index) {
  return {90, 72 + 76 * index, 300, 96 + 76 * index};
}
const Rect kField{50, 760, 420, 790};

size_t distinct_colours(const Shot& shot, const Rect& area) {
  std::set<uint16_t> colours;
  for (int32_t y = area.top; y < area.bottom; ++y)
    for (int32_t x = area.left; x < area.right; ++x) colours.insert(shot.at(x, y));
  return colours.size();
}

// Whether the two areas hold the same pixels.
bool same(const Shot& a, const Rect& in_a, const Shot& b, const Rect& in_b) {
  for (int32_t y = 0; y < in_a.height(); ++y)
    for (int32_t x = 0; x < in_a.width(); ++x)
      if (a.at(in_a.left + x, in_a.top + y) != b.at(in_b.left + x, in_b.top + y)) return false;
  return true;
}

// The rows that show a thumbnail.
int32_t rows_shown(const Shot& shot) {
  int32_t rows = 0;
  for (int32_t i = 0; i < kRows; ++i) rows += distinct_colours(shot, thumbnail(i)) > 20 ? 1 : 0;
  return rows;
}

TEST(ProgramFilter, TypingNarrowsTheRowsBackspaceAndTheClipboardBringThemBackAndAgain) {
  LV_REQUIRE_TESTDATA();
  ProgramRun run;
  for (const auto& [picture, folder] :
       {std::pair{"exif-ianare/Canon_40D.jpg", "Austria"},
        std::pair{"exif-pillow/hopper.jpg", "Holiday"}, std::pair{"go/video-001.jpeg", "Trip"},
        std::pair{"go/video-005.gray.jpeg", "Winter"}})
    ASSERT_TRUE(run.add_picture(std::string("jpeg/") + picture, folder));
  const std::string script =
      "wait 700\n"
      "idle 300 5000\n"
      "key SOFT_LEFT\n"
      "idle 800 30000\n"
      "screenshot all.png\n"
      "tap 200 774\n"
      "type tri\n"
      "idle 300 3000\n"
      "screenshot filtered.png\n"
      "key Backspace\nkey Backspace\nkey Backspace\n"
      "idle 300 3000\n"
      "screenshot cleared.png\n"
      "type tri\n"
      "keydown Ctrl\nkey A\nkey X\nkeyup Ctrl\n"
      "idle 300 3000\n"
      "screenshot cut.png\n"
      "keydown Ctrl\nkey V\nkeyup Ctrl\n"
      "idle 300 3000\n"
      "screenshot pasted.png\n"
      "key Enter\n"
      "idle 300 3000\n"
      "screenshot done.png\n";
  ASSERT_EQ(run.run(script), 0) << run.error_output();

  const Shot all = run.shot("all.png");
  ASSERT_EQ(all.width, 480);
  ASSERT_EQ(rows_shown(all), 4);

  // "tri": Austria and Trip; the second row is the one that was third.
  for (const char* shot_name : {"filtered.png", "pasted.png", "done.png"}) {
    const Shot shot = run.shot(shot_name);
    ASSERT_FALSE(shot.empty()) << shot_name;
    EXPECT_EQ(rows_shown(shot), 2) << shot_name;
    EXPECT_TRUE(same(shot, name(0), all, name(0))) << shot_name;
    EXPECT_TRUE(same(shot, name(1), all, name(2))) << shot_name << ": not Trip's row";
    EXPECT_GT(distinct_colours(shot, kField), 3u) << shot_name << ": the field shows no text";
  }
  for (const char* shot_name : {"cleared.png", "cut.png"}) {
    const Shot shot = run.shot(shot_name);
    EXPECT_EQ(rows_shown(shot), 4) << shot_name;
    for (int32_t i = 0; i < kRows; ++i) EXPECT_TRUE(same(shot, name(i), all, name(i))) << shot_name;
  }

  const std::string log = [&] {
    std::string text;
    for (const std::string& line : run.log_lines()) text += line + "\n";
    return text;
  }();
  EXPECT_NE(log.find("album filter tri 2 of 4"), std::string::npos) << log;

  if (const char* folder = std::getenv("LUMIVIEW_DOCS_SCREENSHOTS"); folder && *folder)
    std::filesystem::copy_file(run.path("filtered.png"),
                               std::filesystem::path(folder) / "screenshot-album-filter.png",
                               std::filesystem::copy_options::overwrite_existing);
}

}  // namespace
}  // namespace lv
