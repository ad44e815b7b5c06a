#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <ostream>
#include <sstream>
#include <thread>

#include "batch/batch.h"
#include "io/textio.h"

namespace qf::batch {

namespace fs = std::filesystem;

namespace {

// The signal that asked the batch to stop and how many came; the handler
// can only touch these.
volatile std::sig_atomic_t stop_signal = 0;
volatile std::sig_atomic_t stop_count = 0;

extern "C" void on_stop(int sig) {
  stop_signal = sig;
  stop_count = stop_count + 1;
}

struct Options {
  std::string set;
  int jobs = 1;
  bool slurm = false, collect = false;
  std::vector<std::string> sbatch;  // resources for sbatch
};

struct Usage {
  std::string text;
};

std::string help_text() {
  return R"(quellfax-batch: runs the scenarios of a set file

usage:
  quellfax-batch [-j N] SET.csv        runs the set on this machine, N at a time
  quellfax-batch --slurm SET.csv [--partition P] [--time T] [--mem M]
                 [--cpus N] [--account A]
                                       submits the set as one Slurm job array
  quellfax-batch --collect SET.csv     the summary of the runs of the set

Each scenario runs in its own folder ("folder" column, default its name)
with a copy of the model's files; its screen output goes to run.log there,
its exit status to exit-status. The summary goes to the screen and to
SET.summary. Ctrl-C ends the running scenarios after their current step
with their files written.
)";
}

Options parse(const std::vector<std::string>& args) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw Usage{a + " needs a value"};
      return args[++i];
    };
    if (a == "-j" || a.rfind("-j", 0) == 0) {
      const std::string v = a == "-j" ? value() : a.substr(2);
      long long n = 0;
      if (!parse_int(v, n) || n < 1 || n > 1024)
        throw Usage{"-j: '" + v + "' is not a number of runs from 1"};
      o.jobs = static_cast<int>(n);
    } else if (a == "--slurm") {
      o.slurm = true;
    } else if (a == "--collect") {
      o.collect = true;
    } else if (a == "--partition" || a == "--time" || a == "--mem" || a == "--account") {
      o.sbatch.push_back(a + "=" + value());
    } else if (a == "--cpus") {
      o.sbatch.push_back("--cpus-per-task=" + value());
    } else if (!a.empty() && a[0] == '-') {
      throw Usage{"unknown option " + a};
    } else if (o.set.empty()) {
      o.set = a;
    } else {
      throw Usage{"one set file only ('" + a + "')"};
    }
  }
  if (o.set.empty()) throw Usage{"no set file given"};
  if (o.slurm && o.collect) throw Usage{"--slurm or --collect, not both"};
  if (!o.sbatch.empty() && !o.slurm) throw Usage{o.sbatch[0] + " is for --slurm"};
  return o;
}

// Writes a file whole: under "<path>.part", then renamed.
bool write_whole(const std::string& path, const std::string& text) {
  const std::string part = path + ".part";
  std::ofstream o(part, std::ios::binary);
  o << text;
  o.close();
  if (!o || std::rename(part.c_str(), path.c_str()) != 0) {
    std::remove(part.c_str());
    return false;
  }
  return true;
}

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string absolute(const std::string& p) {
  return fs::absolute(p).lexically_normal().string();
}

// The command line of quellfax for a scenario.
std::vector<std::string> run_args(const std::string& qf, const Scenario& s, const Prepared& p) {
  std::vector<std::string> a{qf, "-q"};
  if (!s.options.empty()) a.push_back(s.options);
  a.push_back(p.command);
  return a;
}

struct Running {
  std::size_t index = 0;
  pid_t pid = 0;
  std::chrono::steady_clock::time_point started;
};

