#include "output/writer.h"

#include <algorithm>

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
  if (j.block) e.block = wres_block(w.copy, w.items, *w.result, j.first, w.buffer, false);
  if (j.balance)
    e.balance = series_line(*w.io, balance_channel, balance_text(w.copy, *w.balance, j.budget));
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

}  // namespace

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
  if (bal) add_field(w, &FlowValues::h);  // the water on the grid
  const auto n = static_cast<std::size_t>(std::max(m.coin1.nn, 0));
  w.copy.coin = m.coin;
  w.copy.coin1 = m.coin1;
  w.copy.clog = m.clog;
  w.copy.f.allocated = m.f.allocated;
  for (auto f : w.fields) (w.copy.f.*f).assign(n, 0.0f);
  w.copy.f.ldry.assign(n, 0);
  w.job = WriterJob{};
  w.job.gauge_values.reserve(3 * m.coin1.gauges.size());
  w.errors = WriterErrors{};
  w.busy = false;
  w.quit = false;
  w.thread = std::thread(writer_loop, std::ref(w));
  w.running = true;
}

void writer_post(OutputWriter& w, const Model& m) {
  if (w.job.block || w.job.balance) {
    const auto n = static_cast<std::size_t>(std::max(m.coin1.nn, 0));
    for (auto f : w.fields) std::copy_n((m.f.*f).data(), n, (w.copy.f.*f).data());
    std::copy_n(m.f.ldry.data(), n, w.copy.f.ldry.data());
  }
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
