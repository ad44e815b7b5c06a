#include "driver/run.h"

int main(int argc, char** argv) {
  return qf::run_main(argc, argv);
}
