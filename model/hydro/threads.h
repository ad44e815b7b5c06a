// Threads of the time step (OpenMP). The number follows OMP_NUM_THREADS and
// defaults to one per core; without OpenMP everything runs on one thread.
#pragma once

#include <cstdlib>

#ifdef _OPENMP
#include <omp.h>
#endif

namespace qf {

// Threads a parallel part of the step uses.
inline int step_threads() {
#ifdef _OPENMP
  return omp_get_max_threads();
#else
  return 1;
#endif
}

// Index of the calling thread within its parallel part (0 outside one).
inline int step_thread() {
#ifdef _OPENMP
  return omp_get_thread_num();
#else
  return 0;
#endif
}

// Whether a pass over a grid of `nodes` nodes is worth several threads: on
// small grids handing the work over costs more than it saves. The limit is
// 40000 nodes (about 200 x 200), or QF_PARALLEL_NODES when that is set
// (0: always). The results are the same either way.
inline bool threaded(long nodes) {
  long limit = 40000;
  if (const char* e = std::getenv("QF_PARALLEL_NODES"); e != nullptr && *e != '\0') {
    char* end = nullptr;
    const long v = std::strtol(e, &end, 10);
    if (*end == '\0' && v >= 0) limit = v;
  }
  return nodes >= limit;
}

// Keeps each thread of the step on one processor (thread i on the i-th the
// process may use), so that a thread finds its rows in the cache of the
// core that worked on them in the step before. Only with more than one
// thread, no more threads than processors, and when OMP_PROC_BIND,
// OMP_PLACES and GOMP_CPU_AFFINITY are all unset (they decide otherwise).
void pin_threads();

}  // namespace qf
