// Test support for the X11 device layer: a private Xvfb server, an X error
// counter, pixel read-back and synthetic input events.
#pragma once

// gtest before Xlib: Xlib defines macros (None, Bool) that clash with it.
// clang-format off
#include <gtest/gtest.h>
// clang-format on

// gtest before Xlib: Xlib defines macros (None, Bool) that clash with it.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "graphics/x11/grx.h"

namespace qf::grxtest {

// X errors seen since the test started (Xlib's handler has no user data).
inline int x_errors = 0;
inline int last_x_error = 0;

inline int count_x_error(Display*, XErrorEvent* e) {
  ++x_errors;
  last_x_error = e->error_code;
  return 0;
}

inline bool file_exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// An Xvfb server started by this process on the first free display :90..:99
// and stopped again by stop() or the destructor.
class Xvfb {
 public:
  Xvfb() = default;
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;
  ~Xvfb() { stop(); }

  bool start(const std::string& screen) {
    for (int n = 90; n <= 99; ++n) {
      const std::string num = std::to_string(n);
      if (file_exists("/tmp/.X11-unix/X" + num) || file_exists("/tmp/.X" + num + "-lock")) {
        continue;
      }
      const std::string name = ":" + num;
      pid_t pid = ::fork();
      if (pid < 0) return false;
      if (pid == 0) {
        int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0) {
          ::dup2(devnull, 1);
          ::dup2(devnull, 2);
        }
        ::execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                 "-noreset", static_cast<char*>(nullptr));
        ::_exit(127);
      }
      // Wait until this server (the lock file names our child) accepts us;
      // a server that dies lost the race for the number: try the next one.
      for (int i = 0; i < 800; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
          pid = -1;
          break;
        }
        if (lock_pid(num) == pid) {
          if (Display* d = XOpenDisplay(name.c_str())) {
            XCloseDisplay(d);
            pid_ = pid;
            name_ = name;
            return true;
          }
        }
        ::usleep(25000);
      }
      if (pid > 0) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
      }
    }
    return false;
  }

  void stop() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }

  const std::string& name() const { return name_; }

 private:
  static pid_t lock_pid(const std::string& num) {
    std::ifstream in("/tmp/.X" + num + "-lock");
    long v = -1;
    if (!(in >> v)) return -2;
    return static_cast<pid_t>(v);
  }
  pid_t pid_ = -1;
  std::string name_;
};

// Sets DISPLAY (or removes it with nullopt) for one scope.
class DisplayGuard {
 public:
  explicit DisplayGuard(const std::optional<std::string>& value) {
    if (const char* old = std::getenv("DISPLAY")) old_ = old;
    if (value) {
      ::setenv("DISPLAY", value->c_str(), 1);
    } else {
      ::unsetenv("DISPLAY");
    }
  }
  ~DisplayGuard() {
    if (old_) {
      ::setenv("DISPLAY", old_->c_str(), 1);
    } else {
      ::unsetenv("DISPLAY");
    }
  }

 private:
  std::optional<std::string> old_;
};

// A copy of a drawable's pixels (read after all earlier requests).
class Shot {
 public:
  Shot(GrxState& s, unsigned long drawable, int w, int h) : w_(w), h_(h) {
    XImage* img = XGetImage(s.display, drawable, 0, 0, static_cast<unsigned>(w),
                            static_cast<unsigned>(h), AllPlanes, ZPixmap);
    if (img == nullptr) return;
    px_.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) px_[static_cast<std::size_t>(y * w + x)] = XGetPixel(img, x, y);
    }
    XDestroyImage(img);
  }
  bool ok() const { return !px_.empty(); }
  unsigned long at(int x, int y) const { return px_.at(static_cast<std::size_t>(y * w_ + x)); }
  int width() const { return w_; }
  int height() const { return h_; }
  // Number of pixels of colour p in the rectangle [x0, x1) x [y0, y1).
  int count(unsigned long p, int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) n += at(x, y) == p ? 1 : 0;
    }
    return n;
  }

 private:
  int w_, h_;
  std::vector<unsigned long> px_;
};

// Sends an event to the window as the server would deliver it to us.
inline void send_button(GrxState& s, int x, int y, unsigned button) {
  XEvent ev{};
  ev.xbutton.type = ButtonPress;
  ev.xbutton.display = s.display;
  ev.xbutton.window = s.window;
  ev.xbutton.root = DefaultRootWindow(s.display);
  ev.xbutton.x = x;
  ev.xbutton.y = y;
  ev.xbutton.button = button;
  ev.xbutton.same_screen = True;
  XSendEvent(s.display, s.window, False, ButtonPressMask, &ev);
}

inline void send_key(GrxState& s, unsigned long keysym, unsigned state = 0, int x = 1, int y = 2) {
  XEvent ev{};
  ev.xkey.type = KeyPress;
  ev.xkey.display = s.display;
  ev.xkey.window = s.window;
  ev.xkey.root = DefaultRootWindow(s.display);
  ev.xkey.x = x;
  ev.xkey.y = y;
  ev.xkey.state = state;
  ev.xkey.keycode = XKeysymToKeycode(s.display, keysym);
  ev.xkey.same_screen = True;
  XSendEvent(s.display, s.window, False, KeyPressMask, &ev);
}

// The modifier bit that carries Num Lock on this server (0 if none).
inline unsigned numlock_mask(Display* d) {
  unsigned mask = 0;
  const KeyCode numlock = XKeysymToKeycode(d, XK_Num_Lock);
  XModifierKeymap* map = XGetModifierMapping(d);
  for (int m = 0; m < 8; ++m) {
    for (int k = 0; k < map->max_keypermod; ++k) {
      if (numlock != 0 && map->modifiermap[m * map->max_keypermod + k] == numlock) mask = 1u << m;
    }
  }
  XFreeModifiermap(map);
  return mask;
}

// Reads events until the first expose of the window.
inline void wait_for_expose(GrxState& s) {
  int type = 0, x = 0, y = 0, detail = 0;
  do {
    grxevn(s, type, x, y, detail);
  } while (type != kGrxExpose);
}

// A test with one open 300 x 200 window at (10, 0) on the test server, mapped
// and exposed; X errors are counted and must stay at zero.
class GrxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    x_errors = 0;
    XSetErrorHandler(count_x_error);
  }
  void TearDown() override {
    if (grxisopn(s)) {
      XSync(s.display, False);
      grxcls(s);
    }
    EXPECT_EQ(x_errors, 0) << "last X error code " << last_x_error;
  }
  void open(int w = 300, int h = 200, int x = 10, int y = 0) {
    grxopn(s, screen, x, y, w, h, depth, "Quellfax", "Quellfax");
    wait_for_expose(s);
  }
  // Allocates colours and returns their pixels.
  std::vector<int> colours(const std::vector<int>& rgb) {
    std::vector<int> px(rgb.size(), -1);
    grxmkc(s, screen, rgb.data(), px.data(), static_cast<int>(rgb.size()));
    return px;
  }
  unsigned long white() const { return s.bgcolor; }

  GrxState s;
  std::ostringstream screen;
  int depth = -1;
};

}  // namespace qf::grxtest
