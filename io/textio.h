// Fixed-width number fields and free-format reading of values.
//
// Every number that reaches a listing, a screen line or a text file goes
// through one of the field formatters below; they follow the Fortran edit
// descriptors the listings are built on:
//   fmt_i(v, w)        Iw    integer right-aligned in w characters
//   fmt_f(v, w, d)     Fw.d  fixed point, d decimals
//   fmt_e(v, w, d, L)  Ew.d  0.ddddE+xx (L = 'E' or 'D')
//   fmt_g(v, w, d)     Gw.d  general: fixed point with d significant digits
//                            when 0.1 <= |v| < 10**d, exponent form otherwise
//   fmt_list(v)              list-directed (free) output of one value
// A value that does not fit its field gives w asterisks, never a wider field.
//
// FreeReader reads values from one line the way list-directed input does:
// values are separated by blanks or commas, a slash ends the values, texts
// may be enclosed in apostrophes (a doubled apostrophe inside stands for
// one), and an empty value between two commas leaves the target unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qf {

std::string fmt_i(long long v, int w);
std::string fmt_f(double v, int w, int d);
std::string fmt_e(double v, int w, int d, char letter = 'E');
std::string fmt_g(double v, int w, int d);
// List-directed output as a Fortran compiler writes it for one item: a
// leading blank separator, integers in a field of 11, single-precision reals
// with 9 significant digits, double-precision with 17.
std::string fmt_list(int v);
std::string fmt_list(float v);
std::string fmt_list(double v);

// Text helpers for the blank-padded fixed-length texts of the system.
std::string pad(std::string_view s, std::size_t n);  // cut or blank-pad to n
std::string_view trim_right(std::string_view s);     // without trailing blanks
// A number field without its leading blanks (the whole field when blank).
std::string bare(const std::string& field);
std::size_t len_trim(std::string_view s);

// Outcome of one free-format read.
enum class ReadStatus {
  ok,     // value read (or left unchanged by an empty value)
  end,    // no value left on the line (end of line or a slash)
  error,  // the next value is not of the requested kind
};

class FreeReader {
 public:
  explicit FreeReader(std::string_view line) : s_(line) {}
  ReadStatus read(int& v);
  ReadStatus read(float& v);
  ReadStatus read(double& v);
  // A text value; an unquoted one ends at a blank, comma or slash. The result
  // is cut to `maxlen` characters when maxlen > 0.
  ReadStatus read(std::string& v, std::size_t maxlen = 0);
  // Position after the last value taken (for callers that read on).
  std::size_t position() const { return pos_; }
  // The offending token of the last failed read, for messages.
  const std::string& bad_token() const { return bad_; }
  // True when the last failed read met a number beyond the range of a
  // 32-bit real (its text is then the bad token).
  bool out_of_range() const { return range_; }
  // Count of numbers taken so far.
  int numbers() const { return numbers_; }
  // The next value still on the line after the values taken: empty when
  // only blanks, a slash (the end of the values) or an output redirection
  // (">" and a file name) follow.
  std::string leftover() const;

 private:
  // Next token: returns false at end; sets `null` for an empty value.
  bool next_token(std::string& tok, bool& null, bool& quoted);
  std::string_view s_;
  std::size_t pos_ = 0;
  bool ended_ = false;  // a slash was met
  bool had_value_ = false;
  int numbers_ = 0;
  bool range_ = false;
  std::string bad_;
};

// A comma written between two digits without a blank ("398,8") is a comma
// separator only where commas alone separate the numbers of the line and
// the line holds no more of them than are read from it (`numbers`, as in
// "110,210" for a vertex). Otherwise it is a decimal comma: the word that
// holds it is returned; empty when the line has none. Quoted words, and
// everything after a slash or a ">" redirection, are not looked at.
std::string decimal_comma(std::string_view line, int numbers);
// The line with the decimal commas of its number words replaced by points.
std::string comma_to_point(std::string_view line);

// Parses a number token as list-directed input does (sign, digits, point,
// exponent letter E, e, D or d, or a bare signed exponent as in 1.5+3).
bool parse_real(std::string_view tok, double& v);
bool parse_int(std::string_view tok, long long& v);
// A 32-bit real: false when the token is no number or lies beyond the range
// of a float (values that round to the largest float are taken).
bool parse_float(std::string_view tok, float& v);
bool to_float(double d, float& v);

}  // namespace qf
