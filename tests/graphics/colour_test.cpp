// Colour tables: the table entries, packing, interpolation and the colour
// number to table entry rule of every colour mode.
#include <gtest/gtest.h>

#include "graphics/graphics.h"

namespace qf {
namespace {

TEST(GrColour, TableEntries) {
  Graphics g;
  grmcol(g);
  const int* c = g.n.COLTAB;
  EXPECT_EQ(c[0], 0xFFFFFF);
  EXPECT_EQ(c[1], 0xF3F3F3);   // 12.75 -> 12 below white
  EXPECT_EQ(c[10], 0x808080);  // trunc(127.5) = 127 below white
  EXPECT_EQ(c[20], 0x000000);
  EXPECT_EQ(c[101], 0x66B2FF);  // hue 1, base: 0.4, 0.7, 1.0 of 255
  EXPECT_EQ(c[102], 0x4F84FF);  // hue 2 at t = 0.3: 0.31, 0.52, 1.0
  EXPECT_EQ(c[111], 0xE5C71D);  // hue 11 at t = 3.0: 0.9, 0.7833, 0.1167
  EXPECT_EQ(c[120], 0xCCB756);  // hue 20 at t = 5.7: 0.8, 0.72, 0.34
  EXPECT_EQ(c[21], 0xD4EDFF);   // hue 1, lightest: c^(1/5)
  EXPECT_EQ(c[81], 0xA1D5FF);   // hue 1, c^(1/2)
  EXPECT_EQ(c[181], 0x3D6B99);  // hue 1, darkest: 0.6 c
  EXPECT_EQ(c[121], 0x5BA0E5);  // hue 1, 0.9 c: 91.8, 160.65, 229.5
  EXPECT_EQ(c[141], 0x518ECC);  // hue 1, 0.8 c: 81.6, 142.8, 204
  EXPECT_EQ(g.n.CMODGR, 2);
  EXPECT_EQ(g.n.CPARGR, 5);
  EXPECT_EQ(g.n.NCOLGR, 12);
  EXPECT_EQ(g.n.DXFCGR, 2);
}

TEST(GrColour, PackAndInterpolate) {
  int v = 0, r = 0x12, gr = 0xAB, b = 0x07;
  grgcol(v, r, gr, b, 0);
  EXPECT_EQ(v, 0x12AB07);
  v = 0x66B2FF;
  grgcol(v, r, gr, b, 1);
  EXPECT_EQ(r, 0x66);
  EXPECT_EQ(gr, 0xB2);
  EXPECT_EQ(b, 0xFF);

  const float xs[4] = {0, 1, 1, 3}, ys[4] = {10, 20, 40, 0};
  float slope = -1;
  int flag = -1;
  EXPECT_FLOAT_EQ(grint0(4, xs, ys, 0.25f, slope, flag), 12.5f);
  EXPECT_EQ(flag, 0);
  EXPECT_FLOAT_EQ(slope, 10);
  EXPECT_FLOAT_EQ(grint0(4, xs, ys, 2, slope, flag), 20);
  EXPECT_FLOAT_EQ(slope, -20);
  EXPECT_FLOAT_EQ(grint0(4, xs, ys, -1, slope, flag), 10);
  EXPECT_EQ(flag, 2);
  EXPECT_FLOAT_EQ(grint0(4, xs, ys, 5, slope, flag), 0);
  EXPECT_EQ(flag, 3);
  EXPECT_FLOAT_EQ(grint0(1, xs, ys, 5, slope, flag), 10);
  EXPECT_EQ(flag, 1);
  // Two points at the same x: slope 0.
  const float dx[2] = {2, 2}, dy[2] = {1, 5};
  EXPECT_FLOAT_EQ(grint0(2, dx, dy, 2, slope, flag), 1);
  EXPECT_EQ(flag, 0);
  EXPECT_FLOAT_EQ(slope, 0);
  // Descending abscissae.
  const float ex[3] = {10, 5, 0}, ey[3] = {0, 5, 0};
  EXPECT_FLOAT_EQ(grint0(3, ex, ey, 7, slope, flag), 3);
  EXPECT_EQ(flag, 0);
  EXPECT_FLOAT_EQ(grint0(3, ex, ey, 12, slope, flag), 0);
  EXPECT_EQ(flag, 2);
  EXPECT_FLOAT_EQ(grint0(3, ex, ey, -1, slope, flag), 0);
  EXPECT_EQ(flag, 3);
}

TEST(GrColour, ColourNumberToEntryInEveryMode) {
  Graphics g;
  grmcol(g);
  struct Case {
    int mode, par, colour, entry;
  };
  const Case cases[] = {
      {2, 5, 3, 103},
      {2, 5, 20, 120},
      {2, 5, 21, 21},
      {2, 5, 201, 101},
      {2, 0, 3, 3},
      {2, 12, 3, 183},
      {-2, 1, 7, 27},
      {3, 5, 3, 65},
      {3, 5, 12, 185},
      {3, 5, 1, 25},
      {3, 5, 25, 25},
      {-3, 2, 4, 82},
      {3, 25, 9, 200},
      {1, 5, 3, 3},
      {4, 5, 3, 3},
      {2, 5, 0, 20},
      {2, 5, -1, 0},
      {2, 5, -2, 1},
      {2, 5, -3, 3},
      {2, 5, -4, 10},
      {2, 5, -5, 73},
      {2, 5, -6, 71},
      {2, 5, -7, 103},
      {2, 5, -8, 114},
      {2, 5, -9, 118},
      {2, 5, -10, 98},
      {2, 5, -11, 128},
      {2, 5, -40, 128},
      {2, -3, 3, 0},
      // The palette ramps: 12 classes spread over the 20 entries after the table.
      {5, 5, 1, 201},
      {5, 5, 15, 220},
      {6, 5, 8, 232},
      {-7, 5, 1, 241},
      {7, 5, 21, 21},
  };
  for (const Case& c : cases) {
    g.n.CMODGR = c.mode;
    g.n.CPARGR = c.par;
    EXPECT_EQ(grcent(g, c.colour), c.entry)
        << "mode " << c.mode << " par " << c.par << " colour " << c.colour;
  }
}

TEST(GrColour, DxfColoursAndRemap) {
  Graphics g;
  grmcol(g);
  g.n.IMODGR = kModeDxf;
  const int pairs[][2] = {{-9, 6}, {-8, 1},  {-5, 20}, {-4, 253}, {-1, 254},
                          {0, 7},  {1, 142}, {3, 150}, {10, 62},  {13, 1},
                          {14, 1}, {40, 1},  {-20, 6}, {5, 162},  {12, 20}};
  for (const auto& p : pairs) {
    grcolr(g, p[0]);
    EXPECT_EQ(g.n.DXFCGR, p[1]) << p[0];
  }
  // In a negative mode class colours 1..20 use the remap table.
  g.n.CMODGR = -2;
  g.n.REMAPGR[0] = 13;
  grcolr(g, 1);
  EXPECT_EQ(g.n.DXFCGR, 1);
  grcolr(g, 0);
  EXPECT_EQ(g.n.DXFCGR, 7);
}

}  // namespace
}  // namespace qf
