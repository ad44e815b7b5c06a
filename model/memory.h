// The memory a model needs against the memory this process may use. A
// grid is held whole by the process that reads it: every per-node field
// the run allocates is counted in bytes per node, and a model that does
// not fit is refused before its fields are allocated.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "model/state.h"

namespace qf {

// Bytes per node of the flow fields and flags that the grid section
// allocates.
inline constexpr int grid_bytes_per_node = 21 * 4 + 2;

// Bytes per node of the fields every run allocates: those of the grid
// section, the sweep's work arrays (new state, increments, outflow shares,
// speed caps, summation remainders), the boundary owners and the maxima
// with their outside flags.
inline constexpr int base_bytes_per_node = grid_bytes_per_node + 10 * 4 + 1 + 4 * 4 + 1;

// What this process may allocate [bytes]: the smallest of the memory the
// system has available (MemAvailable of /proc/meminfo), what the address
// space and data limits (RLIMIT_AS, RLIMIT_DATA) leave and what the
// memory cgroup (memory.max less memory.current) leaves. `source` names the
// smallest.
struct MemoryRoom {
  long long bytes = 0;
  std::string source;
};
MemoryRoom memory_room();

// Nodes of `bytes_per_node` that fit in `room` bytes, at most
// max_index_nodes - 1.
long long nodes_that_fit(long long room, int bytes_per_node);

// The refusal of a grid of `nodes` that needs `bytes_per_node` each, of
// which `held_per_node` are allocated already (and not in `room`): empty
// when it fits, otherwise one message with the numbers.
std::string memory_refusal(long long nodes, int bytes_per_node, const MemoryRoom& room,
                           int held_per_node = 0);

// Gives the whole pages of `bytes` bytes from `p`, all of which hold zero
// bytes, back to the system: they read as zeros again and take memory only
// once written. A field that starts at zero costs memory only where the run
// writes it (the part of a valley grid that stays outside or dry costs
// none). Without such support it does nothing.
void release_zero_pages(void* p, std::size_t bytes);

// The same for a field that was just filled with zeros.
template <typename T>
void release_zero_pages(std::vector<T>& v) {
  release_zero_pages(v.data(), v.size() * sizeof(T));
}

// The largest resident size of this process so far [kB] (VmHWM), 0 when
// unknown.
long long peak_resident_kb();

}  // namespace qf
