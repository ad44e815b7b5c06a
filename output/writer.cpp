#include "output/writer.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "output/series.h"
#include "output/wres.h"

namespace qf {

namespace {

// Writes the job in `w.job` from the copy (on the writer's thread).
WriterErrors write_job(OutputWriter& w) {
  WriterErrors e;
  const WriterJob& j = w.job;
  // The rows are filled on this thread alone: the threads of the flow
  // step are busy with the next step.
  if (j.block) {
    // Item row j is made of grid row index j, unpacked once for all items.
    const int nxx = w.copy.coin1.nxx;
    int unpacked = -1;
    const auto fill = [&](int k, int jr, float* out) {
      if (jr != unpacked) {
        for (std::size_t i = 0; i < w.fields.size(); ++i)
          unpack_row(w.packed[i], jr, nxx, (w.row.*w.fields[i]).data());
        unpack_row(w.dry, jr, nxx, w.row.ldry.data());
        unpacked = jr;
      }
      item_row(w.copy, w.row, 1, w.items.code[k], out);
    };
    e.block = wres_block(w.copy, w.items.n, fill, *w.result, j.first, w.buffer, false);
  }
  if (j.balance)
    e.balance =
        series_line(*w.io, balance_channel, balance_text(w.copy, *w.balance, j.budget, j.volume));
  if (j.gauges)
    e.gauges =
        series_line(*w.io, gauge_channel, gauge_text(w.copy, w.copy.coin.time, j.gauge_values));
  return e;
}

void writer_loop(OutputWriter& w) {
  std::unique_lock<std::mutex> lock(w.mutex);
  for (;;) {
    w.cv.wait(lock, [&w] { return w.busy || w.quit; });
    if (w.busy) {
      lock.unlock();
      const WriterErrors e = write_job(w);
      lock.lock();
      w.errors = e;
      w.busy = false;
      w.cv.notify_all();
      continue;
    }
    return;
  }
}

void add_field(OutputWriter& w, std::vector<float> FlowValues::*f) {
  if (std::find(w.fields.begin(), w.fields.end(), f) == w.fields.end()) w.fields.push_back(f);
}

bool empty_value(float v) {
  return std::bit_cast<std::uint32_t>(v) == 0;  // not -0
}
bool empty_value(std::uint8_t dry) {
  return dry == 1;
}

template <class V>
void pack(PackedRows<V>& p, const V* grid, int nxx, int rows) {
  const auto n = static_cast<std::size_t>(std::max(rows, 0));
  p.lo.resize(n);
  p.hi.resize(n);
  p.at.resize(n);
  std::size_t total = 0;
  for (std::size_t j = 0; j < n; ++j) {
    const V* v = grid + j * static_cast<std::size_t>(nxx);
    int lo = 0, hi = nxx - 1;
    while (lo <= hi && empty_value(v[lo])) ++lo;
    while (hi >= lo && empty_value(v[hi])) --hi;
    p.lo[j] = lo;
    p.hi[j] = hi;
    p.at[j] = total;
    if (lo <= hi) total += static_cast<std::size_t>(hi - lo + 1);
  }
  if (total > p.room) {
    // Room for the water to spread a little before the next copy grows it.
    p.values.reset();
    p.room = total + total / 8;
    p.values.reset(new V[p.room]);
  }
  p.count = total;
  for (std::size_t j = 0; j < n; ++j) {
    if (p.lo[j] > p.hi[j]) continue;
    const V* v = grid + j * static_cast<std::size_t>(nxx);
    std::copy(v + p.lo[j], v + p.hi[j] + 1, p.values.get() + p.at[j]);
  }
}

template <class V>
void unpack(const PackedRows<V>& p, int j, int nxx, V* row, V empty) {
  const auto jj = static_cast<std::size_t>(j);
  if (jj >= p.lo.size() || p.lo[jj] > p.hi[jj]) {
    std::fill(row, row + nxx, empty);
    return;
  }
  const int lo = p.lo[jj], hi = p.hi[jj];
  std::fill(row, row + lo, empty);
  std::copy_n(p.values.get() + p.at[jj], hi - lo + 1, row + lo);
  std::fill(row + hi + 1, row + nxx, empty);
}

}  // namespace

void pack_rows(PackedRows<float>& p, const float* grid, int nxx, int rows) {
  pack(p, grid, nxx, rows);
}
void pack_rows(PackedRows<std::uint8_t>& p, const std::uint8_t* grid, int nxx, int rows) {
  pack(p, grid, nxx, rows);
}
void unpack_row(const PackedRows<float>& p, int j, int nxx, float* row) {
  unpack(p, j, nxx, row, 0.0f);
}
void unpack_row(const PackedRows<std::uint8_t>& p, int j, int nxx, std::uint8_t* row) {
  unpack(p, j, nxx, row, std::uint8_t{1});
}

std::vector<std::vector<float> FlowValues::*> item_fields(int code) {
  using F = FlowValues;
  switch (code) {
    case 1:
      return {&F::h};
    case 2:
      return {&F::h, &F::zb};
    case 3:
    case 4:
    case 5:
    case 21:
    case 22:
      return {&F::h, &F::q, &F::r};
    case 6:
      return {&F::zb};
    case 7:
      return {&F::us};
    case 8:
      return {&F::qb};
    case 9:
    case 10:
    case 11:
      return {&F::ks};
    case 12:
    case 13:
      return {&F::c};
    case 14:
      return {&F::nu};
    case 15:
      return {&F::hfloat};
    case 16:
      return {&F::veg};
    case 17:
      return {&F::h, &F::q, &F::r, &F::zb};
    case 18:
      return {&F::tind};
    default:
      return {};
  }
}

OutputWriter::~OutputWriter() {
  writer_stop(*this);
}

void writer_start(OutputWriter& w, const Model& m, const ResultItems& items, DirectFile* result,
                  Channels& io, const Balance* bal) {
  writer_stop(w);
  w.items = items;
  w.result = result;
  w.io = &io;
  w.balance = bal;
  w.fields.clear();
  for (int i = 0; i < items.n; ++i)
    for (auto f : item_fields(items.code[i])) add_field(w, f);
  w.copy.coin = m.coin;
  w.copy.coin1 = m.coin1;
  w.copy.clog = m.clog;
  w.packed.clear();
  w.packed.resize(w.fields.size());
  w.dry = PackedRows<std::uint8_t>{};
  // A row of every field an item row may read (the others stay empty).
  const auto nxx = static_cast<std::size_t>(std::max(m.coin1.nxx, 0));
  w.row = FlowValues{};
  for (auto f : {&FlowValues::h, &FlowValues::q, &FlowValues::r, &FlowValues::zb})
    (w.row.*f).assign(nxx, 0.0f);
  for (auto f : w.fields) (w.row.*f).assign(nxx, 0.0f);
  w.row.ldry.assign(nxx, 1);
  w.job = WriterJob{};
  w.job.gauge_values.reserve(3 * m.coin1.gauges.size());
  w.errors = WriterErrors{};
  w.busy = false;
  w.quit = false;
  w.thread = std::thread(writer_loop, std::ref(w));
  w.running = true;
}

void writer_post(OutputWriter& w, const Model& m) {
  if (w.job.block) {
    // The whole rows of the fields (all of them on a grid of nxx x nyy nodes).
    const int nxx = m.coin1.nxx;
    const int nyy = nxx > 0 ? std::min(m.coin1.nyy, std::max(m.coin1.nn, 0) / nxx) : 0;
    for (std::size_t i = 0; i < w.fields.size(); ++i)
      pack_rows(w.packed[i], (m.f.*w.fields[i]).data(), nxx, nyy);
    pack_rows(w.dry, m.f.ldry.data(), nxx, nyy);
  }
  if (w.job.balance) w.job.volume = grid_volume(m);
  w.copy.coin.time = m.coin.time;
  std::lock_guard<std::mutex> lock(w.mutex);
  w.busy = true;
  w.cv.notify_all();
}

WriterErrors writer_wait(OutputWriter& w) {
  std::unique_lock<std::mutex> lock(w.mutex);
  w.cv.wait(lock, [&w] { return !w.busy; });
  const WriterErrors e = w.errors;
  w.errors = WriterErrors{};
  w.job.block = w.job.balance = w.job.gauges = false;
  return e;
}

void writer_stop(OutputWriter& w) {
  if (!w.running) return;
  {
    std::unique_lock<std::mutex> lock(w.mutex);
    w.cv.wait(lock, [&w] { return !w.busy; });
    w.quit = true;
    w.cv.notify_all();
  }
  w.thread.join();
  w.running = false;
}

}  // namespace qf
