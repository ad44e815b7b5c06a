// Fuzz target: arbitrary bytes as a keep file, replayed into a DXF drawing
// the way a plot redraws its keep list. Bytes after the first NUL become
// the bitmap file "f.pgm" that "BITM" records may name. Every outcome must
// be a drawing or a message: no crash, no hang, no sanitizer report.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "graphics/graphics.h"

namespace {

void spit(const char* path, std::string_view bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = in.find('\0');
  spit("fuzz.kep", in.substr(0, nul));
  spit("f.pgm", nul == std::string_view::npos ? std::string_view() : in.substr(nul + 1));

  std::ostringstream out, err;
  qf::Graphics g;
  g.out = &out;
  g.err = &err;
  qf::grinit(g, 5, 6, "qf", "", 0);
  g.n.XMINGR = g.n.YMINGR = 0;
  g.n.XMAXGR = g.n.YMAXGR = 100;
  g.n.XMNCGR = g.n.YMNCGR = 0;
  g.n.XMXCGR = g.n.YMXCGR = 100;
  const std::string prefix[1] = {"fuzz"};
  qf::grscpt(g, 1, prefix, 16);
  int mode = qf::kModeDxf;
  qf::grmode(g, mode);
  g.keep.names = {qf::grfix("fuzz.kep", 80)};
  g.keep.flags = {1};
  qf::grklst(g, 3);
  qf::grclos(g);
  return 0;
}
