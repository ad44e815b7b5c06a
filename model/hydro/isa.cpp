// Choice of the instruction set of the row sweep.
#include "model/hydro/isa.h"

#include <cstdlib>
#include <cstring>

#include "model/hydro/solver.h"

namespace qf {

namespace isa_avx2 {
void run_sweep(Model& m, SolverWork& w, bool second_stage, float dth);
void sweep_band(Model& m, SolverWork& w, bool second_stage, float dth, const BandRows& band);
}  // namespace isa_avx2
namespace isa_avx512 {
void run_sweep(Model& m, SolverWork& w, bool second_stage, float dth);
void sweep_band(Model& m, SolverWork& w, bool second_stage, float dth, const BandRows& band);
}  // namespace isa_avx512

Isa sweep_isa() {
  Isa best = Isa::base;
#if defined(__x86_64__) && defined(__GNUC__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) best = Isa::avx2;
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl")) {
    best = Isa::avx512;
  }
#endif
  Isa cap = Isa::avx512;
  if (const char* e = std::getenv("QF_ISA"); e != nullptr) {
    if (std::strcmp(e, "base") == 0) cap = Isa::base;
    if (std::strcmp(e, "avx2") == 0) cap = Isa::avx2;
  }
  return static_cast<int>(cap) < static_cast<int>(best) ? cap : best;
}

SweepFn sweep_of(Isa isa) {
  switch (isa) {
    case Isa::avx512:
      return &isa_avx512::run_sweep;
    case Isa::avx2:
      return &isa_avx2::run_sweep;
    case Isa::base:
      break;
  }
  return &isa_base::run_sweep;
}

BandPassFn band_sweep_of(Isa isa) {
  switch (isa) {
    case Isa::avx512:
      return &isa_avx512::sweep_band;
    case Isa::avx2:
      return &isa_avx2::sweep_band;
    case Isa::base:
      break;
  }
  return &isa_base::sweep_band;
}

const char* isa_name(Isa isa) {
  switch (isa) {
    case Isa::avx512:
      return "AVX-512";
    case Isa::avx2:
      return "AVX2";
    case Isa::base:
      break;
  }
  return "x86-64";
}

}  // namespace qf
