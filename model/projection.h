// Map projection of a run and the projection files (.prj) beside the files
// it writes.
//
// The projection comes from the "crs" keyword of >>output (an EPSG code or
// the name of a file of WKT text) or else from the .prj file beside the
// bed-level grid. WKT is copied as it stands. An EPSG code cannot be turned
// into WKT without a projection database, so the code itself is what goes
// beside the result and max-value files, where the export program (GDAL)
// resolves it; the ESRI grids then get no .prj.
#pragma once

#include <string>

#include "model/state.h"

namespace qf {

struct Projection {
  std::string text;  // WKT, or "EPSG:<number>"; blank when the run has none
  bool wkt = false;  // text is WKT
  std::string from;  // the file or keyword value it came from
};

// Reads a file of WKT text (at most 1 MB, starting with a WKT keyword such
// as PROJCS[ or GEOGCRS[). False when the file is missing, unreadable or
// holds no WKT.
bool read_wkt_file(const std::string& path, std::string& wkt);

// The projection of the run: "crs" first, else the .prj of the bed grid.
Projection run_projection(const Model& m);

// The .prj file GIS programs look for beside an ESRI grid: the extension of
// the grid's name replaced ("maxdepth.asc" -> "maxdepth.prj").
std::string grid_prj_path(const std::string& grid);
// The projection file beside a result or max-value file: ".prj" appended
// ("valley.res" -> "valley.res.prj"), so that the two never share one.
std::string file_prj_path(const std::string& file);

// Writes `text` (and a line end) to `path`. Returns 0 or the error number.
int write_prj(const std::string& path, const std::string& text);

}  // namespace qf
