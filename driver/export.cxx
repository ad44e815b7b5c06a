#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "output/export/cli.h"

int main(int argc, char** argv) {
  // A file-size limit then fails the write (EFBIG) and the file is
  // reported and removed, instead of the signal ending the program.
  std::signal(SIGXFSZ, SIG_IGN);
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int status = qf::exp::export_main(args, std::cout, std::cerr);
  if (status != qf::exp::export_ok) {
    // A NetCDF file whose closing failed stays open inside the HDF5
    // library, whose exit handler would try to close it once more and
    // crash. The partial file is already removed: leave without the
    // library exit handlers.
    std::cout.flush();
    std::cerr.flush();
    std::_Exit(status);
  }
  return status;
}
