// DXF drawings: header and trailer as written, entities read back by ezdxf
// and by GDAL's ogrinfo in world coordinates.
#include <gtest/gtest.h>

#include <map>

#include "graphics/graphics.h"
#include "io/textio.h"
#include "tests/graphics/gr_test_util.h"

namespace qf {
namespace {

using grtest::answer;
using grtest::lines_of;
using grtest::run;
using grtest::slurp;

class GrDxf : public grtest::ScratchDir {
 protected:
  void start(Graphics& g) {
    grinit(g, 5, 6, "qf", "", 0);
    double v;
    std::string t;
    g.n.XMINGR = 0;
    g.n.XMAXGR = 100;
    g.n.YMINGR = 0;
    g.n.YMAXGR = 80;
    v = 1000;
    grvalu(g, "XORGR", 1, v, t);
    v = 2000;
    grvalu(g, "YORGR", 1, v, t);
    g.n.XMINGR = 0;
    g.n.XMAXGR = 100;
    g.n.YMINGR = 0;
    g.n.YMAXGR = 80;
    g.n.XMNCGR = 0;
    g.n.XMXCGR = 100;
    g.n.YMNCGR = 0;
    g.n.YMXCGR = 80;
    grsfac(g);
  }

  // The test picture: lines in colour 3 (one outside the clip rectangle),
  // a 3-D line, a triangle in colour 23, a square in colour 2, a pentagon in
  // colour -1, a hexagon in colour 5, a point symbol and two texts.
  void picture(Graphics& g) {
    grcolr(g, 3);
    grmov2(g, 0, 0);
    grdrw2(g, 50, 0);
    grdrw2(g, 50, 40);
    grmov2(g, 200, 200);
    grdrw2(g, 300, 250);
    grmov3(g, 10, 70, 1.5f);
    grdrw3(g, 20, 75, 2.25f);
    const float tx[3] = {60, 70, 65}, ty[3] = {10, 10, 20};
    grfil2(g, tx, ty, 3, 23);
    const float qx[4] = {10, 20, 20, 10}, qy[4] = {10, 10, 20, 20};
    grfil2(g, qx, qy, 4, 2);
    const float px[5] = {30, 40, 42, 35, 28}, py[5] = {50, 50, 58, 64, 58};
    grfil2(g, px, py, 5, -1);
    const float hx[6] = {80, 90, 95, 90, 80, 75}, hy[6] = {50, 50, 56, 62, 62, 56};
    grfil2(g, hx, hy, 6, 5);
    grmov2(g, 15.5f, 30.25f);
    grsymb(g, 305);
    grcolr(g, 0);
    grmov2(g, 20, 60);
    granot(g, "Station A", 0);
    grmov2(g, 40, 30);
    granot(g, "~~  12.5", 0);
  }
};

TEST_F(GrDxf, NameHeaderAndTrailer) {
  Graphics g;
  start(g);
  answer(g, {"plan"});
  int r = kModeDxf;
  grmode(g, r);
  ASSERT_EQ(g.n.IMODGR, kModeDxf);
  EXPECT_EQ(g.n.ON3DGR, 0);
  EXPECT_EQ(g.n.PVISGR, 1);
  grclos(g);
  EXPECT_EQ(g.n.IMODGR, 0);  // back to the mode before
  ASSERT_FALSE(g.msg.lines.empty());
  EXPECT_EQ(g.msg.lines[0], grfix("DXF File done", 100));
  const auto l = lines_of(slurp("plan.dxf"));
  const std::vector<std::string> head = {
      "999", "DXF created from PictorV3",
      "0",   "SECTION",
      "2",   "HEADER",
      "9",   "$ACADVER",
      "1",   "AC1006",
      "9",   "$INSBASE",
      "10",  "0.0",
      "20",  "0.0",
      "30",  "0.0",
      "9",   "$EXTMIN",
      "10",  "     1000.00",
      "20",  "     2000.00",
      "9",   "$EXTMAX",
      "10",  "     1100.00",
      "20",  "     2080.00",
      "0",   "ENDSEC",
      "0",   "SECTION",
      "2",   "TABLES",
      "0",   "TABLE",
      "2",   "LTYPE",
      "70",  "1",
      "0",   "LTYPE",
      "2",   "CONTINUOUS",
      "70",  "64",
      "3",   "Solid line",
      "72",  "65",
      "73",  "0",
      "40",  "0.000000",
      "0",   "ENDTAB",
      "0",   "TABLE",
      "2",   "LAYER",
      "70",  "6",
      "0",   "LAYER",
      "2",   "0",
      "70",  "0",
      "62",  "7",
      "6",   "CONTINUOUS",
      "0",   "LAYER",
      "2",   "line",
      "70",  "0",
      "62",  "7",
      "6",   "CONTINUOUS",
      "0",   "LAYER",
      "2",   "fill",
      "70",  "64",
      "62",  "7",
      "6",   "CONTINUOUS",
      "0",   "LAYER",
      "2",   "fill01",
      "70",  "64",
      "62",  "142",
      "6",   "CONTINUOUS",
  };
  ASSERT_GE(l.size(), head.size());
  for (std::size_t i = 0; i < head.size(); ++i) EXPECT_EQ(l[i], head[i]) << "line " << i + 1;
  // Layers fill01 .. fill15 with the DXF colours of colours 1 .. 15.
  const int aci[15] = {142, 4, 150, 5, 162, 122, 82, 3, 110, 62, 2, 20, 1, 1, 1};
  int k = 0;
  for (std::size_t i = 0; i + 6 < l.size(); ++i)
    if (l[i] == "2" && l[i + 1].rfind("fill", 0) == 0 && l[i + 1].size() == 6) {
      EXPECT_EQ(l[i + 1], "fill" + std::string(k < 9 ? "0" : "") + std::to_string(k + 1));
      EXPECT_EQ(l[i + 5], fmt_i(aci[k], 3));
      ++k;
    }
  EXPECT_EQ(k, 15);
  const std::vector<std::string> tail = {
      "0",      "ENDTAB",  "0",      "TABLE",    "2",       "STYLE",  "70",     "0",  "0",
      "ENDTAB", "0",       "ENDSEC", "0",        "SECTION", "2",      "BLOCKS", "0",  "ENDSEC",
      "0",      "SECTION", "2",      "ENTITIES", "0",       "ENDSEC", "0",      "EOF"};
  ASSERT_GE(l.size(), tail.size());
  for (std::size_t i = 0; i < tail.size(); ++i)
    EXPECT_EQ(l[l.size() - tail.size() + i], tail[i]) << i;
  EXPECT_EQ(l.size(), head.size() + 14 * 10 + tail.size());
}

TEST_F(GrDxf, FileNames) {
  Graphics g;
  start(g);
  answer(g, {"plan.dxf"});
  int r = kModeDxf;
  grmode(g, r);
  grclos(g);
  EXPECT_TRUE(grtest::slurp("plan.dxf").size() > 0);
  EXPECT_EQ(grtest::slurp("plan.dxf.dxf").size(), 0u);
  // A blank answer: message, request 0, mode unchanged.
  r = kModeDxf;
  grmode(g, r);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(g.n.IMODGR, 0);
  EXPECT_EQ(g.msg.lines[0], grfix("Filename cannot be all blanks", 100));
  // A name that cannot be opened is asked again.
  answer(g, {"nodir/x", "good"});
  r = kModeDxf;
  grmode(g, r);
  EXPECT_EQ(g.n.IMODGR, kModeDxf);
  EXPECT_EQ(g.msg.lines[0], grfix("Error opening: nodir/x.dxf", 100));
  grclos(g);
  EXPECT_TRUE(grtest::slurp("good.dxf").size() > 0);
}

TEST_F(GrDxf, EntitiesAsWritten) {
  Graphics g;
  start(g);
  answer(g, {"pic"});
  int r = kModeDxf;
  grmode(g, r);
  picture(g);
  grclos(g);
  const auto l = lines_of(slurp("pic.dxf"));
  std::size_t e = 0;
  while (e < l.size() && l[e] != "ENTITIES") ++e;
  ASSERT_LT(e, l.size());
  const std::vector<std::string> first_line = {
      "0",  "LINE",        "8",           "line",        "62",          " 150",      "67",
      "0",  "10",          "    1000.00", "20",          "    2000.00", "30",        "     0.000",
      "11", "    1050.00", "21",          "    2000.00", "31",          "     0.000"};
  for (std::size_t i = 0; i < first_line.size(); ++i) EXPECT_EQ(l[e + 1 + i], first_line[i]) << i;
  // The triangle: one SOLID on layer fill03, fourth corner = first corner.
  std::size_t s = e;
  while (s < l.size() && l[s] != "SOLID") ++s;
  ASSERT_LT(s, l.size());
  const std::vector<std::string> tri = {"SOLID",      "8",  "fill03",     "10", "   1060.00", "20",
                                        "   2010.00", "11", "   1070.00", "21", "   2010.00", "12",
                                        "   1060.00", "22", "   2010.00", "13", "   1065.00", "23",
                                        "   2020.00"};
  for (std::size_t i = 0; i < tri.size(); ++i) EXPECT_EQ(l[s + i], tri[i]) << i;
  // The pentagon in colour -1: layer fill with its colour.
  std::size_t p = s + 1;
  int solids = 1;
  while (p < l.size() && !(l[p] == "SOLID" && l[p + 2] == "fill")) {
    if (l[p] == "SOLID") ++solids;
    ++p;
  }
  ASSERT_LT(p, l.size());
  EXPECT_EQ(l[p + 3], "62");
  EXPECT_EQ(l[p + 4], "254");
  const std::vector<std::string> text = {"TEXT",       "8",        "0",        "62",         "  7",
                                         "40",         "    3.00", "10",       "   1020.00", "20",
                                         "   2060.00", "1",        "Station A"};
  std::size_t t = e;
  while (t < l.size() && l[t] != "TEXT") ++t;
  ASSERT_LT(t, l.size());
  for (std::size_t i = 0; i < text.size(); ++i) EXPECT_EQ(l[t + i], text[i]) << i;
  const std::vector<std::string> point = {"POINT",       "8",  "point",     "62",          " 150",
                                          "67",          "0",  "10",        "    1015.50", "20",
                                          "    2030.25", "30", "     0.000"};
  std::size_t q = e;
  while (q < l.size() && l[q] != "POINT") ++q;
  ASSERT_LT(q, l.size());
  for (std::size_t i = 0; i < point.size(); ++i) EXPECT_EQ(l[q + i], point[i]) << i;
}

// Lines "type layer colour x y ..." of the entities as ezdxf reads them.
const char* kEzdxfScript = R"PY(
import sys, ezdxf
doc = ezdxf.readfile(sys.argv[1])
for e in doc.modelspace():
    t = e.dxftype()
    c = e.dxf.color
    if t == 'LINE':
        v = [e.dxf.start, e.dxf.end]
    elif t == 'SOLID':
        v = [e.dxf.vtx0, e.dxf.vtx1, e.dxf.vtx2, e.dxf.vtx3]
    elif t == 'POINT':
        v = [e.dxf.location]
    elif t == 'TEXT':
        v = [e.dxf.insert]
    else:
        v = []
    coords = ' '.join('%.2f %.2f %.3f' % (p[0], p[1], p[2]) for p in v)
    extra = e.dxf.text if t == 'TEXT' else ''
    print(t, e.dxf.layer, c, coords, extra)
print('LAYERS', ' '.join(sorted('%s:%d' % (l.dxf.name, l.dxf.color) for l in doc.layers if l.dxf.name != 'Defpoints')))
)PY";

TEST_F(GrDxf, ReadByEzdxf) {
  const std::string py = grtest::ezdxf_python();
  if (py.empty()) GTEST_SKIP() << "no ezdxf";
  Graphics g;
  start(g);
  answer(g, {"pic"});
  int r = kModeDxf;
  grmode(g, r);
  picture(g);
  grclos(g);
  grtest::spit("read.py", kEzdxfScript);
  int st = 0;
  const std::string out = run(py + " read.py pic.dxf", &st);
  ASSERT_EQ(st, 0) << out;
  const auto l = lines_of(out);
  std::map<std::string, int> count;
  for (const auto& s : l) count[s.substr(0, s.find(' '))]++;
  EXPECT_EQ(count["LINE"], 4);
  EXPECT_EQ(count["SOLID"], 6);  // 1 + 1 + 2 + 2
  EXPECT_EQ(count["POINT"], 1);
  EXPECT_EQ(count["TEXT"], 2);
  const std::vector<std::string> want = {
      "LINE line 150 1000.00 2000.00 0.000 1050.00 2000.00 0.000 ",
      "LINE line 150 1050.00 2000.00 0.000 1050.00 2040.00 0.000 ",
      "LINE line 150 1200.00 2200.00 0.000 1300.00 2250.00 0.000 ",
      "LINE line 150 1010.00 2070.00 1.500 1020.00 2075.00 2.250 ",
      "SOLID fill03 256 1060.00 2010.00 0.000 1070.00 2010.00 0.000 1060.00 2010.00 0.000 "
      "1065.00 2020.00 0.000 ",
      "SOLID fill02 256 1010.00 2010.00 0.000 1020.00 2010.00 0.000 1010.00 2020.00 0.000 "
      "1020.00 2020.00 0.000 ",
      "SOLID fill 254 1030.00 2050.00 0.000 1040.00 2050.00 0.000 1035.00 2064.00 0.000 "
      "1042.00 2058.00 0.000 ",
      "SOLID fill 254 1030.00 2050.00 0.000 1035.00 2064.00 0.000 1030.00 2050.00 0.000 "
      "1028.00 2058.00 0.000 ",
      "SOLID fill05 256 1080.00 2050.00 0.000 1090.00 2050.00 0.000 1090.00 2062.00 0.000 "
      "1095.00 2056.00 0.000 ",
      "SOLID fill05 256 1080.00 2050.00 0.000 1090.00 2062.00 0.000 1075.00 2056.00 0.000 "
      "1080.00 2062.00 0.000 ",
      "POINT point 150 1015.50 2030.25 0.000 ",
      "TEXT 0 7 1020.00 2060.00 0.000 Station A",
      "TEXT 0 7 1040.00 2030.00 0.000 12.5",
  };
  ASSERT_GE(l.size(), want.size()) << out;
  for (std::size_t i = 0; i < want.size(); ++i) EXPECT_EQ(l[i], want[i]) << i;
  EXPECT_EQ(l.back(),
            "LAYERS 0:7 fill01:142 fill02:4 fill03:150 fill04:5 fill05:162 fill06:122 "
            "fill07:82 fill08:3 fill09:110 fill10:62 fill11:2 fill12:20 fill13:1 fill14:1 "
            "fill15:1 fill:7 line:7");
}

TEST_F(GrDxf, ReadByOgrinfo) {
  if (!grtest::have_tool("ogrinfo")) GTEST_SKIP() << "no ogrinfo";
  Graphics g;
  start(g);
  answer(g, {"pic"});
  int r = kModeDxf;
  grmode(g, r);
  picture(g);
  grclos(g);
  int st = 0;
  const std::string out = run("ogrinfo -ro -al -q pic.dxf", &st);
  ASSERT_EQ(st, 0) << out;
  // Lines carry the colour of colour number 3 (ACI 150).
  EXPECT_NE(out.find("  Layer (String) = line\n  Style = PEN(c:#007fff)\n"
                     "  LINESTRING Z (1000 2000 0,1050 2000 0)"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("LINESTRING Z (1200 2200 0,1300 2250 0)"), std::string::npos) << out;
  EXPECT_NE(out.find("LINESTRING Z (1010 2070 1.5,1020 2075 2.25)"), std::string::npos) << out;
  EXPECT_NE(out.find("POINT Z (1015.5 2030.25 0)"), std::string::npos) << out;
  EXPECT_NE(out.find("POINT (1020 2060)"), std::string::npos) << out;
  EXPECT_NE(out.find("Text (String) = Station A"), std::string::npos) << out;
  EXPECT_NE(out.find("POLYGON ((1060 2010,1070 2010,1065 2020,1060 2010))"), std::string::npos)
      << out;
  EXPECT_NE(out.find("POLYGON ((1010 2010,1020 2010,1020 2020,1010 2020,1010 2010))"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("  Layer (String) = fill03\n  Style = BRUSH(fc:#007fff)\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("POLYGON ((1080 2050,1090 2062,1080 2062,1075 2056,1080 2050))"),
            std::string::npos)
      << out;
  int features = 0;
  for (std::size_t p = out.find("OGRFeature("); p != std::string::npos;
       p = out.find("OGRFeature(", p + 1))
    ++features;
  EXPECT_EQ(features, 4 + 6 + 1 + 2);
}

}  // namespace
}  // namespace qf
