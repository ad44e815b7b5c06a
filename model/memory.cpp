#include "model/memory.h"

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <limits>
#include <sstream>

namespace qf {

namespace {

// The value of `key` (in kB) of a /proc file of "key: value kB" lines; -1
// when missing.
long long proc_kb(const char* file, const std::string& key) {
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, key.size(), key) != 0 || line.size() <= key.size() ||
        line[key.size()] != ':')
      continue;
    std::istringstream v(line.substr(key.size() + 1));
    long long kb = -1;
    v >> kb;
    return kb;
  }
  return -1;
}

// A number from a one-line file ("max" or no file: -1).
long long file_number(const char* file) {
  std::ifstream in(file);
  std::string word;
  if (!(in >> word) || word == "max") return -1;
  try {
    return std::stoll(word);
  } catch (...) {
    return -1;
  }
}

void take(MemoryRoom& r, long long bytes, const char* source) {
  if (bytes < 0) bytes = 0;
  if (bytes < r.bytes) {
    r.bytes = bytes;
    r.source = source;
  }
}

// Whole megabytes, rounded up, with thousands separated.
std::string megabytes(long long bytes) {
  long long mb = (bytes + (1LL << 20) - 1) >> 20;
  std::string s = std::to_string(mb);
  for (int at = static_cast<int>(s.size()) - 3; at > 0; at -= 3) s.insert(at, ",");
  return s + " MB";
}

}  // namespace

MemoryRoom memory_room() {
  MemoryRoom r;
  r.bytes = std::numeric_limits<long long>::max();
  r.source = "no limit";
  const long long avail = proc_kb("/proc/meminfo", "MemAvailable");
  if (avail >= 0) take(r, avail * 1024, "available memory");
  rlimit lim{};
  if (getrlimit(RLIMIT_AS, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY) {
    const long long used = std::max(proc_kb("/proc/self/status", "VmSize"), 0LL) * 1024;
    take(r, static_cast<long long>(lim.rlim_cur) - used, "address-space limit");
  }
  if (getrlimit(RLIMIT_DATA, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY) {
    const long long used = std::max(proc_kb("/proc/self/status", "VmData"), 0LL) * 1024;
    take(r, static_cast<long long>(lim.rlim_cur) - used, "data-size limit");
  }
  const long long cg = file_number("/sys/fs/cgroup/memory.max");
  if (cg >= 0) {
    const long long used = std::max(file_number("/sys/fs/cgroup/memory.current"), 0LL);
    take(r, cg - used, "memory cgroup limit");
  }
  return r;
}

long long nodes_that_fit(long long room, int bytes_per_node) {
  return std::clamp(room / std::max(bytes_per_node, 1), 0LL, max_index_nodes - 1);
}

std::string memory_refusal(long long nodes, int bytes_per_node, const MemoryRoom& room,
                           int held_per_node) {
  const long long need = nodes * bytes_per_node;
  const long long may = room.bytes > std::numeric_limits<long long>::max() / 2
                            ? room.bytes
                            : room.bytes + nodes * held_per_node;
  if (need <= may) return {};
  return "not enough memory: " + std::to_string(nodes) + " grid nodes need " + megabytes(need) +
         " (" + std::to_string(bytes_per_node) + " bytes a node), this process may use " +
         megabytes(may) + " (" + room.source +
         "); mpirun -np N shares the flow sweep over N processes, but the first holds the whole "
         "grid";
}

void release_zero_pages(void* p, std::size_t bytes) {
  static const long page = sysconf(_SC_PAGESIZE);
  if (p == nullptr || page <= 0) return;
  const auto size = static_cast<std::uintptr_t>(page);
  const auto from = (reinterpret_cast<std::uintptr_t>(p) + size - 1) / size * size;
  const auto to = (reinterpret_cast<std::uintptr_t>(p) + bytes) / size * size;
  // Private anonymous pages (the heap and large allocations alike) read as
  // zeros after MADV_DONTNEED; a failure leaves them as they were.
  if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
}

long long peak_resident_kb() {
  return std::max(proc_kb("/proc/self/status", "VmHWM"), 0LL);
}

}  // namespace qf
