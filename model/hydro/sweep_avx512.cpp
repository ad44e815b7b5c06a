// The row solver and the row sweeps built for processors with AVX-512 (16
// lanes of 32-bit floats); chosen at run time (isa.h).
#define QF_ISA isa_avx512
#define QF_LANES 16
#define QF_TARGET "avx2,avx512f,avx512bw,avx512dq,avx512vl"
#include "model/hydro/sweep_variant.h"
