// A run-time stop: the 11th error, a fatal error, a missing display, an
// unreadable input value. Thrown wherever the run must end and caught in
// main, so that every open file is closed on the way out and tests can
// assert on the stop and its exit status.
#pragma once

#include <stdexcept>
#include <string>

namespace qf {

class Stop : public std::runtime_error {
 public:
  explicit Stop(int status, const std::string& why = "")
      : std::runtime_error(why), status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

}  // namespace qf
