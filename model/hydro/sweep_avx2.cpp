// The row solver and the row sweeps built for processors with AVX2 (8 lanes
// of 32-bit floats); chosen at run time (isa.h).
#define QF_ISA isa_avx2
#define QF_LANES 8
#define QF_TARGET "avx2"
#include "model/hydro/sweep_variant.h"
