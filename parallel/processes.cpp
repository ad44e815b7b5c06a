#include "parallel/processes.h"

#include <mpi.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>

#include "model/hydro/isa.h"
#include "model/memory.h"
#include "model/state.h"

namespace qf {

namespace {

// What the first process tells the others before each sweep.
struct Order {
  int run = 0;  // 0: the run has ended
  int second_stage = 0;
  float dth = 0.0f;
  int nxx = 0, nyy = 0, nn = 0;
  int isa = 0, block_rows = 32, full_rows = 0;
  float hdry = 0, gravity = 0, dx = 0, dy = 0, dt = 0, cfl = 0, viscosity = 0, cv = 0,
        mixing_length_sq = 0, cell_area = 0;
  int friction_law = 0;
  int steady = 0, second_order = 0, turbulence = 0;
  int grid = 0;  // counts the grids handed out: a new one makes every band new
};

Order order_of(const Model& m, const SolverWork& w, bool second_stage, float dth) {
  Order o;
  o.run = 1;
  o.second_stage = second_stage ? 1 : 0;
  o.dth = dth;
  o.nxx = m.coin1.nxx;
  o.nyy = m.coin1.nyy;
  o.nn = m.coin1.nn;
  o.isa = static_cast<int>(w.isa);
  o.block_rows = w.block_rows;
  o.full_rows = w.full_rows ? 1 : 0;
  const Coin& c = m.coin;
  o.hdry = c.hdry;
  o.gravity = c.gravity;
  o.dx = c.dx;
  o.dy = c.dy;
  o.dt = c.dt;
  o.cfl = c.cfl;
  o.viscosity = c.viscosity;
  o.cv = c.cv;
  o.mixing_length_sq = c.mixing_length_sq;
  o.cell_area = c.cell_area;
  o.friction_law = m.coin1.friction_law;
  o.steady = m.clog.steady ? 1 : 0;
  o.second_order = m.clog.second_order ? 1 : 0;
  o.turbulence = m.clog.turbulence ? 1 : 0;
  return o;
}

void take_order(const Order& o, Model& m) {
  Coin& c = m.coin;
  c.hdry = o.hdry;
  c.gravity = o.gravity;
  c.dx = o.dx;
  c.dy = o.dy;
  c.dt = o.dt;
  c.cfl = o.cfl;
  c.viscosity = o.viscosity;
  c.cv = o.cv;
  c.mixing_length_sq = o.mixing_length_sq;
  c.cell_area = o.cell_area;
  m.coin1.friction_law = o.friction_law;
  m.clog.steady = o.steady != 0;
  m.clog.second_order = o.second_order != 0;
  m.clog.turbulence = o.turbulence != 0;
}

// The pieces of state that go between processes, by rows: per-node fields
// (a row is nxx values), per-row arrays and per-row sums (one value a row).
enum Part : int {
  // The state a band reads, which the first process holds whole: the rest
  // of the step reads and changes it.
  p_h,
  p_q,
  p_r,
  p_zb,
  p_ks,
  p_veg,
  p_hfloat,
  p_src,
  p_af,
  p_us,
  p_nu,
  p_tind,
  p_qq,
  p_rr,
  p_ldry,
  state_parts,
  // The start state and the remainders of the compensated sums: only the
  // process of a row's band holds them (the rest of the step does not use
  // them), and they go with the row when it moves to another band.
  p_h0 = state_parts,
  p_q0,
  p_r0,
  p_tind_lost,
  p_h_lost,
  node_parts,
  // Per row.
  p_solved = node_parts,
  p_span_first,
  p_wet,
  p_with_source,
  p_span,
  p_row_change,
  p_row_flow,
  p_row_volume,
  p_row_wet,
  parts,
};

// What a sweep gives the rows of a band that the first process holds.
constexpr Part kWritten[] = {p_h, p_q, p_r, p_af, p_us, p_qq, p_rr, p_tind, p_ldry};
constexpr Part kRowsWritten[] = {p_wet, p_with_source, p_span, p_span_first, p_solved};
constexpr Part kSums[] = {p_row_change, p_row_flow, p_row_volume, p_row_wet};
constexpr Part kKept[] = {p_h0, p_q0, p_r0, p_tind_lost, p_h_lost};

// A model's storage seen by global rows: row j of the grid is row j - off of
// the arrays (a band process holds rows off + 1 .. off + its row count).
struct View {
  Model& m;
  SolverWork& w;
  int off = 0;
  long nxx() const { return m.coin1.nxx; }
};

std::vector<float>* float_field(View& v, int part) {
  FlowValues& f = v.m.f;
  SolverWork& w = v.w;
  switch (part) {
    case p_h:
      return &f.h;
    case p_q:
      return &f.q;
    case p_r:
      return &f.r;
    case p_zb:
      return &f.zb;
    case p_ks:
      return &f.ks;
    case p_veg:
      return &f.veg;
    case p_hfloat:
      return &f.hfloat;
    case p_src:
      return &f.src;
    case p_af:
      return &f.af;
    case p_us:
      return &f.us;
    case p_nu:
      return &f.nu;
    case p_tind:
      return &f.tind;
    case p_qq:
      return &f.qq;
    case p_rr:
      return &f.rr;
    case p_h0:
      return &w.h0;
    case p_q0:
      return &w.q0;
    case p_r0:
      return &w.r0;
    case p_tind_lost:
      return &w.tind_lost;
    case p_h_lost:
      return &w.h_lost;
    default:
      return nullptr;
  }
}

std::vector<Span>* span_rows(View& v, int part) {
  SolverWork& w = v.w;
  switch (part) {
    case p_solved:
      return &w.solved;
    case p_span_first:
      return &w.span_first;
    case p_wet:
      return &w.wet;
    case p_with_source:
      return &w.with_source;
    case p_span:
      return &w.span;
    default:
      return nullptr;
  }
}

// Bytes of one row of a part.
std::size_t row_bytes(int part, long nxx) {
  if (part == p_ldry) return static_cast<std::size_t>(nxx);
  if (part < node_parts) return static_cast<std::size_t>(nxx) * sizeof(float);
  switch (part) {
    case p_row_change:
      return sizeof(float);
    case p_row_flow:
      return sizeof(std::array<float, 8>);
    case p_row_volume:
      return sizeof(double);
    case p_row_wet:
      return sizeof(int);
    default:
      return sizeof(Span);
  }
}

// Row j (global) of a part.
char* row_at(View& v, int part, int j) {
  const int l = j - v.off;
  if (part == p_ldry) return reinterpret_cast<char*>(v.m.f.ldry.data() + (l - 1) * v.nxx());
  if (part < node_parts)
    return reinterpret_cast<char*>(float_field(v, part)->data() + (l - 1) * v.nxx());
  const auto i = static_cast<std::size_t>(l);
  switch (part) {
    case p_row_change:
      return reinterpret_cast<char*>(&v.w.row_change[i]);
    case p_row_flow:
      return reinterpret_cast<char*>(&v.w.row_flow[i]);
    case p_row_volume:
      return reinterpret_cast<char*>(&v.w.row_volume[i]);
    case p_row_wet:
      return reinterpret_cast<char*>(&v.w.row_wet[i]);
    default:
      return reinterpret_cast<char*>(&(*span_rows(v, part))[i]);
  }
}

// A hash of the bytes of a row (four lanes of multiply and rotate): the
// first process keeps one per row and part of what each band process holds,
// and sends a row again only when its bytes have changed.
std::uint64_t hash_bytes(const char* p, std::size_t n) {
  constexpr std::uint64_t k1 = 0x9E3779B185EBCA87ull, k2 = 0xC2B2AE3D27D4EB4Full;
  auto round = [](std::uint64_t acc, std::uint64_t in) {
    acc += in * k2;
    acc = (acc << 31) | (acc >> 33);
    return acc * k1;
  };
  std::uint64_t a = k1 + k2 + n, b = k2, c = 0, d = 0 - k1;
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    std::uint64_t x[4];
    std::memcpy(x, p + i, 32);
    a = round(a, x[0]);
    b = round(b, x[1]);
    c = round(c, x[2]);
    d = round(d, x[3]);
  }
  std::uint64_t h = ((a << 1) | (a >> 63)) + ((b << 7) | (b >> 57)) + ((c << 12) | (c >> 52)) +
                    ((d << 18) | (d >> 46));
  for (; i < n; i += 8) {
    std::uint64_t x = 0;
    std::memcpy(&x, p + i, std::min<std::size_t>(8, n - i));
    h = round(h ^ round(0, x), 0) + k1;
  }
  h ^= h >> 33;
  h *= k2;
  h ^= h >> 29;
  return h;
}

constexpr int tag_head = 2, tag_halo = 3, tag_rows = 4;
// The rows of a run go in messages of at most this many bytes.
constexpr std::size_t piece = std::size_t{64} << 20;

// Rows j0 .. j1 (global) of a part.
struct Run {
  int part, j0, j1;
};

// Calls `f(first byte, bytes)` for the pieces of a run (a part is
// contiguous over its rows).
template <class F>
void for_pieces(View& v, const Run& r, F f) {
  const std::size_t rb = row_bytes(r.part, v.nxx());
  const int room = static_cast<int>(std::max<std::size_t>(piece / rb, 1));
  for (int j = r.j0; j <= r.j1; j += room) {
    const int jb = std::min(r.j1, j + room - 1);
    f(row_at(v, r.part, j), static_cast<int>(rb * static_cast<std::size_t>(jb - j + 1)));
  }
}

constexpr std::uint64_t head_end = ~std::uint64_t{0};

// Runs of rows sent straight from the fields of one process into those of
// another, with no copy on either side: first a head (per run its part,
// first and last row and whether the hashes of its rows follow, then those
// hashes; `head_end` closes it), then the rows of each run in pieces.
class RowsOut {
 public:
  // The rows up to `row` go first, and their sends are waited for by
  // `wait_early`; those of the rows after it by `wait`.
  void set_early(int row) { early_row_ = row; }
  void put(int part, int j0, int j1, const std::uint64_t* hashes = nullptr) {
    if (j0 > j1) return;
    if (j0 <= early_row_ && j1 > early_row_) {
      put(part, j0, early_row_, hashes);
      put(part, early_row_ + 1, j1, hashes != nullptr ? hashes + (early_row_ + 1 - j0) : nullptr);
      return;
    }
    const bool early = j1 <= early_row_;
    std::vector<std::uint64_t>& head = early ? early_head_ : late_head_;
    const auto u = [](int x) { return static_cast<std::uint64_t>(x); };
    head.insert(head.end(), {u(part), u(j0), u(j1), hashes != nullptr ? 1u : 0u});
    if (hashes != nullptr) head.insert(head.end(), hashes, hashes + (j1 - j0 + 1));
    (early ? early_runs_ : late_runs_).push_back(Run{part, j0, j1});
  }
  // Sends the head and starts the sends of the rows; their fields must
  // stay as they are until `wait`. `busy`: the sender's time at work on
  // the sweep [s].
  void send(View& v, int to, double busy = 0.0) {
    head_.assign(1, 0);
    std::memcpy(head_.data(), &busy, sizeof busy);
    head_.insert(head_.end(), early_head_.begin(), early_head_.end());
    head_.insert(head_.end(), late_head_.begin(), late_head_.end());
    head_.push_back(head_end);
    MPI_Send(head_.data(), static_cast<int>(head_.size()), MPI_UINT64_T, to, tag_head,
             MPI_COMM_WORLD);
    for (const bool early : {true, false}) {
      std::vector<MPI_Request>& req = early ? early_ : req_;
      for (const Run& r : early ? early_runs_ : late_runs_) {
        for_pieces(v, r, [&](char* at, int bytes) {
          req.emplace_back();
          MPI_Isend(at, bytes, MPI_BYTE, to, tag_rows, MPI_COMM_WORLD, &req.back());
        });
      }
    }
    early_head_.clear();
    late_head_.clear();
    early_runs_.clear();
    late_runs_.clear();
  }
  void wait_early() {
    MPI_Waitall(static_cast<int>(early_.size()), early_.data(), MPI_STATUSES_IGNORE);
    early_.clear();
  }
  void wait() {
    wait_early();
    MPI_Waitall(static_cast<int>(req_.size()), req_.data(), MPI_STATUSES_IGNORE);
    req_.clear();
  }

