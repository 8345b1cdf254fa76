#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <vector>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/single_instance.h"
#include "support/test_env.h"

namespace lv::platform {
namespace {

namespace fs = std::filesystem;

TEST(Process, ArgumentsArriveVerbatimWithoutAShellOrInheritedDescriptors) {
  auto wait_for_children = [] {
    for (int i = 0; i < 1000 && reap_children() > 0; ++i) sleep_ms(10);
    return reap_children() == 0;
  };
  const std::string folder = test::make_temp_dir("spawn");
  const std::string tricky = folder + "/it's \"a\" name; touch injected $(id) * `id`";
  ASSERT_TRUE(spawn_process("touch", {tricky}));
  ASSERT_TRUE(wait_for_children());  // reaped: no zombie
  EXPECT_EQ(::access(tricky.c_str(), F_OK), 0);

  const int leaked = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);  // no O_CLOEXEC
  const std::string script = "[ -e /proc/self/fd/" + std::to_string(leaked) +
                             " ] && echo open > \"$1\" || echo closed > \"$1\"";
  ASSERT_TRUE(spawn_process("sh", {"-c", script, "sh", folder + "/out"}));
  ASSERT_TRUE(wait_for_children());
  ::close(leaked);
  EXPECT_EQ(test::read_file(folder + "/out"), "closed\n");

  EXPECT_FALSE(spawn_process("lumiview-no-such-program", {"x"}));
}

TEST(SingleInstance, SecondInstanceWaitsForTheFirstThenHandsItsCommandLineOver) {
  const std::string folder = lv::test::make_temp_dir("run");
  {
    SingleInstance crashed(folder);
    ASSERT_TRUE(crashed.listen([](std::u16string) {}));
    // A crashed instance leaves its socket file behind without a listener.
    ::link(crashed.socket_path().c_str(), (folder + "/keep").c_str());
  }
  ::rename((folder + "/keep").c_str(), (folder + "/lumiview.sock").c_str());

  // No ASSERT while the second waits: leaving early would never release it.
  std::vector<std::u16string> received;  // read once the listener has stopped
  SingleInstance first(folder), second(folder);
  ASSERT_TRUE(first.acquire_startup_lock());
  auto second_locked =
      std::async(std::launch::async, [&] { return second.acquire_startup_lock(); });
  EXPECT_FALSE(first.send_to_running(u"x") || first.running_instance_listens());
  EXPECT_TRUE(first.listen([&](std::u16string line) { received.push_back(std::move(line)); }));
  EXPECT_EQ(fs::status(first.socket_path()).permissions(), fs::perms(0600));
  // The second waits for the start-up lock until the first listens.
  EXPECT_EQ(second_locked.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  first.release_startup_lock();
  ASSERT_TRUE(second_locked.get());
  // Asking whether one listens hands it nothing (the lines below are all).
  EXPECT_TRUE(second.running_instance_listens());
  EXPECT_TRUE(second.send_to_running(u"/photos/IMG 0001.JPG \u0416"));
  EXPECT_TRUE(second.send_to_running(u""));
  first.stop_listening();
  EXPECT_EQ(received,
            (std::vector<std::u16string>{u"/photos/IMG 0001.JPG \u0416", u"%CommandLineEmpty%"}));

  SingleInstance overlong("/tmp/" + std::string(200, 'x'));
  EXPECT_FALSE(overlong.send_to_running(u"x") || overlong.listen([](std::u16string) {}));
}

}  // namespace
}  // namespace lv::platform
