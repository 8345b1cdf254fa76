// The image screen through the real program, headless, with scripted
// input: the slide show steps and ends at the last picture; properties,
// send through a stub "xdg-email", and delete to the trash (the only
// picture of a folder too). How a picture is shown is the viewer's test.
//
// With LUMIVIEW_DOCS_SCREENSHOTS set to a folder, the image screen's
// screenshot is also copied there (screenshot-image.png).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/program_run.h"
#include "library/libjpeg_codec.h"
#include "platform/text.h"

namespace lv {
namespace {

namespace fs = std::filesystem;
using test::ProgramRun;

constexpr size_t npos = std::string::npos;

TEST(ImageProgram, SlideShowPropertiesSendAndDeleteToTheTrash) {
  LV_REQUIRE_TESTDATA();
  ProgramRun run;
  // Name order: firstgeneration (3640 x 2400), landscape_3.
  ASSERT_TRUE(run.add_picture("jpeg/large/firstgeneration.jpg", "Trip") &&
              run.add_picture("jpeg/exif-ianare/orientation/landscape_3.jpg", "Trip") &&
              run.add_picture("jpeg/exif-ianare/orientation/landscape_6.jpg", "Solo"));
  run.set_env("XDG_DATA_HOME", run.path("home/.local/share"));
  // A stub mail program that writes down its arguments.
  const std::string bin = run.path("bin"), args = run.path("mail-args.txt");
  fs::create_directories(bin);
  test::write_file(bin + "/xdg-email",
                   "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\" >> '" + args + "'; done\n");
  fs::permissions(bin + "/xdg-email", fs::perms::owner_all);
  run.set_env("PATH", bin + ":" + std::string(std::getenv("PATH") ? std::getenv("PATH") : ""));

  const std::string script =
      "wait 700\nidle 300 5000\nkey SOFT_LEFT\nidle 800 30000\n"
      "taptext Trip\nidle 1500 30000\n"  // thumbnails and cache files made
      "tapid button0\nidle 400 10000\nscreenshot open.png\n"
      // The key shows the controls; the show steps once, then ends.
      "key MINUS\ntapid chkSlideShow\nwait 4500\nwait 3500\nidle 300 5000\n"
      "tapid button0\nidle 300 10000\n"
      "tapid btnMenu\nwait 300\ntapid Properties\nidle 300 5000\n"
      "tapid btnMenu\nwait 300\ntapid Send\nwait 300\ntapid Original\nwait 300\n"
      "tapid btnMenu\nwait 300\ntapid Send\nwait 300\ntapid Small\nwait 500\n"
      // The second picture goes to the trash.
      "key Right\nidle 300 10000\nkey Del\nwait 300\ntapid DeleteYes\nidle 300 10000\n"
      "key Backspace\nidle 300 5000\nkey Backspace\nidle 300 5000\n"
      // The only picture of Solo: its screen and album go.
      "taptext Solo\nidle 800 20000\ntapid button0\nidle 300 10000\n"
      "key Del\nwait 300\ntapid DeleteYes\nidle 600 10000\n";
  ASSERT_EQ(run.run(script), 0) << run.error_output();
  test::copy_for_docs(run, {{"open.png", "screenshot-image.png"}});
  const std::string log = run.log();
  const std::string trip = (fs::path(run.pictures()) / "Trip").string();

  const size_t shown = log.find("image open 0"), stepped = log.find("Set Right");
  ASSERT_NE(shown, npos) << "the image screen never opened";
  EXPECT_LT(log.find("image close", stepped), log.find("image open 0", shown + 1))
      << "the show did not end the screen at the last picture";
  EXPECT_NE(log.find("Set Right", stepped + 1), npos) << "the key stepped";

  // Properties: every line, with the resolution and the size.
  for (const std::string& line :
       std::vector<std::string>{"Name : firstgeneration.jpg", "Resolution : 3640x2400",
                                "Size : 1.5 MB", "Folder : " + trip})
    EXPECT_NE(log.find("property " + line + "\n"), npos) << line;

  // Send: the picture itself, then a reduced copy (an eighth) this send wrote.
  const std::string sent = test::read_file(args), art = trip + "/firstgeneration.jpg";
  const size_t copy_at = sent.rfind("--attach\n") + 9;
  const std::string copy = sent.substr(copy_at, sent.find('\n', copy_at) - copy_at);
  EXPECT_TRUE(sent.starts_with("--attach\n" + art + "\n") && copy.ends_with("/send.jpg")) << sent;
  JpegDecoder decoder;
  ASSERT_TRUE(decoder.open(from_utf8(copy)) && decoder.start()) << copy;
  EXPECT_EQ(decoder.output_width(), 3640 / 8);

  // Delete: into the home trash (its format is the trash's test); of the
  // cache files only the remaining picture's is left.
  const fs::path trash = run.path("home/.local/share/Trash");
  EXPECT_TRUE(!fs::exists(trip + "/landscape_3.jpg") &&
              fs::exists(trash / "files/landscape_3.jpg") &&
              fs::exists(trash / "info/landscape_3.jpg.trashinfo"));
  size_t cache_files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(run.root()))
    cache_files += entry.path().parent_path().filename() == "!lumiviewcache" &&
                   entry.path().filename() != "send.jpg";
  EXPECT_EQ(cache_files, 1u);
  // Deleting the only picture of Solo took the folder off the album list
  // and closed the screen.
  EXPECT_TRUE(fs::exists(trash / "files/landscape_6.jpg"));
  const std::string folders =
      test::ascii_of_utf16(test::read_file(run.path("home/.state/lumiview/folders.ini")));
  EXPECT_TRUE(folders.find("Solo") == npos && folders.find("Trip") != npos) << folders;
  EXPECT_NE(log.find("image close", log.rfind("deleted ")), npos);
}

}  // namespace
}  // namespace lv
