#include "library/library_state.h"

#include <sys/stat.h>

#include "base/log.h"
#include "base/settings.h"
#include "platform/text.h"

namespace lv {

std::optional<FileStamp> file_stamp(std::u16string_view path) {
  struct stat st {};
  if (::stat(to_utf8(expand_path(path)).c_str(), &st) != 0) return std::nullopt;
  return FileStamp{static_cast<uint64_t>(st.st_size),
                   static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

LockUse::LockUse(Lock& lock, std::u16string_view operation, std::u16string_view name)
    : m_lock(lock), m_operation(operation), m_name(name) {
  log() << m_operation << u" " << m_name << u" start\n";
  m_lock.lock();
}

LockUse::~LockUse() {
  log() << m_operation << u" " << m_name << u" end\n";
  m_lock.unlock();
}

}  // namespace lv
