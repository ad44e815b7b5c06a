// Per-structure kernels of the boundary and source treatment: table lookup,
// critical-depth floor, and the discharge laws of culverts, gates and weirs.
//
// All of them are free of side effects on the model (only `rqculv` may print
// its diagnostic lines when asked to) so that they can be checked on their
// own. Heads and depths in metres, widths in metres, discharges in m3/s.
#pragma once

#include "io/channels.h"

namespace qf {

// Result of a piecewise-linear table lookup.
struct TableLookup {
  float value = 0;
  float slope = 0;  // d value / d time between the bracketing rows
  int status = 0;   // 0 inside, 1 single row, 2 before, 3 after, 4 unordered
};

// Piecewise-linear lookup of t in n rows (times ascending). Before the first
// row (by more than 1e-5) the first value holds, after the last the last;
// one row is a constant; no rows give 0. An unordered table is still looked
// up by bisection and reported with status 4.
TableLookup rmint(int n, const float* times, const float* values, float t);
// The same value without the order check of the whole table (run-time use).
float rmint_value(int n, const float* times, const float* values, float t);
// Mean of the piecewise-linear table over [t0, t1] (hours; the first value
// before the first row, the last after the last), its integral divided by
// t1 - t0; the value at t1 when the interval is empty or the table not in
// time order.
float rmint_mean(int n, const float* times, const float* values, double t0, double t1);

// Depth raised to at least the critical depth of the unit discharge (q, r):
// max(h, ((q^2 + r^2) / 9.81)^(1/3)).
float hsub(float h, float q, float r);

// Weir discharge between heads h1 and h2 above the crest, width `width`,
// coefficient cw; positive from side 1 to side 2, reduced by the
// submergence factor (1 - (Hl/Hh)^3)^(1/3).
float rqweir(float h1, float h2, float width, float cw);

// Discharge through a gate opening of height a (contraction at least cc,
// a / hup when larger, at most 1); heads below 1.3 a flow as a weir with
// coefficient 0.58. Positive from side 1 to side 2.
float rqgate(float h1, float h2, float hup, float width, float a, float cc);

// Culvert flow types returned in `kind`.
enum CulvertFlow : int {
  culvert_none = 0,
  culvert_critical = 1,
  culvert_uniform = 2,
  culvert_gated = 3,
  culvert_pressure = 4,
};

// Culvert discharge between energy heads he1 and he2 (referred to the bed of
// the higher end) with depths h1 and h2: width (or diameter), height (<= 0:
// circular section of diameter `width`), length, Strickler value kst and
// inlet loss coefficient. Positive from end 1 to end 2. `kind` returns the
// flow type; when it is -1 on entry the intermediate values are written as
// two lines to the screen channel of `diag` (when given).
float rqculv(float he1, float he2, float h1, float h2, float width, float height, float length,
             float kst, float loss, int& kind, Channels* diag = nullptr);

}  // namespace qf
