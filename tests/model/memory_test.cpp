#include "model/memory.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace qf {
namespace {

// Only the whole pages inside the zeroed range go back: the bytes around
// it keep their values, the range reads as zeros and its pages are gone
// until written.
TEST(ReleaseZeroPages, WholePagesInsideTheRangeOnly) {
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  std::vector<char> buf(8 * page, 7);
  const auto base = reinterpret_cast<std::uintptr_t>(buf.data());
  const std::size_t first = (page - base % page) % page + page;  // a whole page in
  char* from = buf.data() + first - 100;
  const std::size_t bytes = 3 * page + 300;
  std::fill(from, from + bytes, 0);
  release_zero_pages(from, bytes);
  unsigned char resident[3] = {1, 1, 1};
  ASSERT_EQ(mincore(buf.data() + first, 3 * page, resident), 0);
  EXPECT_EQ(resident[0] | resident[1] | resident[2], 0);
  for (std::size_t i = 0; i < buf.size(); ++i) {
    const bool zeroed = buf.data() + i >= from && buf.data() + i < from + bytes;
    ASSERT_EQ(buf[i], zeroed ? 0 : 7) << "byte " << i;
  }
}

}  // namespace
}  // namespace qf
