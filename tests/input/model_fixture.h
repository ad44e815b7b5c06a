// Runs the command-file input on a command file written into a scratch
// directory and gives access to the listing and the screen.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>

#include "cmdlang/reader.h"
#include "input/input.h"
#include "io/channels.h"
#include "io/messages.h"
#include "io/stop.h"
#include "model/state.h"

namespace qf::test {

class InputRun {
 public:
  InputRun() {
    static int counter = 0;
    dir_ = std::filesystem::temp_directory_path() /
           ("qfm" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(dir_);
  }
  ~InputRun() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  void write(const std::string& name, const std::string& text) const {
    std::ofstream(path(name)) << text;
  }

  // Reads `text` as the command file "dain"; a Stop is passed on after the
  // listing is closed.
  void run(const std::string& text) {
    write("dain", text);
    ASSERT_TRUE(io.open_read(ch::command, path("dain")));
    ASSERT_TRUE(io.open_write(ch::listing, path("out")));
    try {
      inrea(m, io, msg, rd, st);
    } catch (...) {
      io.close(ch::listing);
      throw;
    }
    io.close(ch::listing);
  }

  // The listing with the date of its header replaced by "DATE".
  std::string listing() const {
    std::ifstream in(path("out"));
    std::stringstream ss;
    ss << in.rdbuf();
    static const std::regex date("/OUTPUT [ 0-9]{2} [A-Z][a-z]{2} [0-9]{4} [0-9]{2}:[0-9]{2}/");
    return std::regex_replace(ss.str(), date, "/OUTPUT DATE/");
  }

  std::string screen() const { return scr.str(); }

  float a(int row) const { return m.coin.table_a[static_cast<std::size_t>(row)]; }
  float b(int row) const { return m.coin.table_b[static_cast<std::size_t>(row)]; }
  // Field value at padded column i, row j.
  float zb(int i, int j) const { return m.f.zb[static_cast<std::size_t>(m.node(i, j))]; }

  std::istringstream kb;
  std::ostringstream scr, err;
  Channels io{kb, scr, err};
  Messages msg{io};
  Options opt;
  CmdReader rd{io, msg, opt};
  Model m;
  InputState st;

 private:
  std::filesystem::path dir_;
};

// A 4 x 3 bed-level grid (dx = dy = 10, origin 1000/2000) with the bed level
// 10 * row + column of the real cells.
inline const char* grid4x3 =
    ">>grid\n"
    "nx 4\n"
    "ny 3\n"
    "xllcorner 1000.0\n"
    "yllcorner 2000.0\n"
    "dx 10.0\n"
    "dy 10.0\n"
    "11 12 13 14\n"
    "21 22 23 24\n"
    "31 32 33 34\n";

}  // namespace qf::test
