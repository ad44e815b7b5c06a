// Row solver of the flow step: finite volumes with Roe-type face fluxes.
//
// Equations (depth-averaged shallow water, conservative form):
//
//   dh/dt + dq/dx + dr/dy = src
//   dq/dt + d(q^2/h + g h^2/2)/dx + d(q r/h)/dy = -g h dzb/dx - Cf |U| q / h^2 + T_x
//   dr/dt + d(q r/h)/dx + d(r^2/h + g h^2/2)/dy = -g h dzb/dy - Cf |U| r / h^2 + T_y
//
// Variables (cell-centred, 32-bit): h depth [m]; q = h u and r = h v unit
// discharges in x and y [m2/s]; zb bed level [m]; eta = zb + h water level
// [m]; src water source [m/s]; g gravity [m/s2]; |U| = sqrt(q^2 + r^2) [m2/s].
// Friction: Cf = 1/c^2 with the conveyance c = u/u* of the friction law
// (friction.h), raised by vegetation, by a floating cover or a bridge deck and
// by the wetted side walls (`af`); it is applied point-implicitly. T_x, T_y
// are the viscous shear fluxes of the eddy viscosity (turbulence.h).
//
// Discretisation: one explicit step dt [s] (`flow`, hydro.h). Every
// node owns its east and its north face; at each face the Roe-type flux of
// flux_kernels.h gives the mass flux [m2/s] and the normal and tangential
// momentum fluxes [m3/s2]. The bed slope is a centred source term with the
// neighbour beds clipped to the node's water level, so still water over an
// uneven bed stays at rest. Optional second order: minmod reconstruction of
// level and discharges at the faces (van Albada in steady runs, whose local
// steps minmod's switching keeps from settling; time integration by Heun, in
// `flow`).
//
// Dry threshold: a node is dry (ldry = 1) when its depth is below `hdry`
// (default 0.02 m). The flow goes on down to the film depth (film_depth,
// hdry/20): a node dry for the flow is flagged dry and thinner than the
// film, and has q = r = 0. A face with mean depth not above the film has no
// upwinding. A node whose five-point neighbourhood is dry for the flow is
// skipped: only positive sources act on it.
//
// Row sweep: rows are solved one at a time in increasing order. The fluxes
// through the north faces of a row (and, for the reconstruction, the level
// and discharge differences across them) are kept per column in `FaceCarry`
// and read by the next row as its south faces. A sweep over a band of rows
// needs nothing but the model state and its own FaceCarry.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "model/hydro/isa.h"
#include "model/state.h"

