#include "parallel/processes.h"

#include <mpi.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "model/hydro/isa.h"
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

// Rows a .. b of the per-node fields and per-row arrays, packed in a fixed
// order into a byte buffer or unpacked from one.
class Packer {
 public:
  Packer(std::vector<char>& buf, long nxx, bool out) : buf_(buf), nxx_(nxx), out_(out) {}
  void reset() {
    buf_.clear();
    at_ = 0;
  }
  template <class T>
  void nodes(std::vector<T>& v, int a, int b) {
    span(v.data() + static_cast<long>(a - 1) * nxx_, static_cast<std::size_t>(b - a + 1) * nxx_);
  }
  template <class T>
  void rows(std::vector<T>& v, int a, int b) {
    span(v.data() + a, static_cast<std::size_t>(b - a + 1));
  }

 private:
  template <class T>
  void span(T* p, std::size_t n) {
    const std::size_t bytes = n * sizeof(T);
    if (out_) {
      buf_.insert(buf_.end(), reinterpret_cast<const char*>(p),
                  reinterpret_cast<const char*>(p) + bytes);
    } else {
      std::memcpy(p, buf_.data() + at_, bytes);
      at_ += bytes;
    }
  }
  std::vector<char>& buf_;
  std::size_t nxx_;
  bool out_;
  std::size_t at_ = 0;
};

// What a process needs to solve its band: the state of the rows around it.
void band_input(Packer& p, Model& m, SolverWork& w, int a, int b) {
  FlowValues& f = m.f;
  for (auto* v : {&f.h, &f.q, &f.r, &f.zb, &f.ks, &f.veg, &f.hfloat, &f.src, &f.af, &f.us, &f.nu,
                  &f.tind, &f.qq, &f.rr, &w.h0, &w.q0, &w.r0, &w.tind_lost}) {
    p.nodes(*v, a, b);
  }
  p.nodes(f.ldry, a, b);
  p.rows(w.solved, a, b);
  p.rows(w.span_first, a, b);
}

// What a sweep gives the rows of a band.
void band_output(Packer& p, Model& m, SolverWork& w, int a, int b) {
  FlowValues& f = m.f;
  for (auto* v : {&f.h, &f.q, &f.r, &f.af, &f.us, &f.qq, &f.rr, &f.dzbx, &f.dzby, &f.tind, &w.h0,
                  &w.q0, &w.r0, &w.tind_lost}) {
    p.nodes(*v, a, b);
  }
  p.nodes(f.ldry, a, b);
  for (auto* v : {&w.wet, &w.with_source, &w.span, &w.span_first, &w.solved}) p.rows(*v, a, b);
  const int r1 = std::min(b, m.coin1.nyy - 1);
  if (a <= r1) {
    p.rows(w.row_change, a, r1);
    p.rows(w.row_flow, a, r1);
    p.rows(w.row_volume, a, r1);
    p.rows(w.row_wet, a, r1);
  }
}

// Messages longer than an int can count go in pieces.
constexpr std::size_t piece = std::size_t{1} << 30;

void send_bytes(const std::vector<char>& buf, int to) {
  unsigned long n = buf.size();
  MPI_Send(&n, 1, MPI_UNSIGNED_LONG, to, 1, MPI_COMM_WORLD);
  for (std::size_t at = 0; at < buf.size(); at += piece) {
    const int len = static_cast<int>(std::min(piece, buf.size() - at));
    MPI_Send(buf.data() + at, len, MPI_BYTE, to, 2, MPI_COMM_WORLD);
  }
}

