#include "io/textio.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace qf {

namespace {

std::string stars(int w) {
  return std::string(w > 0 ? w : 0, '*');
}

std::string right(const std::string& s, int w) {
  if (static_cast<int>(s.size()) > w) return stars(w);
  return std::string(w - s.size(), ' ') + s;
}

// Digits of |v| rounded to d decimals, with the decimal point (and a
// trailing point when d is 0), and the sign when the value is negative.
// (std::to_chars gives the digits printf's "%.*f" gives, without its
// format parsing: grids of millions of values are written this way.)
std::string fixed_text(double v, int d) {
  char buf[512];
  if (std::fabs(v) >= 1e300) return std::string(400, '*');
  const auto r = std::to_chars(buf, buf + sizeof buf - 1, v, std::chars_format::fixed, d);
  std::string s(buf, r.ec == std::errc{} ? r.ptr : buf);
  if (d == 0) s += '.';
  return s;
}

// Decimal exponent of |v| after rounding to `digits` significant digits, as
// the exponent of the 0.ddd form (0.1 <= mantissa < 1). Zero gives 0.
int exponent_after_rounding(double v, int digits) {
  if (v == 0.0 || !std::isfinite(v)) return 0;  // "inf" and "nan" have no exponent
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", digits - 1, std::fabs(v));
  const char* e = std::strchr(buf, 'e');
  return std::atoi(e + 1) + 1;
}

}  // namespace

std::string fmt_i(long long v, int w) {
  return right(std::to_string(v), w);
}

std::string fmt_f(double v, int w, int d) {
  if (!std::isfinite(v))
    return right(std::isnan(v) ? "NaN" : (v > 0 ? "Infinity" : "-Infinity"), w);
  std::string s = fixed_text(v, d);
  if (static_cast<int>(s.size()) > w) {
    // The optional leading zero goes first.
    if (s.rfind("0.", 0) == 0)
      s.erase(0, 1);
    else if (s.rfind("-0.", 0) == 0)
      s.erase(1, 1);
  }
  return right(s, w);
}

std::string fmt_e(double v, int w, int d, char letter) {
  if (!std::isfinite(v))
    return right(std::isnan(v) ? "NaN" : (v > 0 ? "Infinity" : "-Infinity"), w);
  int e = 0;
  std::string digits;
  if (v != 0.0) {
    char buf[128];
    // d significant digits: x.yyyE+zz with d-1 decimals, then shift to 0.xyyy.
    std::snprintf(buf, sizeof buf, "%.*e", d > 0 ? d - 1 : 0, std::fabs(v));
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
      if (*p != '.') digits += *p;
    e = std::atoi(p + 1) + 1;
  } else {
    digits.assign(d, '0');
  }
  if (d == 0) digits.clear();
  std::string exp;
  const int ae = std::abs(e);
  if (ae <= 99) {
    char b[8];
    std::snprintf(b, sizeof b, "%c%c%02d", letter, e < 0 ? '-' : '+', ae);
    exp = b;
  } else if (ae <= 999) {
    char b[8];
    std::snprintf(b, sizeof b, "%c%03d", e < 0 ? '-' : '+', ae);
    exp = b;
  } else {
    return stars(w);
  }
  const bool neg = std::signbit(v) && v != 0.0;
  std::string s = std::string(neg ? "-" : "") + "0." + digits + exp;
  if (static_cast<int>(s.size()) > w) s = std::string(neg ? "-" : "") + "." + digits + exp;
  return right(s, w);
}

std::string fmt_g(double v, int w, int d) {
  if (!std::isfinite(v)) return fmt_f(v, w, d);
  const int e = exponent_after_rounding(v, d);
  if (v == 0.0 || (e >= 0 && e <= d)) {
    // 0.1 <= |v| < 10**d after rounding: fixed point in w-4 plus 4 blanks.
    const int decimals = v == 0.0 ? d - 1 : d - e;
    if (decimals >= 0) return fmt_f(v, w - 4, decimals) + "    ";
  }
  return fmt_e(v, w, d);
}

std::string fmt_list(int v) {
  return " " + fmt_i(v, 11);
}

std::string fmt_list(float f) {
  const double v = f;
  const int e = exponent_after_rounding(v, 9);
  if (v == 0.0) return " " + fmt_f(0.0, 12, 8) + "    ";
  if (std::isfinite(v) && e >= 0 && e <= 9) return " " + fmt_f(v, 12, 9 - e) + "    ";
  // Scaled exponent form d.dddddddd E+xx.
  if (!std::isfinite(v)) return " " + fmt_f(v, 16, 0);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.8E", v);
  return " " + right(buf, 16);
}

