#include "platform/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace lv::platform {

namespace {

// A command line longer than this is cut; the handheld's limit was far lower.
constexpr uint32_t kMaxMessageBytes = 64 * 1024;
constexpr int kIoTimeoutMs = 2000;

bool make_address(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

bool wait_fd(int fd, short events, int timeout_ms) {
  pollfd p{fd, events, 0};
  for (;;) {
    int r = ::poll(&p, 1, timeout_ms);
    if (r > 0) return true;
    if (r == 0) return false;
    if (errno != EINTR) return false;
  }
}

bool write_all(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    if (!wait_fd(fd, POLLOUT, kIoTimeoutMs)) return false;
    ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool read_all(int fd, void* data, size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    if (!wait_fd(fd, POLLIN, kIoTimeoutMs)) return false;
    ssize_t n = ::recv(fd, p, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool peer_is_same_user(int fd) {
  ucred cred{};
  socklen_t len = sizeof cred;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
  return cred.uid == ::getuid();
}

}  // namespace

struct SingleInstance::Listener {
  int socket_fd = -1;
  int wake_pipe[2] = {-1, -1};
  std::thread thread;
  std::function<void(std::u16string)> callback;

  void serve_one(int client) {
    uint32_t bytes = 0;
    if (!peer_is_same_user(client) || !read_all(client, &bytes, sizeof bytes)) return;
    if (bytes > kMaxMessageBytes) return;
    std::vector<unsigned char> data(bytes);
    if (!read_all(client, data.data(), data.size())) return;
    std::u16string text;
    text.reserve(bytes / 2);
    for (size_t i = 0; i + 1 < data.size(); i += 2)
      text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    const unsigned char ack = 1;
    write_all(client, &ack, 1);
    callback(std::move(text));
  }

  void loop() {
    for (;;) {
      pollfd fds[2] = {{socket_fd, POLLIN, 0}, {wake_pipe[0], POLLIN, 0}};
      int r = ::poll(fds, 2, -1);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0 || (fds[1].revents & (POLLIN | POLLHUP))) return;
      if (fds[0].revents & POLLIN) {
        int client = ::accept4(socket_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
          serve_one(client);
          ::close(client);
        }
      }
    }
  }
};

SingleInstance::SingleInstance(std::string folder)
    : m_lock_path(folder + "/lumiview.lock"), m_socket_path(folder + "/lumiview.sock") {}

SingleInstance::~SingleInstance() {
  stop_listening();
  release_startup_lock();
}

bool SingleInstance::acquire_startup_lock() {
  if (m_lock_fd >= 0) return true;
  int fd = ::open(m_lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(fd);
      return false;
    }
  }
  m_lock_fd = fd;
  return true;
}

void SingleInstance::release_startup_lock() {
  if (m_lock_fd < 0) return;
  ::flock(m_lock_fd, LOCK_UN);
  ::close(m_lock_fd);
  m_lock_fd = -1;
}

int SingleInstance::connect_to_running() const {
  sockaddr_un address;
  if (!make_address(m_socket_path, address)) return -1;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  // The listener must belong to this user as well: a socket planted by
  // someone else is not a running instance of ours.
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      !peer_is_same_user(fd)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool SingleInstance::running_instance_listens() {
  // Closed without a word: the listener reads nothing and hands nothing on.
  const int fd = connect_to_running();
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool SingleInstance::send_to_running(const std::u16string& command_line) {
  const int fd = connect_to_running();
  if (fd < 0) return false;
  const std::u16string text =
      command_line.empty() ? std::u16string(kCommandLineEmpty) : command_line;
  std::vector<unsigned char> message(4 + text.size() * 2);
  const uint32_t bytes = static_cast<uint32_t>(text.size() * 2);
  std::memcpy(message.data(), &bytes, 4);
  for (size_t i = 0; i < text.size(); ++i) {
    message[4 + 2 * i] = static_cast<unsigned char>(text[i] & 0xFF);
    message[5 + 2 * i] = static_cast<unsigned char>(text[i] >> 8);
  }
  unsigned char ack = 0;
  bool ok = write_all(fd, message.data(), message.size()) && read_all(fd, &ack, 1) && ack == 1;
  ::close(fd);
  return ok;
}

bool SingleInstance::listen(std::function<void(std::u16string)> on_command_line) {
  if (m_listener) return true;
  sockaddr_un address;
  if (!make_address(m_socket_path, address)) return false;
  auto listener = std::make_unique<Listener>();
  listener->callback = std::move(on_command_line);
  listener->socket_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener->socket_fd < 0) return false;
  // Only reached while holding the start-up lock after no instance answered:
  // a socket file left here is stale.
  ::unlink(m_socket_path.c_str());
  const mode_t old_mask = ::umask(0177);
  int bound = ::bind(listener->socket_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::umask(old_mask);
  if (bound != 0 || ::listen(listener->socket_fd, 4) != 0 ||
      ::pipe2(listener->wake_pipe, O_CLOEXEC) != 0) {
    ::close(listener->socket_fd);
    return false;
  }
  ::chmod(m_socket_path.c_str(), 0600);
  Listener* raw = listener.get();
  listener->thread = std::thread([raw] { raw->loop(); });
  m_listener = std::move(listener);
  return true;
}

void SingleInstance::stop_listening() {
  if (!m_listener) return;
  const char byte = 0;
  ssize_t ignored = ::write(m_listener->wake_pipe[1], &byte, 1);
  (void)ignored;
  m_listener->thread.join();
  ::close(m_listener->socket_fd);
  ::close(m_listener->wake_pipe[0]);
  ::close(m_listener->wake_pipe[1]);
  ::unlink(m_socket_path.c_str());
  m_listener.reset();
}

}  // namespace lv::platform