// Starts quellfax in the scenario's folder, in its own process group (so
// that Ctrl-C reaches the batch, which passes it on once).
pid_t start(const std::vector<std::string>& args, const std::string& folder, int threads,
            std::ostream& err) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const std::string log = (fs::path(folder) / "run.log").string();
  const std::string omp = std::to_string(threads);
  const pid_t pid = fork();
  if (pid < 0) {
    err << "quellfax-batch: cannot start a run: " << std::strerror(errno) << '\n';
    return -1;
  }
  if (pid == 0) {
    setpgid(0, 0);
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    const int in = open("/dev/null", O_RDONLY);
    const int out =
        chdir(folder.c_str()) == 0 ? open("run.log", O_WRONLY | O_CREAT | O_TRUNC, 0644) : -1;
    if (in < 0 || out < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    setenv("OMP_NUM_THREADS", omp.c_str(), 1);
    execv(argv[0], argv.data());
    const char msg[] = "quellfax-batch: the program quellfax cannot be started\n";
    (void)!write(2, msg, sizeof msg - 1);
    _exit(127);
  }
  setpgid(pid, pid);
  return pid;
}

// A progress line: model time of the last balance line and the share done.
std::string progress_line(const Scenario& s, const Prepared& p, const Running& r) {
  double t = -1;
  std::ifstream mass(fs::path(s.folder) / (p.result + ".mass"));
  std::string line, last;
  std::getline(mass, line);
  while (std::getline(mass, line)) {
    if (line.find_first_not_of(' ') != std::string::npos) last = line;
  }
  std::istringstream in(last);
  std::string w;
  if (in >> w) parse_real(w, t);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - r.started).count();
  std::string l = " " + s.name + "  running";
  if (t >= 0) l += "  " + bare(fmt_f(t, 14, 3)) + " h";
  if (t >= 0 && p.end > 0) {
    l += " of " + bare(fmt_f(p.end, 14, 3)) + " h, " +
         bare(fmt_i(static_cast<long long>(100.0 * std::min(1.0, t / p.end)), 4)) + " %";
  }
  return l + ", " + bare(fmt_f(wall, 14, 0)) + " s";
}

int summary(const ScenarioSet& set, const std::vector<Prepared>& prepared, std::ostream& out,
            std::ostream& err) {
  std::vector<Outcome> outcomes;
  bool all = true;
  for (std::size_t i = 0; i < set.scenarios.size(); ++i) {
    outcomes.push_back(read_outcome(set.scenarios[i].folder, prepared[i].result));
    all = all && outcomes.back().exit_status == 0;
  }
  const std::string table = summary_table(set, outcomes);
  out << table;
  const std::string path = (fs::path(set.dir) / (set.base + ".summary")).string();
  if (!write_whole(path, table)) {
    err << "quellfax-batch: '" << path << "': cannot be written\n";
    return batch_failed;
  }
  out << " >summary in '" << path << "'\n";
  std::string maxima;
  for (std::size_t i = 0; i < set.scenarios.size(); ++i) {
    if (!prepared[i].max_file.empty())
      maxima += " " + (fs::path(set.scenarios[i].folder) / prepared[i].max_file).string();
  }
  if (all && !maxima.empty())
    out << " >maps of the set: quellfax-export envelope envelope.tif" << maxima << '\n';
  return all ? batch_ok : batch_failed;
}

