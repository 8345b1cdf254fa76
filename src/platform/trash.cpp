#include "platform/trash.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/paths.h"

namespace lv::platform {

namespace {

// How many numbered names are tried before a trash counts as unusable.
constexpr int kMaxNameTries = 1000;
constexpr std::string_view kInfoSuffix = ".trashinfo";

std::string parent_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

std::string name_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string join(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

std::string problem_text(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return "The file no longer exists.";
    case EROFS:
      return "The card is read-only.";
    case EACCES:
    case EPERM:
      return "There is no permission to delete the file.";
    case EBUSY:
      return "The file is in use.";
    default:
      return "The file could not be deleted.";
  }
}

std::optional<dev_t> lstat_device(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
  return st.st_dev;
}

// The device of a path that may not exist yet: that of its nearest ancestor.
std::optional<dev_t> nearest_device(std::string path, const TrashSystem& system) {
  for (;;) {
    if (auto device = system.device(path)) return device;
    if (path == "/") return std::nullopt;
    path = parent_of(path);
  }
}

// The mount point of the file system a folder is on: its highest ancestor
// (the folder itself included) on the same device.
std::string top_directory(std::string folder, dev_t device, const TrashSystem& system) {
  while (folder != "/") {
    const std::string up = parent_of(folder);
    const auto up_device = system.device(up);
    if (!up_device || *up_device != device) break;
    folder = up;
  }
  return folder;
}

bool is_folder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A trash folder on a volume must be this user's own real folder: anyone
// could have planted a link or a folder under the volume's top directory.
bool make_private_folder(const std::string& path, uid_t uid) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid;
}

bool make_folder_with_parents(const std::string& path) {
  if (is_folder(path)) return true;
  if (path == "/" || !make_folder_with_parents(parent_of(path))) return false;
  return ::mkdir(path.c_str(), 0700) == 0 || (errno == EEXIST && is_folder(path));
}

bool make_trash_folders(const std::string& trash) {
  for (const char* sub : {"/files", "/info"}) {
    const std::string folder = trash + sub;
    if (::mkdir(folder.c_str(), 0700) != 0 && !(errno == EEXIST && is_folder(folder))) return false;
  }
  return true;
}

// The n-th name for a file in the trash: the name itself, then "IMG.2.JPG",
// "IMG.3.JPG"... Shortened (at a UTF-8 character boundary, keeping the
// extension) so that the info file's name stays within NAME_MAX.
std::string numbered_name(const std::string& name, int n) {
  const size_t dot = name.rfind('.');
  const bool has_extension = dot != std::string::npos && dot != 0;
  std::string stem = has_extension ? name.substr(0, dot) : name;
  std::string extension = has_extension ? name.substr(dot) : std::string();
  const std::string number = n > 1 ? "." + std::to_string(n) : std::string();
  const size_t room = NAME_MAX - kInfoSuffix.size();
  if (extension.size() + number.size() + 1 > room) extension.clear();
  const size_t stem_room = room - extension.size() - number.size();
  if (stem.size() > stem_room) {
    size_t cut = stem_room;
    while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;
    stem.resize(cut);
  }
  return stem + number + extension;
}

std::string deletion_date(std::time_t now) {
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

bool write_all(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Renames without replacing an existing file. EEXIST when the target exists.
int rename_no_replace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without the flag: check, then rename. The trash's files/
  // folder is private to this user, so nothing else creates names there.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) return EEXIST;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

enum class MoveStep { moved, no_trash, failed };

struct Move {
  MoveStep step = MoveStep::no_trash;
  int error = 0;
  std::string trashed_path;
};

// Moves the file into a trash folder that already holds files/ and info/.
// original: the Path value before escaping (absolute, or relative to the
// volume's top directory).
Move move_into(const std::string& trash, const std::string& file, const std::string& original,
               const TrashSystem& system) {
  const std::string info_text = "[Trash Info]\nPath=" + trash_percent_encode(original) +
                                "\nDeletionDate=" + deletion_date(system.now) + "\n";
  const std::string name = name_of(file);
  for (int n = 1; n <= kMaxNameTries; ++n) {
    const std::string trash_name = numbered_name(name, n);
    const std::string info_path = trash + "/info/" + trash_name + std::string(kInfoSuffix);
    const int fd =
        ::open(info_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return {};
    }
    const bool written = write_all(fd, info_text);
    if (::close(fd) != 0 || !written) {
      ::unlink(info_path.c_str());
      return {};
    }
    const std::string target = trash + "/files/" + trash_name;
    const int error = rename_no_replace(file, target);
    if (error == 0) return {MoveStep::moved, 0, target};
    ::unlink(info_path.c_str());
    if (error == EEXIST) continue;  // a stray file without its info
    // A trash on another mount of the same file system cannot take it.
    if (error == EXDEV) return {};
    return {MoveStep::failed, error, {}};
  }
  return {};
}

Move move_to_home_trash(const std::string& file, const TrashSystem& system) {
  if (!make_folder_with_parents(system.home_trash) || !make_trash_folders(system.home_trash))
    return {};
  return move_into(system.home_trash, file, file, system);
}

Move move_to_volume_trash(const std::string& file, dev_t device, const TrashSystem& system) {
  const std::string top = top_directory(parent_of(file), device, system);
  const std::string original = file.substr(top == "/" ? 1 : top.size() + 1);
  const std::string uid = std::to_string(system.uid);

  // An administrator's shared $topdir/.Trash: a real folder with the sticky
  // bit, so that users cannot remove each other's trash.
  const std::string shared = join(top, ".Trash");
  struct stat st {};
  if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
    const std::string own = shared + "/" + uid;
    if (make_private_folder(own, system.uid) && make_trash_folders(own)) {
      Move move = move_into(own, file, original, system);
      if (move.step != MoveStep::no_trash) return move;
    }
  }
  const std::string own = join(top, ".Trash-" + uid);
  if (!make_private_folder(own, system.uid) || !make_trash_folders(own)) return {};
  return move_into(own, file, original, system);
}

// The file's path with its folder's links and "." / ".." resolved, so that
// the recorded path and the volume's top directory are the real ones.
std::string real_file_path(const std::string& path) {
  char* folder = ::realpath(parent_of(path).c_str(), nullptr);
  if (!folder) return {};
  std::string real = join(folder, name_of(path));
  ::free(folder);
  return real;
}

TrashOutcome failed(int error) {
  TrashOutcome outcome;
  outcome.problem = problem_text(error);
  return outcome;
}

}  // namespace

std::string trash_percent_encode(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool unreserved = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                            (byte >= '0' && byte <= '9') ||
                            std::string_view("-_.!~*'()/").find(c) != std::string_view::npos;
    if (unreserved) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 15]);
    }
  }
  return out;
}

