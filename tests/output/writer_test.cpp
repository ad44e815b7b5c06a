#include "output/writer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "output/wres.h"
#include "tests/output/child_process.h"

namespace qf {
namespace {

using test::slurp;

// A 7 x 5 grid whose fields all differ from node to node, some nodes dry.
Model varied_grid() {
  Model m;
  m.coin1.nx = 7;
  m.coin1.ny = 5;
  m.coin1.nxx = 9;
  m.coin1.nyy = 7;
  m.coin1.nn = 63;
  m.coin.dx = m.coin.dy = 2.0f;
  alloc_flow(m, m.coin1.nn);
  m.clog.no_data_set = true;
  FlowValues& f = m.f;
  int field = 0;
  for (auto v : {&FlowValues::h, &FlowValues::q, &FlowValues::r, &FlowValues::c, &FlowValues::zb,
                 &FlowValues::ks, &FlowValues::veg, &FlowValues::us, &FlowValues::nu,
                 &FlowValues::hfloat, &FlowValues::qb, &FlowValues::tind}) {
    ++field;
    for (int k = 0; k < m.coin1.nn; ++k) (f.*v)[k] = 0.5f + 0.125f * field + 0.01f * k;
  }
  for (int k = 0; k < m.coin1.nn; k += 5) f.ldry[k] = 1;
  m.coin.time = 1.5f;
  return m;
}

// The same with rows the copy keeps in part or not at all: empty (0, dry)
// at the ends of rows, a whole empty row, -0 and empty values inside.
Model sparse_grid() {
  Model m = varied_grid();
  FlowValues& f = m.f;
  auto empty = [&](int k) {
    for (auto v : {&FlowValues::h, &FlowValues::q, &FlowValues::r, &FlowValues::c, &FlowValues::zb,
                   &FlowValues::ks, &FlowValues::veg, &FlowValues::us, &FlowValues::nu,
                   &FlowValues::hfloat, &FlowValues::qb, &FlowValues::tind})
      (f.*v)[k] = 0.0f;
    f.ldry[k] = 1;
  };
  for (int k : {9, 10, 11, 12, 16, 17, 19, 22, 27, 28, 29, 30, 31, 32, 33, 34, 35, 44, 53, 62})
    empty(k);
  f.h[40] = -0.0f;
  f.q[41] = -0.0f;
  f.ldry[42] = 0;
  return m;
}

// Every item written by the thread from the copy is the block written from
// the model itself, though the model changes before the thread writes.
TEST(OutputWriter, BlockFromTheCopyIsTheBlockOfTheModel) {
  const std::string dir = test::scratch_dir("qf_writer_");
  for (int code : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 21, 22}) {
    for (bool sparse : {false, true}) {
      SCOPED_TRACE("item " + std::to_string(code) + (sparse ? " sparse" : ""));
      Model m = sparse ? sparse_grid() : varied_grid();
      ResultItems items;
      items.n = 2;
      items.code[0] = code;
      items.code[1] = 2;
      const std::size_t reclen = result_record_length(items.n, m.coin1.nx);
      const std::string direct = dir + "/direct.res", written = dir + "/writer.res";
      DirectFile a, b;
      ASSERT_TRUE(a.open(direct, reclen, 'w'));
      ASSERT_TRUE(b.open(written, reclen, 'w'));
      std::vector<float> buffer;
      ASSERT_EQ(wres_block(m, items, a, 3, buffer, false), 0);
      std::istringstream kb;
      std::ostringstream scr, err;
      Channels io(kb, scr, err);
      OutputWriter w;
      writer_start(w, m, items, &b, io, nullptr);
      w.job.block = true;
      w.job.first = 3;
      writer_post(w, m);
      for (float& v : m.f.h) v = -1.0f;  // the next step
      for (float& v : m.f.ks) v = -1.0f;
      m.coin.time = 2.0f;
      EXPECT_EQ(writer_wait(w).block, 0);
      writer_stop(w);
      ASSERT_TRUE(a.close());
      ASSERT_TRUE(b.close());
      EXPECT_EQ(slurp(direct), slurp(written));
      if (sparse) {
        EXPECT_LT(w.dry.count, 63u);  // the copy leaves the empty ends out
      }
    }
  }
}

// A block that cannot be written comes back as its error number.
TEST(OutputWriter, FailedBlockIsHandedBack) {
  const std::string dir = test::scratch_dir("qf_writer_");
  Model m = varied_grid();
  ResultItems items;
  items.n = 1;
  items.code[0] = 1;
  { std::ofstream(dir + "/ro.res") << "x"; }
  DirectFile f;
  ASSERT_TRUE(f.open(dir + "/ro.res", result_record_length(1, 7), 'r'));
  std::istringstream kb;
  std::ostringstream scr, err;
  Channels io(kb, scr, err);
  OutputWriter w;
  writer_start(w, m, items, &f, io, nullptr);
  w.job.block = true;
  w.job.first = 3;
  writer_post(w, m);
  EXPECT_NE(writer_wait(w).block, 0);
  w.job.block = false;
  writer_post(w, m);  // nothing to write: no error
  EXPECT_EQ(writer_wait(w).block, 0);
}

}  // namespace
}  // namespace qf
