#include "platform/process.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/clock.h"
#include "support/test_env.h"

namespace lv::platform {
namespace {

// Waits for the helpers to end; a generous bound only guards against a hang.
bool wait_for_children() {
  for (int i = 0; i < 1000; ++i) {
    if (reap_children() == 0) return true;
    sleep_ms(10);
  }
  return false;
}

bool exists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

TEST(Process, ArgumentsReachTheProgramVerbatimWithoutAShell) {
  const std::string folder = test::make_temp_dir("spawn");
  const std::string tricky = folder + "/it's \"a\" name; touch injected $(id) * `id`";
  int pid = 0;
  ASSERT_TRUE(spawn_process("touch", {tricky}, &pid));
  EXPECT_GT(pid, 0);
  ASSERT_TRUE(wait_for_children());
  EXPECT_TRUE(exists(tricky));
  // Reaped: no zombie is left behind for that pid.
  EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST(Process, ChildGetsNoInheritedDescriptors) {
  const std::string folder = test::make_temp_dir("spawn");
  const int leaked = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);  // no O_CLOEXEC
  ASSERT_GE(leaked, 3);
  const std::string out = folder + "/out";
  const std::string script = "if [ -e /proc/self/fd/" + std::to_string(leaked) +
                             " ]; then echo open > \"$1\"; else echo closed > \"$1\"; fi";
  ASSERT_TRUE(spawn_process("sh", {"-c", script, "sh", out}));
  ASSERT_TRUE(wait_for_children());
  ::close(leaked);
  EXPECT_EQ(test::read_file(out), "closed\n");
}

TEST(Process, MissingProgramIsReportedAsFailure) {
  int pid = -5;
  EXPECT_FALSE(spawn_process("lumiview-no-such-program", {"x"}, &pid));
  EXPECT_EQ(pid, -5);
  EXPECT_FALSE(spawn_process("", {}));
  EXPECT_TRUE(wait_for_children());
}

}  // namespace
}  // namespace lv::platform
