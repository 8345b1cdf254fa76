#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "support/test_env.h"

namespace lv::platform {
namespace {

struct Received {
  std::mutex mutex;
  std::vector<std::u16string> lines;
  std::function<void(std::u16string)> handler() {
    return [this](std::u16string line) {
      std::lock_guard lock(mutex);
      lines.push_back(std::move(line));
    };
  }
};

TEST(SingleInstance, SecondInstanceHandsItsCommandLineOverAndAStaleSocketMeansNone) {
  const std::string folder = lv::test::make_temp_dir("run");
  {
    SingleInstance crashed(folder);
    ASSERT_TRUE(crashed.listen([](std::u16string) {}));
    // A crashed instance leaves its socket file behind without a listener.
    ::link(crashed.socket_path().c_str(), (folder + "/keep").c_str());
  }
  ::rename((folder + "/keep").c_str(), (folder + "/lumiview.sock").c_str());

  Received received;
  SingleInstance first(folder);
  ASSERT_TRUE(first.acquire_startup_lock());
  EXPECT_FALSE(first.send_to_running(u"x"));
  EXPECT_FALSE(first.running_instance_listens());
  ASSERT_TRUE(first.listen(received.handler()));
  first.release_startup_lock();
  struct stat st {};
  ASSERT_EQ(::stat(first.socket_path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  SingleInstance second(folder);
  ASSERT_TRUE(second.acquire_startup_lock());
  // Asking whether one listens hands it nothing (the lines below are all).
  EXPECT_TRUE(second.running_instance_listens());
  EXPECT_TRUE(second.send_to_running(u"/photos/IMG 0001.JPG \u0416"));
  EXPECT_TRUE(second.send_to_running(u""));
  second.release_startup_lock();
  first.stop_listening();
  EXPECT_EQ(received.lines,
            (std::vector<std::u16string>{u"/photos/IMG 0001.JPG \u0416", u"%CommandLineEmpty%"}));

  SingleInstance overlong("/tmp/" + std::string(200, 'x'));
  EXPECT_FALSE(overlong.send_to_running(u"x"));
  EXPECT_FALSE(overlong.listen([](std::u16string) {}));
}

TEST(SingleInstance, StartupLockWaitsForTheHolder) {
  const std::string folder = lv::test::make_temp_dir("run");
  SingleInstance holder(folder);
  ASSERT_TRUE(holder.acquire_startup_lock());
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = ::fork();
  if (child == 0) {
    SingleInstance waiter(folder);
    const char c = waiter.acquire_startup_lock() ? 'y' : 'n';
    (void)!::write(ready[1], &c, 1);
    _exit(0);
  }
  // While the holder keeps the lock the child cannot report.
  pollfd p{ready[0], POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 200), 0);
  holder.release_startup_lock();
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  EXPECT_EQ(c, 'y');
  ::waitpid(child, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
}

}  // namespace
}  // namespace lv::platform
