// The folder screen in the real program, headless with scripted input: the
// grid of a folder opened from the album, its cells on a narrow screen and
// after a turn to landscape, the folder list corrected from the disk, and a
// thumbnail that fills in once the worker has made it.
//
// Positions are those of the shipped default skin at scale 1: the album's
// first row is 76 pixels high from y 58; the folder grid starts at y 59
// (the header's 55 and the list's 4), its cells are 58 x 58 and the cells
// of a row are centred.

#include <gtest/gtest.h>

#include <set>

#include "app/program_run.h"
#include "skin/geometry.h"

namespace lv {
namespace {

using test::find_line;
using test::ProgramRun;
using test::Shot;

constexpr int32_t kGridTop = 59;
constexpr int32_t kCell = 58;
constexpr int32_t kFirstAlbumRowY = 96;

const char* const kCameras[] = {"jpeg/exif-ianare/Canon_40D.jpg",
                                "jpeg/exif-ianare/Canon_DIGITAL_IXUS_400.jpg",
                                "jpeg/exif-ianare/Fujifilm_FinePix6900ZOOM.jpg",
                                "jpeg/exif-ianare/Kodak_CX7530.jpg",
                                "jpeg/exif-ianare/Nikon_COOLPIX_P1.jpg",
                                "jpeg/exif-ianare/Nikon_D70.jpg",
                                "jpeg/exif-ianare/Olympus_C8080WZ.jpg",
                                "jpeg/exif-ianare/Panasonic_DMC-FZ30.jpg",
                                "jpeg/exif-ianare/Pentax_K10D.jpg"};

// The centre of a grid cell on a screen `width` pixels wide with `columns`.
Point cell_centre(int32_t width, int32_t columns, int32_t row, int32_t column) {
  const int32_t left = (width - columns * kCell) / 2;
  return {left + column * kCell + kCell / 2, kGridTop + row * kCell + kCell / 2};
}

std::string tap(Point p) {
  return "tap " + std::to_string(p.x) + " " + std::to_string(p.y) + "\n";
}

size_t distinct_colours(const Shot& shot, Point centre, int32_t half) {
  std::set<uint16_t> colours;
  for (int32_t y = centre.y - half; y < centre.y + half; ++y)
    for (int32_t x = centre.x - half; x < centre.x + half; ++x) colours.insert(shot.at(x, y));
  return colours.size();
}

// The "open picture N ..." lines of the log, as their numbers.
std::vector<int> opened_pictures(const std::vector<std::string>& lines) {
  std::vector<int> opened;
  for (const std::string& line : lines) {
    const size_t at = line.find("open picture ");
    if (at != std::string::npos) opened.push_back(std::atoi(line.c_str() + at + 13));
  }
  return opened;
}

// folders.ini as ASCII text ('?' for the rest).
std::string folders_file(const ProgramRun& run) {
  const std::string bytes = test::read_file(run.path("home/.state/lumiview/folders.ini"));
  std::string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2)
    text += bytes[i + 1] == 0 && uint8_t(bytes[i]) < 0x80 ? bytes[i] : '?';
  return text;
}

const char* const kStart =
    "wait 700\n"
    "idle 300 5000\n";
// Searches from the album screen and waits for its thumbnails.
const char* const kSearch =
    "key SOFT_LEFT\n"
    "idle 800 30000\n";

TEST(FolderProgram, NarrowGridThenLandscapeRecomputesTheColumns) {
  LV_REQUIRE_TESTDATA();
  ProgramRun run;
  for (const char* picture : kCameras) ASSERT_TRUE(run.add_picture(picture, "Trip"));
  run.set_env("LUMIVIEW_SCREEN", "240x400");

  std::string script = std::string(kStart) + kSearch + tap({120, kFirstAlbumRowY}) +
                       "idle 800 30000\nscreenshot narrow.png\n";
  // A thumbnail tapped opens the picture; Backspace comes back.
  const auto open_and_back = [](Point cell) {
    return tap(cell) + "idle 200 5000\nkey Backspace\nidle 200 5000\n";
  };
  // 4 columns: the last row holds picture 8 alone.
  script += open_and_back(cell_centre(240, 4, 0, 3)) + open_and_back(cell_centre(240, 4, 2, 0)) +
            tap(cell_centre(240, 4, 2, 1)) + tap(cell_centre(240, 4, 2, 3)) + "wait 100\n";
  // Landscape: 6 columns, two rows (six and three).
  script += "resize 480 240\nidle 500 30000\nscreenshot wide.png\n";
  script += open_and_back(cell_centre(480, 6, 0, 5)) + open_and_back(cell_centre(480, 6, 1, 2)) +
            tap(cell_centre(480, 6, 1, 3)) + "wait 100\n";
  ASSERT_EQ(run.run(script), 0) << run.error_output();

  const auto lines = run.log_lines();
  ASSERT_LT(find_line(lines, "folder open ", 0, false), lines.size())
      << "the folder screen never opened";
  // Hidden and disabled cells answer no tap.
  EXPECT_EQ(opened_pictures(lines), (std::vector<int>{3, 8, 5, 8}));

  const Shot narrow = run.shot("narrow.png");
  ASSERT_EQ(narrow.width, 240);
  for (int32_t row = 0; row < 3; ++row)
    for (int32_t column = 0; column < 4; ++column) {
      SCOPED_TRACE(testing::Message() << "row " << row << " column " << column);
      const Point centre = cell_centre(240, 4, row, column);
      const bool used = row * 4 + column < 9;
      // A thumbnail shows a photograph's many colours; an unused cell only
      // the background.
      if (used)
        EXPECT_GT(distinct_colours(narrow, centre, 20), 60u);
      else
        EXPECT_EQ(distinct_colours(narrow, centre, 20), 1u);
    }
  const Shot wide = run.shot("wide.png");
  ASSERT_EQ(wide.width, 480);
  EXPECT_GT(distinct_colours(wide, cell_centre(480, 6, 0, 5), 20), 60u);
  EXPECT_GT(distinct_colours(wide, cell_centre(480, 6, 1, 2), 20), 60u);
  EXPECT_EQ(distinct_colours(wide, cell_centre(480, 6, 1, 3), 20), 1u);
}

TEST(FolderProgram, OpeningCorrectsTheFolderListAndFillsInTheNewThumbnail) {
  LV_REQUIRE_TESTDATA();
  ProgramRun run;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(run.add_picture(kCameras[i], "Trip"));
  run.set_env("LUMIVIEW_SCREEN", "240x400");
  ASSERT_EQ(run.run(std::string(kStart) + kSearch), 0) << run.error_output();
  ASSERT_NE(folders_file(run).find("\t3\n"), std::string::npos) << folders_file(run);

  // Behind the program's back: one picture goes, two come, and the large
  // one has no cache file yet.
  const std::filesystem::path trip = std::filesystem::path(run.pictures()) / "Trip";
  std::filesystem::remove(trip / std::filesystem::path(kCameras[2]).filename());
  ASSERT_TRUE(run.add_picture(kCameras[3], "Trip"));
  ASSERT_TRUE(run.add_picture("jpeg/large/Kleiber_by_Lukas_Baubkus.jpg", "Trip"));

  ASSERT_EQ(run.run(std::string(kStart) + tap({120, kFirstAlbumRowY}) +
                    "wait 60\nscreenshot loading.png\nidle 3000 60000\nscreenshot filled.png\n"),
            0)
      << run.error_output();
  const auto lines = run.log_lines();
  ASSERT_LT(find_line(lines, "folder open ", 0, false), lines.size());
  const std::string folders = folders_file(run);
  EXPECT_NE(folders.find("\t4\n"), std::string::npos) << folders;
  EXPECT_EQ(folders.find(std::filesystem::path(kCameras[2]).filename().string()), std::string::npos)
      << folders;

  // Name order: Canon_40D, Canon_DIGITAL_IXUS_400, Kleiber, Kodak.
  const Point kleiber = cell_centre(240, 4, 0, 2);
  const Shot loading = run.shot("loading.png");
  const Shot filled = run.shot("filled.png");
  ASSERT_FALSE(loading.empty() || filled.empty());
  EXPECT_LT(distinct_colours(loading, kleiber, 20), 20u) << "not the loading art";
  EXPECT_GT(distinct_colours(filled, kleiber, 20), 60u) << "no thumbnail after the worker";
  EXPECT_GT(distinct_colours(filled, cell_centre(240, 4, 0, 3), 20), 60u);
}

}  // namespace
}  // namespace lv
