#include "platform/process.h"

#include <errno.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>

extern char** environ;

namespace lv::platform {

namespace {

std::mutex g_children_mutex;
std::vector<pid_t> g_children;

// Reaping by pid rather than with waitpid(-1) or SIGCHLD = SIG_IGN keeps the
// exit status of children that other code waits for itself.
int reap_locked() {
  auto still_running = [](pid_t pid) {
    int status = 0;
    pid_t r;
    do {
      r = ::waitpid(pid, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    return r == 0;
  };
  g_children.erase(std::remove_if(g_children.begin(), g_children.end(),
                                  [&](pid_t pid) { return !still_running(pid); }),
                   g_children.end());
  return static_cast<int>(g_children.size());
}

}  // namespace

int reap_children() {
  std::lock_guard lock(g_children_mutex);
  return reap_locked();
}

bool spawn_process(const std::string& program, const std::vector<std::string>& args, int* pid_out) {
  if (program.empty()) return false;
  std::vector<char*> argv;
  argv.reserve(args.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  if (posix_spawnattr_init(&attr) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return false;
  }
  // A helper that outlives the program (a mail client started by xdg-email)
  // must not keep its descriptors: an inherited lock file would make the
  // next start believe the program still runs.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  sigset_t no_signals;
  sigemptyset(&no_signals);
  sigset_t default_signals;
  sigfillset(&default_signals);
  posix_spawnattr_setsigmask(&attr, &no_signals);
  posix_spawnattr_setsigdefault(&attr, &default_signals);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  std::lock_guard lock(g_children_mutex);
  reap_locked();
  const int rc = posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  g_children.push_back(pid);
  if (pid_out) *pid_out = pid;
  return true;
}

}  // namespace lv::platform
