// Maps that combine the max-value files of several runs of one model (the
// scenarios of a flood study): the envelope of the maxima with the scenario
// that gave the deepest water, and the share (or summed annual
// probability) of the scenarios in which a cell is flooded.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "output/export/gdalout.h"
#include "output/export/gridfile.h"

namespace qf::exp {

struct CombineRequest {
  std::string output;               // .tif or .nc
  std::vector<std::string> inputs;  // max-value files, one per scenario
  std::vector<std::string> names;   // of the scenarios; blank: from the file names
  std::vector<double> probability;  // annual probability per scenario; empty: none
  float threshold = 0.01f;          // depth above which a cell counts as flooded [m]
  std::string srs;                  // projection of the output; blank: none
};

// Raises `env` (starting at export_no_data) to the values of scenario
// `scenario` (1-based) where they are higher; `which`, when given, is set
// to the scenario there. No-data values are passed over.
void raise_envelope(const std::vector<float>& v, int scenario, std::vector<float>& env,
                    std::vector<float>* which);

// Adds `weight` to `sum` where the depth exceeds `threshold`, and marks in
// `seen` the cells that hold a depth in this scenario.
void add_exceedance(const std::vector<float>& depth, float threshold, double weight,
                    std::vector<double>& sum, std::vector<std::uint8_t>& seen);

// The names of the scenarios: as given, else the folder of each file when
// all files have one name (one folder per scenario), else the file names
// without their extension.
std::vector<std::string> scenario_names(const std::vector<std::string>& inputs);

// Opens the max-value files and checks that they lie on one grid. False,
// with the message written, when one cannot be read or lies elsewhere.
bool open_scenarios(const std::vector<std::string>& inputs, std::vector<GridFile>& files,
                    std::ostream& err);

// Writes the bands as GeoTIFF or NetCDF after the extension of `path`,
// whole or not at all; false with the message written.
bool write_combined(const std::string& path, const Placement& p, const std::vector<Band>& bands,
                    const std::string& title, std::ostream& out, std::ostream& err);

// A number for a label: fixed point with up to six decimals, without
// trailing zeros ("0.01", "2.5", "30.0").
std::string bare_real(double v);

// The commands; an exit status of the export program.
int envelope(const CombineRequest& rq, std::ostream& out, std::ostream& err);
int exceedance(const CombineRequest& rq, std::ostream& out, std::ostream& err);

}  // namespace qf::exp
