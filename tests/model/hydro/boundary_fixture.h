// Small test models for the boundary and source tests: a grid built in
// memory and table blocks written row by row as the input would write them.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "io/channels.h"
#include "io/messages.h"
#include "model/hydro/boundary.h"
#include "model/state.h"

namespace qf::bndtest {

using Series = std::vector<std::pair<float, float>>;
using Cells = std::vector<std::pair<int, int>>;  // (side, position)

// nx x ny real cells of dx x dy, flat bed at 0, Manning-Strickler 30.
inline std::unique_ptr<Model> grid(int nx, int ny, float dx = 10.0f, float dy = 10.0f) {
  auto m = std::make_unique<Model>();
  Coin1& c1 = m->coin1;
  c1.nx = nx;
  c1.ny = ny;
  c1.nxx = nx + 2;
  c1.nyy = ny + 2;
  c1.nn = c1.nxx * c1.nyy;
  alloc_flow(*m, c1.nn);
  m->coin.dx = dx;
  m->coin.dy = dy;
  m->coin.cell_area = dx * dy;
  m->coin1.friction_law = 1;
  std::fill(m->f.ks.begin(), m->f.ks.end(), 30.0f);
  m->coin.table_a[1] = table_end;
  return m;
}

// Writes blocks into the table storage from row 1, keeping the end marker
// behind the last block.
class Blocks {
 public:
  explicit Blocks(Model& m) : m_(m) { finish(); }

  // Boundary block; returns its first row. angle, sqrt_slope, width and
  // cross_slope take the input's defaults unless set afterwards.
  int boundary(int type, const Series& series, const Cells& cells, int channel = 0) {
    const int r = row_;
    set(r, static_cast<float>(type), 0.0f);
    set(r + 1, 0.0f, 0.032f);
    set(r + 2, -1.0f, 0.0f);
    set(r + 3, static_cast<float>(channel), 0.0f);
    set(r + 4, 0.0f, static_cast<float>(series.size()));
    int n = 5;
    for (const auto& [t, v] : series) set(r + n++, t, v);
    set(r + n++, static_cast<float>(cells.size()), 0.0f);
    for (const auto& [side, pos] : cells)
      set(r + n++, static_cast<float>(side), static_cast<float>(pos));
    if (type == bt_tide) {
      for (std::size_t c = 0; c < cells.size(); ++c) set(r + n++, 0.0f, 0.0f);
    }
    close(r, n);
    return r;
  }

  int source(int type, int node, const Series& series) {
    const int r = row_;
    set(r, static_cast<float>(type), 0.0f);
    set(r + 1, static_cast<float>(node), static_cast<float>(series.size()));
    int n = 2;
    for (const auto& [t, v] : series) set(r + n++, t, v);
    close(r, n);
    return r;
  }

  int culvert(int inlet, int outlet, float width, float height, float kst, float loss, float length,
              int channel = 0) {
    const int r = row_;
    set(r, static_cast<float>(bt_culvert), 0.0f);
    set(r + 1, static_cast<float>(inlet), static_cast<float>(outlet));
    set(r + 2, width, height);
    set(r + 3, kst, loss);
    set(r + 4, length, static_cast<float>(channel));
    set(r + 5, 0.0f, 0.0f);
    close(r, 6);
    return r;
  }

  // Raw rows, for damaged blocks.
  void raw(float a, float b) {
    set(row_, a, b);
    ++row_;
    finish();
  }

 private:
  void set(int row, float a, float b) {
    m_.coin.table_a[row] = a;
    m_.coin.table_b[row] = b;
  }
  void close(int r, int len) {
    m_.coin.table_b[r] = static_cast<float>(len);
    row_ = r + len;
    finish();
  }
  void finish() {
    m_.coin.table_a[row_] = table_end;
    m_.coin.table_b[row_] = 0.0f;
  }
  Model& m_;
  int row_ = 1;
};

// Channels with captured screen and a scratch directory for series files.
class HydroIo {
 public:
  HydroIo() : io(kb, scr, err), msg(io) {
    dir = ::testing::TempDir() + "qf_bnd_" + std::to_string(::getpid()) + "_" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::create_directories(dir);
  }
  std::string path(const std::string& name) const { return dir + "/" + name; }
  std::string slurp(const std::string& name) const {
    std::ifstream f(path(name), std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  std::istringstream kb;
  std::ostringstream scr, err;
  Channels io;
  Messages msg;
  std::string dir;
};

}  // namespace qf::bndtest
