#pragma once

// One running Lumiview per user. A lock file (flock) stands for the start-up
// mutex: it is held from the check until the running instance listens. A Unix
// socket beside it (mode 0600, peer uid checked) carries a second instance's
// command line to the running one.

#include <functional>
#include <memory>
#include <string>

namespace lv::platform {

class SingleInstance {
 public:
  // folder: where "lumiview.lock" and "lumiview.sock" live (the runtime folder).
  explicit SingleInstance(std::string folder);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // Waits for the start-up lock without time limit. False when the lock file
  // cannot be made; start-up then goes on as a first instance.
  bool acquire_startup_lock();
  void release_startup_lock();

  // Hands the command line (UTF-16) to a running instance; an empty one is
  // sent as "%CommandLineEmpty%". True when a running instance took it.
  bool send_to_running(const std::u16string& command_line);
  // Whether an instance of this user listens, without handing it anything
  // (the cache tool asks before it touches the library).
  bool running_instance_listens();

  // Starts taking command lines from later instances. The callback runs on a
  // listener thread; the caller moves the text to the main thread.
  bool listen(std::function<void(std::u16string)> on_command_line);
  void stop_listening();

  const std::string& lock_path() const { return m_lock_path; }
  const std::string& socket_path() const { return m_socket_path; }

 private:
  struct Listener;
  int connect_to_running() const;  // the socket, or -1
  std::string m_lock_path;
  std::string m_socket_path;
  int m_lock_fd = -1;
  std::unique_ptr<Listener> m_listener;
};

inline constexpr char16_t kCommandLineEmpty[] = u"%CommandLineEmpty%";

}  // namespace lv::platform
