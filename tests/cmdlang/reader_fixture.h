// Shared set-up of the command-reader tests: a scratch folder, channels on
// string streams, the listing on channel 9 and the command file on channel 8.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cmdlang/reader.h"
#include "io/channels.h"
#include "io/messages.h"
#include "io/stop.h"
#include "io/textio.h"

namespace qf::testing {

inline std::string slurp(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int serial = 0;
    dir_ = std::filesystem::temp_directory_path().string() + "/qfrd" + std::to_string(::getpid()) +
           "_" + std::to_string(++serial);
    std::filesystem::create_directories(dir_);
    io_.open_write(ch::listing, dir_ + "/out");
  }
  void TearDown() override {
    io_.close_all();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  // Writes a file into the scratch folder and returns its path.
  std::string file(const std::string& name, const std::string& text) {
    const std::string p = dir_ + "/" + name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }
  // Opens `text` as the command file on channel 8.
  void command(const std::string& text) {
    ASSERT_TRUE(io_.open_read(ch::command, file("dain", text)));
  }
  std::string listing() {
    io_.flush(ch::listing);
    return slurp(dir_ + "/out");
  }
  // The listing without the header written on the first call.
  std::string body() {
    const std::string l = listing();
    const auto p = l.find("/OUTPUT ");
    if (p == std::string::npos) return l;
    const auto e = l.find("/\n\n", p);
    return e == std::string::npos ? l : l.substr(e + 3);
  }
  static std::string framed(const std::string& head, const std::string& text) {
    const std::string stars(47, '*');
    return "\n" + stars + "\n" + head + text + "\n" + stars + "\n\n";
  }
  // The keyword help that follows an unknown keyword.
  static std::string help(const std::vector<std::string_view>& keys) {
    std::string s = "* available keywords are:\n";
    for (auto k : keys) s += "*           " + pad(k, 20) + "\n";
    return s + std::string(47, '*') + "\n";
  }
  // One call of the keyword reader in normal mode.
  int next(const std::vector<std::string_view>& keys, int mode = 0) {
    status_ = mode;
    return rd_.iicmd(keys, line_, input_, ch::listing, status_);
  }
  std::string rest() const { return std::string(trim_right(line_)); }

  std::string dir_;
  std::istringstream kb_;
  std::ostringstream scr_, err_;
  Channels io_{kb_, scr_, err_};
  Messages msg_{io_};
  Options opt_;
  CmdReader rd_{io_, msg_, opt_};
  std::string line_;
  int input_ = ch::command;
  int status_ = 0;
};

}  // namespace qf::testing
