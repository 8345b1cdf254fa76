// The album screen given a command line: what was open above it goes, a
// picture opens on the image screen over its folder's screen (the folder
// list's own record when it has the folder), a folder on the folder screen,
// and what cannot be opened is told with its path over the album screen.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/command_line.h"
#include "platform/text.h"
#include "screens/album_test_fixture.h"
#include "screens/folder_screen.h"
#include "screens/image_screen.h"

namespace lv::test::screens {
namespace {

using AlbumCommandLineTest = AlbumTest;

TEST_F(AlbumCommandLineTest, APathReplacesWhatWasOpenAboveTheAlbum) {
  device.put("Holiday/beach.jpg", kPictureA);
  device.put("Holiday/sea.jpg", kPictureB);
  device.put("Trip/a.jpg", kPictureC);
  device.put("Trip/b.jfif", kPictureD);  // a JPEG no listing finds by its name
  start();
  search();
  FolderScreen& folder = album->folder_screen();
  ImageScreen& image = folder.image_screen();
  const std::u16string pictures = from_utf8(device.pictures());

  album->open_command_line(join_command_line({pictures + u"/Holiday/sea.jpg", u"ignored"}));
  EXPECT_EQ(rig.host().stack, (std::vector<ScreenRoot*>{&folder, &image}));
  EXPECT_EQ(app.fronts, 1);
  // The folder list's record: its paths keep the pictures folder's macro.
  EXPECT_EQ(folder.record().folder, u"%my_documents%/Holiday/");
  EXPECT_EQ(image.viewer().pictures(), folder.pictures());
  EXPECT_EQ(image.viewer().index(), 1u);
  EXPECT_EQ(image.viewer().drive(), u"%my_documents%/");

  album->open_command_line(join_command_line({pictures + u"/Trip/b.jfif"}));
  EXPECT_EQ(rig.host().stack, (std::vector<ScreenRoot*>{&folder, &image}));
  EXPECT_EQ(folder.record().folder, u"%my_documents%/Trip/");
  EXPECT_EQ(folder.pictures(), std::vector<std::u16string>{u"%my_documents%/Trip/a.jpg"});
  EXPECT_EQ(
      image.viewer().pictures(),
      (std::vector<std::u16string>{u"%my_documents%/Trip/a.jpg", u"%my_documents%/Trip/b.jfif"}));
  EXPECT_EQ(image.viewer().index(), 1u);

  album->open_command_line(join_command_line({pictures + u"/Holiday/"}));
  EXPECT_EQ(rig.host().stack, std::vector<ScreenRoot*>{&folder});
  EXPECT_FALSE(image.on_stack());
  EXPECT_EQ(folder.record().folder, u"%my_documents%/Holiday/");
  EXPECT_TRUE(app.messages.empty());
}

TEST_F(AlbumCommandLineTest, WhatCannotBeOpenedIsToldOverTheAlbum) {
  device.put("Holiday/beach.jpg", kPictureA);
  device.put_broken("Holiday/notes.jpg");
  start();
  const std::u16string pictures = from_utf8(device.pictures());
  album->open_command_line(join_command_line({pictures + u"/Holiday"}));
  ASSERT_EQ(rig.host().stack.size(), 1u);

  album->open_command_line(join_command_line({pictures + u"/Holiday/notes.jpg"}));
  EXPECT_TRUE(rig.host().stack.empty());
  album->open_command_line(join_command_line({pictures + u"/Holiday/gone.jpg"}));
  EXPECT_EQ(app.messages,
            (std::vector<std::u16string>{
                u"Lumiview shows JPEG pictures and folders. This is neither:\n" + pictures +
                    u"/Holiday/notes.jpg",
                u"There is no such picture or folder:\n" + pictures + u"/Holiday/gone.jpg"}));
  // An empty command line (a plain second start) only raises the window.
  album->open_command_line(u"");
  EXPECT_EQ(app.fronts, 4);
  EXPECT_EQ(app.messages.size(), 2u);
}

}  // namespace
}  // namespace lv::test::screens
