#include "driver/run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "driver/help.h"

namespace qf {
namespace {

namespace fs = std::filesystem;

std::string slurp(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Runs the program in a fresh directory with the given files.
class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    dir_ = fs::path(::testing::TempDir()) /
           ("qf_drv_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
  }
  void TearDown() override { fs::current_path(old_); }
  void file(const std::string& n, const std::string& text) { std::ofstream(n) << text; }
  int run_with(const std::vector<std::string>& args, const std::string& keyboard = "") {
    kb_.str(keyboard);
    s_ = std::make_unique<Session>(kb_, scr_, err_);
    return run(*s_, args);
  }
  fs::path old_, dir_;
  std::istringstream kb_;
  std::ostringstream scr_, err_;
  std::unique_ptr<Session> s_;
};

const char* kBanner =
    " ----------------------------\n"
    "|  Quellfax_v3.0_1 03-2016   |\n"
    " ----------------------------\n";

const char* kSmall =
    "title 'two cells'\n"
    ">>grid\n"
    "nx 2\nny 1\ndx 1.0\ndy 1.0\n"
    "1.0 2.0\n"
    ">>compute\n"
    "steps 3\n";

TEST_F(DriverTest, BannerAndDefaultCommandFile) {
  file("dain", kSmall);
  EXPECT_EQ(run_with({}), 0);
  const std::string scr = scr_.str();
  EXPECT_EQ(scr.rfind(kBanner, 0), 0u) << scr;
  EXPECT_EQ(scr.find("input from file"), std::string::npos);
  EXPECT_NE(scr.find(" >hvx terminated\n"), std::string::npos);
  EXPECT_TRUE(fs::exists("out"));
}

TEST_F(DriverTest, ThreeArgumentsCommandResultIgnored) {
  file("model.qfx", kSmall);
  EXPECT_EQ(run_with({"model.qfx", "myres", "third"}), 0);
  EXPECT_EQ(s_->model.cochar.result_file, "myres");
  EXPECT_NE(scr_.str().find(" >input from file 'model.qfx'\n"), std::string::npos);
  EXPECT_EQ(slurp("out").rfind(" >input from file 'model.qfx'\n", 0), 0u);
}

TEST_F(DriverTest, RunOptionsBeforeTheCommandFileAreNoFileName) {
  file("model.qfx", kSmall);
  EXPECT_EQ(run_with({"-q", "@wet,hot", "model.qfx", "@dry"}), 0);
  EXPECT_NE(scr_.str().find(" >input from file 'model.qfx'\n"), std::string::npos);
  EXPECT_EQ(s_->model.cochar.result_file, "dares");
  EXPECT_EQ(s_->opt.names(), (std::vector<std::string>{"wet", "hot", "dry"}));
}

TEST_F(DriverTest, SwitchesHelpAndQuiet) {
  file("dain", kSmall);
  EXPECT_EQ(run_with({"-qh"}), 0);
  EXPECT_TRUE(s_->model.clog.quiet);
  EXPECT_NE(scr_.str().find("\n  -NUMBER OF GRID NODES   8000K" + std::string(30, ' ') + "\n"),
            std::string::npos);
}

TEST_F(DriverTest, MissingCommandFileAsksAndBlankAnswerStops) {
  EXPECT_NE(run_with({"nofile"}, "\n"), 0);
  EXPECT_NE(scr_.str().find("nofile    ... not found. Filename> "), std::string::npos);
}

TEST_F(DriverTest, InputErrorsStopAtTheSummaryWithNonZeroStatus) {
  file("dain", "title 'x'\n>>grid\nnx 2\nny 1\ndx 1.0\ndy 1.0\n1.0 2.0\n>>global\n  bogus 1\n");
  EXPECT_NE(run_with({}), 0);
  EXPECT_NE(scr_.str().find(" >>warnings   0, errors  1 ->check output listing"),
            std::string::npos);
  EXPECT_EQ(scr_.str().find(" >hvx terminated"), std::string::npos);
  EXPECT_NE(slurp("out").find("**error: keyword unknown> bogus"), std::string::npos);
}

TEST(Help, TwentyLinesOfSixty) {
  const auto l = help_lines();
  for (const auto& s : l) EXPECT_EQ(s.size(), 60u);
  EXPECT_EQ(std::string(l[11].substr(0, 30)), " -NUMBER OF GRID NODES   8000K");
  EXPECT_EQ(std::string(l[12].substr(0, 30)), " -GRID DIMENSION IN X      20K");
  EXPECT_EQ(std::string(l[13].substr(0, 30)), " -ROWS IN TABLE STORAGE   100K");
  EXPECT_EQ(std::string(l[19].substr(0, 29)), "  eXit    terminates Quellfax");
}

}  // namespace
}  // namespace qf
