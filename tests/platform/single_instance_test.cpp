#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "support/test_env.h"

namespace lv::platform {
namespace {

struct Received {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::u16string> lines;

  void add(std::u16string line) {
    std::lock_guard lock(mutex);
    lines.push_back(std::move(line));
    changed.notify_all();
  }
};

TEST(SingleInstance, SecondInstanceHandsItsCommandLineOver) {
  const std::string folder = lv::test::make_temp_dir("run");
  Received received;
  SingleInstance first(folder);
  ASSERT_TRUE(first.acquire_startup_lock());
  ASSERT_TRUE(first.listen([&](std::u16string line) { received.add(std::move(line)); }));
  first.release_startup_lock();

  struct stat st {};
  ASSERT_EQ(::stat(first.socket_path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  SingleInstance second(folder);
  ASSERT_TRUE(second.acquire_startup_lock());
  EXPECT_TRUE(second.send_to_running(u"/photos/IMG 0001.JPG \u0416"));
  EXPECT_TRUE(second.send_to_running(u""));
  second.release_startup_lock();

  first.stop_listening();
  ASSERT_EQ(received.lines.size(), 2u);
  EXPECT_EQ(received.lines[0], u"/photos/IMG 0001.JPG \u0416");
  EXPECT_EQ(received.lines[1], u"%CommandLineEmpty%");
}

TEST(SingleInstance, StaleSocketMeansNoInstance) {
  const std::string folder = lv::test::make_temp_dir("run");
  {
    SingleInstance crashed(folder);
    ASSERT_TRUE(crashed.listen([](std::u16string) {}));
    // A crashed instance leaves its socket file behind without a listener.
    ::link(crashed.socket_path().c_str(), (folder + "/keep").c_str());
  }
  ::rename((folder + "/keep").c_str(), (folder + "/lumiview.sock").c_str());

  SingleInstance next(folder);
  ASSERT_TRUE(next.acquire_startup_lock());
  EXPECT_FALSE(next.send_to_running(u"x"));
  Received received;
  EXPECT_TRUE(next.listen([&](std::u16string line) { received.add(std::move(line)); }));
  next.release_startup_lock();

  SingleInstance later(folder);
  EXPECT_TRUE(later.send_to_running(u"again"));
  next.stop_listening();
  ASSERT_EQ(received.lines.size(), 1u);
  EXPECT_EQ(received.lines[0], u"again");
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
    bool ok = waiter.acquire_startup_lock();
    char c = ok ? 'y' : 'n';
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
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(ready[0]);
  ::close(ready[1]);
}

TEST(SingleInstance, OverlongFolderFailsCleanly) {
  const std::string folder = "/tmp/" + std::string(200, 'x');
  SingleInstance instance(folder);
  EXPECT_FALSE(instance.send_to_running(u"x"));
  EXPECT_FALSE(instance.listen([](std::u16string) {}));
}

}  // namespace
}  // namespace lv::platform
