// The active region (rows solved only where water can reach) against the
// sweep of whole rows, on real valley terrain during the first hour of its
// flood: most of the window lies outside the model or is still dry. The
// maxima raised over the changed nodes only, and those the sweep raises as
// it stores the rows, match those raised everywhere.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "model/hydro/hydro.h"
#include "model/hydro/threads.h"
#include "model/init.h"
#include "output/wmax.h"
#include "tests/input/model_fixture.h"

namespace qf {
namespace {

const std::string kValley = std::string(QF_SOURCE_DIR) + "/examples/valley/";

// Columns c0 .. c0 + n - 1 and rows r0 .. r0 + n - 1 (from the south-west
// corner) of the valley grid, as an ESRI ASCII grid.
std::string valley_window(int c0, int r0, int n) {
  std::unique_ptr<FILE, int (*)(FILE*)> p(
      popen(("gzip -dc '" + kValley + "valley-10m.asc.gz'").c_str(), "r"), pclose);
  if (!p) return {};
  std::string text;
  char buf[1 << 16];
  for (std::size_t got; (got = std::fread(buf, 1, sizeof buf, p.get())) > 0;) text.append(buf, got);
  std::istringstream in(text);
  std::string key;
  int ncols = 0, nrows = 0;
  double x0 = 0, y0 = 0, size = 0, nodata = 0;
  in >> key >> ncols >> key >> nrows >> key >> x0 >> key >> y0 >> key >> size >> key >> nodata;
  std::vector<std::string> v(static_cast<std::size_t>(ncols) * nrows);
  for (std::string& s : v) in >> s;
  std::ostringstream out;
  out << "ncols " << n << "\nnrows " << n << "\nxllcorner " << x0 + c0 * size << "\nyllcorner "
      << y0 + r0 * size << "\ncellsize " << size << "\nNODATA_value " << nodata << "\n";
  for (int row = r0 + n - 1; row >= r0; --row) {
    for (int col = c0; col < c0 + n; ++col) {
      out << ' ' << v[static_cast<std::size_t>(nrows - 1 - row) * ncols + col];
    }
    out << '\n';
  }
  return out.str();
}

// The example's friction and inflow on the window.
void read_valley(test::InputRun& r, bool second) {
  r.write("bed.asc", valley_window(60, 0, 200));
  std::ifstream qfx(kValley + "valley.qfx");
  std::stringstream all;
  all << qfx.rdbuf();
  const std::string s = all.str();
  const std::size_t a = s.find(">>source"), b = s.find(">>compute");
  ASSERT_NE(a, std::string::npos);
  ASSERT_NE(b, std::string::npos);
  r.run("title 'valley window'\n>>global\nn 0.04\n>>grid\ninclude '" + r.path("bed.asc") + "'\n" +
        s.substr(a, b - a) + (second ? ">>compute\n2nd\n" : ""));
}

TEST(ActiveRegion, ValleyFloodIsTheSameAsWithWholeRows) {
  setenv("QF_PARALLEL_NODES", "0", 1);
  for (bool second : {false, true}) {
    test::InputRun full, part, fuse;
    read_valley(full, second);
    read_valley(part, second);
    read_valley(fuse, second);
    ASSERT_FALSE(HasFatalFailure());
    Hydro wf, wp, wu;
    prepare(full.m, wf);
    prepare(part.m, wp);
    prepare(fuse.m, wu);
    wf.solver.full_rows = true;
    init(full.m, full.io, full.msg);
    init(part.m, part.io, part.msg);
    init(fuse.m, fuse.io, fuse.msg);
    full.m.coin.time = part.m.coin.time = fuse.m.coin.time = 0.2f;  // the inflow is at its peak
    part.m.cochar.max_value_file = "valley.max";  // maxima wanted (not written here)
    fuse.m.cochar.max_value_file = "valley.max";
    Wmax everywhere, changed, swept;
    int solved = 0, rows = 0, raised = 0;
    for (int s = 1; s <= 300; ++s) {
      flow(full.m, wf, full.io, full.msg);
      flow(part.m, wp, part.io, part.msg);
      if (s > 1) wmax_arm(fuse.m, swept, wu.solver);
      flow(fuse.m, wu, fuse.io, fuse.msg);
      raised += wu.solver.maxima_raised ? 1 : 0;
      wmax_step(fuse.m, swept, wu.solver);
      const FlowValues &a = full.m.f, &b = part.m.f;
      const std::size_t nn = static_cast<std::size_t>(full.m.coin1.nn);
      for (const auto& [name, x, y] : {std::tuple{"h", &a.h, &b.h},
                                       {"q", &a.q, &b.q},
                                       {"r", &a.r, &b.r},
                                       {"qq", &a.qq, &b.qq},
                                       {"rr", &a.rr, &b.rr},
                                       {"us", &a.us, &b.us},
                                       {"af", &a.af, &b.af},
                                       {"tind", &a.tind, &b.tind}}) {
        ASSERT_EQ(std::memcmp(x->data(), y->data(), nn * sizeof(float)), 0)
            << name << " step " << s << " order " << second + 1;
      }
      ASSERT_EQ(std::memcmp(a.ldry.data(), b.ldry.data(), nn), 0) << "step " << s;
      wmax(part.m, everywhere, part.io, part.msg, 0);
      wmax_step(part.m, changed, wp.solver);
      for (const Wmax* o : {&changed, &swept}) {
        for (const auto& [name, x, y] : {std::tuple{"level", &everywhere.level, &o->level},
                                         {"depth", &everywhere.depth, &o->depth},
                                         {"flow", &everywhere.flow, &o->flow},
                                         {"velocity", &everywhere.velocity, &o->velocity}}) {
          ASSERT_EQ(std::memcmp(x->data(), y->data(), nn * sizeof(float)), 0)
              << "maximum " << name << " step " << s << (o == &swept ? " (sweep)" : "");
        }
      }
      ASSERT_EQ(full.m.coin.stored_volume, part.m.coin.stored_volume) << "step " << s;
      ASSERT_EQ(full.m.coin.change_rate, part.m.coin.change_rate) << "step " << s;
      ASSERT_EQ(full.m.coin.dt, part.m.coin.dt) << "step " << s;
      for (int j = 1; j < part.m.coin1.nyy; ++j) {
        const Span sp = wp.solver.span[static_cast<std::size_t>(j)];
        solved += sp.hi >= sp.lo ? sp.hi - sp.lo + 1 : 0;
        rows += part.m.coin1.nxx - 1;
      }
    }
    EXPECT_EQ(raised, 299) << "the sweep raised the maxima of every step but the first";
    EXPECT_GT(part.m.coin1.nwet, 200) << "the flood has begun";
    EXPECT_LT(solved, rows / 5) << "most of the window is not solved";
  }
}

}  // namespace
}  // namespace qf
