// Parts of a test that need a process of their own (a writer to be killed,
// a run under a file-size limit) run in the test program started anew with
// only the current test selected; QF_TEST_CHILD names the part and
// QF_TEST_DIR the folder of the test. A new program has none of the threads
// of the test (OpenMP's team among them), whose locks a bare fork would
// copy held, so every test program runs whole, by hand as under ctest.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace qf::test {

// The whole of file `path` as bytes (empty when it cannot be read).
inline std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// The part this process is to do; null in the test itself.
inline const char* child_part() {
  return std::getenv("QF_TEST_CHILD");
}

// The folder of the test that started this process.
inline const char* child_dir() {
  return std::getenv("QF_TEST_DIR");
}

// The test's scratch folder: the one of the test that started this process,
// or a new empty one named by `prefix`, the process and the test.
inline std::string scratch_dir(const std::string& prefix) {
  if (const char* dir = child_dir()) return dir;
  const std::string dir = ::testing::TempDir() + prefix + std::to_string(::getpid()) + "_" +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::system(("rm -rf " + dir + " && mkdir -p " + dir).c_str());
  return dir;
}

// A started part: its process and the reading end of the pipe it reports
// through (descriptor 3 in the child).
struct Child {
  pid_t pid = -1;
  int report = -1;
};

// Starts the current test again as `part` in folder `dir`, with `vars`
// (NAME=value) added to the environment; its output goes to /dev/null.
inline Child start_child(const std::string& part, const std::string& dir,
                         const std::vector<std::string>& vars = {}) {
  const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string filter = std::string("--gtest_filter=") + t->test_suite_name() + "." + t->name();
  std::vector<std::string> env = vars;
  env.push_back("QF_TEST_CHILD=" + part);
  env.push_back("QF_TEST_DIR=" + dir);
  for (char** e = environ; *e != nullptr; ++e) {
    // The child writes no test report of its own.
    if (std::strncmp(*e, "QF_TEST_", 8) != 0 && std::strncmp(*e, "GTEST_", 6) != 0) {
      env.emplace_back(*e);
    }
  }
  std::vector<char*> envp;
  for (std::string& s : env) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::string self = "/proc/self/exe";
  char* argv[] = {self.data(), filter.data(), nullptr};

  Child c;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return c;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, fds[1], 3);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  if (posix_spawn(&c.pid, self.c_str(), &fa, nullptr, argv, envp.data()) != 0) c.pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  ::close(fds[1]);
  if (c.pid < 0) {
    ::close(fds[0]);
    return c;
  }
  c.report = fds[0];
  return c;
}

}  // namespace qf::test
