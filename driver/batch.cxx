#include "batch/batch.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  // quellfax is looked for beside this program, wherever it was started from.
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return qf::batch::batch_main(ec ? std::string(argv[0]) : self.string(), args, std::cout,
                               std::cerr);
}
