// The processors this process may run on (its affinity mask), at least 1: the editor shares a
// large exchange or a file's compression out over that many threads.
#pragma once

#include <sched.h>

#include <algorithm>

namespace lumeray {

inline int UsableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return std::max(CPU_COUNT(&set), 1);
}

}  // namespace lumeray
