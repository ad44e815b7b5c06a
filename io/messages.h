// Message service: framed warnings, errors and fatal errors with their
// counters and abort rules, the input summary, opening of input files with a
// re-prompt, output redirection of single items to their own files, and the
// date-and-time text of the listing header.
#pragma once

#include <string>
#include <string_view>

#include "io/channels.h"

namespace qf {

// Fixed channel numbers of the model.
namespace ch {
inline constexpr int keyboard = 5;
inline constexpr int screen = 6;
inline constexpr int command = 8;
inline constexpr int listing = 9;
inline constexpr int result = 10;
inline constexpr int aux = 11;
inline constexpr int redirect_first = 20;
inline constexpr int redirect_last = 44;
inline constexpr int include_first = 45;
inline constexpr int table_include_first = 51;
}  // namespace ch

class Messages {
 public:
  explicit Messages(Channels& io) : io_(io) {}

  // kind 0 summary, 1 warning, 2 error, 3 fatal error (throws Stop).
  int iierr(int kind, std::string_view text, int channel);
  // Opens an existing file on `channel`; see the mode rules in the .cpp.
  // `name` may be replaced by what the user types. Returns with the channel
  // not open when the user gives a blank name.
  void iiopn(int channel, std::string& name, int& mode);
  // kind 0: open the file named after the last '>' of `text`, return its
  // channel or 0; kind 1: close all redirection files.
  int iiout(int kind, std::string_view text, int channel);

  int warnings() const { return warnings_; }
  int errors() const { return errors_; }
  int redirections() const { return redirections_; }

 private:
  void frame(std::string_view head, std::string_view text, int channel);
  Channels& io_;
  int warnings_ = 0;
  int errors_ = 0;
  int redirections_ = 0;
};

// Date and time as "dd Mon yyyy hh:mm:ss" (20 characters) into the first 20
// characters of `text` (padded to 20 when shorter).
void iitim(std::string& text);

}  // namespace qf
