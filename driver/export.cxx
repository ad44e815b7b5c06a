#include <iostream>
#include <string>
#include <vector>

#include "output/export/cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return qf::exp::export_main(args, std::cout, std::cerr);
}
