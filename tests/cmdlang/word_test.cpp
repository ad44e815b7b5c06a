#include "cmdlang/word.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "io/channels.h"
#include "io/textio.h"

namespace qf {
namespace {

std::string buf(std::string_view s, std::size_t n = 20) {
  return pad(s, n);
}

TEST(WordReader, LeadingBlanksAndEndOfFirstWord) {
  EXPECT_EQ(lenbl("   abc  def"), 3);
  EXPECT_EQ(lenbl("abc"), 0);
  EXPECT_EQ(lenbl("      "), 0);  // no word at all
  EXPECT_EQ(lenbl("\t\r x"), 3);
  EXPECT_EQ(lenxt("abc  def"), 3);
  EXPECT_EQ(lenxt("abc\tdef"), 3);
  EXPECT_EQ(lenxt("abcdef"), 6);  // no word end inside: the full length
  EXPECT_EQ(lenxt(" abc"), 4);    // first word-then-blank position counts from 1
  EXPECT_EQ(lenxt(""), 0);
  EXPECT_EQ(lenxt("x"), 1);
  EXPECT_EQ(lenxt(" "), 1);
}

TEST(WordReader, FirstWordKeepsItAndNextWordConsumesIt) {
  std::string text = buf("   abc  def");
  std::string word(8, '#');
  int n = -1;
  rrwrd(text, word, n);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(word, "abc     ");
  EXPECT_EQ(text, buf("abc  def"));

  text = buf("   abc  def");
  rrxwrd(text, word, n);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(word, "abc     ");
  EXPECT_EQ(text, buf("def"));
  rrxwrd(text, word, n);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(word, "def     ");
  EXPECT_EQ(text, buf(""));
  rrxwrd(text, word, n);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(word, "        ");
  EXPECT_EQ(text, buf(""));
}

TEST(WordReader, ApostrophesMarkButDoNotProtectBlanks) {
  std::string text = buf("'abc' x");
  std::string word(8, ' ');
  int n = 0;
  rrxwrd(text, word, n);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(word, "abc     ");
  EXPECT_EQ(text, buf("x"));

  text = buf("'a b'");
  rrxwrd(text, word, n);
  EXPECT_EQ(n, 0);  // 'a loses both characters
  EXPECT_EQ(word, "        ");
  EXPECT_EQ(text, buf("b'"));

  text = buf("' z");
  rrxwrd(text, word, n);
  EXPECT_EQ(n, 0);  // a lone apostrophe is an empty word
  EXPECT_EQ(text, buf("z"));
}

TEST(WordReader, WordCutToItsBufferButLengthIsFull) {
  std::string text = buf("abcdefghij k");
  std::string word(4, ' ');
  int n = 0;
  rrxwrd(text, word, n);
  EXPECT_EQ(n, 10);
  EXPECT_EQ(word, "abcd");
  EXPECT_EQ(text, buf("k"));
  // The quoted form of a word longer than its buffer stays inside the buffer.
  text = buf("'abcdefgh'");
  rrxwrd(text, word, n);
  EXPECT_EQ(n, 8);
  EXPECT_EQ(word, "abc ");
}

TEST(WordReader, ControlCharactersAndHighBytes) {
  // Tabs, carriage returns and NUL separate words like blanks.
  std::string text("\tnx\r\0 5\n", 8);
  std::string word(8, ' ');
  int n = 0;
  rrxwrd(text, word, n);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(word.substr(0, 2), "nx");
  rrxwrd(text, word, n);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(word[0], '5');
  // A buffer of control characters only holds no word.
  text = std::string("\t\r\0\x01", 4);
  rrwrd(text, word, n);
  EXPECT_EQ(n, 0);
  // Bytes above 127 belong to words.
  text = buf("\xE9t\xE9 x");
  rrxwrd(text, word, n);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(word.substr(0, 3), "\xE9t\xE9");
  // An empty buffer.
  std::string empty;
  rrxwrd(empty, word, n);
  EXPECT_EQ(n, 0);
}

TEST(WordReader, NumberCountStopsAtTheFirstNonNumberToken) {
  EXPECT_EQ(iinumber("1.5 -2 3"), 3);
  EXPECT_EQ(iinumber("1 2 abc 4"), 2);
  // Exponent forms are numbers; a letter elsewhere is not.
  EXPECT_EQ(iinumber("1.0e3 2"), 2);
  EXPECT_EQ(iinumber("1.5e+02 -3.4028234663852886e+38 +7 2.D-3 5.E1"), 5);
  EXPECT_EQ(iinumber("1 e5"), 1);
  EXPECT_EQ(iinumber("1 1e"), 1);
  EXPECT_EQ(iinumber("1 1ee5"), 1);
  EXPECT_EQ(iinumber("1 1x5"), 1);
  EXPECT_EQ(iinumber("  +1,2 /  -.5\t7\r"), 4);
  EXPECT_EQ(iinumber(""), 0);
  EXPECT_EQ(iinumber("     "), 0);
  EXPECT_EQ(iinumber("3 4*5"), 1);  // "*" lies below "+"
  EXPECT_EQ(iinumber("3 4:"), 1);   // ":" lies above "9"
  EXPECT_EQ(iinumber("3 \xB5"), 1);
}

TEST(WordReader, TrimmedLengthWithItsNote) {
  std::istringstream kb;
  std::ostringstream scr, err;
  Channels io(kb, scr, err);
  EXPECT_EQ(iilen("ab c   ", io), 4);
  EXPECT_EQ(iilen("", io), 0);
  EXPECT_EQ(scr.str(),
            " !!iilen obsolet: replace with intrinsic function len_trim\n"
            " !!iilen obsolet: replace with intrinsic function len_trim\n");
}

}  // namespace
}  // namespace qf
