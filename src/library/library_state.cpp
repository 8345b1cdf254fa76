#include "library/library_state.h"

#include "app/base/log.h"

namespace lv {

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
