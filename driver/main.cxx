#include "driver/run.h"

#ifdef QF_MPI
#include "parallel/processes.h"
#endif

int main(int argc, char** argv) {
#ifdef QF_MPI
  // Started by mpirun or srun: the first process runs the model, the others
  // solve their bands of the flow sweep for it.
  if (qf::launched_by_mpi()) {
    qf::Processes procs(argc, argv);
    if (procs.rank() > 0) return procs.serve();
    return qf::run_main(argc, argv, &procs);
  }
#endif
  return qf::run_main(argc, argv);
}
