#include "platform/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/clock.h"
#include "support/test_env.h"

namespace lv::platform {
namespace {

TEST(Process, ArgumentsArriveVerbatimWithoutAShellOrInheritedDescriptors) {
  auto wait_for_children = [] {
    for (int i = 0; i < 1000 && reap_children() > 0; ++i) sleep_ms(10);
    return reap_children() == 0;
  };
  const std::string folder = test::make_temp_dir("spawn");
  const std::string tricky = folder + "/it's \"a\" name; touch injected $(id) * `id`";
  int pid = 0;
  ASSERT_TRUE(spawn_process("touch", {tricky}, &pid));
  ASSERT_TRUE(wait_for_children());
  EXPECT_EQ(::access(tricky.c_str(), F_OK), 0);
  EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1);  // reaped: no zombie

  const int leaked = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);  // no O_CLOEXEC
  const std::string script = "[ -e /proc/self/fd/" + std::to_string(leaked) +
                             " ] && echo open > \"$1\" || echo closed > \"$1\"";
  ASSERT_TRUE(spawn_process("sh", {"-c", script, "sh", folder + "/out"}));
  ASSERT_TRUE(wait_for_children());
  ::close(leaked);
  EXPECT_EQ(test::read_file(folder + "/out"), "closed\n");

  pid = -5;
  EXPECT_FALSE(spawn_process("lumiview-no-such-program", {"x"}, &pid));
  EXPECT_EQ(pid, -5);
  EXPECT_FALSE(spawn_process("", {}));
}

}  // namespace
}  // namespace lv::platform
