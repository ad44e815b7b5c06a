// Runs over several processes (MPI, started by mpirun or srun). The first
// process runs the program as a single one would: it reads the input,
// steps the model, writes every file and the listing. The flow sweep, the
// bulk of a step, is shared: the grid is cut into bands of whole row
// blocks, each process solves one band from the rows of the state around it
// (band_halo rows beyond it) and hands back the new state of its rows and
// their per-row sums, which the first process adds in row order. The
// results are those of a single process, byte for byte.
//
// A band process holds only its band and the rows around it. It keeps the
// state of its band from sweep to sweep: the first process sends it only
// the rows whose bytes the rest of the step changed (a hash per row and
// field tells), and the rows around the band come from the processes whose
// bands hold them. The start state and the remainders of a band's rows are
// held by its process alone (the rest of the step does not use them) and
// move with the rows when the bands change. The bands are balanced first by
// the work of their rows, then by the time each process took for that work.
#pragma once

#include <memory>
#include <vector>

#include "model/hydro/solver.h"

namespace qf {

// Whether this process was started as one of several by an MPI launcher
// (without one the program runs alone and MPI is not started).
bool launched_by_mpi();

class Processes : public SweepShare {
 public:
  // Starts MPI (the OpenMP threads of a process make no MPI calls).
  Processes(int& argc, char**& argv);
  // The first process ends the others' service; MPI is ended.
  ~Processes() override;
  Processes(const Processes&) = delete;
  Processes& operator=(const Processes&) = delete;

  int rank() const { return rank_; }
  int size() const { return size_; }

  // The other processes: solve the bands the first one hands out until it
  // ends the run; returns the exit status (0).
  int serve();

  // The first process: one sweep over all bands.
  void sweep(Model& m, SolverWork& w, bool second_stage, float dth, BandPassFn passes) override;

  // The bands of the last sweep, one per process.
  const std::vector<BandRows>& bands() const { return bands_; }

 private:
  void end_service();
  struct Rows;
  std::unique_ptr<Rows> rows_;  // what the band processes hold; the halo exchange
  int grid_ = 0;                // grids handed out
  int rank_ = 0, size_ = 1;
  bool ended_ = false;
  bool usage_ = false;  // QF_USAGE: bands and times of the sweeps on standard error
  std::vector<BandRows> bands_;
  long balanced_nn_ = -1;     // grid the bands were balanced for
  std::vector<double> busy_;  // per process its time at work on the sweeps measured [s]
  int measured_ = 0;          // sweeps measured since the bands were last balanced or checked
  int checks_ = 0;            // checks of the bands by the times measured
  // QF_BANDS_EVERY=n (for the tests): the bands are balanced by the work of
  // their rows every n sweeps instead of by time, so they move as the water
  // spreads, the same in every run.
  int work_every_ = 0;
};

// Bands of whole blocks of `block_rows` rows over rows 1 .. nyy (the last
// band takes row nyy), one per process, balanced by the work of each row:
// `weight[j]` (index 1 .. nyy - 1). A process may get an empty band
// (lo > hi) when there are fewer blocks than processes.
std::vector<BandRows> balance_bands(const std::vector<double>& weight, int nyy, int block_rows,
                                    int processes);

// The work of each row (index 1 .. nyy - 1) times the time the process of
// its band took per unit of work (`busy[p]` over the work of band p; a band
// without rows or time: the mean of the others), for balancing the bands
// by time.
std::vector<double> weigh_by_time(const std::vector<double>& work, int nyy,
                                  const std::vector<BandRows>& bands,
                                  const std::vector<double>& busy);

// The largest sum of the weights of a band's rows.
double longest_band(const std::vector<double>& weight, int nyy, const std::vector<BandRows>& bands);

}  // namespace qf
