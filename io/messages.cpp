#include "io/messages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <exception>
#include <ostream>

#include "io/stop.h"
#include "io/textio.h"

namespace qf {

namespace {
const std::string kStars(47, '*');
}

void Messages::frame(std::string_view head, std::string_view text, int channel) {
  const std::string said = std::string(head) + std::string(text);
  io_.line(channel);
  io_.line(channel, kStars);
  io_.line(channel, said);
  io_.line(channel, kStars);
  io_.line(channel);
  // The terminal sees every message as well, not only the listing (unless
  // the message went to the screen already).
  if (channel != ch::screen) {
    io_.err() << std::string_view(said).substr(0, len_trim(said)) << '\n';
    io_.err().flush();
  }
}

int Messages::iierr(int kind, std::string_view text, int channel) {
  switch (kind) {
    case 0:
      if (warnings_ + errors_ > 0) {
        io_.line(ch::screen);
        io_.line(ch::screen, " >>warnings" + fmt_i(warnings_, 4) + ", errors" + fmt_i(errors_, 3) +
                                 " ->check output listing");
        io_.line(ch::screen);
      }
      if (errors_ > 0) throw Stop(1, "errors in input");
      warnings_ = 0;
      errors_ = 0;
      return 0;
    case 1:
      ++warnings_;
      frame("**warning: ", text, channel);
      return warnings_;
    case 2:
      ++errors_;
      frame("**error: ", text, channel);
      if (errors_ > 10) {
        io_.line(ch::screen, " >>program aborted after 10 errors");
        throw Stop(1, "more than 10 errors");
      }
      return errors_;
    case 3:
      frame("**fatal error: ", text, channel);
      io_.line(ch::screen, " ***fatal error detected");
      throw Stop(1, std::string(text));
    default:
      return 0;
  }
}

void Messages::iiopn(int channel, std::string& name, int& mode) {
  auto ask = [&](std::string_view prompt) {
    io_.put(ch::screen, prompt);
    io_.flush(ch::screen);
    std::string answer;
    if (io_.read_line(ch::keyboard, answer) != 0) answer.clear();
    name = std::string(trim_right(answer));
  };
  name = std::string(trim_right(name));
  if (name.empty()) ask("Enter filename> ");
  while (!name.empty()) {
    // Leading blanks are not part of a file name typed at the prompt.
    const auto first = name.find_first_not_of(' ');
    if (first == std::string::npos) break;
    name.erase(0, first);
    if (!file_exists(name)) {
      ask(pad(name, 10) + "... not found. Filename> ");
      continue;
    }
    while (mode != 0) {
      if (mode == 1) {
        DirectFile probe;
        std::vector<unsigned char> rec;
        std::int32_t marker = 0, reclen = 0;
        if (probe.open(name, 32, 'r') && probe.read(1, rec)) {
          RecordReader rr(rec);
          rr.i32(marker);
          rr.i32(reclen);
        }
        probe.close();
        if (marker >= -99 && marker <= -90 && reclen > 0 &&
            io_.open_direct(channel, name, static_cast<std::size_t>(reclen), 'r')) {
          mode = reclen;
          return;
        }
        mode = 0;
      } else {
        io_.put(ch::screen, "Direct Access File (Y/n)? ");
        io_.flush(ch::screen);
        std::string answer;
        if (io_.read_line(ch::keyboard, answer) != 0) answer.clear();
        mode = (!answer.empty() && answer[0] == 'n') ? 0 : 1;
      }
    }
    io_.open_read(channel, name);
    return;
  }
}

int Messages::iiout(int kind, std::string_view text, int channel) {
  if (kind == 1) {
    // A series that could not be written whole (a full disk) is an error
    // of the run: each such file is named with the reason.
    int failed = 0;
    const int last = std::min(ch::redirect_first + redirections_ - 1, ch::redirect_last);
    for (int c = ch::redirect_first; c <= last; ++c) {
      const std::string name = io_.path(c);
      const int e = io_.close(c);
      if (e == 0) continue;
      const std::string why = "cannot write output file '" + name + "': " + std::strerror(e);
      iierr(2, why, channel);
      ++failed;
    }
    // Closing while the run unwinds from another stop only reports: that
    // stop keeps its status.
    if (failed > 0 && !std::current_exception()) throw Stop(1, "output files not written");
    return 0;
  }
  if (kind != 0) return 0;
  const auto gt = text.rfind('>');
  if (gt == std::string_view::npos) return 0;
  FreeReader fr(text.substr(gt + 1));
  std::string name;
  // The name is opened at once, so it may be as long as the line allows.
  const ReadStatus st = fr.read(name, 128);
  if (st == ReadStatus::error) {
    iierr(1, "wrong format of output file name", channel);
    return 0;
  }
  name = std::string(trim_right(name));
  if (st == ReadStatus::end || name.empty()) return 0;
  io_.line(ch::screen, (file_exists(name) ? " >overwriting '" : " >opening '") + name + "'");
  ++redirections_;
  const int c = ch::redirect_first - 1 + redirections_;
  if (c > ch::redirect_last) {
    iierr(1, "exceeding unit number, ignored", channel);
    return 0;
  }
  // The file is created when the run starts, so that a run that stops on
  // its input leaves the series of the last run as it was.
  if (!io_.open_write_held(c, name)) {
    // The run would lose the series: an error, so that the run stops after
    // its input is read and before the first step.
    const std::string why =
        "cannot create output file '" + name + "': " + std::strerror(errno != 0 ? errno : EIO);
    iierr(2, why, channel);
    return 0;
  }
  return c;
}

void iitim(std::string& text) {
  if (text.size() < 20) text.resize(20, ' ');
  std::time_t now = std::time(nullptr);
  char buf[64];
  // ctime form: "Www Mmm dd hh:mm:ss yyyy\n"
  const char* c = ctime_r(&now, buf);
  if (!c) return;
  const std::string s(c);
  if (s.size() < 24) return;
  const std::string out =
      s.substr(8, 2) + " " + s.substr(4, 3) + " " + s.substr(20, 4) + " " + s.substr(11, 8);
  text.replace(0, 20, out);
}

}  // namespace qf
