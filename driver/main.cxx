#include <cstdlib>
#include <iostream>
#include <string>

#include "driver/run.h"
#include "model/memory.h"

#ifdef QF_MPI
#include "parallel/processes.h"
#endif

namespace {

// With QF_USAGE set, the largest resident size of the process at its
// end, on standard error (for the benchmarks).
int peak(int status, int rank) {
  if (std::getenv("QF_USAGE") != nullptr)
    std::cerr << " >process " + std::to_string(rank) + ": peak resident " +
                     std::to_string(qf::peak_resident_kb()) + " kB\n"
              << std::flush;
  return status;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef QF_MPI
  // Started by mpirun or srun: the first process runs the model, the others
  // solve their bands of the flow sweep for it.
  if (qf::launched_by_mpi()) {
    qf::Processes procs(argc, argv);
    if (procs.rank() > 0) return peak(procs.serve(), procs.rank());
    return peak(qf::run_main(argc, argv, &procs, procs.size()), 0);
  }
#endif
  return peak(qf::run_main(argc, argv), 0);
}