 private:
  std::vector<std::uint64_t> head_, early_head_, late_head_;
  std::vector<Run> early_runs_, late_runs_;
  std::vector<MPI_Request> req_, early_;
  int early_row_ = -1;
};

// Receives the rows a RowsOut of process `from` sends into their places;
// `seen(part, j, hash)` for every row whose hash came with it. Returns the
// sender's time at work.
template <class Seen>
double receive_rows(View& v, int from, std::vector<std::uint64_t>& head,
                    std::vector<MPI_Request>& req, Seen seen) {
  MPI_Status st;
  MPI_Probe(from, tag_head, MPI_COMM_WORLD, &st);
  int n = 0;
  MPI_Get_count(&st, MPI_UINT64_T, &n);
  head.resize(static_cast<std::size_t>(n));
  MPI_Recv(head.data(), n, MPI_UINT64_T, from, tag_head, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
  req.clear();
  double busy = 0.0;
  std::memcpy(&busy, head.data(), sizeof busy);
  std::size_t at = 1;
  while (at < head.size() && head[at] != head_end) {
    const Run r{static_cast<int>(head[at]), static_cast<int>(head[at + 1]),
                static_cast<int>(head[at + 2])};
    const bool hashed = head[at + 3] != 0;
    at += 4;
    for_pieces(v, r, [&](char* p, int bytes) {
      req.emplace_back();
      MPI_Irecv(p, bytes, MPI_BYTE, from, tag_rows, MPI_COMM_WORLD, &req.back());
    });
    if (!hashed) continue;
    for (int j = r.j0; j <= r.j1; ++j) seen(r.part, j, head[at++]);
  }
  MPI_Waitall(static_cast<int>(req.size()), req.data(), MPI_STATUSES_IGNORE);
  return busy;
}

// Copies the records of a halo message (part, first row, last row, then
// the rows' bytes) into their rows.
void unpack(View& v, const std::vector<char>& buf) {
  std::size_t at = 0;
  while (at + 3 * sizeof(std::int32_t) <= buf.size()) {
    std::int32_t head[3];
    std::memcpy(head, buf.data() + at, sizeof head);
    at += sizeof head;
    const std::size_t n =
        row_bytes(head[0], v.nxx()) * static_cast<std::size_t>(head[2] - head[1] + 1);
    std::memcpy(row_at(v, head[0], head[1]), buf.data() + at, n);
    at += n;
  }
}

// Rows whose state a band reads: the band and band_halo rows on each side.
int input_lo(const BandRows& b) {
  return std::max(b.lo - band_halo, 1);
}
int input_hi(const BandRows& b, int nyy) {
  return std::min(b.hi + band_halo, nyy);
}
bool same_band(const BandRows& a, const BandRows& b) {
  return a.lo == b.lo && a.hi == b.hi;
}

// The rows of band `a` that are not in band `b`: at most two runs (first
// row > last row: none).
std::array<std::pair<int, int>, 2> rows_leaving(const BandRows& a, const BandRows& b) {
  if (a.lo > a.hi) return {std::pair{1, 0}, std::pair{1, 0}};
  if (b.lo > b.hi) return {std::pair{a.lo, a.hi}, std::pair{1, 0}};
  return {std::pair{a.lo, std::min(a.hi, b.lo - 1)}, std::pair{std::max(a.lo, b.hi + 1), a.hi}};
}

// Gives the memory of the whole pages within rows j0 .. j1 of a grid
// field back to the system (release_zero_pages): what they held is dropped,
// they read as zeros again and take memory only once written.
template <class T>
void forget_rows(std::vector<T>& f, long nxx, int j0, int j1) {
  if (j0 > j1 || f.empty()) return;
  const std::size_t k0 = static_cast<std::size_t>(j0 - 1) * static_cast<std::size_t>(nxx);
  const std::size_t k1 =
      std::min(f.size(), static_cast<std::size_t>(j1) * static_cast<std::size_t>(nxx));
  if (k1 > k0) release_zero_pages(f.data() + k0, (k1 - k0) * sizeof(T));
}

// The halo exchange: every process sends the rows of its band that another
// band reads around it, and receives the rows around its own band from the
// processes whose bands hold them. The first process only sends.
class Halo {
 public:
  void exchange(View& v, const std::vector<BandRows>& bands, int me, int nyy) {
    const int n = static_cast<int>(bands.size());
    out_.resize(bands.size());
    in_.resize(bands.size());
    std::vector<MPI_Request> req;
    const BandRows& mine = bands[static_cast<std::size_t>(me)];
    // The rows of band `of` that band `to` reads beyond its own.
    auto wanted = [&](int of, int to, int& a0, int& a1, int& b0, int& b1) {
      const BandRows& o = bands[static_cast<std::size_t>(of)];
      const BandRows& t = bands[static_cast<std::size_t>(to)];
      a0 = std::max(o.lo, input_lo(t));
      a1 = std::min(o.hi, t.lo - 1);
      b0 = std::max(o.lo, t.hi + 1);
      b1 = std::min(o.hi, input_hi(t, nyy));
      return o.lo <= o.hi && t.lo <= t.hi && (a0 <= a1 || b0 <= b1);
    };
    for (int p = 1; p < n; ++p) {
      if (p == me || mine.lo > mine.hi) continue;
      int a0, a1, b0, b1;
      if (!wanted(me, p, a0, a1, b0, b1)) continue;
      std::vector<char>& buf = out_[static_cast<std::size_t>(p)];
      buf.clear();
      for (auto [j0, j1] : {std::pair{a0, a1}, std::pair{b0, b1}}) {
        for (int part = 0; part < state_parts; ++part) {
          if (j0 > j1) continue;
          const std::int32_t head[3] = {part, j0, j1};
          buf.insert(buf.end(), reinterpret_cast<const char*>(head),
                     reinterpret_cast<const char*>(head) + sizeof head);
          const char* at = row_at(v, part, j0);
          buf.insert(buf.end(), at, at + row_bytes(part, v.nxx()) * (j1 - j0 + 1));
        }
      }
      req.emplace_back();
      MPI_Isend(buf.data(), static_cast<int>(buf.size()), MPI_BYTE, p, tag_halo, MPI_COMM_WORLD,
                &req.back());
    }
    std::vector<int> from;
    if (me > 0) {
      for (int p = 0; p < n; ++p) {
        int a0, a1, b0, b1;
        if (p == me || !wanted(p, me, a0, a1, b0, b1)) continue;
        std::size_t bytes = 0;
        for (auto [j0, j1] : {std::pair{a0, a1}, std::pair{b0, b1}}) {
          if (j0 > j1) continue;
          for (int part = 0; part < state_parts; ++part)
            bytes += 3 * sizeof(std::int32_t) + row_bytes(part, v.nxx()) * (j1 - j0 + 1);
        }
        std::vector<char>& buf = in_[static_cast<std::size_t>(p)];
        buf.resize(bytes);
        req.emplace_back();
        MPI_Irecv(buf.data(), static_cast<int>(bytes), MPI_BYTE, p, tag_halo, MPI_COMM_WORLD,
                  &req.back());
        from.push_back(p);
      }
    }
    MPI_Waitall(static_cast<int>(req.size()), req.data(), MPI_STATUSES_IGNORE);
    for (int p : from) {
      const std::vector<char>& buf = in_[static_cast<std::size_t>(p)];
      unpack(v, buf);
    }
  }

 private:
  std::vector<std::vector<char>> out_, in_;
};

// Work of each row for the balance: the columns the sweep will solve (the
// nodes not flagged dry in the row and its neighbour rows, widened by
// two) and a share for the byte search over a dry row.
std::vector<double> row_work(const Model& m) {
  const int nxx = m.coin1.nxx, nyy = m.coin1.nyy;
  std::vector<int> lo(static_cast<std::size_t>(nyy) + 2, nxx), hi(lo.size(), -1);
  for (int j = 1; j <= nyy; ++j) {
    const std::uint8_t* dry = m.f.ldry.data() + static_cast<long>(j - 1) * nxx;
    const auto n = static_cast<std::size_t>(nxx);
    const void* a = std::memchr(dry, 0, n);
    if (a == nullptr) continue;
    lo[j] = static_cast<int>(static_cast<const std::uint8_t*>(a) - dry);
    hi[j] = static_cast<int>(static_cast<const std::uint8_t*>(memrchr(dry, 0, n)) - dry);
  }
  std::vector<double> work(static_cast<std::size_t>(nyy) + 1, 0.0);
  for (int j = 1; j <= nyy - 1; ++j) {
    const int l = std::min({lo[j - 1], lo[j], lo[j + 1]});
    const int h = std::max({hi[j - 1], hi[j], hi[j + 1]});
    work[j] = nxx / 16.0 + 8.0 + (h >= l ? h - l + 5 : 0);
  }
  return work;
}

// Wall time of the phases of a process's sweeps (QF_USAGE, for the
// benchmarks): `lap(i)` adds the time since the last lap to phase i.
class Laps {
 public:
  explicit Laps(std::vector<const char*> names)
      : names_(std::move(names)), total_(names_.size(), 0.0), last_(now()) {}
  void lap(std::size_t i) {
    const double t = now();
    total_[i] += t - last_;
    last_ = t;
  }
  void restart() {
    std::fill(total_.begin(), total_.end(), 0.0);
    last_ = now();
  }
  // One line (one write: the lines of the processes do not mix).
  void print(int rank) const {
    std::string line = " >process " + std::to_string(rank) + ":";
    for (std::size_t i = 0; i < names_.size(); ++i) {
      line += std::string(" ") + names_[i] + " " +
              std::to_string(static_cast<long>(total_[i] * 1000.0 + 0.5)) + " ms" +
              (i + 1 < names_.size() ? "," : "\n");
    }
    std::cerr << line << std::flush;
  }

 private:
  static double now() { return MPI_Wtime(); }
  std::vector<const char*> names_;
  std::vector<double> total_;
  double last_;
};

}  // namespace

namespace {

// The order of the first process to all (a broadcast). A process waiting
// for it polls at first, then sleeps between polls, 50 us at first and up
// to 1 ms: the long waits, while the first process reads the input, writes
// the output or runs the rest of a step, leave the core to others, and a
// sweep starts at most a millisecond late.
void broadcast_order(Order& o) {
  MPI_Request r;
  MPI_Ibcast(&o, sizeof o, MPI_BYTE, 0, MPI_COMM_WORLD, &r);
  int done = 0;
  long nap_ns = 0;
  for (int polls = 0;; ++polls) {
    MPI_Test(&r, &done, MPI_STATUS_IGNORE);
    if (done != 0) return;
    if (polls < 1000) continue;
    nap_ns = std::clamp(nap_ns * 2, 50'000L, 1'000'000L);
    const timespec nap{0, nap_ns};
    nanosleep(&nap, nullptr);
  }
}

}  // namespace

bool launched_by_mpi() {
  for (const char* v : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK", "PMI_SIZE"}) {
    if (std::getenv(v) != nullptr) return true;
  }
  return false;
}

std::vector<BandRows> balance_bands(const std::vector<double>& weight, int nyy, int block_rows,
                                    int processes) {
  const int rows = nyy - 1;
  const int per = std::max(block_rows, 1);
  const int blocks = rows > 0 ? (rows + per - 1) / per : 0;
  std::vector<double> block_work(static_cast<std::size_t>(blocks), 0.0);
  double total = 0.0;
  for (int j = 1; j <= rows; ++j) {
    const double v = j < static_cast<int>(weight.size()) ? weight[j] : 1.0;
    block_work[static_cast<std::size_t>((j - 1) / per)] += v;
    total += v;
  }
  // Each band ends at the block where the work done so far first reaches
  // its share of the whole, leaving at least one block for each band after;
  // it has one block at least while there are blocks enough.
  std::vector<BandRows> bands(static_cast<std::size_t>(processes));
  int blk = 0;
  double done = 0.0;
  for (int p = 0; p < processes; ++p) {
    const int first = blk;
    const double target = total * (p + 1) / processes;
    const int keep = std::max(blocks - (processes - 1 - p), first);
    while (blk < blocks &&
           (p == processes - 1 || (blk < keep && (blk == first || done < target)))) {
      done += block_work[static_cast<std::size_t>(blk)];
      ++blk;
      if (done >= target && p < processes - 1) break;
    }
    BandRows& b = bands[static_cast<std::size_t>(p)];
    if (blk > first) {
      b.lo = 1 + first * per;
      b.hi = std::min(blk * per, rows);
    }
  }
  // The ring row nyy belongs to the last band that has rows.
  for (int p = processes - 1; p >= 0; --p) {
    if (bands[static_cast<std::size_t>(p)].lo <= bands[static_cast<std::size_t>(p)].hi) {
      bands[static_cast<std::size_t>(p)].hi = nyy;
      break;
    }
  }
  return bands;
}

std::vector<double> weigh_by_time(const std::vector<double>& work, int nyy,
                                  const std::vector<BandRows>& bands,
                                  const std::vector<double>& busy) {
  // Time per unit of work of each band; a band without rows or time takes
  // the mean of the others.
  std::vector<double> rate(bands.size(), 0.0);
  double sum = 0.0;
  int n = 0;
  for (std::size_t p = 0; p < bands.size(); ++p) {
    double w = 0.0;
    for (int j = std::max(bands[p].lo, 1); j <= std::min(bands[p].hi, nyy - 1); ++j)
      w += j < static_cast<int>(work.size()) ? work[static_cast<std::size_t>(j)] : 1.0;
    if (w > 0.0 && p < busy.size() && busy[p] > 0.0) {
      rate[p] = busy[p] / w;
      sum += rate[p];
      ++n;
    }
  }
  const double mean = n > 0 ? sum / n : 1.0;
  std::vector<double> timed(work);
  timed.resize(static_cast<std::size_t>(std::max(nyy, 1)), 1.0);
  for (std::size_t p = 0; p < bands.size(); ++p) {
    const double r = rate[p] > 0.0 ? rate[p] : mean;
    for (int j = std::max(bands[p].lo, 1); j <= std::min(bands[p].hi, nyy - 1); ++j)
      timed[static_cast<std::size_t>(j)] *= r;
  }
  return timed;
}

double longest_band(const std::vector<double>& weight, int nyy,
                    const std::vector<BandRows>& bands) {
  double longest = 0.0;
  for (const BandRows& b : bands) {
    double w = 0.0;
    for (int j = std::max(b.lo, 1); j <= std::min(b.hi, nyy - 1); ++j)
      w += j < static_cast<int>(weight.size()) ? weight[static_cast<std::size_t>(j)] : 1.0;
    longest = std::max(longest, w);
  }
  return longest;
}

struct Processes::Rows {
  // Per process the band whose state it holds (none: lo > hi).
  std::vector<BandRows> held;
  // Per read part and row the hash of what the band process of the row
  // holds.
  std::vector<std::uint64_t> hash;
  std::vector<std::uint64_t> now;  // of one band before a sweep
  BandRows own;                    // this process's band in the last sweep
  std::vector<char> zeros;         // a row of zero bytes
  std::uint64_t zero_hash = 0;     // and its hash
  long nyy1 = 0;
  std::uint64_t& at(int part, int j) { return hash[static_cast<std::size_t>(part * nyy1 + j)]; }
  Halo halo;
  RowsOut out;
  std::vector<std::uint64_t> head;
  std::vector<MPI_Request> req;
  Laps laps{{"rest of the step", "rows out", "halo", "own band", "rows back", "sums"}};
};

Processes::Processes(int& argc, char**& argv) : rows_(std::make_unique<Rows>()) {
  // A process waiting for its next band gives its core to those at work
  // (Open MPI polls otherwise); the environment may say otherwise.
  setenv("OMPI_MCA_mpi_yield_when_idle", "1", 0);
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
  MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
  MPI_Comm_size(MPI_COMM_WORLD, &size_);
  usage_ = std::getenv("QF_USAGE") != nullptr;
  if (const char* every = std::getenv("QF_BANDS_EVERY"))
    work_every_ = std::max(std::atoi(every), 0);
}

Processes::~Processes() {
  if (rank_ == 0) end_service();
  if (rank_ == 0 && usage_) rows_->laps.print(0);
  MPI_Finalize();
}

void Processes::end_service() {
  if (ended_) return;
  ended_ = true;
  Order o;
  o.run = 0;
  broadcast_order(o);
}

void Processes::sweep(Model& m, SolverWork& w, bool second_stage, float dth, BandPassFn passes) {
  const int nyy = m.coin1.nyy;
  Rows& rs = *rows_;
  // The time before the first sweep is that of the input.
  if (balanced_nn_ < 0) rs.laps.restart();
  rs.laps.lap(0);
  // Whole row blocks; a small grid is cut into smaller pieces, so that
  // every process has rows to solve.
  const int unit = std::clamp((nyy - 1) / (2 * size_), 1, std::max(w.block_rows, 1));
  const bool fresh_grid =
      m.coin1.nn != balanced_nn_ || bands_.size() != static_cast<std::size_t>(size_);
  bool balanced = false;
  if (fresh_grid) {
    ++grid_;
    rs.held.assign(static_cast<std::size_t>(size_), BandRows{});
    rs.nyy1 = nyy + 1;
    rs.hash.assign(static_cast<std::size_t>(state_parts) * static_cast<std::size_t>(rs.nyy1), 0);
    // At first by the work of the rows.
    bands_ = balance_bands(row_work(m), nyy, unit, size_);
    balanced_nn_ = m.coin1.nn;
    balanced = true;
  } else if (work_every_ > 0) {
    if (measured_ >= work_every_) {
      std::vector<BandRows> next = balance_bands(row_work(m), nyy, unit, size_);
      for (std::size_t p = 0; p < next.size(); ++p)
        balanced = balanced || !same_band(next[p], bands_[p]);
      bands_ = std::move(next);
      measured_ = 0;
    }
  } else if (measured_ >= (checks_ == 0 ? 16 : 64)) {
    // Then by the time each process took for the work of its band: the
    // first process also sends and receives the rows of the others, and
    // those hash the rows they hold. New bands only when they promise to
    // end a sweep 3 % sooner (a new band is sent whole).
    ++checks_;
    const std::vector<double> work = row_work(m);
    const std::vector<double> timed = weigh_by_time(work, nyy, bands_, busy_);
    std::vector<BandRows> next = balance_bands(timed, nyy, unit, size_);
    if (longest_band(timed, nyy, next) < 0.97 * longest_band(timed, nyy, bands_)) {
      bands_ = std::move(next);
      balanced = true;
    }
    busy_.assign(static_cast<std::size_t>(size_), 0.0);
    measured_ = 0;
  }
  if (balanced) {
    if (usage_) {
      std::string line = " >bands:";
      for (const BandRows& b : bands_)
        line += " " + std::to_string(b.lo) + "-" + std::to_string(b.hi);
      std::cerr << line + "\n" << std::flush;
    }
    // The first sweep of new bands sends them whole: not measured.
    busy_.assign(static_cast<std::size_t>(size_), 0.0);
    measured_ = -1;
  }
  ++measured_;
  Order o = order_of(m, w, second_stage, dth);
  o.grid = grid_;
  broadcast_order(o);
  MPI_Bcast(bands_.data(), static_cast<int>(bands_.size() * sizeof(BandRows)), MPI_BYTE, 0,
            MPI_COMM_WORLD);
  View v{m, w, 0};
  const long nxx = m.coin1.nxx;
  if (fresh_grid) {
    rs.own = BandRows{};
    rs.zeros.assign(static_cast<std::size_t>(nxx) * sizeof(float), 0);
    rs.zero_hash = hash_bytes(rs.zeros.data(), rs.zeros.size());
  }
  // The rows that leave a band bring their kept parts here from the
  // process that held them; they go on with the rows to their new bands.
  for (int p = 1; p < size_; ++p) {
    const BandRows& held = rs.held[static_cast<std::size_t>(p)];
    if (held.lo <= held.hi && !same_band(held, bands_[static_cast<std::size_t>(p)]))
      receive_rows(v, p, rs.head, rs.req, [](int, int, std::uint64_t) {});
  }
  // Each band process gets the rows of its band whose bytes differ from
  // what it holds (all of them when the band is new to it, but the rows
  // of zeros its new fields hold already), the kept parts of the rows new
  // to it, and the row spans around it.
  for (int p = 1; p < size_; ++p) {
    const BandRows& b = bands_[static_cast<std::size_t>(p)];
    BandRows& held = rs.held[static_cast<std::size_t>(p)];
    if (b.lo > b.hi) {
      held = BandRows{};
      continue;
    }
    const bool fresh = !same_band(held, b);
    const BandRows was = held;
    held = b;
    RowsOut& out = rs.out;
    out.set_early(bands_[0].lo <= bands_[0].hi ? bands_[0].hi + band_halo : -1);
    const int lo = input_lo(b), hi = input_hi(b, nyy);
    for (int part : {p_solved, p_span_first}) out.put(part, lo, hi);
    // The kept parts of a new grid are zeros everywhere.
    if (fresh && !fresh_grid) {
      for (auto [j0, j1] : rows_leaving(b, was)) {
        for (int part : kKept) out.put(part, j0, j1);
      }
    }
    // The hashes of the band's rows now (on the threads), against those of
    // what the band process holds.
    const int rows = b.hi - b.lo + 1;
    rs.now.resize(static_cast<std::size_t>(state_parts) * static_cast<std::size_t>(rows));
#pragma omp parallel for schedule(static)
    for (int i = 0; i < state_parts * rows; ++i) {
      const int part = i / rows, j = b.lo + i % rows;
      rs.now[static_cast<std::size_t>(i)] = hash_bytes(row_at(v, part, j), row_bytes(part, nxx));
    }
    for (int part = 0; part < state_parts; ++part) {
      int run = 0;  // first row of a run of changed rows, 0: none
      for (int j = b.lo; j <= b.hi + 1; ++j) {
        bool changed = false;
        if (j <= b.hi) {
          const std::uint64_t h =
              rs.now[static_cast<std::size_t>(part) * static_cast<std::size_t>(rows) +
                     static_cast<std::size_t>(j - b.lo)];
          changed = fresh
                        ? !(part != p_ldry && h == rs.zero_hash &&
                            std::memcmp(row_at(v, part, j), rs.zeros.data(), rs.zeros.size()) == 0)
                        : h != rs.at(part, j);
          rs.at(part, j) = h;
        }
        if (changed && run == 0) run = j;
        if (!changed && run != 0) {
          out.put(part, run, j - 1,
                  &rs.now[static_cast<std::size_t>(part) * static_cast<std::size_t>(rows) +
                          static_cast<std::size_t>(run - b.lo)]);
          run = 0;
        }
      }
    }
    out.send(v, p);
  }
  // The outflow shares of the rows new to this process's band start at
  // one, as in the fresh fields of a band process.
  const BandRows own = bands_[0];
  const bool own_moved = fresh_grid || !same_band(own, rs.own);
  if (own_moved && !fresh_grid && own.lo <= own.hi) {
    for (int j = input_lo(own); j <= input_hi(own, nyy); ++j) {
      if (rs.own.lo <= rs.own.hi && j >= input_lo(rs.own) && j <= input_hi(rs.own, nyy)) continue;
      std::fill_n(w.theta.begin() + static_cast<long>(j - 1) * nxx, nxx, 1.0f);
    }
  }
  rs.laps.lap(1);
  rs.halo.exchange(v, bands_, 0, nyy);
  // The passes of the own band write rows of the others' bands up to
  // band_halo rows beyond it: those must have left; the others leave
  // while this process solves its band.
  rs.out.wait_early();
  rs.laps.lap(2);
  const double t0 = MPI_Wtime();
  if (bands_[0].lo <= bands_[0].hi) passes(m, w, second_stage, dth, bands_[0]);
  const bool measure = measured_ > 0;
  if (measure) busy_[0] += MPI_Wtime() - t0;
  rs.out.wait();
  rs.laps.lap(3);
  for (int p = 1; p < size_; ++p) {
    const BandRows& b = bands_[static_cast<std::size_t>(p)];
    if (b.lo > b.hi) continue;
    const double busy =
        receive_rows(v, p, rs.head, rs.req, [&rs](int part, int j, std::uint64_t h) {
          if (part < state_parts) rs.at(part, j) = h;
        });
    if (measure) busy_[static_cast<std::size_t>(p)] += busy;
  }
  rs.laps.lap(4);
  add_row_sums(m, w, second_stage);
  // This process keeps the sweep's fields only for its band and the rows
  // around it; the rows that left its band have gone to their new ones.
  if (own_moved) {
    rs.own = own;
    const int k0 = own.lo <= own.hi ? input_lo(own) : nyy + 1;
    const int k1 = own.lo <= own.hi ? input_hi(own, nyy) : nyy;
    for (std::vector<float>* f : {&w.h0, &w.q0, &w.r0, &w.tind_lost, &w.h_lost, &w.theta, &w.dhg,
                                  &w.dqg, &w.drg, &w.speed_cap}) {
      forget_rows(*f, nxx, 1, k0 - 1);
      forget_rows(*f, nxx, k1 + 1, nyy);
    }
  }
  rs.laps.lap(5);
}

int Processes::serve() {
  // A signal stops the run through the first process, which ends every
  // process after the step; here it must not end the process before that.
  std::signal(SIGINT, SIG_IGN);
  std::signal(SIGTERM, SIG_IGN);
  // The rows of this process's band and band_halo rows on either side.
  Model m;
  SolverWork w;
  std::vector<BandRows> bands(static_cast<std::size_t>(size_));
  BandRows held;
  int grid = -1;
  int off = 0;
  // Per written part and row of the band the hash of what the first
  // process holds; `told` false: it holds nothing of this band yet.
  constexpr int written = static_cast<int>(std::size(kWritten));
  int slot[parts];
  std::fill(std::begin(slot), std::end(slot), -1);
  for (int i = 0; i < written; ++i) slot[kWritten[i]] = i;
  std::vector<std::uint64_t> known, now, head;
  std::vector<MPI_Request> req;
  bool told = false;
  Laps laps({"waiting", "rows in", "halo", "band", "rows out"});
  for (;;) {
    Order o;
    broadcast_order(o);
    laps.lap(0);
    if (o.run == 0) {
      if (usage_) laps.print(rank_);
      return 0;
    }
    MPI_Bcast(bands.data(), static_cast<int>(bands.size() * sizeof(BandRows)), MPI_BYTE, 0,
              MPI_COMM_WORLD);
    take_order(o, m);
    const auto isa = static_cast<Isa>(o.isa);
    const BandRows& b = bands[static_cast<std::size_t>(rank_)];
    // The rows that leave this band take their kept parts with them, by
    // way of the first process; those that stay keep theirs.
    const bool moved = grid == o.grid && held.lo <= held.hi && !same_band(held, b);
    if (moved) {
      View was{m, w, off};
      for (auto [j0, j1] : rows_leaving(held, b)) {
        for (int part : kKept) rows_->out.put(part, j0, j1);
      }
      rows_->out.send(was, 0);
      rows_->out.wait();
    }
    if (b.lo > b.hi) {
      held = BandRows{};
    } else if (grid != o.grid || !same_band(held, b)) {
      // A new band: arrays for its rows and those around it.
      std::vector<float> kept[std::size(kKept)];
      const int was_off = off;
      const BandRows stay{std::max(held.lo, b.lo), std::min(held.hi, b.hi)};
      if (moved) {
        View was{m, w, off};
        for (std::size_t i = 0; i < std::size(kKept); ++i)
          kept[i] = std::move(*float_field(was, kKept[i]));
      }
      grid = o.grid;
      held = b;
      off = input_lo(b) - 1;
      const int rows = input_hi(b, o.nyy) - off;
      const long nn = static_cast<long>(o.nxx) * rows;
      const std::string refused = memory_refusal(nn, base_bytes_per_node, memory_room());
      if (!refused.empty()) {
        std::cerr << " >process " << rank_ << ": " << refused << "\n";
        MPI_Abort(MPI_COMM_WORLD, 1);
      }
      m.coin1.nxx = o.nxx;
      m.coin1.nyy = rows;
      m.coin1.nn = static_cast<int>(nn);
      alloc_flow(m, nn);
      m.f.ldry.assign(static_cast<std::size_t>(nn), 1);
      prepare_solver(m, w);
      if (moved && stay.lo <= stay.hi) {
        View now{m, w, off};
        const auto n =
            static_cast<std::size_t>(o.nxx) * static_cast<std::size_t>(stay.hi - stay.lo + 1);
        for (std::size_t i = 0; i < std::size(kKept); ++i) {
          std::copy_n(
              kept[i].begin() + static_cast<long>(stay.lo - was_off - 1) * o.nxx, n,
              float_field(now, kKept[i])->begin() + static_cast<long>(stay.lo - off - 1) * o.nxx);
        }
      }
      known.assign(static_cast<std::size_t>(written) * static_cast<std::size_t>(rows), 0);
      told = false;
    }
    w.isa = isa;
    w.block_rows = o.block_rows;
    w.full_rows = o.full_rows != 0;
    View v{m, w, off};
    const long local_rows = m.coin1.nyy;
    auto known_at = [&](int i, int j) -> std::uint64_t& {
      return known[static_cast<std::size_t>(i) * static_cast<std::size_t>(local_rows) +
                   static_cast<std::size_t>(j - off - 1)];
    };
    if (b.lo <= b.hi) {
      receive_rows(v, 0, head, req, [&](int part, int j, std::uint64_t h) {
        if (slot[part] >= 0 && j >= b.lo && j <= b.hi) known_at(slot[part], j) = h;
      });
    }
    laps.lap(1);
    const double t0 = MPI_Wtime();
    rows_->halo.exchange(v, bands, rank_, o.nyy);
    laps.lap(2);
    if (b.lo > b.hi) continue;
    // The band in the rows of this process; the grid's first and last rows
    // are the rows of the arrays' ends when the band reaches them.
    band_sweep_of(isa)(m, w, o.second_stage != 0, o.dth, BandRows{b.lo - off, b.hi - off});
    laps.lap(3);
    // The rows whose bytes differ from what the first process holds; the
    // rows next to its own band always (its sweep leaves them partly
    // worked).
    const int rows = b.hi - b.lo + 1;
    const BandRows& first = bands[0];
    const int always = first.lo <= first.hi ? first.hi + band_halo : 0;
    now.resize(static_cast<std::size_t>(written) * static_cast<std::size_t>(rows));
#pragma omp parallel for schedule(static)
    for (int i = 0; i < written * rows; ++i) {
      const int part = kWritten[i / rows], j = b.lo + i % rows;
      now[static_cast<std::size_t>(i)] = hash_bytes(row_at(v, part, j), row_bytes(part, o.nxx));
    }
    RowsOut& out = rows_->out;
    for (int i = 0; i < written; ++i) {
      int run = 0;  // first row of a run of rows to send, 0: none
      for (int j = b.lo; j <= b.hi + 1; ++j) {
        bool send = false;
        if (j <= b.hi) {
          const std::uint64_t h = now[static_cast<std::size_t>(i) * static_cast<std::size_t>(rows) +
                                      static_cast<std::size_t>(j - b.lo)];
          send = !told || j <= always || h != known_at(i, j);
          known_at(i, j) = h;
        }
        if (send && run == 0) run = j;
        if (!send && run != 0) {
          out.put(kWritten[i], run, j - 1,
                  &now[static_cast<std::size_t>(i) * static_cast<std::size_t>(rows) +
                       static_cast<std::size_t>(run - b.lo)]);
          run = 0;
        }
      }
    }
    told = true;
    for (int part : kRowsWritten) out.put(part, b.lo, b.hi);
    const int r1 = std::min(b.hi, o.nyy - 1);
    if (b.lo <= r1) {
      for (int part : kSums) out.put(part, b.lo, r1);
    }
    out.send(v, 0, MPI_Wtime() - t0);
    out.wait();
    laps.lap(4);
  }
}

}  // namespace qf
