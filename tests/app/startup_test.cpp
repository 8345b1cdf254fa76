#include "app/startup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/test_env.h"

namespace lv {
namespace {

void enable_log() {
  const std::string config = std::getenv("XDG_CONFIG_HOME");
  std::string dir = config + "/lumiview";
  std::system(("mkdir -p '" + dir + "'").c_str());
  lv::test::write_file(dir + "/registry.reg",
                       "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\KARU]\n\"Log\"=dword:00000001\n");
}

std::u16string read_log() {
  const std::string bytes =
      lv::test::read_file(std::string(std::getenv("TMPDIR")) + "/" + LUMIVIEW_TEST_APP_NAME ".txt");
  std::u16string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  return text;
}

TEST(Startup, NoLanguageShowsTheBilingualMessageAndEndsWithZero) {
  enable_log();
  testing::internal::CaptureStderr();
  EXPECT_EQ(win_main(u""), 0);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Lumiview: No languages, please reinstall\n"), std::string::npos) << err;
  EXPECT_NE(err.find("\xd0\x9d\xd0\xb5 \xd0\xbd\xd0\xb0\xd0\xb9\xd0\xb4\xd0\xb5\xd0\xbd\xd1\x8b"),
            std::string::npos);

  const std::u16string log = read_log();
  const size_t first = log.find(u"WinMain 0\n");
  const size_t second = log.find(u"WindMain 1\n");
  ASSERT_NE(first, std::u16string::npos);
  ASSERT_NE(second, std::u16string::npos);
  EXPECT_LT(first, second);
  // Each start-up line begins with the tick count, digits only.
  ASSERT_GT(first, 0u);
  EXPECT_TRUE(log[first - 1] >= u'0' && log[first - 1] <= u'9');
}

TEST(Startup, TheCommandLineCarriesPathsAnyWorkingFolderCanOpen) {
  const char* argv[] = {"lumiview", "Trip/a b.jpg", "", "/abs/c.jpg",
                        "file:///home/u/%C3%A4%20x.jpg"};
  EXPECT_EQ(command_line_of(5, argv, u"/home/u"),
            u"\"/home/u/Trip/a b.jpg\" /abs/c.jpg \"/home/u/\u00e4 x.jpg\"");
  const char* none[] = {"lumiview"};
  EXPECT_EQ(command_line_of(1, none, u"/home/u"), u"");
}

}  // namespace
}  // namespace lv