int run_local(const ScenarioSet& set, const std::vector<Prepared>& prepared, const std::string& qf,
              int jobs, std::ostream& out, std::ostream& err) {
  const std::size_t n = set.scenarios.size();
  const int runs = std::max(1, std::min<int>(jobs, static_cast<int>(n)));
  const int cores = std::max(1U, std::thread::hardware_concurrency());
  const int threads = std::max(1, cores / runs);
  out << " >" << n << " scenarios, " << runs << " at a time on " << threads
      << (threads == 1 ? " thread" : " threads") << " each\n";
  struct sigaction act {};
  act.sa_handler = on_stop;
  sigemptyset(&act.sa_mask);
  sigaction(SIGINT, &act, nullptr);
  sigaction(SIGTERM, &act, nullptr);
  const bool tty = isatty(STDOUT_FILENO) != 0 && &out == &std::cout;
  std::vector<Running> running;
  std::size_t next = 0;
  int forwarded = 0;
  int shown = 0;  // progress lines on the screen
  auto last_draw = std::chrono::steady_clock::now();
  while (next < n || !running.empty()) {
    if (stop_count > forwarded) {
      // Passed on once per signal: the first lets each run end its step and
      // write its files, a second ends them at once.
      for (const Running& r : running) kill(r.pid, stop_signal);
      forwarded = stop_count;
    }
    while (stop_count == 0 && next < n && static_cast<int>(running.size()) < runs) {
      const Scenario& s = set.scenarios[next];
      Running r;
      r.index = next;
      r.started = std::chrono::steady_clock::now();
      r.pid = start(run_args(qf, s, prepared[next]), s.folder, threads, err);
      ++next;
      if (r.pid < 0) continue;
      running.push_back(r);
      if (!tty) out << " >" << s.name << " started in '" << s.folder << "'\n" << std::flush;
    }
    if (stop_count != 0) next = n;  // the scenarios not started stay "not run"
    int status = 0;
    const pid_t done = waitpid(-1, &status, WNOHANG);
    if (done > 0) {
      auto it = std::find_if(running.begin(), running.end(),
                             [done](const Running& r) { return r.pid == done; });
      if (it == running.end()) continue;
      const Scenario& s = set.scenarios[it->index];
      const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 256 + WTERMSIG(status);
      write_whole((fs::path(s.folder) / "exit-status").string(), std::to_string(code) + "\n");
      const double wall =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - it->started).count();
      if (tty && shown > 0) out << "\033[" << shown << "F\033[J", shown = 0;
      out << " >" << s.name << " " << status_text(code) << " after " << bare(fmt_f(wall, 14, 1))
          << " s\n"
          << std::flush;
      running.erase(it);
      continue;
    }
    if (tty && std::chrono::steady_clock::now() - last_draw > std::chrono::milliseconds(500)) {
      if (shown > 0) out << "\033[" << shown << "F\033[J";
      for (const Running& r : running)
        out << progress_line(set.scenarios[r.index], prepared[r.index], r) << '\n';
      shown = static_cast<int>(running.size());
      out << std::flush;
      last_draw = std::chrono::steady_clock::now();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (tty && shown > 0) out << "\033[" << shown << "F\033[J";
  const int st = summary(set, prepared, out, err);
  if (stop_signal != 0) {
    out << " >stopped by " << (stop_signal == SIGINT ? "SIGINT" : "SIGTERM") << '\n';
    return 128 + stop_signal;
  }
  return st;
}

int submit(const ScenarioSet& set, const std::vector<Prepared>& prepared, const std::string& qf,
           const Options& o, std::ostream& out, std::ostream& err) {
  std::string script = "#!/bin/bash\n";
  script += "#SBATCH --job-name=" + set.base + "\n";
  script += "#SBATCH --array=1-" + std::to_string(set.scenarios.size()) + "\n";
  script +=
      "#SBATCH --output=" + absolute((fs::path(set.dir) / (set.base + "-%a.slurm.log")).string()) +
      "\n";
  for (const std::string& r : o.sbatch) script += "#SBATCH " + r + "\n";
  script += "# One task per scenario of " + absolute(set.path) + "\n";
  script += "case \"$SLURM_ARRAY_TASK_ID\" in\n";
  for (std::size_t i = 0; i < set.scenarios.size(); ++i) {
    const Scenario& s = set.scenarios[i];
    script +=
        "  " + std::to_string(i + 1) + ") cd " + quoted(absolute(s.folder)) + " || exit 1; args=(";
    const std::vector<std::string> a = run_args(qf, s, prepared[i]);
    for (std::size_t k = 1; k < a.size(); ++k) script += (k > 1 ? " " : "") + quoted(a[k]);
    script += ") ;;  # " + s.name + "\n";
  }
  script += "  *) echo \"no scenario $SLURM_ARRAY_TASK_ID\" >&2; exit 2 ;;\nesac\n";
  script += "rm -f exit-status\n";
  // Slurm's time limit (or scancel) sends SIGTERM to this shell as well as to
  // the run: the shell waits for the run to end after its step and records its
  // status. A trap, not an ignored signal, so that the run gets SIGTERM as usual.
  script += "trap : TERM\n";
  script += "export OMP_NUM_THREADS=${SLURM_CPUS_PER_TASK:-1}\n";
  script += quoted(qf) + " \"${args[@]}\" </dev/null >run.log 2>&1\n";
  script +=
      "status=$?\necho $status > exit-status.part && mv exit-status.part exit-status\nexit "
      "$status\n";
  const std::string path = (fs::path(set.dir) / (set.base + ".sbatch")).string();
  if (!write_whole(path, script)) {
    err << "quellfax-batch: '" << path << "': cannot be written\n";
    return batch_failed;
  }
  int pipefd[2];
  if (pipe(pipefd) != 0) return batch_failed;
  const std::string abs = absolute(path);
  const pid_t pid = fork();
  if (pid == 0) {
    close(pipefd[0]);
    dup2(pipefd[1], 1);
    const char* argv[] = {"sbatch", "--parsable", abs.c_str(), nullptr};
    execvp("sbatch", const_cast<char* const*>(argv));
    const char msg[] = "quellfax-batch: sbatch cannot be started (is Slurm installed?)\n";
    (void)!write(2, msg, sizeof msg - 1);
    _exit(127);
  }
  close(pipefd[1]);
  std::string answer;
  char buf[256];
  for (ssize_t k; (k = read(pipefd[0], buf, sizeof buf)) > 0;)
    answer.append(buf, static_cast<std::size_t>(k));
  close(pipefd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  while (!answer.empty() && (answer.back() == '\n' || answer.back() == ' ')) answer.pop_back();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    err << "quellfax-batch: sbatch " << abs << " failed"
        << (WIFEXITED(status) ? " with status " + std::to_string(WEXITSTATUS(status)) : "") << '\n';
    return batch_failed;
  }
  const std::string id = answer.substr(0, answer.find(';'));
  write_whole((fs::path(set.dir) / (set.base + ".job")).string(), id + "\n");
  out << " >job array " << id << ": " << set.scenarios.size() << " scenarios, script '" << path
      << "'\n >when it has run: quellfax-batch --collect " << set.path << '\n';
  return batch_ok;
}

}  // namespace

