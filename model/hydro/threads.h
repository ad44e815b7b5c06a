// Threads of the time step (OpenMP). The number follows OMP_NUM_THREADS and
// defaults to one per core; without OpenMP everything runs on one thread.
#pragma once

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

}  // namespace qf
