// The image screen through the real program, headless, with scripted
// input: a tapped thumbnail shows its picture (probed against libjpeg's
// decode), a key steps to the next, the slide show ends at the last picture;
// properties, delete to the trash (the only picture of a folder too) and
// send through a stub "xdg-email".
//
// With LUMIVIEW_DOCS_SCREENSHOTS set to a folder, the image screen's
// screenshot is also copied there (screenshot-image.png).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/picture_probe.h"
#include "app/program_run.h"
#include "library/cache_file.h"
#include "library/libjpeg_codec.h"
#include "platform/text.h"

namespace lv {
namespace {

namespace fs = std::filesystem;
using test::copy_for_docs;
using test::error_against;
using test::find_line;
using test::Image;
using test::ProgramRun;
using test::reference;
using test::Shot;

constexpr int32_t kWidth = 480;

constexpr char kArt[] = "jpeg/large/firstgeneration.jpg";  // 3640 x 2400, 4 levels
constexpr char kTurned3[] = "jpeg/exif-ianare/orientation/landscape_3.jpg";  // 600 x 450
constexpr char kTurned6[] = "jpeg/exif-ianare/orientation/landscape_6.jpg";

const char* const kOpenFolder =
    "wait 700\n"
    "idle 300 5000\n"
    "key SOFT_LEFT\n"  // search
    "idle 800 30000\n"
    "taptext Trip\n"
    "idle 1500 30000\n";  // thumbnails and cache files made

bool has_line(const std::vector<std::string>& lines, const std::string& text) {
  return find_line(lines, text, 0, false) < lines.size();
}

// Lines that end with the text.
size_t count_lines(const std::vector<std::string>& lines, const std::string& text) {
  size_t n = 0;
  for (const std::string& line : lines) n += line.ends_with(text) ? 1 : 0;
  return n;
}

TEST(ImageProgram, TappedPictureShowsStepsAndTheSlideShowEndsAtTheLast) {
  LV_REQUIRE_TESTDATA();
  ProgramRun run;
  // Name order: firstgeneration, landscape_3, landscape_6.
  ASSERT_TRUE(run.add_picture(kArt, "Trip"));
  ASSERT_TRUE(run.add_picture(kTurned3, "Trip"));
  ASSERT_TRUE(run.add_picture(kTurned6, "Trip"));
  const std::string script = std::string(kOpenFolder) +
                             "tapid button0\nidle 400 10000\nscreenshot open.png\n"
                             "key Right\nidle 400 10000\nscreenshot second.png\n"
                             // The key shows the controls; the show steps once, then ends.
                             "key MINUS\ntapid chkSlideShow\nwait 4500\nwait 3500\nidle 300 5000\n";
  ASSERT_EQ(run.run(script), 0) << run.error_output();
  const auto lines = run.log_lines();
  ASSERT_TRUE(has_line(lines, "image open 0")) << "the image screen never opened";

  const Image art = reference((fs::path(run.pictures()) / "Trip/firstgeneration.jpg").string());
  // 3640 x 2400 fills the height: a third of its size, cut at the sides.
  const Shot open = run.shot("open.png");
  ASSERT_EQ(open.width, kWidth);
  EXPECT_LT(error_against(open, art, 1 / 3.0, 1820, 1200), 12);
  EXPECT_GT(error_against(open, art, 0.5, 1820, 1200), 20) << "a probe that tells zooms apart";
  copy_for_docs(run, "open.png", "screenshot-image.png");
  // landscape_3 is turned by its EXIF orientation and fits the width (600 x 450 at 0.8).
  const std::string turned3 = (fs::path(run.pictures()) / "Trip/landscape_3.jpg").string();
  EXPECT_LT(error_against(run.shot("second.png"), reference(turned3), 0.8, 300, 225), 12);
  EXPECT_EQ(count_lines(lines, "Set Right"), 2u);
  size_t stepped = 0;
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].ends_with("Set Right")) stepped = i;
  EXPECT_LT(find_line(lines, "image close", stepped, false), lines.size())
      << "the show did not end the screen at the last picture";
}

