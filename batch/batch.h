// Many runs of one model: a scenario set file names the runs (run options,
// replaced values of the command file, output folder, annual probability);
// quellfax-batch prepares one folder per scenario, runs them side by side
// on this machine or as a Slurm job array, and sums them up in one table.
#pragma once

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace qf::batch {

inline constexpr int batch_ok = 0;      // every scenario ran to its end
inline constexpr int batch_failed = 1;  // a scenario failed, or a file could not be written
inline constexpr int batch_usage = 2;   // wrong command line or set file

// A named value of the command file: the lines of keyword `keyword` in
// section ">>`section`" take `value` after the keyword.
struct Replacement {
  std::string section, keyword, value;
};

struct Scenario {
  std::string name;
  std::string command;      // command file, as a path from the working directory
  std::string options;      // run options, "@q100,cc"; blank: none
  std::string folder;       // where the run goes, from the working directory
  double probability = -1;  // annual probability; negative: not given
  std::vector<Replacement> values;
  int line = 0;  // of the set file
};

struct ScenarioSet {
  std::string path;  // the set file
  std::string base;  // its name without folder and extension, for the files of the set
  std::string dir;   // its folder
  std::vector<Scenario> scenarios;
};

// A wrong set file or command file: the message names the file and line.
struct SetError {
  std::string text;
};

// One line of CSV: fields separated by commas, a field in double quotes may
// hold commas and doubled quotes. False for an unclosed quote.
bool split_csv(const std::string& line, std::vector<std::string>& fields);

// Reads and checks the set file; throws SetError.
ScenarioSet read_set(const std::string& path);

// The command file with the named values replaced (`text` line by line);
// throws SetError naming `file` when a value finds no line.
std::string replace_values(const std::string& text, const std::vector<Replacement>& values,
                           const std::string& file);

// The first value of keyword `keyword` in section `section` of the command
// file text, without quotes; blank when there is none.
std::string keyword_value(const std::string& text, const std::string& section,
                          const std::string& keyword);

// What a run left behind, read from its folder.
struct Outcome {
  std::string status = "not run";
  int exit_status = -1;  // -1: not known
  long steps = -1;
  double wall = -1;      // [s]
  double error_pct = 0;  // balance error in % of the volume moved
  bool has_balance = false;
  std::vector<std::pair<std::string, double>> peak_depth;  // per gauge [m]
};

// The text of an exit status of quellfax ("complete", "stopped (SIGINT)").
std::string status_text(int exit_status);

// Reads run.log, exit-status, <result>.mass and <result>.gauges.csv of a
// scenario folder. `result` is the result file name of the run.
Outcome read_outcome(const std::string& folder, const std::string& result);

// The summary table of the set.
std::string summary_table(const ScenarioSet& set, const std::vector<Outcome>& outcomes);

// Prepared folder of one scenario: the command file with its values
// replaced, the other files of the model's folder copied. Returns the
// result file name of the run (default "dares"). Throws SetError.
struct Prepared {
  std::string command;   // file name inside the folder
  std::string result;    // result file name (from "to" in >>output)
  std::string max_file;  // max-value file name; blank: none
  double end = -1;       // end time [h]; negative: none
};
Prepared prepare(const ScenarioSet& set, const Scenario& s);

// Runs the program on its arguments (without the program name); `self` is
// the path it was started by (quellfax is found beside it).
int batch_main(const std::string& self, const std::vector<std::string>& args, std::ostream& out,
               std::ostream& err);

}  // namespace qf::batch
