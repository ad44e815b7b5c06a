// Helpers of the plotting library tests: a scratch working directory per
// test, running external tools, reading files, and a virtual X server.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "graphics/graphics.h"

#if __has_include(<X11/Xlib.h>)
#include <X11/Xlib.h>
#include <X11/keysym.h>
#define QF_TEST_HAVE_X11 1
#endif

namespace qf::grtest {

// Runs the test in a fresh scratch directory (".grset" and the outputs are
// written into the working directory).
class ScratchDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qf_gr_XXXXXX";
    char* d = mkdtemp(tmpl);
    ASSERT_NE(d, nullptr);
    dir_ = d;
    char buf[4096];
    ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
    old_ = buf;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    if (!old_.empty()) (void)chdir(old_.c_str());
    if (!dir_.empty()) (void)std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  std::string dir_, old_;
};

inline std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

inline void spit(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
}

inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> v;
  std::string cur;
  for (char c : text) {
    if (c == '\n') {
      v.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) v.push_back(cur);
  return v;
}

// Output of a shell command (stdout and stderr); status in `status`.
inline std::string run(const std::string& cmd, int* status = nullptr) {
  std::string out;
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int st = pclose(p);
  if (status) *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return out;
}

inline bool have_tool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// A Python interpreter with ezdxf, or empty.
inline std::string ezdxf_python() {
  for (const char* py : {"/usr/bin/python3", "python3"}) {
    const std::string c = std::string(py) + " -c 'import ezdxf' >/dev/null 2>&1";
    if (std::system(c.c_str()) == 0) return py;
  }
  return "";
}

// Queues answers for the dialogs of the library.
inline void answer(Graphics& g, const std::vector<std::string>& cmds) {
  grscpt(g, static_cast<int>(cmds.size()), cmds.data(), 16);
}

// A virtual X server on the first free display of :90 .. :99 that lives as
// long as the object; DISPLAY points at it meanwhile.
class VirtualX {
 public:
  VirtualX() {
    if (access("/usr/bin/Xvfb", X_OK) != 0 && !have_tool("Xvfb")) return;
    for (int d = 90; d <= 99; ++d) {
      const std::string lock = "/tmp/.X" + std::to_string(d) + "-lock";
      const std::string sock = "/tmp/.X11-unix/X" + std::to_string(d);
      struct stat st;
      if (stat(lock.c_str(), &st) == 0 || stat(sock.c_str(), &st) == 0) continue;
      // Between fork and exec only calls that take no lock: the test
      // program may have threads whose locks the child would inherit held.
      const std::string disp = ":" + std::to_string(d);
      const pid_t pid = fork();
      if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive the test
        const int devnull = open("/dev/null", O_WRONLY);
        if (devnull >= 0) {
          dup2(devnull, 1);
          dup2(devnull, 2);
        }
        execlp("Xvfb", "Xvfb", disp.c_str(), "-screen", "0", "1600x1200x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
      }
      if (pid < 0) return;
      // Wait for the server's socket (or for the server to give up).
      bool reaped = false;
      for (int i = 0; i < 200; ++i) {
        int wst;
        if (waitpid(pid, &wst, WNOHANG) == pid) {  // lost the race for this display
          reaped = true;
          break;
        }
        if (stat(sock.c_str(), &st) == 0) {
          // The display is ours only if our server holds its lock (another
          // test may have started one there at the same moment).
          usleep(100000);
          std::ifstream lf(lock);
          long owner = 0;
          lf >> owner;
          if (waitpid(pid, &wst, WNOHANG) == pid) {
            reaped = true;
            break;
          }
          if (owner != pid) break;
          pid_ = pid;
          display_ = d;
          const char* old = std::getenv("DISPLAY");
          had_old_ = old != nullptr;
          if (old) old_display_ = old;
          setenv("DISPLAY", (":" + std::to_string(d)).c_str(), 1);
          usleep(200000);
          return;
        }
        usleep(50000);
      }
      if (pid_ == 0 && !reaped) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
      }
    }
  }
  ~VirtualX() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      if (had_old_)
        setenv("DISPLAY", old_display_.c_str(), 1);
      else
        unsetenv("DISPLAY");
    }
  }
  VirtualX(const VirtualX&) = delete;
  VirtualX& operator=(const VirtualX&) = delete;
  bool ok() const { return pid_ > 0; }
  int display() const { return display_; }

 private:
  pid_t pid_ = 0;
  int display_ = 0;
  bool had_old_ = false;
  std::string old_display_;
};