std::string fmt_list(double v) {
  const int e = exponent_after_rounding(v, 17);
  if (v == 0.0) return " " + fmt_f(0.0, 21, 16) + "    ";
  if (std::isfinite(v) && e >= 0 && e <= 17) return " " + fmt_f(v, 21, 17 - e) + "    ";
  if (!std::isfinite(v)) return " " + fmt_f(v, 25, 0);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.16E", v);
  return " " + right(buf, 25);
}

std::string pad(std::string_view s, std::size_t n) {
  std::string r(s.substr(0, n));
  r.resize(n, ' ');
  return r;
}

std::string_view trim_right(std::string_view s) {
  return s.substr(0, len_trim(s));
}

std::size_t len_trim(std::string_view s) {
  std::size_t n = s.size();
  while (n > 0 && s[n - 1] == ' ') --n;
  return n;
}

bool parse_real(std::string_view tok, double& v) {
  if (tok.empty() || tok.size() > 200) return false;
  std::string t(tok);
  std::size_t i = 0;
  if (t[i] == '+' || t[i] == '-') ++i;
  bool digits = false;
  while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, digits = true;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, digits = true;
  }
  if (!digits) return false;
  if (i < t.size()) {
    // Exponent: a letter E/D (either case) with optional sign, or a bare sign.
    std::size_t j = i;
    if (t[j] == 'e' || t[j] == 'E' || t[j] == 'd' || t[j] == 'D') {
      t[j] = 'e';
      ++j;
    } else if (t[j] == '+' || t[j] == '-') {
      t.insert(j, 1, 'e');
      ++j;
    } else {
      return false;
    }
    if (j < t.size() && (t[j] == '+' || t[j] == '-')) ++j;
    bool ed = false;
    while (j < t.size() && std::isdigit(static_cast<unsigned char>(t[j]))) ++j, ed = true;
    if (!ed || j != t.size()) return false;
  }
  errno = 0;
  char* end = nullptr;
  v = std::strtod(t.c_str(), &end);
  return end == t.c_str() + t.size();
}

bool parse_int(std::string_view tok, long long& v) {
  if (tok.empty() || tok.size() > 30) return false;
  std::size_t i = 0;
  if (tok[0] == '+' || tok[0] == '-') i = 1;
  if (i == tok.size()) return false;
  for (std::size_t j = i; j < tok.size(); ++j)
    if (!std::isdigit(static_cast<unsigned char>(tok[j]))) return false;
  std::string t(tok);
  errno = 0;
  v = std::strtoll(t.c_str(), nullptr, 10);
  return errno == 0;
}

bool FreeReader::next_token(std::string& tok, bool& null, bool& quoted) {
  tok.clear();
  null = false;
  quoted = false;
  if (ended_) return false;
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  // Skip blanks; one comma after a value is a separator, a further comma
  // (or a leading comma) stands for an empty value.
  while (pos_ < s_.size() && blank(s_[pos_])) ++pos_;
  if (pos_ < s_.size() && s_[pos_] == ',') {
    if (had_value_) {
      ++pos_;
      while (pos_ < s_.size() && blank(s_[pos_])) ++pos_;
      had_value_ = false;
    }
    if (pos_ < s_.size() && s_[pos_] == ',') {
      ++pos_;
      null = true;
      had_value_ = false;
      return true;
    }
  }
  if (pos_ >= s_.size()) return false;
  if (s_[pos_] == '/') {
    ended_ = true;
    return false;
  }
  if (s_[pos_] == '\'' || s_[pos_] == '"') {
    const char q = s_[pos_++];
    quoted = true;
    while (pos_ < s_.size()) {
      if (s_[pos_] == q) {
        if (pos_ + 1 < s_.size() && s_[pos_ + 1] == q) {
          tok += q;
          pos_ += 2;
          continue;
        }
        ++pos_;
        break;
      }
      tok += s_[pos_++];
    }
  } else {
    while (pos_ < s_.size() && !blank(s_[pos_]) && s_[pos_] != ',' && s_[pos_] != '/')
      tok += s_[pos_++];
  }
  had_value_ = true;
  return true;
}

ReadStatus FreeReader::read(double& v) {
  std::string tok;
  bool null = false, quoted = false;
  if (!next_token(tok, null, quoted)) return ReadStatus::end;
  if (null) return ReadStatus::ok;
  double x;
  if (quoted || !parse_real(tok, x)) {
    bad_ = tok;
    return ReadStatus::error;
  }
  v = x;
  ++numbers_;
  return ReadStatus::ok;
}

