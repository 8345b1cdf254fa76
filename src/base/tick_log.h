#pragma once

#include "base/log.h"
#include "platform/clock.h"

namespace lv {

// The start-up and tear-down lines carry the tick count in front, with no
// separator ("1234WinMain 0").
inline Logger& tick_log() {
  return log() << platform::tick_count();
}

}  // namespace lv
