#include <array>

#include "reader_fixture.h"

namespace qf {
namespace {

using testing::ReaderTest;

class PolygonTest : public ReaderTest {};

TEST_F(PolygonTest, VerticesRelativeToTheOriginEndedByAKeyword) {
  command("100.5 200.25\n  110 200\n 110,210\nroughness 0.04\n");
  std::vector<float> x, y;
  EXPECT_EQ(irpoly(io_, msg_, 10, x, y, ch::command, ch::listing, 100.0, 200.0), 3);
  EXPECT_EQ(x, (std::vector<float>{0.5f, 10.0f, 10.0f}));
  EXPECT_EQ(y, (std::vector<float>{0.25f, 0.0f, 10.0f}));
  EXPECT_EQ(listing(),
            "      100.50      200.25\n      110.00      200.00\n      110.00      210.00\n");
  const std::vector<std::string_view> keys = {"roughness"};
  EXPECT_EQ(next(keys), 1);
  EXPECT_EQ(rest(), "0.04");
}

TEST_F(PolygonTest, SlashAndBlankLinesEndThePolygonAndAreConsumed) {
  command("1 1\n2 2\n/ end\n3 3\n\n4 4\n");
  std::vector<float> x, y;
  EXPECT_EQ(irpoly(io_, msg_, 10, x, y, ch::command, ch::listing, 0.0, 0.0), 2);
  EXPECT_EQ(irpoly(io_, msg_, 10, x, y, ch::command, ch::listing, 0.0, 0.0), 1);
  EXPECT_EQ(x[0], 3.0f);
  EXPECT_EQ(irpoly(io_, msg_, 10, x, y, ch::command, ch::listing, 0.0, 0.0), 1);
  EXPECT_EQ(x[0], 4.0f);
  EXPECT_EQ(irpoly(io_, msg_, 10, x, y, ch::command, ch::listing, 0.0, 0.0), 0);  // end of file
}

TEST_F(PolygonTest, UnreadableVertexIsPushedBack) {
  command("1 1\n2\n");
  std::vector<float> x, y;
  EXPECT_EQ(irpoly(io_, msg_, 10, x, y, ch::command, ch::listing, 0.0, 0.0), 1);
  std::string l;
  EXPECT_EQ(io_.read_line(ch::command, l), 0);
  EXPECT_EQ(l, "2");
}

TEST_F(PolygonTest, VerticesBeyondTheMaximumAreOneError) {
  command("0 0\n1 0\n1 1\n0 1\n2 2\n3 3\n");
  std::vector<float> x, y;
  EXPECT_EQ(irpoly(io_, msg_, 3, x, y, ch::command, ch::listing, 0.0, 0.0), 3);
  EXPECT_EQ(x.size(), 3u);
  EXPECT_EQ(msg_.errors(), 1);
  EXPECT_NE(listing().find(framed("**error: ",
                                  "polygon with more than 3 vertices (the limit), "
                                  "file '" +
                                      io_.path(ch::command) + "', line 4")),
            std::string::npos)
      << listing();
}

TEST_F(PolygonTest, LongVertexLinesAreCutTo64Characters) {
  command(std::string(60, ' ') + "1 2345\n");
  std::vector<float> x, y;
  EXPECT_EQ(irpoly(io_, msg_, 5, x, y, ch::command, ch::listing, 0.0, 0.0), 1);
  EXPECT_EQ(y[0], 23.0f);
}

const std::vector<float> kSqX = {0, 10, 10, 0}, kSqY = {0, 0, 10, 10};

TEST(PointInPolygon, SquareBothOrientations) {
  const std::vector<float> cwx = {0, 0, 10, 10}, cwy = {0, 10, 10, 0};
  for (auto f : {iipoly, igpoly}) {
    EXPECT_EQ(f(kSqX.data(), kSqY.data(), 4, 5, 5), 1);
    EXPECT_EQ(f(kSqX.data(), kSqY.data(), 4, 15, 5), 0);
    EXPECT_EQ(f(kSqX.data(), kSqY.data(), 4, 5, -1), 0);
    EXPECT_EQ(f(cwx.data(), cwy.data(), 4, 5, 5), 1);
    EXPECT_EQ(f(cwx.data(), cwy.data(), 4, 0.5f, 9.5f), 1);
    EXPECT_EQ(f(kSqX.data(), kSqY.data(), 0, 5, 5), 0);  // no vertices
  }
}

TEST(PointInPolygon, ConcavePolygonAndWideBox) {
  // An L: the notch (15, 7) lies inside the box but outside the polygon. The
  // box is wider than high, so iipoly looks from below.
  const std::vector<float> x = {0, 20, 20, 10, 10, 0}, y = {0, 0, 5, 5, 10, 10};
  for (auto f : {iipoly, igpoly}) {
    EXPECT_EQ(f(x.data(), y.data(), 6, 15, 7), 0);
    EXPECT_EQ(f(x.data(), y.data(), 6, 15, 2), 1);
    EXPECT_EQ(f(x.data(), y.data(), 6, 5, 8), 1);
  }
}

TEST(PointInPolygon, CellCentresInLineWithACornerAreNotLost) {
  // A rectangle whose south-west corner (-1, -1) lies on the line from the
  // centre (18, 10) towards the far south-west: the centre is inside, as is
  // every other centre of the grid it covers.
  const std::vector<float> x = {-1, 99.5f, 99.5f, -1}, y = {-1, -1, 20, 20};
  for (auto f : {iipoly, igpoly}) {
    EXPECT_EQ(f(x.data(), y.data(), 4, 18, 10), 1);
    int inside = 0;
    for (int j = 0; j < 20; ++j)
      for (int i = 0; i < 100; ++i) inside += f(x.data(), y.data(), 4, float(i), float(j));
    EXPECT_EQ(inside, 2000);
  }
  // Corners on half-cell lines, as when a polygon follows cell faces.
  const std::vector<float> hx = {-0.5f, 199.5f, 199.5f, -0.5f}, hy = {-0.5f, -0.5f, 19.5f, 19.5f};
  int inside = 0;
  for (int j = 0; j < 20; ++j)
    for (int i = 0; i < 200; ++i) inside += igpoly(hx.data(), hy.data(), 4, float(i), float(j));
  EXPECT_EQ(inside, 4000);
}

}  // namespace
}  // namespace qf
