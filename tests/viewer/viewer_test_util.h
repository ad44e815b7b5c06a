// A viewer without a window for the script-driven tests: the library set
// up in a scratch folder, its lines into `os`.
#pragma once

#include <sstream>

#include "graphics/graphics.h"
#include "tests/graphics/gr_test_util.h"
#include "viewer/viewer.h"

namespace qf::grtest {

class ViewerScript : public ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    g.out = &os;
    g.err = &os;
    grinit(g, 5, 6, "qftest", "", 0);
  }
  Graphics g;
  Viewer v;
  std::ostringstream os;
};

}  // namespace qf::grtest
