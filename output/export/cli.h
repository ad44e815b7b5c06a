// The export program: result files and max-value files to NetCDF and
// Cloud-Optimised GeoTIFF, with the hazard rating and the time of first
// wetting derived from the records.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace qf::exp {

inline constexpr int export_ok = 0;
inline constexpr int export_failed = 1;  // a file could not be read or written
inline constexpr int export_usage = 2;   // wrong command line

// Runs the program on its arguments (without the program name).
int export_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The help text.
std::string export_help();

}  // namespace qf::exp