void receive_bytes(std::vector<char>& buf, int from) {
  unsigned long n = 0;
  MPI_Recv(&n, 1, MPI_UNSIGNED_LONG, from, 1, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
  buf.resize(n);
  for (std::size_t at = 0; at < buf.size(); at += piece) {
    const int len = static_cast<int>(std::min(piece, buf.size() - at));
    MPI_Recv(buf.data() + at, len, MPI_BYTE, from, 2, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
  }
}

// Rows whose state a band needs: the band and band_halo rows on each side.
int input_lo(const BandRows& b) {
  return std::max(b.lo - band_halo, 1);
}
int input_hi(const BandRows& b, int nyy) {
  return std::min(b.hi + band_halo, nyy);
}

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
  // its share of the whole, leaving at least one block for each band after.
  std::vector<BandRows> bands(static_cast<std::size_t>(processes));
  int blk = 0;
  double done = 0.0;
  for (int p = 0; p < processes; ++p) {
    const int first = blk;
    const double target = total * (p + 1) / processes;
    const int keep = std::max(blocks - (processes - 1 - p), first);
    while (blk < blocks && (p == processes - 1 || (blk < keep && done < target))) {
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

Processes::Processes(int& argc, char**& argv) {
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
  MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
  MPI_Comm_size(MPI_COMM_WORLD, &size_);
}

Processes::~Processes() {
  if (rank_ == 0) end_service();
  MPI_Finalize();
}

void Processes::end_service() {
  if (ended_) return;
  ended_ = true;
  Order o;
  o.run = 0;
  MPI_Bcast(&o, sizeof o, MPI_BYTE, 0, MPI_COMM_WORLD);
}

void Processes::sweep(Model& m, SolverWork& w, bool second_stage, float dth, BandPassFn passes) {
  const int nyy = m.coin1.nyy;
  if (m.coin1.nn != balanced_nn_ || sweeps_ >= 512 ||
      bands_.size() != static_cast<std::size_t>(size_)) {
    // Whole row blocks; a small grid is cut into smaller pieces, so that
    // every process has rows to solve.
    const int unit = std::clamp((nyy - 1) / (2 * size_), 1, std::max(w.block_rows, 1));
    bands_ = balance_bands(row_work(m), nyy, unit, size_);
    balanced_nn_ = m.coin1.nn;
    sweeps_ = 0;
  }
  // (Every sweep hands out all a band reads, the start state of a second
  // stage too: the bands may change at any sweep.)
  ++sweeps_;
  Order o = order_of(m, w, second_stage, dth);
  MPI_Bcast(&o, sizeof o, MPI_BYTE, 0, MPI_COMM_WORLD);
  MPI_Bcast(bands_.data(), static_cast<int>(bands_.size() * sizeof(BandRows)), MPI_BYTE, 0,
            MPI_COMM_WORLD);
  for (int p = 1; p < size_; ++p) {
    const BandRows& b = bands_[static_cast<std::size_t>(p)];
    if (b.lo > b.hi) continue;
    Packer pk(buffer_, m.coin1.nxx, true);
    pk.reset();
    band_input(pk, m, w, input_lo(b), input_hi(b, nyy));
    send_bytes(buffer_, p);
  }
  if (bands_[0].lo <= bands_[0].hi) passes(m, w, second_stage, dth, bands_[0]);
  for (int p = 1; p < size_; ++p) {
    const BandRows& b = bands_[static_cast<std::size_t>(p)];
    if (b.lo > b.hi) continue;
    receive_bytes(buffer_, p);
    Packer pk(buffer_, m.coin1.nxx, false);
    band_output(pk, m, w, b.lo, b.hi);
  }
  add_row_sums(m, w, second_stage);
}

int Processes::serve() {
  // A signal stops the run through the first process, which ends every
  // process after the step; here it must not end the process before that.
  std::signal(SIGINT, SIG_IGN);
  std::signal(SIGTERM, SIG_IGN);
  Model m;
  SolverWork w;
  std::vector<BandRows> bands(static_cast<std::size_t>(size_));
  for (;;) {
    Order o;
    MPI_Bcast(&o, sizeof o, MPI_BYTE, 0, MPI_COMM_WORLD);
    if (o.run == 0) return 0;
    MPI_Bcast(bands.data(), static_cast<int>(bands.size() * sizeof(BandRows)), MPI_BYTE, 0,
              MPI_COMM_WORLD);
    take_order(o, m);
    const auto isa = static_cast<Isa>(o.isa);
    if (m.coin1.nn != o.nn || m.coin1.nxx != o.nxx || w.isa != isa || !m.f.allocated) {
      m.coin1.nxx = o.nxx;
      m.coin1.nyy = o.nyy;
      m.coin1.nn = o.nn;
      alloc_flow(m, o.nn);
      m.f.ldry.assign(static_cast<std::size_t>(o.nn), 1);
      prepare_solver(m, w);
      w.isa = isa;
    }
    w.block_rows = o.block_rows;
    w.full_rows = o.full_rows != 0;
    const BandRows& b = bands[static_cast<std::size_t>(rank_)];
    if (b.lo > b.hi) continue;
    receive_bytes(buffer_, 0);
    {
      Packer pk(buffer_, o.nxx, false);
      band_input(pk, m, w, input_lo(b), input_hi(b, o.nyy));
    }
    band_sweep_of(isa)(m, w, o.second_stage != 0, o.dth, b);
    Packer pk(buffer_, o.nxx, true);
    pk.reset();
    band_output(pk, m, w, b.lo, b.hi);
    send_bytes(buffer_, 0);
  }
}

}  // namespace qf