TEST(ImageProgram, PropertiesDeleteToTheTrashAndSend) {
  LV_REQUIRE_TESTDATA();
  ProgramRun run;
  ASSERT_TRUE(run.add_picture(kArt, "Trip"));
  ASSERT_TRUE(run.add_picture(kTurned3, "Trip"));
  ASSERT_TRUE(run.add_picture(kTurned6, "Solo"));
  // A stub mail program that writes down its arguments.
  const std::string bin = run.path("bin");
  fs::create_directories(bin);
  const std::string args = run.path("mail-args.txt");
  test::write_file(bin + "/xdg-email",
                   "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\" >> '" + args + "'; done\n");
  fs::permissions(bin + "/xdg-email", fs::perms::owner_all);
  run.set_env("XDG_DATA_HOME", run.path("home/.local/share"));
  run.set_env("PATH", bin + ":" + std::string(std::getenv("PATH") ? std::getenv("PATH") : ""));

  const std::string script = std::string(kOpenFolder) +
                             "tapid button0\nidle 300 10000\n"
                             "tapid btnMenu\nwait 300\ntapid Properties\nidle 300 5000\n"
                             "screenshot properties.png\n"
                             "tapid btnMenu\nwait 300\ntapid Send\nwait 300\ntapid Original\n"
                             "wait 300\n"
                             "tapid btnMenu\nwait 300\ntapid Send\nwait 300\ntapid Small\n"
                             "wait 500\n"
                             // The second picture goes to the trash.
                             "key Right\nidle 300 10000\n"
                             "key Del\nwait 300\ntapid DeleteYes\nidle 300 10000\n"
                             "key Backspace\nidle 300 5000\n"
                             // The only picture of Solo: its screen and album go.
                             "key Backspace\nidle 300 5000\n"
                             "taptext Solo\nidle 800 20000\n"
                             "tapid button0\nidle 300 10000\n"
                             "key Del\nwait 300\ntapid DeleteYes\nidle 600 10000\n"
                             "screenshot after.png\n";
  ASSERT_EQ(run.run(script), 0) << run.error_output();
  const auto lines = run.log_lines();
  const std::string art = (fs::path(run.pictures()) / "Trip/firstgeneration.jpg").string();

  // Properties: every line, with the resolution and the size.
  EXPECT_TRUE(has_line(lines, "property Name : firstgeneration.jpg"));
  EXPECT_TRUE(has_line(lines, "property Folder : " + (fs::path(run.pictures()) / "Trip").string()));
  EXPECT_TRUE(has_line(lines, "property Resolution : 3640x2400"));
  EXPECT_TRUE(has_line(lines, "property Size : 1.5 MB"));

  // Send: the picture itself, then a reduced copy this send wrote.
  const std::string sent = test::read_file(args);
  const std::string small_copy = sent.substr(sent.rfind("--attach\n") + 9);
  EXPECT_EQ(sent.substr(0, sent.find('\n', sent.find('\n') + 1) + 1), "--attach\n" + art + "\n");
  ASSERT_FALSE(small_copy.empty());
  const std::string copy_path = small_copy.substr(0, small_copy.find('\n'));
  EXPECT_TRUE(copy_path.ends_with("/send.jpg")) << copy_path;
  JpegDecoder decoder;
  ASSERT_TRUE(decoder.open(from_utf8(copy_path)) && decoder.start()) << copy_path;
  EXPECT_EQ(decoder.output_width(), 3640 / 8);
  EXPECT_LT(fs::file_size(copy_path), fs::file_size(art));

  // Delete: into the home trash with its info; the cache file is gone.
  const fs::path trash = run.path("home/.local/share/Trash");
  EXPECT_FALSE(fs::exists(fs::path(run.pictures()) / "Trip/landscape_3.jpg"));
  EXPECT_TRUE(fs::exists(trash / "files/landscape_3.jpg"));
  const std::string info = test::read_file((trash / "info/landscape_3.jpg.trashinfo").string());
  EXPECT_NE(info.find("[Trash Info]\nPath="), std::string::npos) << info;
  EXPECT_NE(info.find("landscape_3.jpg\nDeletionDate="), std::string::npos) << info;
  // Of the cache files only the remaining picture's is left.
  size_t cache_files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(run.root()))
    if (entry.path().parent_path().filename() == "!lumiviewcache" &&
        entry.path().filename() != "send.jpg")
      ++cache_files;
  EXPECT_EQ(cache_files, 1u);
  // Deleting the only picture of Solo took the folder off the album list.
  EXPECT_TRUE(fs::exists(trash / "files/landscape_6.jpg"));
  const std::string folders = test::read_file(run.path("home/.state/lumiview/folders.ini"));
  std::string ascii;
  for (size_t i = 2; i + 1 < folders.size(); i += 2) ascii += folders[i];
  EXPECT_EQ(ascii.find("Solo"), std::string::npos) << ascii;
  EXPECT_NE(ascii.find("Trip"), std::string::npos) << ascii;
  size_t last_delete = 0;
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].find("deleted ") != std::string::npos) last_delete = i;
  EXPECT_LT(find_line(lines, "image close", last_delete, false), lines.size());
}

}  // namespace
}  // namespace lv
