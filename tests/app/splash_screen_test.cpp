#include "screens/splash_screen.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "app/app_test_support.h"
#include "base/log_capture.h"
#include "base/thread.h"
#include "skin/properties.h"
#include "skin/skin_exceptions.h"
#include "widgets/widget_test_support.h"

namespace lv {
namespace {

constexpr char kNodes[] = R"({
  "Splash": {"children": [{"string": {"type": "color"}, "color": {"color": "#202020"}}]},
  "Home": {"children": [{"string": {"type": "color"}, "color": {"color": "#ff0000"}}]}
})";

struct Home : test::ProbeScreen, test::RecordingListener {};

class SplashScreenTest : public testing::Test {
 protected:
  void SetUp() override {
    unregister_widget_types();  // the application registers its own
    app = std::make_unique<Application>(u"Lumiview", skin.properties(), test::headless_options());
    ASSERT_TRUE(skin.load_nodes(kNodes));
  }

  // Builds the home screen (after the gate opens, when there is one).
  HomeScreenBuilder home_builder() {
    return [this] {
      ++builds;
      if (gate) gate->wait();
      auto home = std::make_unique<Home>();
      home->build(skin.properties(), u"Home");
      ApplicationListener* listener = built = home.get();
      return HomeScreen{std::move(home), listener};
    };
  }
  // Frames of 0.2 s until the splash has gone; past the splash's minimum
  // each frame gives the loader up to 100 ms.
  void run_frames_until_swapped(SplashScreen& splash) {
    for (int i = 0; i < 300 && !splash.swapped(); ++i) EXPECT_NO_THROW(app->update(0.2));
  }

  test::TestSkin skin;
  std::unique_ptr<Application> app;
  std::atomic<int> builds{0};
  std::atomic<Home*> built{nullptr};
  std::unique_ptr<Event> gate;
};

// The start-up lines it logs are checked in the program's start.
TEST_F(SplashScreenTest, StaysWhileTheLoaderBuildsThenHandsOverToTheHomeScreen) {
  gate = std::make_unique<Event>(EventReset::manual);
  {
    SplashScreen splash(*app, home_builder(), 0);
    for (int i = 0; i < 4; ++i) app->update(0.2);
    EXPECT_TRUE(!splash.swapped() && app->current_screen() == &splash);
    gate->set();
    run_frames_until_swapped(splash);
    Home* home = built.load();
    ASSERT_TRUE(splash.swapped() && home);
    EXPECT_TRUE(app->current_screen() == home && app->screens().size() == 1u);
    EXPECT_TRUE(app->listener() == home && home->layout_changes == 1 && builds == 1);
    // Made the listener before it was put on the stack: it hears of itself.
    EXPECT_EQ(home->added, std::vector<ScreenRoot*>{home});
    app->update(0.02);
    EXPECT_EQ(home->log, "timer 0.02");
  }
  // Destroyed, it takes both screens away and the listener with them.
  EXPECT_TRUE(app->screens().empty() && app->listener() == nullptr);
}

TEST_F(SplashScreenTest, ClosedDuringItsMinimumTimeItEndsAtOnceWithoutBuilding) {
  const auto start = std::chrono::steady_clock::now();
  {
    SplashScreen splash(*app, home_builder(), 60'000);
    app->update(0.1);
  }
  // Not a measure of speed: left to its minute, the loader would not have
  // been cut short.
  EXPECT_TRUE(std::chrono::steady_clock::now() - start < std::chrono::seconds(30) && builds == 0 &&
              app->screens().empty());
}

TEST_F(SplashScreenTest, AnyOtherFaultOnTheLoaderEndsTheStartCleanly) {
  test::start_fresh_log();
  SplashScreen splash(
      *app, []() -> HomeScreen { throw std::bad_alloc(); }, 0);
  run_frames_until_swapped(splash);
  EXPECT_TRUE(splash.swapped() && app->window()->finished() && app->listener() == nullptr);
  EXPECT_NE(test::read_log_text().find(u"SplashScreen the loader failed: std::bad_alloc"),
            std::u16string::npos);
}

TEST_F(SplashScreenTest, ASkinFaultOnTheLoaderIsThrownOnTheUserInterfaceThread) {
  SplashScreen splash(
      *app, []() -> HomeScreen { throw jobser::NodeNotFoundInSkin(u"AlbumElement"); }, 0);
  std::u16string thrown;
  for (int i = 0; i < 300 && thrown.empty(); ++i) {
    try {
      app->update(0.2);
    } catch (const jobser::NodeNotFoundInSkin& fault) {
      thrown = fault.node_name();
    }
  }
  ASSERT_EQ(thrown, u"AlbumElement");
  // Once: the splash is left as it is, and no listener was made.
  EXPECT_NO_THROW(app->update(0.2));
  EXPECT_TRUE(app->current_screen() == &splash && app->listener() == nullptr);
}

}  // namespace
}  // namespace lv
