// Word reader: primitives that split fixed-length, blank-padded line buffers
// into words in place. A blank for word splitting is any character with code
// 32 or less (blank, tab, carriage return, NUL and the other control
// characters); a word is a maximal run of characters above 32. Bytes above
// 127 count as word characters.
#pragma once

#include <span>
#include <string_view>

namespace qf {

class Channels;

// Number of leading blanks before the first word character; 0 when the buffer
// holds no word character at all.
int lenbl(std::string_view text);
// Position (from 1) of the last character of the first word when the buffer
// starts with a word; the buffer length when no word ends inside the buffer.
int lenxt(std::string_view text);
// First word: removes the leading blanks from `text` (shifting left, padding
// with blanks) and copies the first word into `word` (blank-padded or cut to
// its length). `wordlen` is the full length of the word, 0 when there is none.
void rrwrd(std::span<char> text, std::span<char> word, int& wordlen);
// Like rrwrd, then removes the word and the blanks after it from `text`, so
// that the buffer starts with the next word. A word starting with an
// apostrophe loses its first and last character (wordlen - 2, not below 0).
void rrxwrd(std::span<char> text, std::span<char> word, int& wordlen);
// Count of leading number tokens: tokens made of "+,-./" and digits, with an
// exponent letter allowed between a digit (or point) and a digit or sign.
int iinumber(std::string_view text);
// Trimmed length (trailing blanks); also writes a note to the screen.
int iilen(std::string_view text, Channels& io);

}  // namespace qf
