#include "io/textio.h"

#include <gtest/gtest.h>

#include <limits>

namespace qf {
namespace {

TEST(NumberFields, Integer) {
  EXPECT_EQ(fmt_i(8000, 6), "  8000");
  EXPECT_EQ(fmt_i(-1234, 5), "-1234");
  EXPECT_EQ(fmt_i(-1234, 3), "***");
  EXPECT_EQ(fmt_i(0, 4), "   0");
  EXPECT_EQ(fmt_i(123456, 6), "123456");
  EXPECT_EQ(fmt_i(1234567, 6), "******");
}

TEST(NumberFields, FixedPoint) {
  EXPECT_EQ(fmt_f(0.5, 8, 3), "   0.500");
  EXPECT_EQ(fmt_f(0.5, 4, 3), ".500");  // the leading zero gives way
  EXPECT_EQ(fmt_f(-0.5, 5, 3), "-.500");
  EXPECT_EQ(fmt_f(-0.0001, 6, 3), "-0.000");  // sign of a small negative kept
  EXPECT_EQ(fmt_f(2.345f, 6, 2), "  2.35");   // float 2.345 is 2.34500003
  EXPECT_EQ(fmt_f(12345.0, 6, 2), "******");
  EXPECT_EQ(fmt_f(12.0, 4, 0), " 12.");
  EXPECT_EQ(fmt_f(0.0, 4, 0), "  0.");
  EXPECT_EQ(fmt_f(0.125, 5, 2), " 0.12");  // exact ties round to even
  EXPECT_EQ(fmt_f(0.375, 5, 2), " 0.38");
  EXPECT_EQ(fmt_f(2.5, 3, 0), " 2.");
  EXPECT_EQ(fmt_f(3.5, 3, 0), " 4.");
  EXPECT_EQ(fmt_f(8.0, 7, 1), "    8.0");
  EXPECT_EQ(fmt_f(-9.0e20, 12, 1), "************");
  EXPECT_EQ(fmt_f(0.0333f, 8, 3), "   0.033");
  EXPECT_EQ(fmt_f(1.0e300, 10, 2), "**********");
}

TEST(NumberFields, Exponent) {
  EXPECT_EQ(fmt_e(12345.678, 12, 4), "  0.1235E+05");
  EXPECT_EQ(fmt_e(-0.00012345, 12, 4), " -0.1234E-03");
  EXPECT_EQ(fmt_e(0.0, 10, 3), " 0.000E+00");
  EXPECT_EQ(fmt_e(1.0e200, 12, 4, 'D'), "  0.1000+201");
  EXPECT_EQ(fmt_e(1.0, 12, 4, 'D'), "  0.1000D+01");
  EXPECT_EQ(fmt_e(-1.0, 9, 3), "-.100E+01");
  EXPECT_EQ(fmt_e(-1.0, 8, 3), "********");
}

TEST(NumberFields, General) {
  EXPECT_EQ(fmt_g(1.01e-6f, 10, 3), " 0.101E-05");
  EXPECT_EQ(fmt_g(1.5, 10, 3), "  1.50    ");
  EXPECT_EQ(fmt_g(0.1f, 10, 3), " 0.100    ");
  EXPECT_EQ(fmt_g(999.9, 10, 3), " 0.100E+04");
  EXPECT_EQ(fmt_g(0.0, 10, 3), "  0.00    ");
  EXPECT_EQ(fmt_g(12345.0, 10, 3), " 0.123E+05");
  EXPECT_EQ(fmt_g(0.09996, 10, 3), " 0.100    ");  // rounds into the fixed range
  EXPECT_EQ(fmt_g(-2.5, 10, 3), " -2.50    ");
}

TEST(NumberFields, ListDirected) {
  EXPECT_EQ(fmt_list(12), "          12");
  EXPECT_EQ(fmt_list(1.0f), "   1.00000000    ");
  EXPECT_EQ(fmt_list(3.5e10f), "   3.50000005E+10");
  EXPECT_EQ(fmt_list(1.0e-6f), "   9.99999997E-07");
  EXPECT_EQ(fmt_list(0.1f), "  0.100000001    ");
  EXPECT_EQ(fmt_list(-2.5f), "  -2.50000000    ");
  EXPECT_EQ(fmt_list(123456789.0f), "   123456792.    ");
  EXPECT_EQ(fmt_list(0.0f), "   0.00000000    ");
  EXPECT_EQ(fmt_list(1.0e7f), "   10000000.0    ");
  EXPECT_EQ(fmt_list(1.0e9f), "   1.00000000E+09");
  // Values that are not finite numbers have no exponent to round to.
  EXPECT_EQ(fmt_list(std::numeric_limits<float>::infinity()), "         Infinity");
  EXPECT_EQ(fmt_list(std::numeric_limits<double>::quiet_NaN()), std::string(23, ' ') + "NaN");
}

TEST(FixedTexts, PadAndTrim) {
  EXPECT_EQ(pad("abc", 5), "abc  ");
  EXPECT_EQ(pad("abcdef", 3), "abc");
  EXPECT_EQ(trim_right("ab c   "), "ab c");
  EXPECT_EQ(len_trim("   "), 0u);
}

TEST(FreeFormat, NumbersSeparatedByBlanksAndCommas) {
  FreeReader fr("  1.5, -2 3e2\t4.0d1 ,5");
  float a = 0, c = 0;
  int b = 0;
  double d = 0, e = 0;
  EXPECT_EQ(fr.read(a), ReadStatus::ok);
  EXPECT_EQ(fr.read(b), ReadStatus::ok);
  EXPECT_EQ(fr.read(c), ReadStatus::ok);
  EXPECT_EQ(fr.read(d), ReadStatus::ok);
  EXPECT_EQ(fr.read(e), ReadStatus::ok);
  EXPECT_FLOAT_EQ(a, 1.5f);
  EXPECT_EQ(b, -2);
  EXPECT_FLOAT_EQ(c, 300.0f);
  EXPECT_DOUBLE_EQ(d, 40.0);
  EXPECT_DOUBLE_EQ(e, 5.0);
  EXPECT_EQ(fr.read(e), ReadStatus::end);
}

TEST(FreeFormat, SlashEndsAndEmptyValuesKeepTargets) {
  FreeReader fr("7,,9 / 10");
  float a = -1, b = -1, c = -1, d = -1;
  EXPECT_EQ(fr.read(a), ReadStatus::ok);
  EXPECT_EQ(fr.read(b), ReadStatus::ok);  // empty value
  EXPECT_EQ(fr.read(c), ReadStatus::ok);
  EXPECT_EQ(fr.read(d), ReadStatus::end);
  EXPECT_FLOAT_EQ(a, 7);
  EXPECT_FLOAT_EQ(b, -1);
  EXPECT_FLOAT_EQ(c, 9);
  EXPECT_FLOAT_EQ(d, -1);
}

TEST(FreeFormat, BadValuesAreErrorsNotZero) {
  float f = 3;
  int i = 4;
  FreeReader a("abc");
  EXPECT_EQ(a.read(f), ReadStatus::error);
  EXPECT_EQ(a.bad_token(), "abc");
  EXPECT_FLOAT_EQ(f, 3);
  FreeReader b("1.5");
  EXPECT_EQ(b.read(i), ReadStatus::error);  // no real where an integer is due
  FreeReader c("1e");
  EXPECT_EQ(c.read(f), ReadStatus::error);
  FreeReader d("1e99");
  EXPECT_EQ(d.read(f), ReadStatus::error);  // beyond single precision
  FreeReader e("99999999999");
  EXPECT_EQ(e.read(i), ReadStatus::error);
  FreeReader g("");
  EXPECT_EQ(g.read(f), ReadStatus::end);
  FreeReader h("1.5+3");  // exponent without its letter
  EXPECT_EQ(h.read(f), ReadStatus::ok);
  EXPECT_FLOAT_EQ(f, 1500.0f);
}

TEST(FreeFormat, PlusSignsExponentsAndTheLargestFloat) {
  FreeReader fr("+2 1.5e+02 -3.4028234663852886e+38 -3.40282347e+38 3.5e38 +.5D1");
  float v[6] = {};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(fr.read(v[i]), ReadStatus::ok) << i;
  EXPECT_EQ(v[0], 2.0f);
  EXPECT_EQ(v[1], 150.0f);
  EXPECT_EQ(v[2], -std::numeric_limits<float>::max());
  EXPECT_EQ(v[3], v[2]);                        // rounds to the same float
  EXPECT_EQ(fr.read(v[4]), ReadStatus::error);  // beyond the range of a float
  double d = 0;
  EXPECT_EQ(fr.read(d), ReadStatus::ok);
  EXPECT_EQ(d, 5.0);
}

TEST(FreeFormat, QuotedAndPlainTexts) {
  FreeReader fr("'my file.asc' next,'it''s' plain/rest");
  std::string a, b, c, d, e;
  EXPECT_EQ(fr.read(a), ReadStatus::ok);
  EXPECT_EQ(fr.read(b), ReadStatus::ok);
  EXPECT_EQ(fr.read(c), ReadStatus::ok);
  EXPECT_EQ(fr.read(d), ReadStatus::ok);
  EXPECT_EQ(fr.read(e), ReadStatus::end);
  EXPECT_EQ(a, "my file.asc");
  EXPECT_EQ(b, "next");
  EXPECT_EQ(c, "it's");
  EXPECT_EQ(d, "plain");
  FreeReader cut("abcdefgh");
  EXPECT_EQ(cut.read(a, 4), ReadStatus::ok);
  EXPECT_EQ(a, "abcd");
}

}  // namespace
}  // namespace qf
