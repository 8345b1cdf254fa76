#include "app/startup.h"

#include <gtest/gtest.h>

#include <string>

#include "base/log_capture.h"

namespace lv {
namespace {

TEST(Startup, NoLanguageShowsTheBilingualMessageAndEndsWithZero) {
  test::set_log_switch(1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(win_main(u""), 0);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Lumiview: No languages, please reinstall\n"), std::string::npos) << err;
  EXPECT_NE(err.find("\xd0\x9d\xd0\xb5 \xd0\xbd\xd0\xb0\xd0\xb9\xd0\xb4\xd0\xb5\xd0\xbd\xd1\x8b"),
            std::string::npos);
}

TEST(Startup, TheCommandLineCarriesPathsAnyWorkingFolderCanOpen) {
  const char* argv[] = {"lumiview", "Trip/a b.jpg", "", "/abs/c.jpg",
                        "file:///home/u/%C3%A4%20x.jpg"};
  EXPECT_EQ(command_line_of(5, argv, u"/home/u"),
            u"\"/home/u/Trip/a b.jpg\" /abs/c.jpg \"/home/u/\u00e4 x.jpg\"");
  EXPECT_EQ(command_line_of(1, argv, u"/home/u"), u"");
}

}  // namespace
}  // namespace lv