TrashSystem current_trash_system() {
  TrashSystem system;
  const std::string data = data_folder();
  if (!data.empty()) system.home_trash = data + "/Trash";
  system.uid = ::getuid();
  system.now = std::time(nullptr);
  system.device = lstat_device;
  return system;
}

TrashOutcome move_to_trash(const std::string& path) {
  return move_to_trash(path, current_trash_system());
}

TrashOutcome move_to_trash(const std::string& path, const TrashSystem& system) {
  struct stat st {};
  if (path.empty() || path[0] != '/' || path.back() == '/') return failed(ENOENT);
  if (::lstat(path.c_str(), &st) != 0) return failed(errno);
  const std::string file = real_file_path(path);
  const auto device = file.empty() ? std::nullopt : system.device(file);
  if (!device) return failed(ENOENT);

  const auto home_device =
      system.home_trash.empty() ? std::nullopt : nearest_device(system.home_trash, system);
  const Move move = home_device == device ? move_to_home_trash(file, system)
                                          : move_to_volume_trash(file, *device, system);
  TrashOutcome outcome;
  switch (move.step) {
    case MoveStep::moved:
      outcome.result = TrashResult::trashed;
      outcome.trashed_path = move.trashed_path;
      return outcome;
    case MoveStep::failed:
      return failed(move.error);
    case MoveStep::no_trash:
      break;
  }
  if (::unlink(file.c_str()) != 0) return failed(errno);
  outcome.result = TrashResult::deleted;
  return outcome;
}

}  // namespace lv::platform
