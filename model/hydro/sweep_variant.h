// The row solver and the row sweeps built for a wider instruction set: the
// file that includes this one names the namespace (QF_ISA), the lanes
// (QF_LANES) and the target (QF_TARGET, a string for GCC's target pragma).
//
// Everything outside the two sources is included first, for the baseline
// target: only the sweep, the row solver and their lane kernels are
// compiled for the wider target, all inside their own namespace, so no
// wider code can stand in for an inline function of the baseline build.
#define QF_ISA_VARIANT

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "model/hydro/friction.h"
#include "model/hydro/hydro.h"
#include "model/hydro/isa.h"
#include "model/hydro/structure_kernels.h"
#include "model/hydro/threads.h"
#include "model/hydro/turbulence.h"

#if defined(__x86_64__) && defined(__clang__)
#include <immintrin.h>

#define QF_PRAGMA(x) _Pragma(#x)
#define QF_TARGET_PUSH(t) \
  QF_PRAGMA(clang attribute push(__attribute__((target(t))), apply_to = function))

#pragma clang diagnostic push
// Lane values passed between functions of this target only.
#pragma clang diagnostic ignored "-Wpsabi"
QF_TARGET_PUSH(QF_TARGET)
#include "model/hydro/solver.cpp"
#include "model/hydro/sweep.cpp"
#pragma clang attribute pop
#pragma clang diagnostic pop

#elif defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

#define QF_PRAGMA(x) _Pragma(#x)
#define QF_TARGET_PRAGMA(t) QF_PRAGMA(GCC target(t))

#pragma GCC push_options
// Lane values passed between functions of this target only.
#pragma GCC diagnostic ignored "-Wpsabi"
QF_TARGET_PRAGMA(QF_TARGET)
#include "model/hydro/solver.cpp"
#include "model/hydro/sweep.cpp"
#pragma GCC pop_options

#else
// Other processors: the baseline sweep.
namespace qf::QF_ISA {
void run_sweep(Model& m, SolverWork& w, bool second_stage, float dth) {
  isa_base::run_sweep(m, w, second_stage, dth);
}
void sweep_band(Model& m, SolverWork& w, bool second_stage, float dth, const BandRows& band) {
  isa_base::sweep_band(m, w, second_stage, dth, band);
}
}  // namespace qf::QF_ISA
#endif
