#include "cmdlang/word.h"

#include <algorithm>
#include <cstring>

#include "io/channels.h"

namespace qf {

namespace {

inline bool is_blank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

std::string_view view(std::span<const char> s) {
  return {s.data(), s.size()};
}

// Removes the first n characters of the buffer, shifting the rest left and
// padding with blanks on the right.
void shift_left(std::span<char> text, std::size_t n) {
  if (n == 0) return;
  n = std::min(n, text.size());
  std::memmove(text.data(), text.data() + n, text.size() - n);
  std::memset(text.data() + text.size() - n, ' ', n);
}

bool has_word(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return !is_blank(c); });
}

}  // namespace

int lenbl(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!is_blank(text[i])) return static_cast<int>(i);
  return 0;
}

int lenxt(std::string_view text) {
  const std::size_t n = text.size();
  if (n <= 1) return static_cast<int>(n);
  for (std::size_t i = 0; i + 1 < n; ++i)
    if (!is_blank(text[i]) && is_blank(text[i + 1])) return static_cast<int>(i + 1);
  return static_cast<int>(n);
}

void rrwrd(std::span<char> text, std::span<char> word, int& wordlen) {
  if (!has_word(view(text))) {
    wordlen = 0;
    std::fill(word.begin(), word.end(), ' ');
    return;
  }
  shift_left(text, static_cast<std::size_t>(lenbl(view(text))));
  wordlen = lenxt(view(text));
  const std::size_t k = std::min(static_cast<std::size_t>(wordlen), word.size());
  std::memcpy(word.data(), text.data(), k);
  std::fill(word.begin() + static_cast<std::ptrdiff_t>(k), word.end(), ' ');
}

void rrxwrd(std::span<char> text, std::span<char> word, int& wordlen) {
  rrwrd(text, word, wordlen);
  if (wordlen == 0) return;
  shift_left(text, static_cast<std::size_t>(wordlen));
  shift_left(text, static_cast<std::size_t>(lenbl(view(text))));
  if (!word.empty() && word[0] == '\'') {
    // 'abc' -> abc: the characters between the first and the last one.
    const int inner = std::max(wordlen - 2, 0);
    const std::size_t k =
        std::min(static_cast<std::size_t>(inner), word.size() > 0 ? word.size() - 1 : 0);
    std::memmove(word.data(), word.data() + 1, k);
    std::fill(word.begin() + static_cast<std::ptrdiff_t>(k), word.end(), ' ');
    wordlen = inner;
  }
}

int iinumber(std::string_view text) {
  // A number token is made of digits and "+,-./"; an exponent letter (E, e,
  // D or d) may stand after a digit or point when a digit or sign follows it,
  // as in 1.5e+02.
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  auto exponent = [](char c) { return c == 'e' || c == 'E' || c == 'd' || c == 'D'; };
  int count = 0;
  const std::size_t n = text.size();
  std::size_t start = 0;  // first character of the current token
  for (std::size_t i = 0; i < n; ++i) {
    const char c = text[i];
    if (is_blank(c)) continue;
    if (i == 0 || is_blank(text[i - 1])) {
      ++count;
      start = i;
    }
    if (c >= '+' && c <= '9') continue;
    if (exponent(c) && i > start && (digit(text[i - 1]) || text[i - 1] == '.') && i + 1 < n &&
        (digit(text[i + 1]) || text[i + 1] == '+' || text[i + 1] == '-'))
      continue;
    return count - 1;
  }
  return count;
}

int iilen(std::string_view text, Channels& io) {
  io.line(Channels::screen, " !!iilen obsolet: replace with intrinsic function len_trim");
  std::size_t n = text.size();
  while (n > 0 && text[n - 1] == ' ') --n;
  return static_cast<int>(n);
}

}  // namespace qf
