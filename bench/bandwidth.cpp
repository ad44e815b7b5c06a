// Memory bandwidth of this machine, as the flow step sees it: a triad
// a = b + s c over float fields of the size of a grid field, on the
// threads OMP_NUM_THREADS gives (kept on their processors as in a run).
//
//   bandwidth [megabytes_per_field [fields]]   (default 4 MB, 24 fields)
//
// With 4 MB fields (a 1000 x 1000 grid) and 24 of them the data is about
// the working set of a first-order flow step on that grid. Prints the bytes
// read and written per second (a write counted once).
#include <omp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "model/hydro/threads.h"

int main(int argc, char** argv) {
  const double mb = argc > 1 ? std::atof(argv[1]) : 4.0;
  const int fields = argc > 2 ? std::atoi(argv[2]) : 24;
  if (!(mb > 0.0) || fields < 3) {
    std::fprintf(stderr, "usage: bandwidth [megabytes_per_field [fields >= 3]]\n");
    return 2;
  }
  qf::pin_threads();
  const long n = static_cast<long>(mb * 1024 * 1024 / 4);
  std::vector<std::vector<float>> f(static_cast<std::size_t>(fields));
  for (auto& v : f) v.assign(static_cast<std::size_t>(n), 1.0f);
  double best = 1e30;
  for (int rep = 0; rep < 5; ++rep) {
    const auto t0 = std::chrono::steady_clock::now();
    // Every field written once from the two after it.
    for (int k = 0; k < fields; ++k) {
      float* a = f[static_cast<std::size_t>(k)].data();
      const float* b = f[static_cast<std::size_t>((k + 1) % fields)].data();
      const float* c = f[static_cast<std::size_t>((k + 2) % fields)].data();
#pragma omp parallel for schedule(static)
      for (long i = 0; i < n; ++i) a[i] = b[i] + 0.5f * c[i];
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (s < best) best = s;
  }
  const double bytes = 3.0 * 4.0 * static_cast<double>(n) * fields;
  std::printf("triad over %d fields of %.1f MB: %.1f GB/s on %d thread(s)\n", fields, mb,
              bytes / best / 1e9, omp_get_max_threads());
  return 0;
}
