// Placement of the threads of the time step.
#include "model/hydro/threads.h"

#include <cstdlib>
#include <initializer_list>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

namespace qf {

void pin_threads() {
#if defined(_OPENMP) && defined(__linux__)
  for (const char* v : {"OMP_PROC_BIND", "OMP_PLACES", "GOMP_CPU_AFFINITY"}) {
    if (std::getenv(v) != nullptr) return;
  }
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return;
  const int threads = step_threads();
  if (threads < 2 || threads > CPU_COUNT(&allowed)) return;
#pragma omp parallel num_threads(threads)
  {
    // The processor of this thread: the (thread number)-th allowed one.
    int left = step_thread();
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
      if (!CPU_ISSET(cpu, &allowed)) continue;
      if (left-- > 0) continue;
      cpu_set_t one;
      CPU_ZERO(&one);
      CPU_SET(cpu, &one);
      pthread_setaffinity_np(pthread_self(), sizeof one, &one);
      break;
    }
  }
#endif
}

}  // namespace qf