namespace qf {

// Film depth [m]: water thinner than `hdry` counts as dry in the results
// (wet area, inundation time) but still flows down to this depth; below it a
// node is dry for the flow and keeps no discharge. A fixed share of `hdry`.
// Holding all water below `hdry` at rest would make every wetting front fill
// each node to `hdry` before it moves on, and take the momentum of the water
// that reaches a thin node away in every step: fronts lag and a sloshing
// basin with wide shallow margins comes to rest.
inline float film_depth(const Model& m) {
  return 0.05f * m.coin.hdry;
}

// Dry for the flow: flagged dry (below `hdry`) and thinner than the film.
inline bool flow_dry(std::uint8_t flag, float h, float film) {
  return flag != 0 && h < film;
}

// Per-column storage carried from row j - 1 to row j: the north faces of the
// row below. Index = column - 1.
struct FaceCarry {
  std::vector<float> dzs, drs, dqs;  // differences across the face: level, r, q
  std::vector<float> fs1, fs2, fs3;  // fluxes through the face: mass, q, r
};

// Scratch of one row (index = column - 1); no meaning between rows.
struct RowScratch {
  std::vector<float> fe, fqe, fre;   // east faces: mass, q, r fluxes
  std::vector<float> gn, gqn, grn;   // north faces: mass, q, r fluxes
  std::vector<float> hf, cf;         // friction depth, conveyance
  std::vector<float> dtl;            // local time step (steady mode)
  std::vector<float> jx, jxn;        // wave jumps, east faces west of the nodes of rows j, j + 1
  std::vector<float> jys, jyn;       // wave jumps, north faces south and north of row j's nodes
  std::vector<std::uint8_t> alldry;  // node and its four neighbours dry
  // Node parts of the wave jumps (wave_node), each of the row's length:
  // c, u, v of row j, of row j + 1, c and v of row j - 1; whether the
  // nodes of rows j, j + 1, j - 1 count.
  std::vector<float> wave;
  std::vector<std::uint8_t> wave_moves;
};

// Columns lo .. hi (column indices, 0 = the west ring; empty when lo > hi)
// of a row.
struct Span {
  int lo = 0, hi = -1;
};

// Working storage of one thread of a sweep over blocks of rows.
struct StripWork {
  FaceCarry carry;
  RowScratch row;
};

// Persistent storage of flow and of the row solver. Sized to the grid.
// What a sound flow can reach, from the run's start state, beds and
// boundaries (see `flow_limits`); set by the first step after `prepare`.
struct FlowBounds {
  bool ready = false;
  float level_top = 0.0f;                 // highest start level or energy level, boundary level [m]
  float bed_low = 0.0f, bed_high = 0.0f;  // lowest and highest bed of the model [m]
  double model_area = 0.0;                // area of the model's cells [m2]
  float inflow_speed = 0.0f;              // fastest possible inflow [m/s]
};

// The rows of the grid one process owns in a sweep shared by several
// (1-based, lo .. hi; row nyy belongs to the last band).
struct BandRows {
  int lo = 1, hi = 0;
};

// Rows a process needs beyond its band to solve it: the passes of a sweep
// reach at most six rows past the band (the span of a row looks at its
// neighbour rows, the solver two rows north, the outflow shares and the
// applied fluxes one more).
inline constexpr int band_halo = 8;

// A sweep shared with other processes (parallel/bands.h): gives each its
// band, runs `passes` on its own band and brings the rows and the per-row
// sums of the others back; then adds the sums (add_row_sums).
class SweepShare {
 public:
  virtual ~SweepShare() = default;
  virtual void sweep(Model& m, SolverWork& w, bool second_stage, float dth, BandPassFn passes) = 0;
};

// Per node (element k - 1 of node k) the maxima of the state that a sweep
// raises (maxima_kernel.h); the fields are owned by the output.
struct MaximaFields {
  float* level = nullptr;     // highest zb + h while deeper than 0.001 m
  float* depth = nullptr;     // highest h
  float* flow = nullptr;      // highest sqrt(q^2 + r^2) [m2/s]
  float* velocity = nullptr;  // highest sqrt(q^2 + r^2) / max(h, 0.001) [m/s]
  bool set() const {
    return level != nullptr && depth != nullptr && flow != nullptr && velocity != nullptr;
  }
};

struct SolverWork {
  std::vector<float> h0, q0, r0;     // new state, one per node
  std::vector<float> dh, dq, dr;     // row increments, one per column
  std::vector<float> dhp, dqp, drp;  // increments of the row below, not yet applied
  FaceCarry carry;
  RowScratch row;
  std::vector<float> courant;  // Courant measure of one row (timstp)
  bool dry_reported = false;   // " >DRY DOMAIN DETECTED" printed
  // Outflow limiter of a sweep: per node the share of its computed outflow
  // that it can give from what it holds (1 on the ring), and per row whether
  // any node of the row is limited.
  std::vector<float> theta;
  std::vector<std::uint8_t> row_limited;
  // Speed bound of thin nodes [m/s] (see `flow`) and per row whether the
  // row has a thin node.
  std::vector<float> speed_cap;
  std::vector<std::uint8_t> row_thin;
  // Per node the part of the inundation time [h] that the 32-bit field
  // `tind` could not take (compensated summation).
  std::vector<float> tind_lost;
  // Per node the part of the depth increments [m] that the 32-bit depth
  // could not take (compensated summation): a small increment on a deep
  // node rounds away, and a slowly falling or rising water body would gain
  // or lose water outside the budget. Between the stages of a two-stage
  // step it holds the share the second stage still has to add.
  std::vector<float> h_lost;
  float dt_last = 0.0f;  // step of the previous call [s], 0 before the first
  // Largest depth [m] and squared speed [m2/s2] of the wet interior nodes
  // in the state the last time step was chosen from, per row and overall.
  std::vector<float> row_depth, row_speed2;
  float depth_max = 0.0f, speed2_max = 0.0f;
  // The node whose Courant condition set the last time step, in the state
  // the step started from: depth [m], discharges [m2/s], its dry
  // neighbours (0 .. 4), and the step it allows [s] (before the limits of
  // inflows and growth).
  struct CourantNode {
    float h = 0.0f, q = 0.0f, r = 0.0f, dt = 0.0f;
    int dry_neighbours = 0;
  } courant_node;
  FlowBounds bounds;