int batch_main(const std::string& self, const std::vector<std::string>& args, std::ostream& out,
               std::ostream& err) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      out << help_text();
      return batch_ok;
    }
  }
  try {
    const Options o = parse(args);
    const ScenarioSet set = read_set(o.set);
    const std::string qf = absolute((fs::path(self).parent_path() / "quellfax").string());
    if (!o.collect && access(qf.c_str(), X_OK) != 0) {
      err << "quellfax-batch: no program quellfax beside quellfax-batch ('" << qf << "')\n";
      return batch_failed;
    }
    std::vector<Prepared> prepared;
    for (const Scenario& s : set.scenarios)
      prepared.push_back(o.collect ? Prepared{} : prepare(set, s));
    if (o.collect) {
      // The result names as the prepared command files give them.
      for (std::size_t i = 0; i < set.scenarios.size(); ++i) {
        std::ifstream in(fs::path(set.scenarios[i].folder) /
                         fs::path(set.scenarios[i].command).filename());
        std::ostringstream text;
        text << in.rdbuf();
        prepared[i].result = keyword_value(text.str(), "output", "to");
        if (prepared[i].result.empty()) prepared[i].result = "dares";
        prepared[i].max_file = keyword_value(text.str(), "output", "max_values");
      }
      return summary(set, prepared, out, err);
    }
    if (o.slurm) return submit(set, prepared, qf, o, out, err);
    return run_local(set, prepared, qf, o.jobs, out, err);
  } catch (const Usage& u) {
    err << "quellfax-batch: " << u.text << "\n(quellfax-batch --help shows the usage)\n";
    return batch_usage;
  } catch (const SetError& e) {
    err << "quellfax-batch: " << e.text << '\n';
    return batch_usage;
  }
}

}  // namespace qf::batch
