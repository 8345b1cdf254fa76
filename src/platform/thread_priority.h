#pragma once

// Per-thread scheduling priority. The program's five levels map to nice
// values relative to the process's own: -2 = +10, -1 = +5, 0 = unchanged,
// +1 = -5 and +2 = -10 (raising needs privilege; failures are ignored).

namespace lv::platform {

using ThreadId = int;

// The kernel's identifier of the calling thread.
ThreadId current_thread_id();

// The nice offset of a level, after clamping the level to -2..+2.
int nice_offset_for_level(int level);

// Applies `level` to the thread `thread`. True when the thread now runs at
// the wanted nice value; false when the system refused (nothing else happens).
bool set_thread_priority(ThreadId thread, int level);

}  // namespace lv::platform