  // Sweep over blocks of rows (threads): each block of `block_rows` rows is
  // solved by one thread from its own carry; the increments of every node
  // wait in dhg, dqg, drg until all rows are solved. The sums of the step are
  // kept per row and added in row order, so the results do not depend on the
  // number of threads. `serial` selects the single sweep one row behind the
  // solver instead (same fields, sums rounded in another order).
  bool serial = false;
  int block_rows = 32;
  std::vector<StripWork> strips;  // one per thread
  std::vector<float> dhg, dqg, drg;
  std::vector<float> row_change;               // sum of |dh| per row
  std::vector<std::array<float, 8>> row_flow;  // boundary discharges per row
  std::vector<double> row_volume;              // sum of the wet depths per row
  std::vector<int> row_wet;                    // wet nodes per row
  std::vector<float> row_courant;              // largest Courant measure per row
  // Whether the last sweep measured every row of the state it left (into
  // row_courant, row_depth, row_speed2) for the next time step, as it
  // stored the row's new state: the state that time step starts from, as
  // long as nothing else changes it in between.
  bool measured = false;
  // Maxima the last stage of a block sweep raises (maxima_kernel.h) as it
  // stores each row's new state, in the columns the step may have changed
  // (the span solved, the ring columns, the whole first row): null fields
  // when nothing asks for that (their owner sets them for the step when the
  // state the step leaves is the one to raise them from). `maxima_raised`:
  // the last sweep did so (its owner clears it).
  MaximaFields maxima;
  bool maxima_raised = false;
  // Active region of the block sweep: per row the columns that hold wet
  // nodes (the ring columns included), those with a source, the span solved
  // in the sweep (the wet columns of the row and of its neighbour rows,
  // widened by two, and the source columns), the span of the first stage,
  // and the span whose fluxes qq, rr may not be zero. With `full_rows` every
  // row is solved whole.
  bool full_rows = false;
  std::vector<Span> wet, with_source, span, span_first, solved;
  // Per row the interior columns from the first to the last node inside the
  // model (not a no-data wall); the search for wet nodes looks only there
  // and at the ring columns.
  std::vector<Span> inside;
  // Per row the interior columns where a node flagged dry may not be
  // thinner than hdry and at rest: the sweeps write the state of a row only
  // in its span, so outside it a row stays as the last search found it.
  // Not kept when the rows are shared with other processes (they write the
  // rows they send) or solved whole.
  std::vector<Span> unsure;
  // While `sources_listed` (set by the flow step for its sweeps) only the
  // rows flagged in `source_rows` hold a source rate; otherwise any may.
  bool sources_listed = false;
  std::vector<std::uint8_t> source_rows;
  // Per row the interior columns the steps since the last `take_changed`
  // may have changed (the ring columns and rows aside), or every node when
  // `changed_all`.
  std::vector<Span> changed;
  bool changed_all = true;
  // Instruction set of the sweep and the sweep built for it (isa.h).
  Isa isa = Isa::base;
  SweepFn sweep = nullptr;
  // The processes the block sweep is shared with; null: this one solves
  // every row. Not owned.
  SweepShare* share = nullptr;
};

// Adds the per-row sums of a block sweep (|dh|, boundary discharges, and
// after a first stage the volume and the wet nodes) in row order.
void add_row_sums(Model& m, SolverWork& w, bool second_stage);

void prepare_solver(Model& m, SolverWork& w);

// One StripWork per thread (after the number of threads has changed).
void size_strips(const Model& m, SolverWork& w);

inline namespace QF_ISA {

// Increments of h, q, r of the nodes of row j (1-based, 1 .. nyy - 1) into
// dh, dq, dr (index = column - 1, columns 1 .. nxx - 1). Reads h, q, r of the
// state; writes us, dzbx, dzby, qq, rr of row j and af at wet/dry faces; adds
// |dh| to change_rate and the boundary discharges to boundary_flow. Rows must
// follow each other upward from row 1 with the same FaceCarry.
void solve(Model& m, SolverWork& w, int j, float* dh, float* dq, float* dr);

// The same on explicit storage: the carried faces of the row below, a row
// scratch, and the accumulators of |dh| and of the boundary discharges.
// With `areas` false the wetted-area factors at wet/dry faces are left to
// `set_wet_dry_areas`, called for every row before the sweep.
void solve_row(Model& m, FaceCarry& carry, RowScratch& scratch, int j, float* dh, float* dq,
               float* dr, float& change_rate, std::array<float, 8>& boundary_flow,
               bool areas = true);

// Fills the carry (and uses the scratch) so that row j (2 .. nyy - 1) can be
// solved as if rows 1 .. j - 1 had been solved before it with that carry:
// a sweep can start at any row.
void carry_in(Model& m, FaceCarry& carry, RowScratch& scratch, int j);

// Row j solved in the columns of `span` only. Every node of the row outside
// the span, and the nodes at its ends unless they are ring nodes, must be
// dry with a dry four-point neighbourhood and without a source: the full
// row would leave them as they are and give their faces no flux. `below`
// is the span the carry was left with (the row below); the carry then holds
// this row's faces in `span`. qq, rr, dh, dq, dr are written in the span
// only; the wetted-area factors are left to `set_wet_dry_areas`.
void solve_span(Model& m, FaceCarry& carry, RowScratch& scratch, int j, Span span, Span below,
                float* dh, float* dq, float* dr, float& change_rate,
                std::array<float, 8>& boundary_flow);

// carry_in for rows solved in spans: those of rows j - 2 and j - 1.
void carry_in(Model& m, FaceCarry& carry, RowScratch& scratch, int j, Span two_below, Span below);

// The wetted-area factors that solving rows 1 .. nyy - 1 gives the nodes of
// row j (1 .. nyy): a wet node beside a dry one gets `area`. Writes row j
// only, columns lo .. hi (column indices; all wet nodes must lie there).
void set_wet_dry_areas(Model& m, int j, int lo, int hi);

// One sweep of the flow step over all rows: first stage (new state from the
// start state over dth) or second stage (mean of both stages).
void run_sweep(Model& m, SolverWork& w, bool second_stage, float dth);

// The passes of the block sweep that give the rows of `band` their new
// state, the fluxes qq, rr and the per-row sums; every other row of the
// grid may be left partly worked. Reads the rows band_halo around the band.
void sweep_band(Model& m, SolverWork& w, bool second_stage, float dth, const BandRows& band);

}  // namespace QF_ISA
}  // namespace qf
