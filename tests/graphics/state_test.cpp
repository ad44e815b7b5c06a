// Graphics state: start-up defaults, named variables, the settings file.
#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <regex>
#include <sstream>

#include "graphics/graphics.h"
#include "io/stop.h"
#include "tests/graphics/gr_test_util.h"

namespace qf {
namespace {

using grtest::lines_of;
using grtest::slurp;
using grtest::spit;

class GrState : public grtest::ScratchDir {};

std::string blanks(int n) {
  return std::string(n, ' ');
}

TEST_F(GrState, StartWithoutSettingsFileGivesTheDefaults) {
  Graphics g;
  grinit(g, 5, 6, "quellfax", "out", 0);
  const Grcomn& n = g.n;
  EXPECT_EQ(n.IMODGR, 0);  // channel 6: no window now
  EXPECT_EQ(n.JINGR, 5);
  EXPECT_EQ(n.JOUTGR, 6);
  const int sw[] = {n.IN01GR, n.IN02GR, n.IN03GR, n.IN04GR, n.IN05GR, n.IN06GR, n.IN07GR,
                    n.IN09GR, n.IN10GR, n.IN11GR, n.IN12GR, n.IN13GR, n.IN14GR, n.IN15GR};
  const int want[] = {1, 1, 1, 0, 1, 1, 1, 0, 1, 1, 1, 1, 0, 0};
  for (int i = 0; i < 14; ++i) EXPECT_EQ(sw[i], want[i]) << i;
  EXPECT_EQ(n.NXINGR, 24);
  EXPECT_EQ(n.NYINGR, 18);
  EXPECT_EQ(n.NCOLGR, 14);
  EXPECT_EQ(n.CMODGR, 2);
  EXPECT_EQ(n.CPARGR, 5);
  EXPECT_EQ(n.VSYMGR, 103);
  EXPECT_FLOAT_EQ(n.SYMFGR, 0.5f);
  EXPECT_FLOAT_EQ(n.ZOOMGR, 0.71f);
  EXPECT_FLOAT_EQ(n.KEYYGR, 10);
  EXPECT_EQ(n.JDV1GR, 95);
  EXPECT_EQ(n.JDV2GR, 96);
  EXPECT_EQ(n.JDV3GR, 97);
  EXPECT_EQ(n.SHPTGR, 3);
  EXPECT_EQ(n.SHPAGR, 1);
  // Window: (24 + 4.5) * 50 * 0.7865 = 1120.76, (18 + 2) * 50 * 0.7865 = 786.5.
  EXPECT_EQ(n.WNDWGR[0], 10);
  EXPECT_EQ(n.WNDWGR[1], 0);
  EXPECT_EQ(n.WNDWGR[2], 1120);
  EXPECT_EQ(n.WNDWGR[3], 786);
  EXPECT_FLOAT_EQ(n.XORGGR, 55);
  EXPECT_FLOAT_EQ(n.YORGGR, 751);
  EXPECT_EQ(g.t.TITLGR, "Title" + blanks(75));
  EXPECT_EQ(g.t.FIRMGR, "[]" + blanks(78));
  EXPECT_EQ(g.t.PROGGR, "quellfax" + blanks(12));
  EXPECT_EQ(g.t.WNABGR, std::string("quellfax") + '\0' + blanks(11));
  EXPECT_EQ(g.t.PRNTGR, std::string("$PICTOR_PRINT") + '\0' + blanks(26));
  EXPECT_EQ(g.t.PRN3GR, std::string("$PICTOR_PRINT3") + '\0' + blanks(25));
  // Day, month, year and the hour followed by its colon.
  EXPECT_TRUE(std::regex_match(g.t.DATEGR, std::regex(R"(\d\d [A-Z][a-z][a-z] \d{4} \d\d:)")))
      << g.t.DATEGR;
  EXPECT_TRUE(g.msg.lines.empty());
  // The colour table is built.
  EXPECT_EQ(n.COLTAB[0], 0xFFFFFF);
  EXPECT_EQ(n.COLTAB[101], 0x66B2FF);
}

TEST_F(GrState, NamedVariables) {
  Graphics g;
  grinit(g, 5, 6, "qf", "", 0);
  std::string txt;
  double v = 1500;
  grvalu(g, "XMINGR", 1, v, txt);
  v = 2500;
  grvalu(g, "XMAXGR", 1, v, txt);
  v = 1000;
  grvalu(g, "XORGR", 1, v, txt);
  // The window stays at the same world place.
  EXPECT_FLOAT_EQ(g.n.XMINGR, 500);
  EXPECT_FLOAT_EQ(g.n.XMAXGR, 1500);
  EXPECT_DOUBLE_EQ(g.n.XORGR, 1000);
  v = 200;
  grvalu(g, "YORGR", 1, v, txt);
  EXPECT_FLOAT_EQ(g.n.YMINGR, -200);
  double got = 0;
  grvalu(g, "XORGR", 0, got, txt);
  EXPECT_DOUBLE_EQ(got, 1000);
  // A large origin keeps its double precision; it is returned as a real.
  v = 2600000.37;
  grvalu(g, "XORGR", 1, v, txt);
  EXPECT_DOUBLE_EQ(g.n.XORGR, 2600000.37);
  grvalu(g, "XORGR", 0, got, txt);
  EXPECT_DOUBLE_EQ(got, static_cast<double>(2600000.37f));

  // Switches round halves away from zero; counts are truncated.
  float f = 0.5f;
  grvalu(g, "IN01GR", 1, f, txt);
  EXPECT_EQ(g.n.IN01GR, 1);
  f = -0.5f;
  grvalu(g, "IN02GR", 1, f, txt);
  EXPECT_EQ(g.n.IN02GR, -1);
  f = 2.49f;
  grvalu(g, "IMODGR", 1, f, txt);
  EXPECT_EQ(g.n.IMODGR, 2);
  g.n.IMODGR = 0;
  f = 14.9f;
  grvalu(g, "NCOLGR", 1, f, txt);
  EXPECT_EQ(g.n.NCOLGR, 14);
  f = 310.9f;
  grvalu(g, "WNDWGR(3)", 1, f, txt);
  EXPECT_EQ(g.n.WNDWGR[2], 310);
  f = 3.7f;
  grvalu(g, "NSCRGR", 1, f, txt);
  EXPECT_EQ(g.n.NSCRGR, 3);
  EXPECT_EQ(g.n.SCTKGR, 0);
  EXPECT_EQ(g.t.SCRIPT, std::string(kScriptMax * kScriptLen, ' '));
  f = 2.5f;
  grvalu(g, "TRANGR(2,3)", 1, f, txt);
  EXPECT_FLOAT_EQ(g.n.TRANGR[1][2], 2.5f);
  EXPECT_FLOAT_EQ(g.n.TRANGR[2][1], 0.0f);
  f = 0;
  grvalu(g, "NXINGR", 0, f, txt);
  EXPECT_FLOAT_EQ(f, 24);
  grvalu(g, "YORGGR", 0, f, txt);
  EXPECT_FLOAT_EQ(f, 751);

  // Texts are padded or cut at the member length, and at the caller's.
  txt = "Flood of 2005";
  grvalu(g, "TITLGR", 1, f, txt);
  EXPECT_EQ(g.t.TITLGR, "Flood of 2005" + blanks(67));
  txt = "01 Jan 2020 10:00:00 extra";
  grvalu(g, "DATEGR", 1, f, txt);
  EXPECT_EQ(g.t.DATEGR, "01 Jan 2020 10:");
  std::string out(8, ' ');
  grvalu(g, "TITLGR", 0, f, out);
  EXPECT_EQ(out, "Flood of");
  out = std::string(20, ' ');
  grvalu(g, "AUXCGR", 0, f, out);
  EXPECT_EQ(out, blanks(20));
}

TEST_F(GrState, UnknownVariableStops) {
  Graphics g;
  std::ostringstream os;
  g.out = &os;
  grinit(g, 5, 6, "qf", "", 0);
  double v = 1;
  std::string t;
  try {
    grvalu(g, "IN13GR", 1, v, t);  // not reachable by name
    FAIL() << "no stop";
  } catch (const Stop& s) {
    EXPECT_EQ(s.status(), 1);
  }
  EXPECT_EQ(os.str(), "grvalu: variable not defined> IN13GR\n");
}

// A state whose settings file is known byte for byte.
void known_settings(Graphics& g) {
  Grcomn& n = g.n;
  n.CMODGR = 3;
  n.CPARGR = 7;
  n.NCOLGR = 10;
  n.IN09GR = 0;
  n.IN14GR = 1;
  n.LABLGR = 1;
  n.PAPRGR = 0;
  n.NXINGR = 20;
  n.NYINGR = 15;
  n.XORGR = 1000;
  n.XMINGR = -50.5f;
  n.XMAXGR = 949.5f;
  n.YMINGR = -20;
  n.YMAXGR = 730.25f;
  n.IKEYGR = 2;
  n.KEYXGR = 5.5f;
  n.KEYSGR = 1.5f;
  n.LANGGR = 2;
  n.VSCLGR = 12.5f;
  n.VSTPGR = 3;
  n.SHADGR = 1;
  g.t.TITLGR = grfix("Rhine's flood", 80);
  g.t.TIT2GR = grfix("run 1", 80);
  grtest::spit("bg.kep", "MCOL\n  2\n");
  g.keep.names = {grfix("bg.kep", 80)};
  g.keep.flags = {2};
}

const char* kKnownSettings[] = {
    "/graphic attributes",
    " 1 /calc scales",
    " 1 /dep scaling",
    " 1 /draw axes",
    " 0 /draw grid",
    " 1 /interactive mode",
    " 1 /tic spacing centimeters",
    " 1 /draw no-data values",
    " 3   7  10 /color modes",
    " 0 /single buffered",
    " 1 /save hardcopy file",
    " 1 /color PostScript",
    " 1 /domain boundary",
    " 1 /redraw keep files",
    " 1 1 0 /mono contours with labels, paper-size",
    "  20 /number of x-axis intervals",
    "  15 /number of y-axis intervals",
    "         949.50 /xmin",
    "        1949.50 /xmax",
    "         -20.00 /ymin",
    "         730.25 /ymax",
    "        0.50 /symbol factor",
    "        0.71 /zoom factor",
    "        1.00 /scaling factor",
    " 2        5.50       10.00   1.5 2 /key",
    "       12.50    3  103     0.010 /vectors",
    " 1 /shading",
};

TEST_F(GrState, SettingsFileWrittenAndReadBack) {
  {
    Graphics g;
    grinit(g, 5, 6, "qf", "", 0);
    known_settings(g);
    grwset(g);
  }
  std::string want;
  for (const char* l : kKnownSettings) want += std::string(l) + "\n";
  want += "'" + blanks(80) + "' /\n";
  want += "'[]" + blanks(78) + "' /\n";
  want += "'Rhine''s flood" + blanks(67) + "' /\n";
  want += "'run 1" + blanks(75) + "' /\n";
  want += "           1\n";
  want += "'bg.kep" + blanks(74) + "'  1 /\n";
  EXPECT_EQ(slurp(".grset"), want);

  Graphics h;
  grinit(h, 5, 6, "qf", "", 0);
  const Grcomn& n = h.n;
  EXPECT_EQ(n.IN01GR, 0);  // "/calc scales" is not taken from the file
  EXPECT_EQ(n.IN14GR, 1);
  EXPECT_EQ(n.LABLGR, 1);
  EXPECT_EQ(n.CMODGR, 3);
  EXPECT_EQ(n.CPARGR, 7);
  EXPECT_EQ(n.NCOLGR, 10);
  EXPECT_EQ(n.NXINGR, 20);
  EXPECT_EQ(n.NYINGR, 15);
  EXPECT_DOUBLE_EQ(n.XORGR, 0);
  EXPECT_FLOAT_EQ(n.XMINGR, 949.5f);  // the world window
  EXPECT_FLOAT_EQ(n.XMAXGR, 1949.5f);
  EXPECT_FLOAT_EQ(n.YMINGR, -20);
  EXPECT_FLOAT_EQ(n.YMAXGR, 730.25f);
  EXPECT_EQ(n.IKEYGR, 2);
  EXPECT_FLOAT_EQ(n.KEYXGR, 5.5f);
  EXPECT_FLOAT_EQ(n.KEYSGR, 1.5f);
  EXPECT_EQ(n.LANGGR, 2);
  EXPECT_FLOAT_EQ(n.VSCLGR, 12.5f);
  EXPECT_EQ(n.VSTPGR, 3);
  EXPECT_EQ(n.SHADGR, 1);
  EXPECT_EQ(h.t.TITLGR, "Rhine's flood" + blanks(67));
  EXPECT_EQ(h.t.TIT2GR, "run 1" + blanks(75));
  EXPECT_EQ(h.t.FIRMGR, "[]" + blanks(78));
  ASSERT_EQ(h.keep.names.size(), 1u);
  EXPECT_EQ(h.keep.names[0], grfix("bg.kep", 80));
  EXPECT_EQ(h.keep.flags[0], 2);
  // Scales follow the window read: 50 * 20 * 0.7865 / 1000.
  EXPECT_NEAR(n.XFACGR, 0.7865f, 1e-6);
  // The same state writes the same file again (the origin now 0), with
  // "/calc scales" now off.
  grwset(h);
  want.replace(want.find(" 1 /calc scales"), 2, " 0");
  EXPECT_EQ(slurp(".grset"), want);
}

// The known settings file with some lines replaced (numbered from 1).
std::string settings_with(const std::map<int, std::string>& edits) {
  std::string r;
  for (int i = 0; i < 27; ++i) {
    auto it = edits.find(i + 1);
    r += (it == edits.end() ? std::string(kKnownSettings[i]) : it->second) + "\n";
  }
  return r + "'a' /\n'b' /\n'c' /\n'd' /\n 0\n";
}

TEST_F(GrState, SettingsFileChecksAsTheyArePassed) {
  spit(".grset", settings_with({{9, " 0   5  25 /color modes"},
                                {18, "         500.00 /xmin"},
                                {19, "         400.00 /xmax"},
                                {22, "        0.00 /symbol factor"},
                                {23, "        0.05 /zoom factor"},
                                {24, "        2.00 /scaling factor"},
                                {25, " 1       -3.00       -1.00   1.0 1 /key"},
                                {26, "        0.01   15  103     0.010 /vectors"}}));
  Graphics g;
  grinit(g, 5, 6, "qf", "", 0);
  const Grcomn& n = g.n;
  EXPECT_EQ(n.CMODGR, 2);   // mode 0 becomes rainbow
  EXPECT_EQ(n.NCOLGR, 19);  // at most 19 classes in modes 0..3
  EXPECT_FLOAT_EQ(n.XMINGR, 500);
  EXPECT_FLOAT_EQ(n.XMAXGR, 501);  // xmax at least xmin + 1
  EXPECT_FLOAT_EQ(n.ZOOMGR, 0.1f);
  EXPECT_FLOAT_EQ(n.SYMFGR, 0.1f);
  EXPECT_FLOAT_EQ(n.SCALGR, 2);
  EXPECT_FLOAT_EQ(n.XSCLGR, 0.7865f * 2);
  EXPECT_FLOAT_EQ(n.YSCLGR, 0.7865f * 2);
  EXPECT_FLOAT_EQ(n.KEYXGR, 0);
  EXPECT_FLOAT_EQ(n.KEYYGR, 0);
  EXPECT_FLOAT_EQ(n.VSCLGR, 0.1f);
  EXPECT_EQ(n.VSTPGR, 10);
  EXPECT_EQ(g.t.TITLGR, "c" + blanks(79));
  EXPECT_TRUE(g.keep.names.empty());
  // The window grows with the scaling factor: 24.5 * 50 * 1.573, 17 * 50 * 1.573.
  EXPECT_EQ(n.WNDWGR[2], 1926);
  EXPECT_EQ(n.WNDWGR[3], 1337);
}

TEST_F(GrState, SettingsFileOtherLimits) {
  // Mode 4 keeps more classes; a vanishing scaling factor means 1; VSTPGR >= 1;
  // a y extent that is not positive grows to 1.
  spit(".grset", settings_with({{9, " 4   5  25 /color modes"},
                                {20, "         100.00 /ymin"},
                                {21, "         100.00 /ymax"},
                                {24, "        0.00 /scaling factor"},
                                {26, "        5.00    0  103     0.010 /vectors"}}));
  Graphics h;
  grinit(h, 5, 6, "qf", "", 0);
  EXPECT_EQ(h.n.CMODGR, 4);
  EXPECT_EQ(h.n.NCOLGR, 25);
  EXPECT_FLOAT_EQ(h.n.SCALGR, 1);
  EXPECT_FLOAT_EQ(h.n.XSCLGR, 0.7865f);
  EXPECT_EQ(h.n.VSTPGR, 1);
  EXPECT_FLOAT_EQ(h.n.YMAXGR, 101);
}

TEST_F(GrState, SettingsFileCutAfterLineTen) {
  spit(".grset",
       "/graphic attributes\n 1 /calc scales\n 0 /dep scaling\n 0 /draw axes\n 1 /draw grid\n"
       " 0 /interactive mode\n 0 /tic spacing centimeters\n 0 /draw no-data values\n"
       "-3   9   8 /color modes\n 1 /single buffered\n");
  Graphics g;
  grinit(g, 5, 6, "qf", "", 0);
  const Grcomn& n = g.n;
  EXPECT_EQ(n.IN01GR, 0);
  EXPECT_EQ(n.IN02GR, 0);
  EXPECT_EQ(n.IN03GR, 0);
  EXPECT_EQ(n.IN04GR, 1);
  EXPECT_EQ(n.IN05GR, 0);
  EXPECT_EQ(n.IN06GR, 0);
  EXPECT_EQ(n.IN07GR, 0);
  EXPECT_EQ(n.CMODGR, -3);
  EXPECT_EQ(n.CPARGR, 9);
  EXPECT_EQ(n.NCOLGR, 8);
  EXPECT_EQ(n.IN09GR, 1);
  // Later members keep what they held before the file was read.
  EXPECT_EQ(n.IN10GR, 1);
  EXPECT_EQ(n.IN14GR, 0);
  EXPECT_EQ(n.NXINGR, 24);
  EXPECT_EQ(n.NYINGR, 18);
  EXPECT_FLOAT_EQ(n.SYMFGR, 0.5f);
  EXPECT_EQ(g.t.TITLGR, "Title" + blanks(75));

  // A line that cannot be read ends the reading there.
  ScratchDir::TearDown();
  ScratchDir::SetUp();
  spit(".grset",
       "/graphic attributes\n 1 /calc scales\n 0 /dep scaling\n x /draw axes\n 1 /draw grid\n");
  Graphics h;
  grinit(h, 5, 6, "qf", "", 0);
  EXPECT_EQ(h.n.IN02GR, 0);
  EXPECT_EQ(h.n.IN03GR, 1);
  EXPECT_EQ(h.n.IN04GR, 0);
}

TEST_F(GrState, SecondStartKeepsTheSettingsAndSmallWindow) {
  {
    Graphics g;
    grinit(g, 5, 6, "qf", "", 0);
    known_settings(g);
    grwset(g);
  }
  Graphics g;
  grinit(g, 5, 6, "qf", "", 1);  // small progress window first
  EXPECT_EQ(g.n.NXINGR, 4);
  EXPECT_EQ(g.n.NYINGR, 3);
  EXPECT_EQ(g.n.WNDWGR[2], 310);
  EXPECT_EQ(g.n.WNDWGR[3], 125);
  EXPECT_FLOAT_EQ(g.n.XORGGR, 10);
  EXPECT_FLOAT_EQ(g.n.YORGGR, 105);
  std::string t = "Changed";
  float v = 0;
  grvalu(g, "TITLGR", 1, v, t);
  spit(".grset", "/graphic attributes\n 1 /calc scales\n 0 /dep scaling\n");
  grinit(g, 5, 6, "qf", "", 0);  // the settings' counts return
  EXPECT_EQ(g.n.NXINGR, 20);
  EXPECT_EQ(g.n.NYINGR, 15);
  EXPECT_EQ(g.n.WNDWGR[2], 963);  // (20 + 4.5) * 50 * 0.7865 = 963.46
  EXPECT_EQ(g.n.WNDWGR[3], 668);  // (15 + 2) * 50 * 0.7865 = 668.5
  EXPECT_EQ(g.n.IN02GR, 1);       // not read again
  EXPECT_EQ(g.t.TITLGR, "Changed" + blanks(73));
}

TEST_F(GrState, ScalesFromTheWindow) {
  Graphics g;
  grinit(g, 5, 6, "qf", "", 0);
  Grcomn& n = g.n;
  n.XMINGR = 0;
  n.XMAXGR = 100;
  n.YMINGR = 0;
  n.YMAXGR = 75;
  grsfac(g);
  EXPECT_FLOAT_EQ(n.XORGGR, 55);
  EXPECT_FLOAT_EQ(n.YORGGR, 751);
  EXPECT_NEAR(n.XFACGR, 50 * 24 * 0.7865 / 100, 1e-4);
  EXPECT_NEAR(n.YFACGR, -50 * 18 * 0.7865 / 75, 1e-4);
  n.XMAXGR = 0;  // an empty extent counts as 0.01
  grsfac(g);
  EXPECT_NEAR(n.XFACGR, 50 * 24 * 0.7865 / 0.01, 1);
  n.XMAXGR = std::numeric_limits<float>::quiet_NaN();
  grsfac(g);
  EXPECT_NEAR(n.XFACGR, 50 * 24 * 0.7865 / 0.01, 1);
  // In a file mode the factors stay, only a vanishing one is raised.
  n.IMODGR = kModeDxf;
  n.XFACGR = 0;
  n.YFACGR = 3;
  grsfac(g);
  EXPECT_FLOAT_EQ(n.XFACGR, 1e-10f);
  EXPECT_FLOAT_EQ(n.YFACGR, 3);
  std::string stamp;
  grtime(g, stamp, 20);
  EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\d\d [A-Z][a-z][a-z] \d{4} \d\d:\d\d:\d\d)")))
      << stamp;
  grtime(g, stamp, 24);
  EXPECT_EQ(stamp.size(), 24u);
  EXPECT_EQ(stamp.substr(20), "    ");
}

TEST_F(GrState, UnsupportedModeStops) {
  Graphics g;
  std::ostringstream os;
  g.out = &os;
  grinit(g, 5, 6, "qf", "", 0);
  for (int mode : {7, 12, -1}) {
    os.str("");
    int r = mode;
    try {
      grmode(g, r);
      FAIL() << mode;
    } catch (const Stop& s) {
      EXPECT_EQ(s.status(), 1);
    }
    if (mode == 7) {
      EXPECT_EQ(os.str(),
                " ***ERROR***Mode not currently supported  (   7.000000    ,   0.000000    )\n");
    }
  }
}

TEST_F(GrState, NoDisplayStopsWithTheFilesClosed) {
  const char* old = std::getenv("DISPLAY");
  const std::string saved = old ? old : "";
  setenv("DISPLAY", ":89.7", 1);  // no server there
  Graphics g;
  std::ostringstream os;
  g.out = &os;
  int status = -1;
  try {
    grinit(g, 5, 9, "qf", "", 0);
  } catch (const Stop& s) {
    status = s.status();
  }
  if (old)
    setenv("DISPLAY", saved.c_str(), 1);
  else
    unsetenv("DISPLAY");
  EXPECT_EQ(status, 1);
  EXPECT_NE(os.str().find(" Cannot open display...aborting"), std::string::npos) << os.str();
  EXPECT_EQ(g.n.IMODGR, 0);
  EXPECT_FALSE(g.files.is_open(g.n.JDV1GR));
}

}  // namespace
}  // namespace qf
