// Transport and bed update over blocks of rows on several threads.
#include "model/hydro/threads.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "io/channels.h"
#include "io/messages.h"
#include "model/hydro/boundary.h"
#include "model/transport/mobile_bed.h"
#include "model/transport/transport.h"
#include "tests/model/transport/transport_fixture.h"

namespace qf {
namespace {

using test::Grid;

// Flow from the south-west to the north-east over every boundary face, a
// dry island, varying depth, viscosity and a blob of tracer.
Grid plume() {
  Grid g(11, 17, 5.0f, 4.0f, 1.0f);
  g.stream([](int i, int j) { return 0.3 * j - 0.2 * i + 0.05 * std::sin(0.7 * i * j); });
  g.each(g.m.f.h, [&](int i, int j) { return 0.8f + 0.03f * ((i * 7 + j * 3) % 5); });
  g.each(g.m.f.nu, [](int i, int j) { return 0.01f * ((i + 2 * j) % 3); });
  g.each(g.m.f.c,
         [](int i, int j) { return std::exp(-0.05f * ((i - 4) * (i - 4) + (j - 6) * (j - 6))); });
  g.each(g.m.f.us, [](int i, int j) { return 0.04f + 0.02f * ((i * 5 + j * 11) % 7); });
  for (int k = 0; k < g.m.coin1.nn; ++k) g.m.f.ldry[k] = 0;
  for (int j = 8; j <= 10; ++j) g.m.f.ldry[g.k(6, j)] = g.m.f.ldry[g.k(7, j)] = 1;
  g.m.csed.d50 = 0.0005f;
  g.m.coin.dt = 5.0f;
  return g;
}

struct Sim {
  Grid g = plume();
  TransportWork w;
  BedWork bed;
  BoundaryWork b;
  std::istringstream kb;
  std::ostringstream scr, err;
  Channels io{kb, scr, err};
  Messages msg{io};
};

template <class T>
bool same_bits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

// Blocks of 1, 2, 3 and 5 rows on 1 to 3 threads give what one block on one
// thread gives, bit for bit, sums included.
TEST(TransportThreads, BlocksOnAnyThreadCountGiveTheSameSteps) {
  setenv("QF_PARALLEL_NODES", "0", 1);
  ASSERT_TRUE(threaded(1));
  const int keep = omp_get_max_threads();
  const int cases[][2] = {{1, 3}, {2, 2}, {3, 3}, {5, 1}, {2, 1}};
  for (const auto& [rows, threads] : cases) {
    Sim one, many;
    one.w.block_rows = one.bed.block_rows = 1000;
    many.w.block_rows = many.bed.block_rows = rows;
    const std::string what =
        " blocks of " + std::to_string(rows) + ", " + std::to_string(threads) + " threads, step ";
    for (int s = 1; s <= 40; ++s) {
      for (Sim* r : {&one, &many}) {
        omp_set_num_threads(r == &one ? 1 : threads);
        mix(r->g.m, r->w, r->b, r->io, r->msg);
        mbed(r->g.m, r->bed);
      }
      EXPECT_TRUE(same_bits(many.g.m.f.c, one.g.m.f.c)) << "c" << what << s;
      EXPECT_TRUE(same_bits(many.g.m.f.zb, one.g.m.f.zb)) << "zb" << what << s;
      EXPECT_TRUE(same_bits(many.bed.zrest, one.bed.zrest)) << "zrest" << what << s;
      EXPECT_EQ(many.g.m.coin.change_rate, one.g.m.coin.change_rate) << what << s;
      EXPECT_EQ(many.w.boundary_in, one.w.boundary_in) << what << s;
      EXPECT_EQ(many.w.boundary_out, one.w.boundary_out) << what << s;
      if (::testing::Test::HasFailure()) break;
    }
    EXPECT_GT(one.w.boundary_in, 0.0);
    EXPECT_GT(one.w.boundary_out, 0.0);
  }
  omp_set_num_threads(keep);
}

}  // namespace
}  // namespace qf
