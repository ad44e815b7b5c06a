// Instruction sets of the row sweep. The sweep and the row solver
// (sweep.cpp, solver.cpp) are built three times: for the x86-64 baseline
// (4 lanes), for AVX2 (8 lanes) and for AVX-512 (16 lanes), each copy in its
// own namespace. The lane kernels give every lane the result of the one-face
// code, and no product is contracted into a fused multiply-add, so the three
// copies give bit-identical results; the fastest one the processor offers
// is chosen when the solver is prepared.
#pragma once

#ifndef QF_ISA
#define QF_ISA isa_base
#endif

namespace qf {

struct Model;
struct SolverWork;

enum class Isa { base, avx2, avx512 };

// One sweep of the flow step over the whole grid (first or second stage).
using SweepFn = void (*)(Model& m, SolverWork& w, bool second_stage, float dth);

// The namespace of the copy this file is built into.
inline namespace QF_ISA {}

// The widest set this processor offers, at most the one QF_ISA names in the
// environment ("base", "avx2" or "avx512"; anything else counts as unset).
Isa sweep_isa();

SweepFn sweep_of(Isa isa);

// The passes of the block sweep over one band of rows, built for `isa`
// (solver.h: sweep_band).
struct BandRows;
using BandPassFn = void (*)(Model& m, SolverWork& w, bool second_stage, float dth,
                            const BandRows& band);
BandPassFn band_sweep_of(Isa isa);

// "x86-64", "AVX2" or "AVX-512".
const char* isa_name(Isa isa);

}  // namespace qf