// A test in the window of a virtual X server (one server per test suite):
// a fresh graphics state in screen mode for every test, skipped when no
// server can be started.
template <class Suite>
class WindowTest : public ScratchDir {
 protected:
  static void SetUpTestSuite() { x_ = new VirtualX(); }
  static void TearDownTestSuite() {
    delete x_;
    x_ = nullptr;
  }
  void SetUp() override {
    ScratchDir::SetUp();
    if (!x_ || !x_->ok()) GTEST_SKIP() << "no virtual X server";
    g_ = std::make_unique<Graphics>();
    g_->out = &os_;
    grinit(*g_, 5, 9, "qftest", "", 0);
    ASSERT_EQ(g_->n.IMODGR, kModeScreen);
  }
  void TearDown() override {
    g_.reset();
    ScratchDir::TearDown();
  }
  // True when the test goes on after SetUp of this base.
  bool ready() const { return g_ && !IsSkipped() && !HasFatalFailure(); }
  static inline VirtualX* x_ = nullptr;
  std::unique_ptr<Graphics> g_;
  std::ostringstream os_;
};

#ifdef QF_TEST_HAVE_X11
// Sends pointer clicks and keys to a window from a second connection; they
// reach the window's dialog in the order sent, without any waiting.
class EventSender {
 public:
  EventSender() : d_(XOpenDisplay(nullptr)) {}
  ~EventSender() {
    if (d_) XCloseDisplay(d_);
  }
  EventSender(const EventSender&) = delete;
  EventSender& operator=(const EventSender&) = delete;
  bool ok() const { return d_ != nullptr; }
  Display* display() const { return d_; }

  void click(Window w, int x, int y, unsigned button = 1) {
    XEvent e{};
    e.xbutton.type = ButtonPress;
    e.xbutton.display = d_;
    e.xbutton.window = w;
    e.xbutton.root = DefaultRootWindow(d_);
    e.xbutton.x = x;
    e.xbutton.y = y;
    e.xbutton.button = button;
    e.xbutton.same_screen = 1;
    XSendEvent(d_, w, 0, ButtonPressMask, &e);
    XSync(d_, 0);
  }
  // The pointer moved to (x, y); sent to the window's own client, which
  // takes it whether it asks for motion or not.
  void motion(Window w, int x, int y) {
    XEvent e{};
    e.xmotion.type = MotionNotify;
    e.xmotion.display = d_;
    e.xmotion.window = w;
    e.xmotion.root = DefaultRootWindow(d_);
    e.xmotion.x = x;
    e.xmotion.y = y;
    e.xmotion.same_screen = 1;
    XSendEvent(d_, w, 0, 0, &e);
    XSync(d_, 0);
  }
  void key(Window w, KeySym sym) {
    XEvent e{};
    e.xkey.type = KeyPress;
    e.xkey.display = d_;
    e.xkey.window = w;
    e.xkey.root = DefaultRootWindow(d_);
    e.xkey.keycode = XKeysymToKeycode(d_, sym);
    e.xkey.same_screen = 1;
    XSendEvent(d_, w, 0, KeyPressMask, &e);
    XSync(d_, 0);
  }
  // The characters of s (letters, digits, '.') and Return.
  void type(Window w, const std::string& s) {
    for (char c : s) key(w, c == '.' ? XK_period : static_cast<KeySym>(c));
    key(w, XK_Return);
  }

 private:
  Display* d_;
};
#endif

}  // namespace qf::grtest