std::string FreeReader::leftover() const {
  FreeReader rest = *this;
  std::string tok;
  bool null = false, quoted = false;
  if (!rest.next_token(tok, null, quoted)) return {};
  if (!quoted && !tok.empty() && tok[0] == '>') return {};
  return null ? std::string(",") : tok;
}

namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Count of the comma-separated numbers of a word; 0 when a part of it is
// no number.
int comma_numbers(std::string_view w) {
  int n = 0;
  for (;;) {
    const std::size_t c = w.find(',');
    double v = 0.0;
    if (!parse_real(w.substr(0, c), v)) return 0;
    ++n;
    if (c == std::string_view::npos) return n;
    w.remove_prefix(c + 1);
  }
}

bool glued_comma(std::string_view w) {
  for (std::size_t i = 1; i + 1 < w.size(); ++i)
    if (w[i] == ',' && is_digit(w[i - 1]) && is_digit(w[i + 1])) return true;
  return false;
}

// Calls f(word) for each blank-separated word of the values of a line.
template <class F>
void each_value_word(std::string_view line, F f) {
  std::size_t i = 0;
  for (;;) {
    while (i < line.size() && static_cast<unsigned char>(line[i]) <= ' ') ++i;
    if (i >= line.size() || line[i] == '/' || line[i] == '>') return;
    const std::size_t start = i;
    while (i < line.size() && static_cast<unsigned char>(line[i]) > ' ' && line[i] != '/') ++i;
    const std::string_view w = line.substr(start, i - start);
    if (w[0] != '\'' && w[0] != '"') f(w);
  }
}

}  // namespace

std::string decimal_comma(std::string_view line, int numbers) {
  std::string_view found;
  int words = 0, count = 0;
  each_value_word(line, [&](std::string_view w) {
    const int n = comma_numbers(w);
    if (n == 0) return;
    ++words;
    count += n;
    if (found.empty() && glued_comma(w)) found = w;
  });
  if (found.empty() || (words == 1 && count <= numbers)) return {};
  return std::string(found);
}

std::string comma_to_point(std::string_view line) {
  std::string s(line);
  each_value_word(line, [&](std::string_view w) {
    if (comma_numbers(w) == 0) return;
    const std::size_t at = static_cast<std::size_t>(w.data() - line.data());
    for (std::size_t i = 1; i + 1 < w.size(); ++i)
      if (w[i] == ',' && is_digit(w[i - 1]) && is_digit(w[i + 1])) s[at + i] = '.';
  });
  return s;
}

bool to_float(double d, float& v) {
  // Values up to half a unit in the last place above the largest float
  // round to it (GDAL's no-data value -3.4028234663852886e+38 and its
  // 9-digit form -3.40282347e+38 both give -FLT_MAX); beyond that a value
  // would become infinite.
  static const double limit =
      static_cast<double>(std::numeric_limits<float>::max()) + std::ldexp(1.0, 103);
  if (std::isfinite(d) && std::fabs(d) >= limit) return false;
  v = static_cast<float>(d);
  return true;
}

bool parse_float(std::string_view tok, float& v) {
  double d = 0.0;
  return parse_real(tok, d) && to_float(d, v);
}

ReadStatus FreeReader::read(float& v) {
  double d = v;
  const std::size_t from = pos_;
  const ReadStatus s = read(d);
  if (s == ReadStatus::ok && !to_float(d, v)) {
    // The number as written, for messages.
    std::string_view t = s_.substr(from, pos_ - from);
    while (!t.empty() && (static_cast<unsigned char>(t.front()) <= ' ' || t.front() == ','))
      t.remove_prefix(1);
    bad_ = std::string(t);
    range_ = true;
    --numbers_;
    return ReadStatus::error;
  }
  return s;
}

ReadStatus FreeReader::read(int& v) {
  std::string tok;
  bool null = false, quoted = false;
  if (!next_token(tok, null, quoted)) return ReadStatus::end;
  if (null) return ReadStatus::ok;
  long long x;
  if (quoted || !parse_int(tok, x) || x < -2147483648LL || x > 2147483647LL) {
    bad_ = tok;
    return ReadStatus::error;
  }
  v = static_cast<int>(x);
  ++numbers_;
  return ReadStatus::ok;
}

ReadStatus FreeReader::read(std::string& v, std::size_t maxlen) {
  std::string tok;
  bool null = false, quoted = false;
  if (!next_token(tok, null, quoted)) return ReadStatus::end;
  if (null) return ReadStatus::ok;
  if (maxlen > 0 && tok.size() > maxlen) tok.resize(maxlen);
  v = tok;
  return ReadStatus::ok;
}

std::string bare(const std::string& field) {
  const std::size_t p = field.find_first_not_of(' ');
  return p == std::string::npos ? field : field.substr(p);
}

}  // namespace qf
