// The pointer readout: the node under the pointer and the message text.
#include "viewer/readout.h"

#include <gtest/gtest.h>

#include "graphics/graphics.h"

namespace qf {
namespace {

TEST(Readout, NodeUnderThePointerAndItsText) {
  Graphics g;
  g.n.XORGR = 500000;
  g.n.YORGR = 170000;
  // Three columns 10 m apart, two rows 20 m apart; node (1, 1) is empty.
  const float x[6] = {0, 10, 20, 0, 10, 20}, y[6] = {0, 0, 0, 20, 20, 20};
  const float f[6] = {1.25f, 2.5f, 3.75f, 4, -9999, 6};
  // The same nodes out of line: the nearest node answers.
  const float xs[6] = {0, 10, 20, 1, 10, 20};
  struct Case {
    const float* x;
    float px, py;
    const char* text;
  } cases[] = {
      {x, 1, 2, "x =   500001.00  y =   170002.00  Flow Depth [m] =     1.250"},
      {x, 15.5f, -9.5f, "x =   500015.50  y =   169990.50  Flow Depth [m] =     3.750"},
      {x, 11, 29, "x =   500011.00  y =   170029.00  Flow Depth [m] = empty"},
      {x, 25.5f, 0, "x =   500025.50  y =   170000.00"},
      {x, 0, -10.5f, "x =   500000.00  y =   169989.50"},
      {xs, 30, 30, "x =   500030.00  y =   170030.00  Flow Depth [m] =     6.000"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(grreadout(g, c.x, y, f, 3, 3, 2, -9999, "Flow Depth [m] ", c.px, c.py), c.text)
        << c.px << ' ' << c.py;
}

}  // namespace
}  // namespace qf
